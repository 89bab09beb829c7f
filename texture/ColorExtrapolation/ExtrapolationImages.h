#pragma once
// CPU image steps of the hole filling: the known-colour pyramid and the
// cutting of large images into overlapping tiles. Images are RGBA8888; a
// texel is known when its alpha is 255.
#include <QImage>
#include <QList>
#include <QRgb>
#include <QSize>

namespace ColorExtrapolation {

// Texels whose alpha is below 255 (all of them for an empty image: 0 of 0).
qint64 countNonOpaqueTexels(const QImage& image);
// The RGBA8888 texel nearest to (x, y) inside the image, as an ARGB value.
QRgb clampedPixel(const QImage& image, int x, int y);
// Mean of the known texels among the 2 x 2 block at the ratios (rx, ry) of the
// image's size, opaque; 0 when none is known.
QRgb opaqueAverage2x2(const QImage& image, float rx, float ry);
// ceil(W / 2) x ceil(H / 2), each texel averaged from the known texels below it.
QImage halveImage(const QImage& image);
// The same texels (their ARGB values unchanged) in RGBA8888.
QImage toRgba8888(const QImage& image);
// The region x0..x1, y0..y1 grown by the margin and clipped to the image.
QImage cropWithMargin(const QImage& image, int x0, int y0, int x1, int y1, int margin);
// The whole image when its area is at most tile x tile; otherwise tiles of
// tile x tile plus the margin, column of tiles by column of tiles.
QList<QImage> splitIntoTiles(const QImage& image, int tile, int margin);
// Puts the tiles' cores (without their margins) back together.
QImage mergeTiles(const QList<QImage>& tiles, const QSize& size, int tile, int margin);

}  // namespace ColorExtrapolation
