#include "mesh/BoundingBox.h"

#include <cfloat>
#include <limits>

namespace Viewport3D {

BoundingBox::BoundingBox(const QVector3D& origin, const QVector3D& size) : origin(origin), size(size) {}

BoundingBox BoundingBox::fromPoints(const QVector<QVector3D>& points)
{
    BoundingBox box;
    if (points.isEmpty())
        return box;
    QVector3D min = points.first();
    QVector3D max = points.first();
    for (const QVector3D& point : points) {
        for (int axis = 0; axis < 3; ++axis) {
            // Strict comparisons: a NaN coordinate never replaces a bound.
            if (min[axis] > point[axis])
                min[axis] = point[axis];
            if (point[axis] > max[axis])
                max[axis] = point[axis];
        }
    }
    box.origin = min;
    box.size = max - min;
    return box;
}

BoundingBox BoundingBox::unite(const QVector<BoundingBox>& boxes)
{
    QVector3D min(FLT_MAX, FLT_MAX, FLT_MAX);
    QVector3D max(-FLT_MAX, -FLT_MAX, -FLT_MAX);
    for (const BoundingBox& box : boxes) {
        const QVector3D far = box.origin + box.size;
        for (int axis = 0; axis < 3; ++axis) {
            if (min[axis] > box.origin[axis])
                min[axis] = box.origin[axis];
            if (far[axis] > max[axis])
                max[axis] = far[axis];
        }
    }
    return BoundingBox(min, max - min);
}

QVector3D BoundingBox::center() const
{
    return origin + size * 0.5f;
}

int BoundingBox::longestAxis() const
{
    int best = -1;
    float largest = -1.0f;
    for (int axis = 0; axis < 3; ++axis) {
        if (size[axis] > largest) {
            largest = size[axis];
            best = axis;
        }
    }
    return best;
}

bool BoundingBox::operator==(const BoundingBox& other) const
{
    for (int axis = 0; axis < 3; ++axis) {
        if (!(origin[axis] == other.origin[axis]) || !(size[axis] == other.size[axis]))
            return false;
    }
    return true;
}

void BoundingBox::scale(double factor)
{
    const float f = float(factor);
    origin *= f;
    size *= f;
}

QVector<QVector3D> BoundingBox::getVertices() const
{
    // Each corner adds only the named components of size, so the others keep
    // origin's exact values.
    const float x0 = origin.x(), y0 = origin.y(), z0 = origin.z();
    const float x1 = x0 + size.x(), y1 = y0 + size.y(), z1 = z0 + size.z();
    return {QVector3D(x0, y0, z0), QVector3D(x1, y0, z0), QVector3D(x1, y0, z1), QVector3D(x0, y0, z1),
            QVector3D(x0, y1, z0), QVector3D(x0, y1, z1), QVector3D(x1, y1, z1), QVector3D(x1, y1, z0)};
}

QVector<QList<int>> BoundingBox::getFaces() const
{
    return boxFaceIndices;
}

}  // namespace Viewport3D

float vectorComponent(const QVector3D& vector, int axis)
{
    switch (axis) {
        case 0:
            return vector.x();
        case 1:
            return vector.y();
        case 2:
            return vector.z();
        default:
            return std::numeric_limits<float>::quiet_NaN();
    }
}

void setVectorComponent(QVector3D& vector, int axis, float value)
{
    switch (axis) {
        case 0:
            vector.setX(value);
            break;
        case 1:
            vector.setY(value);
            break;
        case 2:
            vector.setZ(value);
            break;
        default:
            break;
    }
}
