#pragma once
// The colour the sample scans are painted with: a smooth function of a point's
// rest position, given in units of the shape's size (the largest extent of its
// template's bounding box). The generator paints the scans' textures with it,
// and the tests check transferred textures against it.
#include <QRgb>
#include <QVector3D>
#include <cmath>

namespace DemoScenes {

inline QRgb paintedColour(const QVector3D& rest, double size)
{
    const double pi = 3.14159265358979323846;
    const QVector3D q = rest / float(size);
    auto channel = [](double x) { return int(std::lround(255.0 * (0.5 + 0.5 * x))); };
    return qRgb(channel(std::sin(2.0 * pi * (1.1 * q.x() + 0.3 * q.y()) + 0.4)),
                channel(std::sin(2.0 * pi * (0.9 * q.y() - 0.4 * q.z()) + 1.3)),
                channel(std::cos(2.0 * pi * (0.8 * q.z() + 0.5 * q.x()) + 0.2)));
}

}  // namespace DemoScenes
