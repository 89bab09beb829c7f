// The dialog's six scene pictures: kept and compiled in as the model view renders them now, in blue and in greys.
#include "Tarnwick/TarnwickResources.h"
#include "tests/support/GLViewTestHelpers.h"
#include "tests/support/TempFiles.h"

#include <gtest/gtest.h>
#include <QColor>
#include <QImage>
#include <QProcess>
#include <QStringList>
#include <cstdlib>

namespace {

const QStringList kNames = {"DemoHand", "DemoTorso", "DemoHead"};

int channelDifference(QRgb a, QRgb b)
{
    return std::max({std::abs(qRed(a) - qRed(b)), std::abs(qGreen(a) - qGreen(b)), std::abs(qBlue(a) - qBlue(b))});
}

// Equal up to the rounding of another software rasteriser: a small mean
// difference and few pixels that differ much (an edge a pixel away).
::testing::AssertionResult picturesMatch(const QImage& actual, const QImage& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << "size " << actual.width() << "x" << actual.height();
    double sum = 0;
    int far = 0;
    for (int y = 0; y < actual.height(); ++y)
        for (int x = 0; x < actual.width(); ++x) {
            const int d = channelDifference(actual.pixel(x, y), expected.pixel(x, y));
            sum += d;
            far += d > 48;
        }
    const double mean = sum / (actual.width() * actual.height());
    if (mean > 3.0 || far > actual.width() * actual.height() / 100)
        return ::testing::AssertionFailure() << "mean difference " << mean << ", " << far << " pixels far off";
    return ::testing::AssertionSuccess();
}

QImage load(const QString& path)
{
    return QImage(path).convertToFormat(QImage::Format_RGB32);
}

}  // namespace

TEST(ScenePictures, KeptAndCompiledPicturesAreWhatTheViewRendersNow)
{
    TestSupport::TempDir dir;
    QProcess renderer;
    renderer.start(QString(PLYFORM_SCENE_PICTURES), {QString(PLYFORM_DEMO_MODELS_DIR), dir.filePath("pictures")});
    ASSERT_TRUE(renderer.waitForFinished(120000));
    ASSERT_EQ(renderer.exitCode(), 0) << renderer.readAllStandardError().constData();
    initTarnwickResources();
    for (const QString& stem : kNames)
        for (const QString& name : {stem, stem + "Inactive"}) {
            SCOPED_TRACE(qPrintable(name));
            const QImage rendered = load(dir.filePath("pictures/" + name + ".png"));
            ASSERT_EQ(rendered.size(), QSize(115, 115));
            TestSupport::saveFrame(rendered, "scene_picture_" + name);
            EXPECT_TRUE(picturesMatch(rendered, load(QString(PLYFORM_SCENE_PICTURES_SOURCE) + "/" + name + ".png")))
                << "run scripts/make-scene-pictures";
            EXPECT_TRUE(picturesMatch(rendered, load(":/DemoDialog/" + name + ".png")));
        }
}

// The active picture shows the template in its blue on grey; the inactive one
// is the same rendering in greys, drawing nothing where the blue one shows ground.
TEST(ScenePictures, BlueTemplateOnGreyAndTheSameShapeInGreys)
{
    initTarnwickResources();
    for (const QString& stem : kNames) {
        SCOPED_TRACE(qPrintable(stem));
        const QImage active = load(":/DemoDialog/" + stem + ".png");
        const QImage inactive = load(":/DemoDialog/" + stem + "Inactive.png");
        ASSERT_EQ(active.size(), QSize(115, 115));
        ASSERT_EQ(inactive.size(), QSize(115, 115));
        const QRgb activeGround = active.pixel(0, 0), inactiveGround = inactive.pixel(0, 0);
        EXPECT_EQ(qRed(activeGround), qBlue(activeGround));
        EXPECT_EQ(qRed(inactiveGround), qBlue(inactiveGround));
        int model = 0, blue = 0, notGrey = 0, disagree = 0, dark = 0, light = 0;
        for (int y = 0; y < 115; ++y)
            for (int x = 0; x < 115; ++x) {
                const QRgb a = active.pixel(x, y), i = inactive.pixel(x, y);
                const bool inA = channelDifference(a, activeGround) > 8;
                const bool inI = channelDifference(i, inactiveGround) > 8;
                model += inA;
                blue += inA && qBlue(a) > qRed(a) + 40;
                notGrey += channelDifference(i, qRgb(qGray(i), qGray(i), qGray(i))) > 2;
                disagree += !inA && inI;  // drawn in grey where the blue picture shows ground
                dark += inI && qGray(i) < qGray(inactiveGround);
                light += inI && qGray(i) > qGray(inactiveGround);
            }
        EXPECT_GT(model, 115 * 115 / 4) << "the model fills the picture";
        EXPECT_GT(blue, model * 3 / 4);
        EXPECT_EQ(notGrey, 0);
        EXPECT_LT(disagree, model / 50);
        // Shaded surface lighter than the ground, wire and shadows darker.
        EXPECT_GT(light, model / 4);
        EXPECT_GT(dark, model / 20);
    }
}
