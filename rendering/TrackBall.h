#pragma once
// Virtual-sphere rotation driven by a drag in normalised device coordinates.
#include <QPointF>
#include <QQuaternion>
#include <QVector3D>

namespace Viewport3D {

struct TrackBall {
    QQuaternion rotation;                 // accumulated rotation
    QVector3D axis = QVector3D(0, 1, 0);  // unit axis of the last step
    QPointF lastPoint;                    // last drag point (NDC)
    bool dragging = false;

    void reset();
    void begin(const QPointF& pointNdc);
    // Rotates by the arc between the last point and this one on the sphere;
    // the step is applied after the rotation so far (turns about screen axes).
    void move(const QPointF& pointNdc);
};

}  // namespace Viewport3D
