#pragma once
// Whether a texture transfer of a requested size can run in the memory the
// process can still have, decided from the size alone before anything of the
// run is allocated.
#include <QString>
#include <QtGlobal>

namespace TextureTransfer {

// One work item per texel lives in a single QVector, which holds at most 2 GiB.
qint64 maxTransferTexels();
// Why a size past maxTransferTexels() is refused: "<width> x <height> texels are too many work items".
QString tooManyWorkItems(int width, int height);

// Bytes a transfer of width x height texels adds at its peak to what the
// process holds when it starts: the result, the work items (none when an
// earlier run kept room for reservedTexels of them), the previews' uploads and the
// copies the post-processing makes. fillMode: 1 hole filling, 0 padding, any
// other value none.
qint64 transferPeakBytes(int width, int height, int fillMode, qint64 reservedTexels = 0);

// Bytes the process can still take: the physical memory it does not hold yet
// and, when an address-space limit (RLIMIT_AS) is set, what is left below it;
// the smaller of the two.
qint64 memoryLeftForProcess();

// The verdict on a requested size; when it does not fit, what to log after
// "Texture transfer refused: " and what to tell the user.
struct TransferSizeCheck {
    bool fits = true;
    QString reason;
    QString message;
};
TransferSizeCheck checkTransferSize(int width, int height, int fillMode, qint64 reservedTexels, qint64 bytesLeft);

}  // namespace TextureTransfer
