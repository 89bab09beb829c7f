#include "texture/TexelColors.h"

#include <QColor>
#include <algorithm>
#include <cmath>

namespace TextureTransfer {

namespace {

struct Channels {
    float r = 0, g = 0, b = 0, a = 0;
};

Channels channels(QRgb c)
{
    return {qRed(c) / 255.0f, qGreen(c) / 255.0f, qBlue(c) / 255.0f, qAlpha(c) / 255.0f};
}

void accumulate(Channels& sum, QRgb c, float weight)
{
    const Channels f = channels(c);
    sum.r += f.r * weight;
    sum.g += f.g * weight;
    sum.b += f.b * weight;
    sum.a += f.a * weight;
}

// Single-precision sums can end a little outside 0..1; QColor would refuse them.
qreal unit(float value)
{
    return std::min(1.0f, std::max(0.0f, value));
}

QRgb toRgb(const Channels& c)
{
    return QColor::fromRgbF(unit(c.r), unit(c.g), unit(c.b), unit(c.a)).rgba();
}

bool isPlain32Bit(const QImage& image)
{
    return image.format() == QImage::Format_ARGB32 || image.format() == QImage::Format_RGB32;
}

QRgb texel(const QImage& image, bool plain, int x, int y)
{
    if (plain)
        return reinterpret_cast<const QRgb*>(image.constScanLine(y))[x];
    return image.pixel(x, y);
}

}  // namespace

QRgb mixColorsLinear(QRgb c0, QRgb c1, double t)
{
    const float w = float(t);
    const Channels a = channels(c0), b = channels(c1);
    Channels mixed;
    mixed.r = a.r + (b.r - a.r) * w;
    mixed.g = a.g + (b.g - a.g) * w;
    mixed.b = a.b + (b.b - a.b) * w;
    mixed.a = a.a + (b.a - a.a) * w;
    return toRgb(mixed);
}

QRgb mixColorsBilinear(QRgb c00, QRgb c01, QRgb c10, QRgb c11, const QVector2D& fraction)
{
    const float fx = fraction.x(), fy = fraction.y();
    Channels sum;
    accumulate(sum, c00, (1 - fx) * (1 - fy));
    accumulate(sum, c10, fx * (1 - fy));
    accumulate(sum, c01, (1 - fx) * fy);
    accumulate(sum, c11, fx * fy);
    return toRgb(sum);
}

QRgb sampleImageBilinear(const QImage& image, const QVector2D& position)
{
    const int width = image.width(), height = image.height();
    if (width <= 0 || height <= 0)
        return 0;
    // Clamped (NaN included) so that no position reads outside the image. Beyond
    // 2^24 texels float(width - 1) can round up to width: the texel index is
    // clamped again as an integer.
    const float px = position.x() >= 0 ? std::min(position.x(), float(width - 1)) : 0.0f;
    const float py = position.y() >= 0 ? std::min(position.y(), float(height - 1)) : 0.0f;
    const int a = std::min(int(std::floor(px)), width - 1), b = std::min(int(std::floor(py)), height - 1);
    const float fx = px - a, fy = py - b;
    const bool plain = isPlain32Bit(image);
    const QRgb c00 = texel(image, plain, a, b);
    const bool hasRight = a < width - 1, hasBelow = b < height - 1;
    if (hasRight && hasBelow)
        return mixColorsBilinear(c00, texel(image, plain, a, b + 1), texel(image, plain, a + 1, b),
                                 texel(image, plain, a + 1, b + 1), QVector2D(fx, fy));
    if (hasRight)
        return mixColorsLinear(c00, texel(image, plain, a + 1, b), fx);
    if (hasBelow)
        return mixColorsLinear(c00, texel(image, plain, a, b + 1), fy);
    return c00;
}

QRgb averageColor(const QList<QRgb>& colors)
{
    if (colors.size() < 2)
        return 0;
    Channels sum;
    for (QRgb c : colors)
        accumulate(sum, c, 1.0f);
    const float n = float(colors.size());
    sum.r /= n;
    sum.g /= n;
    sum.b /= n;
    sum.a /= n;
    return toRgb(sum);
}

}  // namespace TextureTransfer
