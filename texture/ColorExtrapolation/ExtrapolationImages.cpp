#include "texture/ColorExtrapolation/ExtrapolationImages.h"

#include <algorithm>
#include <cstring>

namespace ColorExtrapolation {

namespace {

bool tiled(const QSize& size, int tile)
{
    return qint64(size.width()) * size.height() > qint64(tile) * tile;
}

}  // namespace

qint64 countNonOpaqueTexels(const QImage& image)
{
    const QImage rgba = toRgba8888(image);
    qint64 count = 0;
    for (int y = 0; y < rgba.height(); ++y) {
        const uchar* row = rgba.constScanLine(y);
        for (int x = 0; x < rgba.width(); ++x)
            count += row[4 * x + 3] != 255;
    }
    return count;
}

QRgb clampedPixel(const QImage& image, int x, int y)
{
    x = std::min(std::max(x, 0), image.width() - 1);
    y = std::min(std::max(y, 0), image.height() - 1);
    const uchar* p = image.constScanLine(y) + 4 * x;
    return qRgba(p[0], p[1], p[2], p[3]);
}

QRgb opaqueAverage2x2(const QImage& image, float rx, float ry)
{
    const int sx = int(image.width() * rx), sy = int(image.height() * ry);
    int r = 0, g = 0, b = 0, count = 0;
    for (int dx = 0; dx <= 1; ++dx)
        for (int dy = 0; dy <= 1; ++dy) {
            const QRgb c = clampedPixel(image, sx + dx, sy + dy);
            if (qAlpha(c) != 255)
                continue;
            r += qRed(c);
            g += qGreen(c);
            b += qBlue(c);
            ++count;
        }
    if (count == 0)
        return 0;
    return qRgba(r / count, g / count, b / count, 255);
}

QImage halveImage(const QImage& image)
{
    const QImage source = toRgba8888(image);
    const int w = (source.width() + 1) / 2, h = (source.height() + 1) / 2;
    QImage half(w, h, QImage::Format_RGBA8888);
    for (int j = 0; j < h; ++j) {
        uchar* row = half.scanLine(j);
        for (int i = 0; i < w; ++i) {
            const QRgb c = opaqueAverage2x2(source, float(i) / float(w), float(j) / float(h));
            row[4 * i] = uchar(qRed(c));
            row[4 * i + 1] = uchar(qGreen(c));
            row[4 * i + 2] = uchar(qBlue(c));
            row[4 * i + 3] = uchar(qAlpha(c));
        }
    }
    return half;
}

QImage toRgba8888(const QImage& image)
{
    if (image.format() == QImage::Format_RGBA8888)
        return image;
    // The conversion keeps every texel's unpremultiplied ARGB value.
    return image.convertToFormat(QImage::Format_RGBA8888);
}

QImage cropWithMargin(const QImage& image, int x0, int y0, int x1, int y1, int margin)
{
    const int left = std::max(x0 - margin, 0), top = std::max(y0 - margin, 0);
    const int right = std::min(x1 + margin, image.width()), bottom = std::min(y1 + margin, image.height());
    return toRgba8888(image.copy(left, top, right - left, bottom - top));
}

QList<QImage> splitIntoTiles(const QImage& image, int tile, int margin)
{
    if (!tiled(image.size(), tile))
        return {image};
    QList<QImage> tiles;
    for (int x0 = 0; x0 < image.width(); x0 += tile)
        for (int y0 = 0; y0 < image.height(); y0 += tile)
            tiles.append(cropWithMargin(image, x0, y0, x0 + tile, y0 + tile, margin));
    return tiles;
}

QImage mergeTiles(const QList<QImage>& tiles, const QSize& size, int tile, int margin)
{
    if (tiles.size() == 1)
        return tiles.first();
    QImage merged(size, QImage::Format_RGBA8888);
    int index = 0;
    for (int x0 = 0; x0 < size.width(); x0 += tile)
        for (int y0 = 0; y0 < size.height(); y0 += tile) {
            const QImage& part = tiles.at(index++);
            const int offsetX = x0 - std::max(x0 - margin, 0), offsetY = y0 - std::max(y0 - margin, 0);
            const int coreWidth = std::min(tile, size.width() - x0), coreHeight = std::min(tile, size.height() - y0);
            for (int y = 0; y < coreHeight; ++y)
                std::memcpy(merged.scanLine(y0 + y) + 4 * x0, part.constScanLine(offsetY + y) + 4 * offsetX,
                            size_t(4) * coreWidth);
        }
    return merged;
}

}  // namespace ColorExtrapolation
