#pragma once
// Colours for polygroups.
#include <QColor>
#include <QVector>

namespace GeometryStack {

// n colours: the first with firstHue, the others with hues drawn from the generator, which is
// reseeded with 2000 on every call so that the same n gives the same colours.
QVector<QColor> randomColors(int n, float saturation, float lightness, float firstHue);

}  // namespace GeometryStack
