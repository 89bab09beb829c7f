// The 2D texture view: the checker resource, the image fitted and centred over
// the checkerboard at the expected pixel extents with the checks' phase,
// transparent and opaque texels, replacing and clearing the image, and a
// missing image program.
#include "rendering/RenderingResources.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <QOpenGLShaderProgram>
#include <QSignalSpy>
#include <cmath>
#include <memory>

namespace {

const QColor kBackground(63, 62, 58);
const QColor kWhite(255, 255, 255);
const QColor kGrey(0xCC, 0xCC, 0xCC);
const QColor kOpaque(30, 90, 200);

// The checker as the view should show it: 8-pixel squares, white at the
// image's top-left corner.
QColor checkAt(int dx, int dy)
{
    return (dx / 8 + dy / 8) % 2 == 0 ? kWhite : kGrey;
}

QImage filled(const QSize& size, const QColor& colour)
{
    QImage image(size, QImage::Format_ARGB32);
    image.fill(colour);
    return image;
}

}  // namespace

class TextureViewTest : public ::testing::Test {
protected:
    void show(const QSize& size)
    {
        view = std::make_unique<Viewport2D::GLViewport2D>();
        QSignalSpy initialised(view.get(), &Viewport2D::GLViewport2D::initialized);
        ASSERT_TRUE(TestSupport::showGLView(view.get(), size, [this] { return view->isInitialized(); }));
        EXPECT_EQ(initialised.count(), 1);
        view->makeCurrent();
    }

    void setImage(const QImage& image)
    {
        view->makeCurrent();
        view->clearImage();
        view->setImage(image);
    }

    QImage frame(const QString& name)
    {
        const QImage image = TestSupport::renderFrame(view.get());
        TestSupport::saveFrame(image, name);
        view->makeCurrent();
        return image;
    }

    // Every pixel at least one pixel inside the rectangle (inner) or outside
    // it (outer) has the expected colour; the edge pixels may be mixed, and an
    // invalid inner colour is not checked.
    static ::testing::AssertionResult covers(const QImage& image, const QRectF& rect,
                                             const std::function<QColor(int, int)>& inner, const QColor& outer)
    {
        for (int y = 0; y < image.height(); ++y) {
            for (int x = 0; x < image.width(); ++x) {
                const bool inside = x >= rect.left() + 1 && x + 1 <= rect.right() - 1 && y >= rect.top() + 1 &&
                                    y + 1 <= rect.bottom() - 1;
                const bool outside = x + 1 <= rect.left() - 1 || x >= rect.right() + 1 || y + 1 <= rect.top() - 1 ||
                                     y >= rect.bottom() + 1;
                if (!inside && !outside)
                    continue;
                const QColor expected = inside ? inner(x, y) : outer;
                if (!expected.isValid())
                    continue;  // not checked
                const ::testing::AssertionResult near = TestSupport::colorNear(image.pixelColor(x, y), expected, 2);
                if (!near)
                    return ::testing::AssertionFailure() << "pixel (" << x << ", " << y << "): " << near.message();
            }
        }
        return ::testing::AssertionSuccess();
    }

    std::unique_ptr<Viewport2D::GLViewport2D> view;
};

TEST(TextureViewResources, CheckerIsSixteenPixelsOfFourSquares)
{
    Viewport3D::initRenderingResources();
    const QImage checker(":/Viewport2D/Images/Checker.png");
    ASSERT_EQ(checker.size(), QSize(16, 16));
    EXPECT_TRUE(checker.hasAlphaChannel());
    for (int y = 0; y < 16; ++y)
        for (int x = 0; x < 16; ++x)
            EXPECT_EQ(checker.pixelColor(x, y), (x < 8) == (y < 8) ? kGrey : kWhite) << x << ", " << y;
}

TEST_F(TextureViewTest, WithoutImageTheCheckerSquareIsCentred)
{
    ASSERT_NO_FATAL_FAILURE(show(QSize(800, 600)));
    EXPECT_EQ(view->imageSize, QSize(512, 512));
    EXPECT_EQ(view->format().samples(), 4);
    EXPECT_EQ(view->projection.map(QVector3D(4.0f / 3, -1, 0)), QVector3D(1, -1, 0));
    const QImage image = frame("texture_view_checker");
    EXPECT_TRUE(covers(
        image, QRectF(100, 0, 600, 600), [](int x, int y) { return checkAt(x - 100, y); }, kBackground));
    // Checks are crisp to the pixel at the corner and along the edges.
    EXPECT_EQ(image.pixelColor(100, 0), kWhite);
    EXPECT_EQ(image.pixelColor(108, 0), kGrey);
    EXPECT_EQ(image.pixelColor(100, 8), kGrey);
    EXPECT_EQ(image.pixelColor(699, 599), kWhite);  // 600 = 37.5 periods: a white square ends there
}

TEST_F(TextureViewTest, ImagesAreFittedWholeAndCentred)
{
    const struct {
        QSize widget;
        QSize image;
        QRectF covered;
    } cases[] = {
        {{800, 600}, {512, 512}, QRectF(100, 0, 600, 600)},
        {{300, 600}, {1024, 256}, QRectF(0, 262.5, 300, 75)},
        {{400, 400}, {256, 256}, QRectF(0, 0, 400, 400)},
    };
    for (const auto& c : cases) {
        ASSERT_NO_FATAL_FAILURE(show(c.widget));
        setImage(filled(c.image, kOpaque));
        EXPECT_EQ(view->imageSize, c.image);
        const QImage image = frame(QString("texture_view_%1x%2_in_%3x%4")
                                       .arg(c.image.width())
                                       .arg(c.image.height())
                                       .arg(c.widget.width())
                                       .arg(c.widget.height()));
        EXPECT_TRUE(covers(
            image, c.covered, [](int, int) { return kOpaque; }, kBackground))
            << c.widget.width();
    }
}

TEST_F(TextureViewTest, TransparentTexelsShowTheChecksAndOpaqueOnesHideThem)
{
    ASSERT_NO_FATAL_FAILURE(show(QSize(800, 600)));
    // Top-left quadrant fully transparent, the rest opaque.
    QImage quadrants = filled(QSize(512, 512), kOpaque);
    for (int y = 0; y < 256; ++y)
        for (int x = 0; x < 256; ++x)
            quadrants.setPixelColor(x, y, Qt::transparent);
    setImage(quadrants);
    const QImage image = frame("texture_view_transparent_quadrant");
    // The quadrant boundary at 300 pixels is blended by the image's filtering.
    EXPECT_TRUE(covers(
        image, QRectF(100, 0, 600, 600),
        [](int x, int y) {
            if (x < 397 && y < 297)
                return checkAt(x - 100, y);
            if (x > 402 || y > 302)
                return kOpaque;
            return QColor();
        },
        kBackground));
}

TEST_F(TextureViewTest, ReplacingReleasesTheOldTextureAndClearingLeavesTheCheckerAlone)
{
    ASSERT_NO_FATAL_FAILURE(show(QSize(800, 600)));
    const QImage checkerOnly = frame("texture_view_before_image");

    view->makeCurrent();
    view->setImage(filled(QSize(64, 32), kOpaque));
    const GLuint first = view->imageTexture->id;
    view->setImage(filled(QSize(512, 512), kOpaque));  // without clearing first
    EXPECT_FALSE(glIsTexture(first)) << "the first image's texture is released";
    EXPECT_TRUE(covers(
        frame("texture_view_replaced"), QRectF(100, 0, 600, 600), [](int, int) { return kOpaque; }, kBackground));

    view->makeCurrent();
    const GLuint second = view->imageTexture->id;
    view->clearImage();
    EXPECT_EQ(view->imageTexture, nullptr);
    EXPECT_FALSE(glIsTexture(second));
    EXPECT_EQ(view->imageSize, QSize(512, 512));
    EXPECT_EQ(view->quadVertexCount, 6);
    EXPECT_EQ(frame("texture_view_cleared"), checkerOnly);
}

TEST_F(TextureViewTest, MissingImageProgramPaintsTheBackgroundOnly)
{
    {
        TestSupport::LogCapture log;
        EXPECT_EQ(Viewport2D::GLViewport2D::makeShaderProgram(":/Viewport2D/Shaders/Missing.vert",
                                                              ":/Viewport2D/Shaders/ImageShader.frag"),
                  nullptr);
        EXPECT_TRUE(log.contains("Failed to compile vertex shader"));
    }
    ASSERT_NO_FATAL_FAILURE(show(QSize(800, 600)));
    const QImage checkerOnly = frame("texture_view_checker_reference");
    view->makeCurrent();
    delete view->imageProgram;
    view->imageProgram = nullptr;
    setImage(filled(QSize(512, 512), kOpaque));
    EXPECT_EQ(frame("texture_view_without_image_program"), checkerOnly);

    view->makeCurrent();
    delete view->backgroundProgram;
    view->backgroundProgram = nullptr;
    EXPECT_TRUE(covers(
        frame("texture_view_without_programs"), QRectF(0, 0, 0, 0), [](int, int) { return QColor(); }, kBackground));
}
