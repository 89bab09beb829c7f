#include "texture/PaddingMaker.h"

#include <QDebug>
#include <algorithm>
#include <limits>

#include "texture/TexelColors.h"

namespace TextureTransfer {

QList<QRgb> opaqueNeighbourColors(int x, int y, const QImage& image)
{
    QList<QRgb> colors;
    const int x0 = std::max(x - 1, 0), x1 = std::min(x + 1, image.width() - 1);
    const int y0 = std::max(y - 1, 0), y1 = std::min(y + 1, image.height() - 1);
    const bool plain = image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
    for (int i = x0; i <= x1; ++i)
        for (int j = y0; j <= y1; ++j) {
            const QRgb c = plain ? reinterpret_cast<const QRgb*>(image.constScanLine(j))[i] : image.pixel(i, j);
            if (qAlpha(c) >= 1)
                colors.append(c);
        }
    return colors;
}

}  // namespace TextureTransfer

namespace {

// paddingWidth x width, kept within an int (the counts compare against it).
qint64 columnTotal(const QImage* image, int paddingWidth)
{
    const qint64 width = image ? image->width() : 0;
    return std::min<qint64>(qint64(std::max(paddingWidth, 0)) * width, std::numeric_limits<int>::max());
}

}  // namespace

PaddingMaker::PaddingMaker(QImage* image, int paddingWidth, QObject* parent)
    : QThread(parent),
      image(image),
      // At least 1, so that small images still report (and never divide by zero).
      progressStep(int(std::max<qint64>(columnTotal(image, paddingWidth) / 100, 1))),
      paddingWidth(paddingWidth),
      progressTotal(int(columnTotal(image, paddingWidth)))
{}

void PaddingMaker::run()
{
    emit rangeChanged(0, 100);
    if (paddingWidth <= 0)
        return;
    if (!image || image->isNull()) {
        qWarning("Padding refused: there is no image to pad");
        return;
    }
    for (int pass = 0; pass < paddingWidth; ++pass)
        if (!padOnce())
            return;
}

bool PaddingMaker::padOnce()
{
    const QImage snapshot = image->convertToFormat(QImage::Format_ARGB32);
    if (snapshot.isNull()) {
        qWarning("Padding refused: no memory for a copy of the %d x %d image", image->width(), image->height());
        return false;
    }
    if (image->format() != QImage::Format_ARGB32)
        *image = snapshot;
    // Writing detaches the image from the snapshot once; from then on the
    // snapshot holds the pass's starting state.
    uchar* pixels = image->bits();
    if (!pixels) {
        *image = snapshot;  // a failed detach leaves the image null; give its texels back
        qWarning("Padding refused: no memory for a copy of the %d x %d image", image->width(), image->height());
        return false;
    }
    const int bytesPerLine = image->bytesPerLine();
    const int width = snapshot.width(), height = snapshot.height();
    for (int x = 0; x < width; ++x) {
        for (int y = 0; y < height; ++y) {
            if (qAlpha(reinterpret_cast<const QRgb*>(snapshot.constScanLine(y))[x]) >= 1)
                continue;
            reinterpret_cast<QRgb*>(pixels + qsizetype(y) * bytesPerLine)[x] =
                TextureTransfer::averageColor(TextureTransfer::opaqueNeighbourColors(x, y, snapshot));
        }
        reportColumn();
    }
    return true;
}

void PaddingMaker::reportColumn()
{
    ++progressCount;
    if (progressCount % progressStep == 0)
        emit statusChanged(int(qint64(progressCount) * 100 / progressTotal));
}
