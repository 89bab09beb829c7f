// Padding thread: islands grow by one ring per pass only where two neighbours were filled, borders are clipped,
// padding 0 changes nothing, and progress steps, totals and percentages for wide and narrow images.
#include <gtest/gtest.h>
#include <QCoreApplication>
#include <QSignalSpy>
#include <memory>

#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "texture/PaddingMaker.h"
#include "texture/TexelColors.h"

namespace {

QImage emptyImage(int width, int height)
{
    QImage image(width, height, QImage::Format_ARGB32);
    image.fill(Qt::transparent);
    return image;
}

struct PaddingRun {
    QList<int> statuses;
    QList<QList<QVariant>> ranges;
};

PaddingRun pad(QImage& image, int paddingWidth)
{
    auto maker = std::make_unique<PaddingMaker>(&image, paddingWidth, nullptr);
    QSignalSpy status(maker.get(), &PaddingMaker::statusChanged);
    QSignalSpy range(maker.get(), &PaddingMaker::rangeChanged);
    // Queued to this thread, as the owner receives it.
    int finished = 0;
    QObject receiver;
    QObject::connect(maker.get(), &QThread::finished, &receiver, [&finished] { ++finished; });
    maker->start();
    EXPECT_TRUE(maker->wait(60000));
    QCoreApplication::processEvents();
    EXPECT_EQ(finished, 1);
    maker.reset();  // disposed of as its owner does, before the image is read
    PaddingRun run;
    for (const QList<QVariant>& s : status)
        run.statuses.append(s.first().toInt());
    for (const QList<QVariant>& r : range)
        run.ranges.append(r);
    return run;
}

int filledCount(const QImage& image)
{
    int count = 0;
    for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x)
            count += qAlpha(image.pixel(x, y)) > 0;
    return count;
}

}  // namespace

TEST(Padding, ZeroWidthReportsTheRangeOnlyAndLeavesTheImage)
{
    QImage image = emptyImage(7, 5);
    image.setPixel(3, 2, qRgba(10, 20, 30, 255));
    image.setPixel(4, 2, qRgba(10, 20, 30, 255));
    const QImage before = image.copy();
    const PaddingRun run = pad(image, 0);
    EXPECT_EQ(run.ranges, QList<QList<QVariant>>({{0, 100}}));
    EXPECT_TRUE(run.statuses.isEmpty());
    EXPECT_EQ(image, before);
}

TEST(Padding, LoneTexelNeverGrowsAndRowGrowsAboveAndBelowOnly)
{
    QImage lone = emptyImage(9, 9);
    lone.setPixel(4, 4, qRgba(200, 100, 50, 255));
    pad(lone, 3);
    EXPECT_EQ(filledCount(lone), 1);

    QImage row = emptyImage(9, 7);
    row.setPixel(3, 3, qRgba(200, 0, 0, 255));
    row.setPixel(4, 3, qRgba(0, 200, 0, 255));
    row.setPixel(5, 3, qRgba(0, 0, 200, 128));
    pad(row, 1);
    for (int x = 3; x <= 5; ++x) {
        EXPECT_GT(qAlpha(row.pixel(x, 2)), 0) << x;
        EXPECT_GT(qAlpha(row.pixel(x, 4)), 0) << x;
    }
    for (int y = 2; y <= 4; ++y) {
        EXPECT_EQ(row.pixel(2, y), 0u) << y;  // beside and diagonal to the ends: one neighbour only
        EXPECT_EQ(row.pixel(6, y), 0u) << y;
    }
    EXPECT_EQ(filledCount(row), 9);
    // Above the middle: the mean of all three (alpha too); above an end: of two.
    EXPECT_EQ(row.pixel(4, 2), TextureTransfer::averageColor({row.pixel(3, 3), row.pixel(4, 3), row.pixel(5, 3)}));
    EXPECT_EQ(qAlpha(row.pixel(4, 2)), 213);  // (255 + 255 + 128) / 3
    EXPECT_EQ(row.pixel(3, 4), TextureTransfer::averageColor({row.pixel(3, 3), row.pixel(4, 3)}));
    // The filled texels are left alone.
    EXPECT_EQ(row.pixel(5, 3), qRgba(0, 0, 200, 128));

    // A second pass reads the first pass's result: the ends grow now.
    pad(row, 1);
    EXPECT_GT(qAlpha(row.pixel(2, 3)), 0);
    EXPECT_GT(qAlpha(row.pixel(3, 1)), 0);
}

TEST(Padding, BorderTexelsUseTheClippedWindow)
{
    QImage image = emptyImage(4, 3);
    image.setPixel(0, 0, qRgba(255, 0, 0, 255));
    image.setPixel(1, 0, qRgba(0, 0, 255, 255));
    const QList<QRgb> corner = TextureTransfer::opaqueNeighbourColors(0, 1, image);
    EXPECT_EQ(corner, QList<QRgb>({qRgba(255, 0, 0, 255), qRgba(0, 0, 255, 255)}));  // column by column
    pad(image, 2);
    EXPECT_EQ(image.pixel(0, 1), qRgba(128, 0, 128, 255));
    EXPECT_GT(qAlpha(image.pixel(0, 2)), 0);  // second pass: sees (0, 1) and (1, 1)
    EXPECT_EQ(TextureTransfer::averageColor({qRgba(1, 2, 3, 4)}), 0u);
    EXPECT_EQ(TextureTransfer::averageColor({}), 0u);
}

TEST(Padding, ProgressStepsAndPercentages)
{
    // 2048 wide, 5 passes: step 102 of 10240 columns; the last report is 99.
    QImage wide = emptyImage(2048, 2);
    const PaddingRun wideRun = pad(wide, 5);
    ASSERT_FALSE(wideRun.statuses.isEmpty());
    EXPECT_EQ(wideRun.statuses.size(), 10240 / 102);
    EXPECT_EQ(wideRun.statuses.first(), 102 * 100 / 10240);
    EXPECT_EQ(wideRun.statuses.last(), 99);
    EXPECT_TRUE(std::is_sorted(wideRun.statuses.begin(), wideRun.statuses.end()));

    // Fewer than 100 columns in all: every column reports, the padding runs normally.
    QImage narrow = emptyImage(3, 3);
    narrow.setPixel(0, 0, qRgba(9, 9, 9, 255));
    narrow.setPixel(2, 0, qRgba(9, 9, 9, 255));
    const PaddingRun narrowRun = pad(narrow, 2);
    EXPECT_EQ(narrowRun.statuses, QList<int>({16, 33, 50, 66, 83, 100}));
    EXPECT_EQ(narrow.pixel(1, 0), qRgba(9, 9, 9, 255));

    // An image that could not be allocated is refused, not written through.
    TestSupport::LogCapture log;
    QImage unallocated;
    const PaddingRun refused = pad(unallocated, 3);
    EXPECT_TRUE(unallocated.isNull());
    EXPECT_EQ(refused.ranges.size(), 1);
    EXPECT_TRUE(log.contains("Padding refused")) << log.texts().join("\n").toStdString();
}
