// The per-corner mesh renderer drawn in a model view on a real GL context:
// shading groups, colour sources, back faces, opacity, the polygon-edge wire,
// textures and in-place updates.
#include "RendererTestView.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"
#include "support/LogCapture.h"

#include <QOpenGLContext>
#include <QOpenGLFramebufferObject>
#include <QOpenGLFunctions>

using Viewport3D::GLGeometrySplitted;
using Viewport3D::ShadingGroup;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255), kWhite(255, 255, 255), kBlack(0, 0, 0);
const QColor kBackground(215, 218, 219);
const QColor kBackColour(255, 0, 255);  // QuadScene::flatGroup's back colour
// Channel sums: below kDark a black line covers the pixel, above kLight white faces do.
const int kDark = 150, kLight = 600;

// Quadrants: red top-left, green top-right, blue bottom-left, white bottom-right
// (large enough that linear filtering keeps each quadrant's inside pure).
QImage quadrantImage()
{
    QImage image(64, 64, QImage::Format_ARGB32);
    for (int y = 0; y < 64; ++y)
        for (int x = 0; x < 64; ++x)
            image.setPixelColor(x, y, y < 32 ? (x < 32 ? kRed : kGreen) : (x < 32 ? kBlue : kWhite));
    return image;
}

QImage solidImage(const QColor& colour)
{
    QImage image(4, 4, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

}  // namespace

class MeshRendererTest : public ModelViewTest {};

TEST_F(MeshRendererTest, LaterGroupsShowOverEarlierOnesAndGroupsComeAndGo)
{
    auto* quad = add(QuadScene::make(QuadScene::flatGroup(kRed)));
    quad->addShadingGroup(QuadScene::flatGroup(kBlue), QuadScene::cornerMask(true, false));

    QImage image = frame("groups_precedence");
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, -0.5f), kBlue, 2)) << "t0 is covered by group 1";
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, 0.5f), kRed, 2)) << "t1 only by group 0";

    // Out-of-range indices change nothing.
    quad->removeShadingGroup(-1);
    quad->removeShadingGroup(quad->shadingGroupsCount());
    ASSERT_EQ(quad->shadingGroupsCount(), 2);

    // A group with an empty mask draws nothing but keeps its index.
    quad->addShadingGroup(QuadScene::flatGroup(kGreen), QuadScene::cornerMask(false, false));
    image = frame("groups_empty_mask");
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, -0.5f), kBlue, 2));
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, 0.5f), kRed, 2));

    quad->setShadingGroupMask(2, QuadScene::cornerMask(true, true));
    image = frame("groups_mask_replaced");
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, -0.5f), kGreen, 2)) << "the newest group wins";
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, 0.5f), kGreen, 2));

    // Removing group 1 moves the green group down to index 1.
    quad->removeShadingGroup(1);
    ASSERT_EQ(quad->shadingGroupsCount(), 2);
    EXPECT_EQ(quad->shadingGroup(1).colorFront, kGreen);
    quad->removeShadingGroup(1);
    image = frame("groups_base_only");
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, -0.5f), kRed, 2));
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, 0.5f), kRed, 2));

    // Members changed in place take effect at the next draw.
    quad->shadingGroup(0).colorFront = kBlue;
    image = frame("groups_changed_in_place");
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, -0.5f), kBlue, 2));
}

TEST_F(MeshRendererTest, FrontColourComesFromTextureOnlyWhenAllThreeConditionsHold)
{
    struct Case {
        const char* name;
        bool holdTexture;
        bool groupTextured;
        bool textureCoordinates;
        QColor expected;
    };
    const QColor textureColour(0, 128, 255);
    const Case cases[] = {
        {"textured", true, true, true, textureColour},
        {"group_not_textured", true, false, true, kRed},
        {"no_texture_coordinates", true, true, false, kRed},
        {"no_texture_held", false, true, true, kRed},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShadingGroup group = QuadScene::flatGroup(kRed);
        group.textured = c.groupTextured;
        auto* quad = add(QuadScene::make(group, c.textureCoordinates));
        if (c.holdTexture)
            quad->setTexture(solidImage(textureColour));
        const QImage image = frame(QString("colour_source_") + c.name);
        EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, -0.5f), c.expected, 2));
        view->removeObject(quad);
    }
}

TEST_F(MeshRendererTest, BackFacesShowTheBackColourWhateverTheTexture)
{
    for (bool textured : {false, true}) {
        SCOPED_TRACE(textured ? "textured" : "plain");
        ShadingGroup group = QuadScene::flatGroup(kRed);
        group.textured = textured;
        auto* quad = add(QuadScene::make(group));
        if (textured)
            quad->setTexture(solidImage(kGreen));
        quad->modelMatrix.rotate(180.0f, 0.0f, 1.0f, 0.0f);  // turn the back to the eye
        const QImage image = frame(QString("back_face_") + (textured ? "textured" : "plain"));
        EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, -0.5f), kBackColour, 2));
        view->removeObject(quad);
    }
}

TEST_F(MeshRendererTest, TextureIsShownUprightAndReplacingItReleasesTheOldOne)
{
    ShadingGroup group = QuadScene::flatGroup(kBlack);
    group.textured = true;
    auto* quad = add(QuadScene::make(group));
    quad->setTexture(quadrantImage());
    const GLuint firstId = quad->texture->id;

    const QImage image = frame("texture_quadrants");
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.7f, 0.7f), kRed, 2)) << "image row 0 at the top";
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.7f, 0.7f), kGreen, 2));
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.7f, -0.7f), kBlue, 2));
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.7f, -0.7f), kWhite, 2));

    quad->setTexture(solidImage(kGreen));
    const GLuint secondId = quad->texture->id;
    EXPECT_TRUE(secondId == firstId || !glIsTexture(firstId)) << "the first texture is still alive";
    EXPECT_TRUE(TestSupport::colorNear(at(frame("texture_replaced"), -0.7f, 0.7f), kGreen, 2));

    quad->removeTexture();
    EXPECT_EQ(quad->texture, nullptr);
    EXPECT_FALSE(quad->textureEnabled);
    EXPECT_FALSE(glIsTexture(secondId));
    EXPECT_TRUE(TestSupport::colorNear(at(frame("texture_removed"), -0.5f, -0.5f), kBlack, 2));
    quad->removeTexture();  // nothing held: nothing happens
}

// Renders the object alone into an RGBA framebuffer and reads the raw bytes
// (colour and alpha exactly as the fragment shader wrote them).
static QVector<int> renderRGBA(QGLWidget* view, Viewport3D::GLObject* object, const QPoint& pixel, int side)
{
    view->makeCurrent();
    QOpenGLFramebufferObjectFormat format;
    format.setAttachment(QOpenGLFramebufferObject::Depth);
    format.setInternalTextureFormat(GL_RGBA8);
    QOpenGLFramebufferObject target(side, side, format);
    target.bind();
    glViewport(0, 0, side, side);
    glClearColor(0, 0, 0, 0);
    glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
    glEnable(GL_DEPTH_TEST);
    QMatrix4x4 viewMatrix;
    viewMatrix.translate(0, 0, -3);
    QMatrix4x4 projection;
    projection.perspective(45.0f, 1.0f, 0.1f, 100.0f);
    object->draw(viewMatrix, projection, QSize(side, side));
    unsigned char rgba[4] = {0, 0, 0, 0};
    glReadPixels(pixel.x(), side - 1 - pixel.y(), 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, rgba);
    target.release();
    return {rgba[0], rgba[1], rgba[2], rgba[3]};
}

TEST_F(MeshRendererTest, OpacityScalesTheColourAlphaUnshadedAndReplacesItShaded)
{
    struct Case {
        const char* name;
        bool shaded;
        QColor front;
        float opacity;
        QVector<int> expected;  // r, g, b, a at the centre
    };
    // Shaded, face-on at the centre: diffuse 1 and the full specular 0.07, so
    // colour = base + 0.07; its alpha is the opacity, not the colour's alpha.
    const Case cases[] = {
        {"unshaded_opaque_colour", false, QColor(255, 0, 0, 255), 0.5f, {255, 0, 0, 128}},
        {"unshaded_translucent_colour", false, QColor(0, 255, 0, 128), 0.5f, {0, 255, 0, 64}},
        {"shaded_translucent_colour", true, QColor(128, 128, 128, 128), 0.25f, {146, 146, 146, 64}},
        {"shaded_opaque", true, QColor(0, 0, 128, 255), 1.0f, {18, 18, 146, 255}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        ShadingGroup group = QuadScene::flatGroup(c.front, c.opacity);
        group.shaded = c.shaded;
        auto quad = QuadScene::make(group);
        const QVector<int> rgba = renderRGBA(view.get(), quad.get(), QPoint(kSide / 2, kSide / 2), kSide);
        for (int channel = 0; channel < 4; ++channel)
            EXPECT_NEAR(rgba[channel], c.expected[channel], 2) << "channel " << channel;
    }
}

TEST_F(MeshRendererTest, NewNormalsAndPositionsAreDrawnButTheBoxStays)
{
    ShadingGroup group = QuadScene::flatGroup(kWhite);
    group.shaded = true;
    auto* quad = add(QuadScene::make(group));

    // A normal across the view direction: no diffuse light, no specular, only
    // the ambient half.
    quad->updateNormals(QVector<QVector3D>(6, QVector3D(1, 0, 0)));
    EXPECT_TRUE(TestSupport::colorNear(at(frame("normals_updated"), -0.5f, -0.5f), QColor(128, 128, 128), 2));

    QVector<QVector3D> moved = QuadScene::positions();
    for (QVector3D& p : moved)
        p += QVector3D(10, 0, 0);
    quad->updatePositions(moved);
    quad->modelMatrix.translate(5, 5, 5);
    const QImage image = frame("positions_updated");
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, -0.5f), kBackground, 2)) << "the quad moved away";
    EXPECT_EQ(quad->aaBoundingBox(), QuadScene::box());
}

// Darkest channel sum among the pixels within `radius` of p.
static int darkest(const QImage& image, const QPoint& p, int radius)
{
    int best = 3 * 255;
    for (int dy = -radius; dy <= radius; ++dy)
        for (int dx = -radius; dx <= radius; ++dx) {
            const QColor c = image.pixelColor(p + QPoint(dx, dy));
            best = std::min(best, c.red() + c.green() + c.blue());
        }
    return best;
}

TEST_F(MeshRendererTest, WireShowsThePolygonEdgesButNotTheFanDiagonal)
{
    // One quad polygon through the mesh record and its per-corner arrays.
    const GeometryStack::GeomStack mesh({{-1, -1, 0}, {1, -1, 0}, {1, 1, 0}, {-1, 1, 0}}, {{0, 1, 2, 3}}, {}, {}, {});
    ASSERT_EQ(mesh.triangles.size(), 2);
    ShadingGroup group = QuadScene::flatGroup(kWhite);
    group.wireVisible = true;
    group.colorWire = kBlack;

    struct Case {
        const char* name;
        QVector<float> flags;
        bool bordersDrawn;
    };
    const Case cases[] = {
        {"polygon_edges", GeometryStack::edgeFlagsPerCorner(mesh), true},
        {"no_flags", QVector<float>(6, 0.0f), false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        auto* quad = add(std::make_unique<GLGeometrySplitted>(
            GeometryStack::cornerPositions(mesh), GeometryStack::cornerTextureCoordinates(mesh),
            GeometryStack::cornerNormals(mesh), c.flags, mesh.boundingBox, QList<ShadingGroup>{group},
            QList<QVector<bool>>{GeometryStack::polygonMaskToCornerMask(mesh, {true})}));
        const QImage image = frame(QString("wire_") + c.name);

        for (const QPoint& border : {QuadScene::pixelOf(-1, 0, kSide), QuadScene::pixelOf(1, 0, kSide),
                                     QuadScene::pixelOf(0, -1, kSide), QuadScene::pixelOf(0, 1, kSide)}) {
            if (c.bordersDrawn)
                EXPECT_LT(darkest(image, border, 2), kDark) << "no line at " << border.x() << "," << border.y();
            else
                EXPECT_GT(darkest(image, border, 2), kDark) << "a line at " << border.x() << "," << border.y();
        }
        // Neither diagonal of the square (whichever corner the fan starts at);
        // the axis triad covers the centre.
        for (float t : {-0.5f, -0.25f, 0.25f, 0.5f}) {
            EXPECT_GT(darkest(image, QuadScene::pixelOf(t, t, kSide), 2), kLight) << "diagonal at " << t;
            EXPECT_GT(darkest(image, QuadScene::pixelOf(t, -t, kSide), 2), kLight) << "diagonal at " << t;
        }
        view->removeObject(quad);
    }

    // wireVisible off: no lines.
    auto* quad = add(QuadScene::make(QuadScene::flatGroup(kWhite)));
    EXPECT_GT(darkest(frame("wire_hidden"), QuadScene::pixelOf(-1, 0, kSide), 2), kLight);
    view->removeObject(quad);
}

TEST(MaskRuns, MaximalRunsOfSelectedCorners)
{
    struct Case {
        const char* name;
        QVector<bool> mask;
        QVector<int> starts;
        QVector<int> counts;
    };
    const bool T = true, F = false;
    const Case cases[] = {
        {"empty", {}, {}, {}},
        {"all_false", {F, F, F, F, F, F}, {}, {}},
        {"all_true", {T, T, T, T, T, T}, {0}, {6}},
        {"alternating_triangles", {T, T, T, F, F, F, T, T, T, F, F, F}, {0, 6}, {3, 3}},
        {"last_corners_selected", {F, F, F, T, T, T}, {3}, {3}},
        {"adjacent_triangles_merge", {F, F, F, T, T, T, T, T, T}, {3}, {6}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QVector<int> starts, counts;
        GLGeometrySplitted::maskToRuns(c.mask, starts, counts);
        EXPECT_EQ(starts, c.starts);
        EXPECT_EQ(counts, c.counts);
    }
}

// Runs only in a child process whose GL offers version 3.0 and GLSL 1.30: the
// polygon-edge program ("#version 330") cannot be built there.
TEST_F(MeshRendererTest, DISABLED_ChildWithoutGLSL330)
{
    auto* quad = add(QuadScene::make(QuadScene::flatGroup(kRed)));
    EXPECT_EQ(quad->edgeProgram, nullptr);
    const QImage image = frame("missing_program");
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, -0.5f), kBackground, 2)) << "drawing is a no-op";
}

TEST(MeshRendererWithoutPrograms, DrawingIsANoOpInsteadOfACrash)
{
    const TestSupport::ChildRun run = TestSupport::runTestsInChild("MeshRendererTest.DISABLED_ChildWithoutGLSL330",
                                                                   TestSupport::openGL30Environment());
    ASSERT_TRUE(run.finished);
    EXPECT_EQ(run.exitStatus, QProcess::NormalExit) << run.standardError.toStdString();
    EXPECT_EQ(run.exitCode, 0) << run.standardOutput.toStdString();
    EXPECT_TRUE(run.standardOutput.contains("[  PASSED  ] 1 test")) << run.standardOutput.toStdString();
}

TEST_F(MeshRendererTest, ObjectWhoseBufferFailedKeepsItsGroupsAndDrawsNothing)
{
    // Without a current context the vertex buffer cannot be created or bound.
    view->doneCurrent();
    ASSERT_EQ(QOpenGLContext::currentContext(), nullptr);
    TestSupport::LogCapture log;
    auto quad = QuadScene::make(QuadScene::flatGroup(kRed));
    EXPECT_TRUE(log.texts(QtDebugMsg).contains("Failed to bind vertex buffer"));
    EXPECT_EQ(quad->surfaceProgram, nullptr);
    EXPECT_EQ(quad->edgeProgram, nullptr);
    EXPECT_EQ(quad->shadingGroupsCount(), 1);
    EXPECT_EQ(quad->runStarts.size(), 1);
    EXPECT_TRUE(quad->runStarts[0].isEmpty());

    // Groups can still be added and removed by index; drawing shows nothing.
    quad->addShadingGroup(QuadScene::flatGroup(kBlue), QuadScene::cornerMask(true, true));
    quad->removeShadingGroup(0);
    auto* added = add(std::move(quad));
    added->updatePositions(QuadScene::positions());
    EXPECT_TRUE(TestSupport::colorNear(at(frame("failed_buffer"), -0.5f, -0.5f), kBackground, 2));
}
