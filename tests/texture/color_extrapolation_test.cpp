// GPU hole filling: the known-colour pyramid, tiles and their merge, and whole extrapolations on Mesa's
// software renderer held against a CPU run of the same diffusion (also cut into small tiles); known texels
// exact, the failures (transparent input, no program) and no event processed during the call.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QEvent>
#include <QRegularExpression>
#include <QTimer>
#include <cmath>

#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "texture/ColorExtrapolation/ColorExtrapolator.h"
#include "texture/ColorExtrapolation/ExtrapolationImages.h"

using namespace ColorExtrapolation;

namespace {

const int iterations = 20;
const float alpha = 0.15f;

QImage rgbaImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGBA8888);
    image.fill(Qt::transparent);
    return image;
}

// Known texels scattered with random colours; some half-transparent ones count as missing.
QImage scatteredImage(int width, int height, int knownPercent, quint32 seed)
{
    QImage image = rgbaImage(width, height);
    quint32 state = seed;
    const auto next = [&state] {
        state = state * 1664525u + 1013904223u;
        return state >> 8;
    };
    for (int y = 0; y < height; ++y)
        for (int x = 0; x < width; ++x) {
            const quint32 r = next();
            if (int(r % 100) < knownPercent)
                image.setPixel(x, y, qRgba(next() & 255, next() & 255, next() & 255, 255));
            else if (r % 7 == 0)
                image.setPixel(x, y, qRgba(next() & 255, next() & 255, next() & 255, 1 + next() % 254));
        }
    return image;
}

// The diffusion of the fragment program on the CPU: nearest samples at the
// texel centres, neighbour coordinates at 1 or above read at 0.99, the result
// rounded to 8 bits after every pass.
QImage diffuseTileOnCpu(const QImage& known, const QImage& estimate, int passes)
{
    const int w = known.width(), h = known.height();
    QImage current = toRgba8888(estimate);
    for (int pass = 0; pass < passes; ++pass) {
        QImage next = rgbaImage(w, h);
        for (int y = 0; y < h; ++y)
            for (int x = 0; x < w; ++x) {
                const uchar* o = known.constScanLine(y) + 4 * x;
                uchar* out = next.scanLine(y) + 4 * x;
                if (o[3] == 255) {
                    std::copy(o, o + 4, out);
                    continue;
                }
                const float cx = (x + 0.5f) / w, cy = (y + 0.5f) / h;
                float sum[3] = {0, 0, 0};
                for (int i = -1; i <= 1; ++i)
                    for (int j = -1; j <= 1; ++j) {
                        float px = cx + i * (1.0f / w), py = cy + j * (1.0f / h);
                        px = px >= 1.0f ? 0.99f : (px < 0.0f ? 0.0f : px);
                        py = py >= 1.0f ? 0.99f : (py < 0.0f ? 0.0f : py);
                        const int tx = std::min(int(std::floor(px * w)), w - 1);
                        const int ty = std::min(int(std::floor(py * h)), h - 1);
                        const uchar* s = current.constScanLine(ty) + 4 * tx;
                        const float weight = (i == 0 && j == 0) ? -8.0f : 1.0f;
                        for (int k = 0; k < 3; ++k)
                            sum[k] += s[k] * (1.0f / 255.0f) * alpha * weight;
                    }
                const uchar* e = current.constScanLine(y) + 4 * x;
                for (int k = 0; k < 3; ++k) {
                    const float value = std::min(1.0f, std::max(0.0f, sum[k] + e[k] * (1.0f / 255.0f)));
                    out[k] = uchar(std::nearbyint(value * 255.0f));  // to nearest, ties to even
                }
                out[3] = 255;
            }
        current = next;
    }
    return current;
}

// The whole coarse-to-fine run with the CPU diffusion in place of the GPU's.
QImage extrapolateOnCpu(const QImage& input, int tileSize, int passes = iterations)
{
    QList<QImage> pyramid = {toRgba8888(input)};
    while (std::min(pyramid.last().width(), pyramid.last().height()) > 1)
        pyramid.append(halveImage(pyramid.last()));
    QImage estimate = pyramid.last();
    for (int level = pyramid.size() - 1; level >= 0; --level) {
        const QImage& known = pyramid[level];
        estimate = estimate.scaled(known.size(), Qt::IgnoreAspectRatio, Qt::FastTransformation);
        const QList<QImage> estimates = splitIntoTiles(estimate, tileSize, passes);
        const QList<QImage> knowns = splitIntoTiles(known, tileSize, passes);
        QList<QImage> results;
        for (int t = 0; t < knowns.size(); ++t)
            results.append(diffuseTileOnCpu(knowns[t], estimates[t], passes));
        estimate = mergeTiles(results, known.size(), tileSize, passes);
    }
    return estimate;
}

int largestChannelDifference(const QImage& a, const QImage& b)
{
    int largest = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < 4 * a.width(); ++x)
            largest = std::max(largest, std::abs(int(a.constScanLine(y)[x]) - int(b.constScanLine(y)[x])));
    return largest;
}

// Channels (red, green, blue, alpha) that differ at all.
int differingChannels(const QImage& a, const QImage& b)
{
    int count = 0;
    for (int y = 0; y < a.height(); ++y)
        for (int x = 0; x < 4 * a.width(); ++x)
            count += a.constScanLine(y)[x] != b.constScanLine(y)[x];
    return count;
}

}  // namespace

TEST(ExtrapolationImages, PyramidLevelsHalveDownToASideOfOne)
{
    QList<QSize> sizes = {QSize(5, 3)};
    QImage level = rgbaImage(5, 3);
    while (std::min(level.width(), level.height()) > 1) {
        level = halveImage(level);
        sizes.append(level.size());
    }
    EXPECT_EQ(sizes, QList<QSize>({QSize(5, 3), QSize(3, 2), QSize(2, 1)}));
    EXPECT_EQ(halveImage(rgbaImage(1, 1)).size(), QSize(1, 1));

    QImage block = rgbaImage(4, 4);
    block.setPixel(0, 0, qRgba(10, 20, 30, 255));
    block.setPixel(1, 0, qRgba(11, 20, 30, 255));
    block.setPixel(0, 1, qRgba(10, 23, 30, 255));
    block.setPixel(1, 1, qRgba(10, 20, 36, 255));
    block.setPixel(2, 2, qRgba(99, 99, 99, 254));  // not known
    const QImage half = halveImage(block);
    EXPECT_EQ(half.format(), QImage::Format_RGBA8888);
    EXPECT_EQ(half.pixel(0, 0), qRgba(10, 20, 31, 255));  // integer means
    EXPECT_EQ(half.pixel(1, 0), 0u);
    EXPECT_EQ(half.pixel(0, 1), 0u);
    EXPECT_EQ(half.pixel(1, 1), 0u);

    EXPECT_EQ(countNonOpaqueTexels(block), 12);
    EXPECT_EQ(countNonOpaqueTexels(QImage()), 0);
    EXPECT_EQ(clampedPixel(block, -3, 7), block.pixel(0, 3));
}

TEST(ExtrapolationImages, TilesCoverLargeAreasAndMergeBackToTheImage)
{
    // Whole when the area fits, even with a side longer than the tile.
    EXPECT_EQ(splitIntoTiles(rgbaImage(128, 2), 16, 3).size(), 1);
    EXPECT_EQ(splitIntoTiles(rgbaImage(8192, 100), 4096, 20).size(), 1);
    // One texel more each way than the tile: four tiles, column by column.
    const QImage image = scatteredImage(17, 17, 100, 7);
    const QList<QImage> tiles = splitIntoTiles(image, 16, 3);
    ASSERT_EQ(tiles.size(), 4);
    EXPECT_EQ(tiles[0].size(), QSize(17, 17));  // 0..16+3, clipped
    EXPECT_EQ(tiles[1].size(), QSize(17, 4));   // y from 13
    EXPECT_EQ(tiles[2].size(), QSize(4, 17));   // x from 13
    EXPECT_EQ(tiles[3].size(), QSize(4, 4));
    EXPECT_EQ(tiles[1].pixel(0, 0), image.pixel(0, 13));
    EXPECT_EQ(tiles[2].pixel(0, 0), image.pixel(13, 0));
    EXPECT_EQ(mergeTiles(tiles, image.size(), 16, 3), image);

    const QImage wide = scatteredImage(53, 37, 100, 8);
    EXPECT_EQ(splitIntoTiles(wide, 8, 5).size(), 7 * 5);
    EXPECT_EQ(mergeTiles(splitIntoTiles(wide, 8, 5), wide.size(), 8, 5), wide);
}

class ExtrapolatorTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        extrapolator = std::make_unique<ColorExtrapolator>(iterations, alpha, nullptr);
        ASSERT_TRUE(extrapolator->isValid()) << "no GL context (run under xvfb-run)";
    }
    std::unique_ptr<ColorExtrapolator> extrapolator;
};

TEST_F(ExtrapolatorTest, FillsHolesAsTheCpuDiffusionDoesAndKeepsKnownTexels)
{
    struct Case {
        const char* name;
        QImage image;
        int tileSize;
    };
    const QVector<Case> cases = {
        {"scattered", scatteredImage(37, 23, 30, 1), 4096},
        {"sparse", scatteredImage(37, 23, 3, 2), 4096},
        {"small tiles", scatteredImage(37, 23, 30, 3), 16},
        {"one known texel",
         [] {
             QImage one = rgbaImage(21, 19);
             one.setPixel(4, 15, qRgba(200, 40, 90, 255));
             return one;
         }(),
         4096},
        {"argb input", scatteredImage(29, 11, 20, 4).convertToFormat(QImage::Format_ARGB32), 8},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        extrapolator->setTileSize(c.tileSize);
        TestSupport::LogCapture log;
        bool error = false;
        const QImage filled = extrapolator->extrapolate(c.image, &error);
        EXPECT_FALSE(error);
        ASSERT_EQ(filled.format(), QImage::Format_RGBA8888);
        ASSERT_EQ(filled.size(), c.image.size());
        TestSupport::saveFrame(filled, QString("extrapolated_%1").arg(QString(c.name).replace(' ', '_')));
        // The new value of a missing texel is a multiple of 1/20 of a level, so
        // one in twenty is a tie that the GPU's float order may round either
        // way; over twenty passes and the levels such differences can meet.
        const QImage expected = extrapolateOnCpu(c.image, c.tileSize);
        EXPECT_LE(largestChannelDifference(filled, expected), 2);
        EXPECT_LT(differingChannels(filled, expected), filled.width() * filled.height() * 4 / 10);
        for (int y = 0; y < filled.height(); ++y)
            for (int x = 0; x < filled.width(); ++x) {
                ASSERT_EQ(qAlpha(filled.pixel(x, y)), 255) << x << " " << y;
                if (qAlpha(c.image.pixel(x, y)) == 255) {
                    ASSERT_EQ(filled.pixel(x, y), c.image.pixel(x, y)) << x << " " << y;
                }
            }
        EXPECT_TRUE(log.contains("Starting color extrapolation"));
        EXPECT_TRUE(log.contains("Color extrapolation finished"));
        EXPECT_FALSE(log.contains("OpenGL Error")) << log.texts().join("\n").toStdString();
    }
}

TEST(ExtrapolatorOnePass, EachPassMatchesTheCpuDiffusionWithinOne)
{
    // A single pass at every level and tile: GPU and CPU may part only at ties.
    ColorExtrapolator extrapolator(1, alpha, nullptr);
    ASSERT_TRUE(extrapolator.isValid());
    for (int seed = 1; seed <= 6; ++seed) {
        SCOPED_TRACE(seed);
        for (const QImage& image : {scatteredImage(64, 1, 10, seed), scatteredImage(37, 23, 20, seed)}) {
            extrapolator.setTileSize(seed % 2 ? 4096 : 8);
            bool error = false;
            const QImage filled = extrapolator.extrapolate(image, &error);
            ASSERT_FALSE(error);
            EXPECT_LE(largestChannelDifference(filled, extrapolateOnCpu(image, seed % 2 ? 4096 : 8, 1)), 1);
        }
    }
}

TEST_F(ExtrapolatorTest, OneKnownTexelIsReturnedAndPartlyTransparentOnesAreReplaced)
{
    QImage single = rgbaImage(1, 1);
    single.setPixel(0, 0, qRgba(1, 2, 3, 255));
    bool error = false;
    EXPECT_EQ(extrapolator->extrapolate(single, &error).pixel(0, 0), qRgba(1, 2, 3, 255));
    EXPECT_FALSE(error);

    QImage mixed = rgbaImage(3, 1);
    mixed.setPixel(0, 0, qRgba(100, 100, 100, 255));
    mixed.setPixel(1, 0, qRgba(250, 0, 0, 200));
    mixed.setPixel(2, 0, qRgba(100, 100, 100, 255));
    const QImage filled = extrapolator->extrapolate(mixed, &error);
    EXPECT_EQ(qAlpha(filled.pixel(1, 0)), 255);
    EXPECT_LE(largestChannelDifference(filled, extrapolateOnCpu(mixed, 4096)), 2);
}

TEST_F(ExtrapolatorTest, TransparentInputFailsWithItsMessageAndComesBackUnchanged)
{
    for (const QImage& image : {rgbaImage(8, 8), QImage()}) {
        TestSupport::LogCapture log;
        bool error = false;
        const QImage result = extrapolator->extrapolate(image, &error);
        EXPECT_TRUE(error);
        EXPECT_EQ(result, image);
        EXPECT_TRUE(log.contains("ERROR: Transparent texture"));
        EXPECT_FALSE(log.contains("Starting color extrapolation"));
    }
    EXPECT_EQ(extrapolator->extrapolate(rgbaImage(2, 2), nullptr), rgbaImage(2, 2));  // no flag to set
}

TEST_F(ExtrapolatorTest, InitialisesWithoutProcessingEventsOnTheWay)
{
    // A posted event (a click, a timer) must wait until the call is over.
    bool delivered = false;
    QTimer::singleShot(0, [&delivered] { delivered = true; });
    TestSupport::LogCapture log;
    bool error = false;
    extrapolator->extrapolate(scatteredImage(9, 9, 50, 5), &error);
    EXPECT_FALSE(error);
    EXPECT_FALSE(delivered);
    EXPECT_TRUE(log.contains("initialized"));
    EXPECT_FALSE(log.contains("Warning: initializeGL() called before extrapolation()"));
    QCoreApplication::processEvents();
    EXPECT_TRUE(delivered);
}

TEST(ExtrapolatorWithoutProgram, FailsWithTheErrorFlagWhenTheShadersDoNotCompile)
{
    const TestSupport::ChildRun run = TestSupport::runTestsInChild(
        "ExtrapolatorWithoutProgram.DISABLED_ChildExtrapolates", TestSupport::openGL30Environment());
    ASSERT_TRUE(run.finished);
    const QString output = QString::fromLocal8Bit(run.standardOutput + run.standardError);
    EXPECT_EQ(run.exitCode, 0) << output.toStdString();
    // Mesa reports the version at compile or at link time, depending on the stage.
    EXPECT_TRUE(
        output.contains(QRegularExpression("Failed to (compile vertex shader|compile fragment shader|link "
                                           "shader program)")))
        << output.toStdString();
    EXPECT_TRUE(output.contains("ERROR: No diffusion program")) << output.toStdString();
    EXPECT_FALSE(output.contains("Starting color extrapolation")) << output.toStdString();
    EXPECT_TRUE(output.contains("[  PASSED  ] 1 test")) << output.toStdString();
}

// Runs only in a child process whose GL offers GLSL 1.30, which the "#version 330" shaders need more than.
TEST(ExtrapolatorWithoutProgram, DISABLED_ChildExtrapolates)
{
    ColorExtrapolator extrapolator(iterations, alpha, nullptr);
    ASSERT_TRUE(extrapolator.isValid());
    const QImage image = scatteredImage(9, 9, 50, 6);
    bool error = false;
    const QImage result = extrapolator.extrapolate(image, &error);
    EXPECT_TRUE(error);
    EXPECT_EQ(result, image);
}
