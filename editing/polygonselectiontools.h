#pragma once
// Screen lassos as selection volumes: the closed polygon (NDC) is cut into
// triangles, and each triangle becomes the prism it sweeps between the near
// and the far plane of the camera, in world space, as the triangle
// hierarchy's convex-polyhedron query takes it.
#include "spatial/ConvexPolyhedron.h"

#include <QMatrix4x4>
#include <QPointF>
#include <QVector3D>
#include <QVector>

namespace PolygonSelectionTools {

// One volume per triangle of the polygon; empty (and logged) when the
// polygon cannot be triangulated or a matrix has no inverse. Repeated
// consecutive points are taken once.
QVector<BVH2::ConvexPolyhedron> screenPolygonToSelectionPolyhedrons(const QVector<QPointF>& ndcPolygon,
                                                                    const QMatrix4x4& projection,
                                                                    const QMatrix4x4& modelView);
// Six corners (near triangle, then far triangle), six edge vectors (side
// edge i and far edge i for each corner) and four normals (the three sides,
// then the viewing direction shared by the near and the far face).
BVH2::ConvexPolyhedron screenTriangleToSelectionPolyhedron(const QVector<QPointF>& ndcTriangle,
                                                           const QMatrix4x4& inverseProjection,
                                                           const QMatrix4x4& modelView,
                                                           const QMatrix4x4& inverseModelView);
// Points mapped with w = 1 and divided by the resulting w unless it is exactly 1.
QVector<QVector3D> transformPoints(const QVector<QVector3D>& points, const QMatrix4x4& matrix);

}  // namespace PolygonSelectionTools
