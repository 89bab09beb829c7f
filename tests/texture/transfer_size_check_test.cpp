// Transfer size check: the work-item limit, sizes past the memory left, the room kept from an earlier run, and the
// texts of a refusal.
#include <gtest/gtest.h>
#include <QString>

#include "texture/TransferMemory.h"

using namespace TextureTransfer;

namespace {

constexpr qint64 kGiB = qint64(1) << 30;

TEST(TransferSizeCheck, RefusesTooManyTexelsAndSizesPastTheMemoryLeft)
{
    struct Case {
        int width, height, fillMode;
        qint64 left;
        const char* reasonStart;  // empty: fits
    };
    const Case cases[] = {
        {2048, 2048, 1, 2 * kGiB, ""},
        {2048, 2048, 0, 2 * kGiB, ""},
        // The largest square that has a work item per texel, and one texel row and column more.
        {11585, 11585, 0, 1024 * kGiB, ""},
        {11586, 11586, 0, 1024 * kGiB, "11586 x 11586 texels are too many work items"},
        {30000, 30000, 1, 1024 * kGiB, "30000 x 30000 texels are too many work items"},
        {10000, 10000, 1, kGiB, "10000 x 10000 texels need about "},
        {10000, 10000, 0, kGiB, "10000 x 10000 texels need about "},
        {4096, 4096, 1, 256 << 20, "4096 x 4096 texels need about "},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(QStringLiteral("%1 x %2, mode %3").arg(c.width).arg(c.height).arg(c.fillMode).toStdString());
        const TransferSizeCheck check = checkTransferSize(c.width, c.height, c.fillMode, 0, c.left);
        const QString start = QString::fromLatin1(c.reasonStart);
        EXPECT_EQ(check.fits, start.isEmpty());
        if (start.isEmpty()) {
            EXPECT_TRUE(check.reason.isEmpty() && check.message.isEmpty());
            continue;
        }
        EXPECT_TRUE(check.reason.startsWith(start)) << check.reason.toStdString();
        EXPECT_TRUE(check.message.startsWith(QStringLiteral("A texture of %1 x %2 texels ").arg(c.width).arg(c.height)))
            << check.message.toStdString();
        EXPECT_TRUE(check.message.endsWith("\nChoose a smaller resolution.")) << check.message.toStdString();
    }
    // The memory refusal names what is needed and what is left.
    const TransferSizeCheck check = checkTransferSize(10000, 10000, 1, 0, 768 << 20);
    EXPECT_TRUE(check.reason.endsWith(", 768.0 MB left")) << check.reason.toStdString();
    EXPECT_TRUE(check.message.contains(" of memory during the transfer, but only 768.0 MB are left."))
        << check.message.toStdString();
}

TEST(TransferSizeCheck, EstimateCoversTheResultAndItemsAndFitsExactlyAtItself)
{
    for (const int fillMode : {0, 1, -1}) {
        for (const int side : {1, 512, 4096, 4097, 11585}) {
            SCOPED_TRACE(QStringLiteral("%1, mode %2").arg(side).arg(fillMode).toStdString());
            const qint64 texels = qint64(side) * side;
            const qint64 needed = transferPeakBytes(side, side, fillMode);
            // At least the result, one work item per texel and a preview of the result.
            EXPECT_GE(needed, texels * (4 + 16 + 4));
            EXPECT_TRUE(checkTransferSize(side, side, fillMode, 0, needed).fits);
            EXPECT_FALSE(checkTransferSize(side, side, fillMode, 0, needed - 1).fits);
            // Work items kept from an earlier run of at least this size are not asked for again.
            const qint64 kept = transferPeakBytes(side, side, fillMode, texels);
            EXPECT_GE(needed - kept, texels * 16);
            EXPECT_EQ(transferPeakBytes(side, side, fillMode, 2 * texels), kept);
            // Fewer kept than needed: the grown block is asked for whole, the old one still held.
            EXPECT_EQ(transferPeakBytes(side, side, fillMode, texels - 1), needed);
            EXPECT_TRUE(checkTransferSize(side, side, fillMode, texels, kept).fits);
        }
    }
    // Hole filling works on copies of the result: it needs more than padding.
    EXPECT_GT(transferPeakBytes(2048, 2048, 1), transferPeakBytes(2048, 2048, 0));
}

}  // namespace
