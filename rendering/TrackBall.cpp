#include "rendering/TrackBall.h"

#include <algorithm>
#include <cmath>

namespace Viewport3D {

namespace {

// A point inside the unit circle lifts onto the sphere; one outside lands on its rim.
QVector3D pointOnSphere(const QPointF& p)
{
    QVector3D v(float(p.x()), float(p.y()), 0.0f);
    const float rest = 1.0f - (v.x() * v.x() + v.y() * v.y());
    if (rest > 0.0f)
        v.setZ(std::sqrt(rest));
    else
        v.normalize();
    return v;
}

}  // namespace

void TrackBall::reset()
{
    rotation = QQuaternion(1, 0, 0, 0);
    axis = QVector3D(0, 1, 0);
    lastPoint = QPointF(0, 0);
    dragging = false;
}

void TrackBall::begin(const QPointF& pointNdc)
{
    dragging = true;
    lastPoint = pointNdc;
}

void TrackBall::move(const QPointF& pointNdc)
{
    if (!dragging)
        return;
    const QVector3D a = pointOnSphere(lastPoint);
    const QVector3D b = pointOnSphere(pointNdc);
    axis = QVector3D::crossProduct(a, b);
    // asin of a length a hair above 1 (rounding) would be NaN.
    const float sine = std::min(axis.length(), 1.0f);
    const float angle = std::asin(sine) * 57.29577951308238f;
    axis.normalize();
    rotation = QQuaternion::fromAxisAndAngle(axis, angle) * rotation;
    lastPoint = pointNdc;
}

}  // namespace Viewport3D
