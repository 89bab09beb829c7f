// Point markers and labelled markers drawn in a shown model view: labels keep
// their pixel size as the camera moves away and show through surfaces, the GL
// state they leave, a missing label program, fewer labels than points, moved
// points, the plain markers' box and pixels, and GL errors logged at deletion.
#include "RendererTestView.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "rendering/glpoints.h"
#include "rendering/glpointswithlabels.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QFontMetrics>
#include <QOpenGLFunctions>
#include <QQuaternion>
#include <QResource>

#include <functional>
#include <utility>

namespace {

const QColor kLabelColour(255, 255, 0);
const QColor kPointColour(200, 0, 200);
const float kPointSize = 9;

QFont labelFont()
{
    return QFont("Arial", 12, QFont::Bold);
}

// Pure label fill (yellow), which no other object of these scenes draws.
bool isLabelFill(const QColor& c)
{
    return c.red() > 230 && c.green() > 230 && c.blue() < 40;
}

QRect labelFillBox(const QImage& image)
{
    QRect box;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            if (isLabelFill(image.pixelColor(x, y)))
                box |= QRect(x, y, 1, 1);
    return box;
}

// Sets the depth-test and blend switches before the markers draw.
struct StateSetter : Viewport3D::GLObject {
    bool depth = true, blend = false;
    void initialize() override {}
    void draw() override
    {
        depth ? glEnable(GL_DEPTH_TEST) : glDisable(GL_DEPTH_TEST);
        blend ? glEnable(GL_BLEND) : glDisable(GL_BLEND);
    }
    Viewport3D::BoundingBox aaBoundingBox() const override { return {}; }
};

// Records the GL state the markers leave behind.
struct StateProbe : Viewport3D::GLObject {
    bool depth = false, blend = true, texture2D = true, vertexArray = true, texCoordArray = true;
    GLint program = -1, arrayBuffer = -1;
    void initialize() override {}
    void draw() override
    {
        depth = glIsEnabled(GL_DEPTH_TEST);
        blend = glIsEnabled(GL_BLEND);
        texture2D = glIsEnabled(GL_TEXTURE_2D);
        vertexArray = glIsEnabled(GL_VERTEX_ARRAY);
        texCoordArray = glIsEnabled(GL_TEXTURE_COORD_ARRAY);
        glGetIntegerv(GL_CURRENT_PROGRAM, &program);
        glGetIntegerv(GL_ARRAY_BUFFER_BINDING, &arrayBuffer);
    }
    Viewport3D::BoundingBox aaBoundingBox() const override { return {}; }
};

}  // namespace

class PointMarkersTest : public ModelViewTest {
protected:
    std::unique_ptr<Viewport3D::GLPointsWithLabels> markers(const QVector<QVector3D>& points,
                                                            const QVector<QString>& labels)
    {
        view->makeCurrent();
        return std::make_unique<Viewport3D::GLPointsWithLabels>(points, labels, &atlas, kPointColour, kPointSize);
    }

    void cameraAt(double distance) { view->setCameraPosition(QQuaternion(), QVector3D(), distance); }

    LabelFontAtlas atlas{labelFont(), 4, kLabelColour, Qt::black, 2, printableAsciiChars()};
};

TEST_F(PointMarkersTest, LabelKeepsItsPixelSizeAndShowsThroughASurface)
{
    // A red square at z = 0 in front of a labelled point at z = -0.5.
    add(QuadScene::make(QuadScene::flatGroup(QColor(255, 0, 0))));
    add(markers({{0, 0, -0.5f}}, {"10"}));
    const int centre = kSide / 2;  // the point projects onto the pixel corner (100, 100)

    // The ink of "10" as the font lays it out, 5 pixels right of the point,
    // its baseline through it.
    const QFontMetrics metrics(labelFont());
    const QRect one = metrics.boundingRect('1'), zero = metrics.boundingRect('0');
    const int inkLeft = centre + 5 + one.left();
    const int inkRight = centre + 5 + one.right() + 1 + zero.right();
    const int inkTop = centre + std::min(one.top(), zero.top());
    const int inkBottom = centre + std::max(one.bottom(), zero.bottom());

    QRect boxes[2];
    const double distances[2] = {3, 40};
    for (int i = 0; i < 2; ++i) {
        cameraAt(distances[i]);
        const QImage image = frame(QString("label_at_distance_%1").arg(distances[i]));
        EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(centre - 3, centre - 3), QColor(255, 0, 0), 2))
            << "the point is hidden behind the square";
        boxes[i] = labelFillBox(image);
        ASSERT_FALSE(boxes[i].isEmpty()) << "the label is drawn over the square";
        EXPECT_GE(boxes[i].left(), inkLeft - 1);
        EXPECT_LE(boxes[i].right(), inkRight + 1);
        EXPECT_GE(boxes[i].top(), inkTop - 1);
        EXPECT_LE(boxes[i].bottom(), inkBottom + 1);
        EXPECT_GE(boxes[i].width(), inkRight - inkLeft + 1 - 4);
        EXPECT_GE(boxes[i].height(), inkBottom - inkTop + 1 - 4);
    }
    EXPECT_EQ(boxes[0], boxes[1]) << "the label's pixels do not change with the distance";
}

TEST_F(PointMarkersTest, DrawingLabelsLeavesDepthOnBlendOffAndNothingBound)
{
    for (const bool depth : {false, true}) {
        for (const bool blend : {false, true}) {
            auto* setter = add(std::make_unique<StateSetter>());
            setter->depth = depth;
            setter->blend = blend;
            add(markers({{0, 0, 0}, {0.5f, 0.5f, 0}}, {"0", "1"}));
            auto* probe = add(std::make_unique<StateProbe>());
            frame("label_state");
            EXPECT_TRUE(probe->depth) << depth << blend;
            EXPECT_FALSE(probe->blend) << depth << blend;
            EXPECT_FALSE(probe->texture2D);
            EXPECT_FALSE(probe->vertexArray);
            EXPECT_FALSE(probe->texCoordArray);
            EXPECT_EQ(probe->program, 0);
            EXPECT_EQ(probe->arrayBuffer, 0);
            TearDown();
            SetUp();
        }
    }
}

TEST_F(PointMarkersTest, MissingLabelProgramShowsThePointsWithoutLabels)
{
    // Label shaders that do not link take the place of the real ones.
    Q_CLEANUP_RESOURCE(LabelShaders);
    ASSERT_TRUE(QResource::registerResource("unlinkable_label_shaders.rcc"));
    std::unique_ptr<Viewport3D::GLPointsWithLabels> unlabelled;
    {
        TestSupport::LogCapture quiet;
        unlabelled = markers({{0.5f, 0.5f, 0}}, {"0"});
    }
    QResource::unregisterResource("unlinkable_label_shaders.rcc");
    Q_INIT_RESOURCE(LabelShaders);

    auto* setter = add(std::make_unique<StateSetter>());
    setter->blend = true;
    setter->depth = false;
    add(std::move(unlabelled));
    auto* probe = add(std::make_unique<StateProbe>());
    const QImage image = frame("labels_without_program");
    EXPECT_TRUE(labelFillBox(image).isEmpty());
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, 0.5f), kPointColour, 2));
    EXPECT_TRUE(probe->blend && !probe->depth) << "the state is left as it was";
}

TEST_F(PointMarkersTest, PointsWithoutLabelsAndAnotherCountOfMovedPoints)
{
    const QVector<QVector3D> three{{-0.8f, -0.8f, 0}, {0.8f, -0.8f, 0}, {0.8f, 0.8f, 0}};
    auto* shown = add(markers(three, makeIndexLabels(1)));
    auto pointsShown = [&](const QImage& image, const QVector<QVector3D>& points) {
        for (const QVector3D& p : points) {
            if (!TestSupport::colorNear(at(image, p.x(), p.y()), kPointColour, 2))
                return false;
        }
        return true;
    };
    QImage image = frame("three_points_one_label");
    EXPECT_TRUE(pointsShown(image, three));
    const QRect labels = labelFillBox(image);
    ASSERT_FALSE(labels.isEmpty());
    EXPECT_LT(labels.right(), kSide / 2) << "only the first point, on the left, has a label";

    const QVector<QVector3D> five{{-0.8f, 0.8f, 0}, {-0.4f, 0, 0}, {0, 0.4f, 0}, {0.4f, 0, 0}, {0, -0.4f, 0}};
    shown->updatePoints(five);
    image = frame("five_moved_points");
    EXPECT_TRUE(pointsShown(image, five));
    EXPECT_FALSE(TestSupport::colorNear(at(image, 0.8f, -0.8f), kPointColour, 60)) << "the old points are gone";
    EXPECT_LT(labelFillBox(image).bottom(), kSide / 2) << "the label follows the first point";

    const QVector<QVector3D> one{{0.5f, 0.5f, 0}};
    shown->updatePoints(one);
    image = frame("one_moved_point");
    EXPECT_TRUE(pointsShown(image, one));
    EXPECT_FALSE(TestSupport::colorNear(at(image, -0.4f, 0), kPointColour, 60));
    EXPECT_EQ(shown->aaBoundingBox(), Viewport3D::BoundingBox::fromPoints(three)) << "the box stays as built";
}

TEST_F(PointMarkersTest, PlainPointsAndTheirBox)
{
    const QVector<QVector3D> points{{-0.5f, 0, 0}, {0.5f, 0.5f, 0}};
    auto* plain = add(std::make_unique<Viewport3D::GLPoints>(points, QColor(0, 120, 255), 7.0f));
    EXPECT_EQ(plain->aaBoundingBox(), Viewport3D::BoundingBox(QVector3D(-0.5f, 0, 0), QVector3D(1, 0.5f, 0)));
    const QImage image = frame("plain_points");
    for (const QVector3D& p : points)
        EXPECT_TRUE(TestSupport::colorNear(at(image, p.x(), p.y()), QColor(0, 120, 255), 2));

    plain->modelMatrix.translate(0, 0.25f, 1);
    EXPECT_EQ(plain->aaBoundingBox(), Viewport3D::BoundingBox(QVector3D(-0.5f, 0.25f, 1), QVector3D(1, 0.5f, 0)));

    view->makeCurrent();
    auto* none = add(std::make_unique<Viewport3D::GLPoints>(QVector<QVector3D>(), QColor(0, 0, 0), 3.0f));
    EXPECT_EQ(none->aaBoundingBox(), Viewport3D::BoundingBox(QVector3D(0, 0, 0), QVector3D(0, 0, 0)));
    frame("no_points");
}

TEST_F(PointMarkersTest, AGLErrorAtDeletionIsLoggedWithTheCode)
{
    view->makeCurrent();
    auto plain = std::make_unique<Viewport3D::GLPoints>(QVector<QVector3D>{{0, 0, 0}}, QColor(0, 120, 255), 7.0f);
    plain->initialize();
    auto labelled = markers({{0, 0, 0}, {0.5f, 0.5f, 0}}, {"0", "1"});
    {
        TestSupport::LogCapture log;
        labelled.reset();
        EXPECT_TRUE(log.texts().isEmpty()) << "a clean deletion is silent";
    }
    labelled = markers({{0, 0, 0}}, {"0"});

    QOpenGLFunctions gl(QOpenGLContext::currentContext());
    const std::pair<const char*, std::function<void()>> deletions[] = {
        {"plain markers", [&] { plain.reset(); }},
        {"labelled markers", [&] { labelled.reset(); }},
    };
    for (const auto& deletion : deletions) {
        SCOPED_TRACE(deletion.first);
        gl.glEnable(GL_TRIANGLES);  // not a capability: GL_INVALID_ENUM is pending at the deletion
        TestSupport::LogCapture log;
        deletion.second();
        EXPECT_EQ(log.texts(QtDebugMsg), QStringList({"OpenGL error: 1280"}));
        EXPECT_EQ(gl.glGetError(), GLenum(GL_NO_ERROR));
    }
}

TEST(PointMarkersInResultsView, MatrixFormAppliesTheModelMatrixInEitherLayer)
{
    auto view = std::make_unique<Viewport3D::Viewport3DLayered>();
    const int side = 200;
    ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(side, side), [&] { return view->isInitialized(); }));
    view->makeCurrent();
    LabelFontAtlas atlas(labelFont(), 4, kLabelColour, Qt::black, 2, printableAsciiChars());
    auto plain = std::make_unique<Viewport3D::GLPoints>(QVector<QVector3D>{{0, 0, 0}}, QColor(0, 120, 255), 9.0f);
    plain->modelMatrix.translate(0.5f, 0.5f, 0);
    auto labelled = std::make_unique<Viewport3D::GLPointsWithLabels>(QVector<QVector3D>{{0, 0, 0}}, makeIndexLabels(1),
                                                                     &atlas, kPointColour, 9.0f);
    labelled->modelMatrix.translate(-0.5f, -0.5f, 0);
    view->addObject(plain.get(), Viewport3D::Viewport3DLayered::BackLayer);
    view->addObject(labelled.get(), Viewport3D::Viewport3DLayered::FrontLayer);

    const QImage image = TestSupport::renderFrame(view.get());
    TestSupport::saveFrame(image, "markers_in_results_view");
    EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(QuadScene::pixelOf(0.5f, 0.5f, side)), QColor(0, 120, 255), 2));
    const QPoint labelledPixel = QuadScene::pixelOf(-0.5f, -0.5f, side);
    EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(labelledPixel - QPoint(2, 0)), kPointColour, 2));
    const QRect label = labelFillBox(image);
    ASSERT_FALSE(label.isEmpty());
    EXPECT_GT(label.left(), labelledPixel.x());
    EXPECT_LE(label.left(), labelledPixel.x() + 5 + QFontMetrics(labelFont()).boundingRect('0').left() + 1);
    EXPECT_LT(label.top(), labelledPixel.y());
    EXPECT_TRUE(labelledPixel.y() - label.bottom() <= 2) << "the baseline runs through the point";

    view->makeCurrent();
    view->removeObject(plain.get());
    view->removeObject(labelled.get());
    plain.reset();
    labelled.reset();
}
