#pragma once
// Colour arithmetic of the texture transfer on 32-bit ARGB values as QImage
// pixels hold them: channels are mixed as fractions of 255 in single
// precision and brought back to 8 bits through a floating-point QColor.
#include <QImage>
#include <QList>
#include <QRgb>
#include <QVector2D>

namespace TextureTransfer {

QRgb mixColorsLinear(QRgb c0, QRgb c1, double t);
// fraction: (fx, fy) towards c10 and c01.
QRgb mixColorsBilinear(QRgb c00, QRgb c01, QRgb c10, QRgb c11, const QVector2D& fraction);
// position in texel units of the image; a position outside the image reads the
// nearest texel, never beyond the image; an empty image gives 0.
QRgb sampleImageBilinear(const QImage& image, const QVector2D& position);
// 0 for fewer than two colours, else the per-channel mean (alpha included).
QRgb averageColor(const QList<QRgb>& colors);

}  // namespace TextureTransfer
