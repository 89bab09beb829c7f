// Brush cursor: the uploaded circle, the placement matrix for any normal, and
// its two circles drawn over a nearer surface in the results view's front layer.
#include "editing/GLBrush.h"
#include "rendering/QuadScene.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"
#include "support/QtPrinters.h"

#include <QOpenGLContext>
#include <QQuaternion>

#include <cmath>
#include <memory>

using Viewport3D::GLBrush;
using Viewport3D::Viewport3DLayered;

namespace {

bool finite(const QMatrix4x4& m)
{
    for (int i = 0; i < 16; ++i)
        if (!std::isfinite(m.constData()[i]))
            return false;
    return true;
}

}  // namespace

TEST(BrushCursorTest, PlacementFacesTheNormalForAnyDirection)
{
    const QVector<QVector3D> points = GLBrush::circlePoints(100, 1.0);
    ASSERT_EQ(points.size(), 100);
    EXPECT_EQ(points.first(), QVector3D(1, 0, 0));
    EXPECT_NEAR(points[25].y(), 1.0, 1e-7);

    GLBrush brush(2.0f, Qt::white);
    brush.setPosition(QVector3D(1, 2, 3));
    const QVector<QVector3D> normals = {{0, 0, 1},  {0, 0, -1},    {0, 0, 5},      {1, 0, 0},
                                        {0, 1, -1}, {1e-8f, 0, 1}, {1e-8f, 0, -1}, {0.3f, -0.4f, 0.5f}};
    for (const QVector3D& normal : normals) {
        SCOPED_TRACE(::testing::PrintToString(normal));
        brush.setNormal(normal);
        const QMatrix4x4 m = brush.modelMatrix();
        ASSERT_TRUE(finite(m));
        EXPECT_EQ(m.map(QVector3D(0, 0, 0)), QVector3D(1, 2, 3));
        // The circle's axis maps onto the normal's line; its points stay at the radius.
        const QVector3D axis = m.mapVector(QVector3D(0, 0, 1));
        EXPECT_NEAR(QVector3D::crossProduct(axis, normal.normalized()).length(), 0.0, 1e-5);
        EXPECT_NEAR(axis.length(), 2.0, 1e-5);
        for (int k : {0, 25, 60})
            EXPECT_NEAR((m.map(points[k]) - QVector3D(1, 2, 3)).length(), 2.0, 1e-5);
    }
    brush.setNormal({0, 0, 1});
    EXPECT_EQ(brush.modelMatrix().map(QVector3D(1, 0, 0)), QVector3D(3, 2, 3)) << "no rotation";
    brush.setNormal({0, 0, -1});
    EXPECT_EQ(brush.modelMatrix().map(QVector3D(1, 0, 0)), QVector3D(3, 2, 3)) << "opposite: stays unrotated";
    // Nearly equal unit vectors whose rounded cosine exceeds 1.
    const QVector3D a = QVector3D(0.6f, 0.8f, 1e-4f).normalized();
    const QQuaternion q = GLBrush::rotationBetween(a, a * 1.0000001f);
    EXPECT_TRUE(std::isfinite(q.scalar()) && std::isfinite(q.x()));
}

class BrushCursorViewTest : public ::testing::Test {
protected:
    static constexpr int kSide = 200;

    void SetUp() override
    {
        view = std::make_unique<Viewport3DLayered>();
        ASSERT_TRUE(TestSupport::showGLView(view.get(), QSize(kSide, kSide), [this] { return view->isInitialized(); }));
    }
    void TearDown() override
    {
        view->makeCurrent();
        if (quad)
            view->removeObject(quad.get());
        if (brush)
            view->removeObject(brush.get());
        quad.reset();
        brush.reset();
        view.reset();
    }

    // Pixel of a world point for the view's camera.
    QPoint pixelOf(const QVector3D& p) const
    {
        const QVector3D ndc = view->camera().projectionMatrix(kSide, kSide).map(view->camera().viewMatrix().map(p));
        return QPoint(int(std::lround((ndc.x() + 1) / 2 * kSide)), int(std::lround((1 - ndc.y()) / 2 * kSide)));
    }
    // Some pixel within one of the given point is white.
    static bool whiteNear(const QImage& image, const QPoint& p)
    {
        for (int dx = -1; dx <= 1; ++dx)
            for (int dy = -1; dy <= 1; ++dy)
                if (TestSupport::colorNear(image.pixelColor(p + QPoint(dx, dy)), Qt::white, 20))
                    return true;
        return false;
    }

    std::unique_ptr<Viewport3DLayered> view;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> quad;
    std::unique_ptr<GLBrush> brush;
};

TEST_F(BrushCursorViewTest, TwoCirclesOverANearerSurfaceAndDepthTestingRestored)
{
    view->makeCurrent();
    quad = QuadScene::make(QuadScene::flatGroup(QColor(0, 0, 255)));
    quad->modelMatrix.translate(0, 0, 0.5f);  // nearer to the eye than the cursor
    view->addObject(quad.get(), Viewport3DLayered::FrontLayer);
    brush = std::make_unique<GLBrush>(0.8f, Qt::white);
    view->addObject(brush.get(), Viewport3DLayered::FrontLayer);
    ASSERT_NE(brush->program, nullptr);
    ASSERT_TRUE(brush->vertexBuffer.isCreated());

    view->makeCurrent();
    ASSERT_TRUE(brush->vertexBuffer.bind());
    EXPECT_EQ(brush->vertexBuffer.size(), 1212);
    QVector<QVector3D> uploaded(101);
    ASSERT_TRUE(brush->vertexBuffer.read(0, uploaded.data(), 1212));
    brush->vertexBuffer.release();
    EXPECT_EQ(uploaded.first(), QVector3D(1, 0, 0));
    EXPECT_EQ(uploaded.last(), QVector3D(1, 0, 0));

    const QImage frame = TestSupport::renderFrame(view.get());
    TestSupport::saveFrame(frame, "brush_cursor_two_circles");
    for (const QVector3D& p : {QVector3D(0.8f, 0, 0), QVector3D(0, -0.8f, 0), QVector3D(0.4f, 0, 0),
                               QVector3D(0, 0.4f, 0), QVector3D(-0.4f, 0, 0)})
        EXPECT_TRUE(whiteNear(frame, pixelOf(p))) << ::testing::PrintToString(p);
    EXPECT_FALSE(whiteNear(frame, pixelOf({0, 0, 0}))) << "the centre stays clear";
    EXPECT_FALSE(whiteNear(frame, pixelOf({0.6f, 0, 0}))) << "between the circles";

    // Recoloured red and moved: the old place is clear again.
    brush->setColor(Qt::red);
    brush->setPosition({0.2f, 0, 0});
    brush->setRadius(0.4f);
    const QImage moved = TestSupport::renderFrame(view.get());
    TestSupport::saveFrame(moved, "brush_cursor_moved_red");
    EXPECT_TRUE(TestSupport::colorNear(moved.pixelColor(pixelOf({0.6f, 0, 0})), Qt::red, 40) ||
                TestSupport::colorNear(moved.pixelColor(pixelOf({0.6f, 0, 0}) + QPoint(1, 0)), Qt::red, 40) ||
                TestSupport::colorNear(moved.pixelColor(pixelOf({0.6f, 0, 0}) - QPoint(1, 0)), Qt::red, 40));
    EXPECT_FALSE(whiteNear(moved, pixelOf({0.8f, 0, 0})));

    view->makeCurrent();
    glEnable(GL_DEPTH_TEST);
    brush->draw(view->camera().viewMatrix(), view->camera().projectionMatrix(kSide, kSide), QSize(kSide, kSide));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
}

TEST_F(BrushCursorViewTest, WithoutProgramTheCursorIsSkipped)
{
    view->makeCurrent();
    GLBrush bare(0.8f, Qt::white);  // never initialised: no buffer, no program
    glEnable(GL_DEPTH_TEST);
    bare.draw(view->camera().viewMatrix(), view->camera().projectionMatrix(kSide, kSide), QSize(kSide, kSide));
    EXPECT_TRUE(glIsEnabled(GL_DEPTH_TEST));
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
}
