#pragma once
// Planar polygon tools: barycentric weights, point-in-triangle and reflex-corner tests,
// orientation, and ear-clipping triangulation. Points are doubles; intermediate results are
// rounded to single precision. Orientation words assume a y axis pointing up.
#include <QPointF>
#include <QVector3D>
#include <QVector>

namespace PolygonTools2D {

// Weights of a, b and c for the point p (infinite or NaN for a zero-area triangle).
QVector3D barycentricCoordinates(const QPointF& p, const QPointF& a, const QPointF& b, const QPointF& c);
// True when all three weights lie in [0, 1]: edges and corners count as inside.
bool isPointInsideTriangle(const QPointF& p, const QPointF& a, const QPointF& b, const QPointF& c);
// True when the corner at b of the path a, b, c is reflex for a polygon of the given sense;
// collinear points never are.
bool isReflectAngle(const QPointF& a, const QPointF& b, const QPointF& c, bool clockwise = false);
// True when no polygon point other than i, j and k lies in the triangle (i, j, k).
bool isInnerTriangle(int i, int j, int k, const QVector<QPointF>& vertices);
// True for a clockwise polygon and for zero area; *ok tells whether the area is non-zero.
bool isPolygonClockwise(const QVector<QPointF>& points, bool* ok = nullptr);
// n - 2 triangles of point indices, each as (tip, following, preceding) in cutting order, or an
// empty list with *ok false for zero area or when no ear can be found.
QVector<QVector<int>> triangulateByEarClipping(const QVector<QPointF>& polygon, bool* ok = nullptr);

}  // namespace PolygonTools2D
