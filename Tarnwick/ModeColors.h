#pragma once
// The colours the work modes draw with, named once: the template's
// half-transparent copy and its wire (also ControllerMain's defaults for the
// template), the labels of points being picked, the markers of points kept,
// and the free polygons.
#include <QColor>

namespace ModeColors {

inline const QColor templateFill = QColor(97, 150, 220);
inline const QColor templateWire = QColor(36, 53, 67);
inline const QColor pickLabel = QColor(Qt::yellow);
inline const QColor marker = QColor(Qt::white);
inline const QColor freePolygons = QColor(120, 228, 24);

}  // namespace ModeColors
