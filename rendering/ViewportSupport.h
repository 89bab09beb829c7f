#pragma once
// Small pieces both 3D views share: pixel to normalized device coordinates,
// aspect ratio, wheel steps, the scene's box and GL's version strings.
#include "rendering/GLObject.h"

#include <QGLWidget>
#include <QList>
#include <QPoint>
#include <QPointF>
#include <QString>

class QWheelEvent;

namespace Viewport3D {

// x from -1 (left edge) to 1 (right), y from 1 (top edge) to -1 (bottom).
QPointF pixelToNdc(const QPoint& pixel, int width, int height);
// Width over height, a zero height taken as one pixel.
float aspectRatio(int width, int height);
// The dominant direction, as the single-axis delta of older wheel events.
int wheelDelta(const QWheelEvent* event);
// The union of the objects' axis-aligned boxes.
BoundingBox unitedBoundingBox(const QList<GLObject*>& objects);
// glGetString of the current context as text.
QString glString(GLenum name);

}  // namespace Viewport3D
