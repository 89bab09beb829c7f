#include "rendering/Viewport3DLayered/orbitcamera.h"

#include "rendering/CameraNavigation.h"

#include <algorithm>
#include <cmath>

namespace Viewport3D {

namespace {
const double kPi = 3.141592653589793;
}

void OrbitCamera::reset()
{
    *this = OrbitCamera();
}

QMatrix4x4 OrbitCamera::viewMatrix() const
{
    return orbitViewMatrix(distance, rotation, target);
}

QMatrix4x4 OrbitCamera::projectionMatrix(int width, int height) const
{
    QMatrix4x4 projection;
    projection.perspective(float(fieldOfView), float(width) / float(height == 0 ? 1 : height), float(nearPlane),
                           float(farPlane));
    return projection;
}

void OrbitCamera::fitBoundingSphere(float x, float y, float z, float radius, float aspect)
{
    const float a = std::min(horizontalFieldOfView(1.0f), horizontalFieldOfView(aspect));
    distance = radius / std::tan(a / 2.0f);
    target = -QVector3D(x, y, z);
    nearPlane = distance / 1000.0;
    farPlane = 3.0 * distance;
}

float OrbitCamera::horizontalFieldOfView(float aspect) const
{
    return float(fieldOfView / 180.0 * kPi) * aspect;
}

}  // namespace Viewport3D
