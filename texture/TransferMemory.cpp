#include "texture/TransferMemory.h"

#include <sys/resource.h>
#include <unistd.h>
#include <QLocale>
#include <algorithm>
#include <cstdio>
#include <limits>

#include "texture/TextureTransfer.h"

namespace TextureTransfer {

namespace {

// The hole filling cuts an image of more than kTileEdge^2 texels into tiles of
// kTileEdge plus a margin of one texel per diffusion pass on every side.
constexpr qint64 kTileEdge = 4096;
constexpr qint64 kFillPasses = 20;
// The threads a run starts (the pool's, the padding's, those of the hole
// filling's GL context) take stacks, and the context its own buffers.
constexpr qint64 kThreadsAndContext = qint64(128) << 20;

// Address space and resident set of this process, in bytes (0 when unknown).
void processSizes(qint64& addressSpace, qint64& resident)
{
    addressSpace = resident = 0;
    std::FILE* file = std::fopen("/proc/self/statm", "r");
    if (!file)
        return;
    long long size = 0, rss = 0;
    if (std::fscanf(file, "%lld %lld", &size, &rss) == 2) {
        const qint64 page = sysconf(_SC_PAGESIZE);
        addressSpace = size * page;
        resident = rss * page;
    }
    std::fclose(file);
}

QString bytesText(qint64 bytes)
{
    return QLocale::c().formattedDataSize(bytes, 1, QLocale::DataSizeTraditionalFormat);
}

}  // namespace

qint64 maxTransferTexels()
{
    return (std::numeric_limits<int>::max() - 64) / qint64(sizeof(ThreadMappingContext));
}

qint64 transferPeakBytes(int width, int height, int fillMode, qint64 reservedTexels)
{
    const qint64 texels = qint64(std::max(width, 0)) * std::max(height, 0);
    const qint64 image = 4 * texels;  // one 32-bit copy of the result
    // Growing the kept items allocates the whole new block while the old one is still held.
    const qint64 items = texels > reservedTexels ? texels * qint64(sizeof(ThreadMappingContext)) : 0;
    // The result and the items, which the runner keeps for the next run.
    const qint64 run = image + items;
    // The 2D view and the template view each keep a texture of the result.
    const qint64 previews = 2 * image;
    // One more copy beside them: the converted image an upload makes, or the
    // snapshot that each padding pass reads.
    qint64 peak = run + previews + image;
    if (fillMode == 1) {
        const bool cut = texels > kTileEdge * kTileEdge;
        const qint64 tileEdge = kTileEdge + 2 * kFillPasses;
        const qint64 tile = cut ? 4 * tileEdge * tileEdge : image;
        // Its own input in RGBA, the coarser levels (a third more), the
        // estimate at full size, the estimate's and the known image's tiles
        // when it is cut, the diffused tiles and their merge, and four
        // textures of a tile on the GPU.
        const qint64 filling = image + image / 3 + image + (cut ? 2 * image : 0) + image + (cut ? image : 0) + 4 * tile;
        peak = std::max(peak, run + previews + filling);
    }
    // The allocators and the GL driver round up and keep some more than the
    // copies themselves: measured within a quarter of them.
    return peak + peak / 4 + kThreadsAndContext;
}

qint64 memoryLeftForProcess()
{
    qint64 addressSpace = 0, resident = 0;
    processSizes(addressSpace, resident);
    // A size the system does not tell sets no bound.
    const long pages = sysconf(_SC_PHYS_PAGES), pageSize = sysconf(_SC_PAGESIZE);
    qint64 left = pages > 0 && pageSize > 0 ? qint64(pages) * pageSize - resident : std::numeric_limits<qint64>::max();
    rlimit limit;
    if (getrlimit(RLIMIT_AS, &limit) == 0 && limit.rlim_cur != RLIM_INFINITY &&
        limit.rlim_cur < rlim_t(std::numeric_limits<qint64>::max()))
        left = std::min(left, qint64(limit.rlim_cur) - addressSpace);
    return std::max<qint64>(0, left);
}

QString tooManyWorkItems(int width, int height)
{
    return QStringLiteral("%1 x %2 texels are too many work items").arg(width).arg(height);
}

TransferSizeCheck checkTransferSize(int width, int height, int fillMode, qint64 reservedTexels, qint64 bytesLeft)
{
    TransferSizeCheck check;
    const QString size = QStringLiteral("%1 x %2").arg(width).arg(height);
    if (qint64(width) * height > maxTransferTexels()) {
        check.fits = false;
        check.reason = tooManyWorkItems(width, height);
        check.message = QStringLiteral(
                            "A texture of %1 texels has more texels than one transfer can make "
                            "(at most %2).\nChoose a smaller resolution.")
                            .arg(size)
                            .arg(maxTransferTexels());
        return check;
    }
    const qint64 needed = transferPeakBytes(width, height, fillMode, reservedTexels);
    if (needed > bytesLeft) {
        check.fits = false;
        check.reason = QStringLiteral("%1 texels need about %2 of memory, %3 left")
                           .arg(size, bytesText(needed), bytesText(bytesLeft));
        check.message = QStringLiteral(
                            "A texture of %1 texels needs about %2 of memory during the transfer, "
                            "but only %3 are left.\nChoose a smaller resolution.")
                            .arg(size, bytesText(needed), bytesText(bytesLeft));
    }
    return check;
}

}  // namespace TextureTransfer
