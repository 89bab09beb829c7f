#include "rendering/CameraNavigation.h"

#include <cmath>

namespace Viewport3D {

QMatrix4x4 orbitViewMatrix(double distance, const QMatrix4x4& rotation, const QVector3D& target)
{
    QMatrix4x4 view;
    view.translate(0.0f, 0.0f, -float(distance));
    view *= rotation;
    view.translate(target);
    return view;
}

QMatrix4x4 rotationMatrix(const QQuaternion& rotation)
{
    QMatrix4x4 matrix;
    matrix.rotate(rotation);
    return matrix;
}

CameraDrag cameraDragOnPress(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers)
{
    if (modifiers != Qt::AltModifier)
        return CameraDrag::None;
    if (buttons == Qt::LeftButton)
        return CameraDrag::Rotate;
    if (buttons == Qt::MiddleButton)
        return CameraDrag::Pan;
    if (buttons == Qt::RightButton)
        return CameraDrag::Zoom;
    return CameraDrag::None;
}

void startCameraDrag(CameraDrag drag, const QPointF& pointNdc, const CameraDragState& state)
{
    switch (drag) {
        case CameraDrag::Rotate:
            state.rotating = true;
            state.trackBall.begin(pointNdc);
            break;
        case CameraDrag::Pan:
            state.panning = true;
            state.lastPointNdc = pointNdc;
            break;
        case CameraDrag::Zoom:
            state.zooming = true;
            state.lastPointNdc = pointNdc;
            break;
        case CameraDrag::None:
            break;
    }
}

CameraDrag cameraDragOnMove(Qt::MouseButtons buttons, bool rotating, bool panning, bool zooming)
{
    if (buttons == Qt::LeftButton && rotating)
        return CameraDrag::Rotate;
    if (buttons == Qt::MiddleButton && panning)
        return CameraDrag::Pan;
    if (buttons == Qt::RightButton && zooming)
        return CameraDrag::Zoom;
    return CameraDrag::None;
}

QVector3D panOffset(const QPointF& from, const QPointF& to, float horizontalAngle, double distance,
                    const QQuaternion& trackBallRotation)
{
    const float k = std::tan(horizontalAngle / 2.0f) * float(distance);
    const QVector3D offset(float(to.x() - from.x()) * k, float(to.y() - from.y()) * k, 0.0f);
    return rotationMatrix(trackBallRotation).inverted().map(offset);
}

}  // namespace Viewport3D
