#pragma once
// Axis-aligned box of single-precision points, and access to a vector
// coordinate by axis number (0 = x, 1 = y, 2 = z).
#include <QList>
#include <QVector3D>
#include <QVector>

namespace Viewport3D {

class BoundingBox {
public:
    BoundingBox() = default;
    BoundingBox(const QVector3D& origin, const QVector3D& size);

    // The smallest box holding every point; all zero for no points.
    static BoundingBox fromPoints(const QVector<QVector3D>& points);
    // The smallest box holding every box; origin FLT_MAX and size -inf for no boxes.
    static BoundingBox unite(const QVector<BoundingBox>& boxes);

    QVector3D center() const;
    // 0, 1 or 2 for the largest extent (the lower axis wins ties); -1 when
    // every extent is -1 or less, or NaN.
    int longestAxis() const;
    // Exact comparison of all six numbers.
    bool operator==(const BoundingBox& other) const;
    bool operator!=(const BoundingBox& other) const { return !(*this == other); }
    // Scales about the coordinate origin (factor taken in single precision).
    void scale(double factor);
    // The eight corners in the corner order of boxFaceIndices.
    QVector<QVector3D> getVertices() const;
    // A copy of boxFaceIndices.
    QVector<QList<int>> getFaces() const;

    QVector3D origin;  // minimum corner
    QVector3D size;    // extent from origin, never negative in a box built from points
};

}  // namespace Viewport3D

// The six faces of a box as quads of corner numbers, each running
// counter-clockwise seen from outside. Corner k of a box is origin plus:
// 0 nothing, 1 x, 2 x+z, 3 z, 4 y, 5 y+z, 6 x+y+z, 7 x+y (components of size).
static const QVector<QList<int>> boxFaceIndices = {
    {0, 1, 2, 3},  // minimum y
    {4, 5, 6, 7},  // maximum y
    {0, 4, 7, 1},  // minimum z
    {2, 6, 5, 3},  // maximum z
    {1, 7, 6, 2},  // maximum x
    {0, 3, 5, 4},  // minimum x
};

// x, y or z for axis 0, 1 or 2; a quiet NaN for any other axis.
float vectorComponent(const QVector3D& vector, int axis);
// Sets x, y or z for axis 0, 1 or 2; any other axis changes nothing.
void setVectorComponent(QVector3D& vector, int axis, float value);
