#pragma once
// The wavy sheet z = 0.2 sin(2x) cos(y) of the energy-term tests, and the uniform draw they
// build their random problems with (from the project's seeded generator, in call order).
#include "numerics/Random.h"

#include <QVector3D>
#include <cmath>

namespace WavySheet {

inline double uniform(double lo, double hi)
{
    return lo + (hi - lo) * Random::draw() / 32767.0;
}

// The point above (x, y), lifted by `lift`.
inline QVector3D sheetPoint(double x, double y, double lift)
{
    return QVector3D(float(x), float(y), float(0.2 * std::sin(2 * x) * std::cos(y) + lift));
}

// The unit normal at (x, y).
inline QVector3D sheetNormal(double x, double y)
{
    const double dzdx = 0.4 * std::cos(2 * x) * std::cos(y);
    const double dzdy = -0.2 * std::sin(2 * x) * std::sin(y);
    return QVector3D(float(-dzdx), float(-dzdy), 1.0f).normalized();
}

}  // namespace WavySheet
