#pragma once
// Camera record of the layered results view: the matrices it draws with.
#include <QMatrix4x4>
#include <QVector3D>

namespace Viewport3D {

struct OrbitCamera {
    QMatrix4x4 rotation;      // orientation of the scene in front of the eye
    QVector3D target;         // the negated point looked at
    double fieldOfView = 45;  // vertical, degrees
    double distance = 3;      // eye to the point looked at
    double nearPlane = 0.1;
    double farPlane = 10000;

    void reset();
    // T(0, 0, -distance) x rotation x T(target).
    QMatrix4x4 viewMatrix() const;
    // Perspective for a viewport of this size (a height of 0 counts as 1).
    QMatrix4x4 projectionMatrix(int width, int height) const;
    // Frames a sphere: distance from the narrower field of view, near and far
    // planes from the distance. The rotation does not change.
    void fitBoundingSphere(float x, float y, float z, float radius, float aspect);
    float horizontalFieldOfView(float aspect) const;  // radians
};

}  // namespace Viewport3D
