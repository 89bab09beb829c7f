#include "mesh/MeshColours.h"

#include "numerics/Random.h"

namespace GeometryStack {

QVector<QColor> randomColors(int n, float saturation, float lightness, float firstHue)
{
    QVector<QColor> colors(qMax(n, 0));
    Random::seed(2000);
    for (int i = 0; i < colors.size(); ++i) {
        const float hue = i == 0 ? firstHue : float(Random::draw()) / float(Random::maxDraw);
        colors[i] = QColor::fromHslF(hue, saturation, lightness, 1.0);
    }
    return colors;
}

}  // namespace GeometryStack
