#pragma once
// The orbit camera both 3D views share: its view matrix, and which mouse drag moves it how.
// With Alt held, a left drag rotates (trackball), a middle drag pans and a right drag zooms.
#include "rendering/TrackBall.h"

#include <QMatrix4x4>
#include <QPointF>
#include <QQuaternion>
#include <QVector3D>
#include <Qt>

namespace Viewport3D {

// T(0, 0, -distance) x rotation x T(target); target is the negated point looked at.
QMatrix4x4 orbitViewMatrix(double distance, const QMatrix4x4& rotation, const QVector3D& target);
// The rotation matrix of a trackball's accumulated rotation.
QMatrix4x4 rotationMatrix(const QQuaternion& rotation);

enum class CameraDrag { None, Rotate, Pan, Zoom };

// The drag a press starts: only with Alt alone and one button.
CameraDrag cameraDragOnPress(Qt::MouseButtons buttons, Qt::KeyboardModifiers modifiers);
// What a view keeps of a camera drag, under its own names.
struct CameraDragState {
    bool& rotating;
    bool& panning;
    bool& zooming;
    QPointF& lastPointNdc;
    TrackBall& trackBall;
};
// Starts a drag at a point: sets its flag; a rotation begins the trackball there, a pan or a
// zoom remembers the point. CameraDrag::None changes nothing.
void startCameraDrag(CameraDrag drag, const QPointF& pointNdc, const CameraDragState& state);

// The drag a move continues: the one started, while its button alone is held.
CameraDrag cameraDragOnMove(Qt::MouseButtons buttons, bool rotating, bool panning, bool zooming);

// How far the point looked at moves for a pan from one point to another (NDC), for a
// horizontal field of view in radians, seen through the trackball's rotation.
QVector3D panOffset(const QPointF& from, const QPointF& to, float horizontalAngle, double distance,
                    const QQuaternion& trackBallRotation);

}  // namespace Viewport3D
