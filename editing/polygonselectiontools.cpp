#include "editing/polygonselectiontools.h"

#include "mesh/PolygonTools2D.h"
#include "rendering/GLObject.h"
#include "spatial/selectiontools.h"

#include <QDebug>

namespace PolygonSelectionTools {

namespace {

// A pixel clicked twice in a row gives an edge of zero length, on which the
// ear clipping finds no ear; the closing edge is implied, so a last point
// equal to the first goes too.
QVector<QPointF> withoutRepeatedPoints(const QVector<QPointF>& polygon)
{
    QVector<QPointF> points;
    points.reserve(polygon.size());
    for (const QPointF& p : polygon) {
        if (!points.isEmpty() && points.last().x() == p.x() && points.last().y() == p.y())
            continue;
        points.append(p);
    }
    while (points.size() > 1 && points.last().x() == points.first().x() && points.last().y() == points.first().y())
        points.removeLast();
    return points;
}

}  // namespace

QVector<BVH2::ConvexPolyhedron> screenPolygonToSelectionPolyhedrons(const QVector<QPointF>& ndcPolygon,
                                                                    const QMatrix4x4& projection,
                                                                    const QMatrix4x4& modelView)
{
    const QVector<QPointF> polygon = withoutRepeatedPoints(ndcPolygon);
    bool ok = false;
    const QVector<QVector<int>> triangles = PolygonTools2D::triangulateByEarClipping(polygon, &ok);
    // Two points can pass the area test by rounding alone and come back as no triangles.
    if (!ok || triangles.isEmpty()) {
        qDebug() << "Failed to triangulate polygon";
        return {};
    }
    bool invertible = false;
    const QMatrix4x4 inverseProjection = projection.inverted(&invertible);
    if (!invertible) {
        qDebug() << "Failed to invert projection matrix";
        return {};
    }
    const QMatrix4x4 inverseModelView = modelView.inverted(&invertible);
    if (!invertible) {
        qDebug() << "Failed to invert model view matrix";
        return {};
    }
    QVector<BVH2::ConvexPolyhedron> volumes;
    volumes.reserve(triangles.size());
    for (const QVector<int>& triangle : triangles) {
        const QVector<QPointF> corners{polygon[triangle[0]], polygon[triangle[1]], polygon[triangle[2]]};
        volumes.append(screenTriangleToSelectionPolyhedron(corners, inverseProjection, modelView, inverseModelView));
    }
    return volumes;
}

BVH2::ConvexPolyhedron screenTriangleToSelectionPolyhedron(const QVector<QPointF>& ndcTriangle,
                                                           const QMatrix4x4& inverseProjection,
                                                           const QMatrix4x4& modelView,
                                                           const QMatrix4x4& inverseModelView)
{
    using SelectionTools::projectScreenPolygonToFrustumPlane;
    const QVector<QVector3D> nearPoints = transformPoints(
        projectScreenPolygonToFrustumPlane(ndcTriangle, inverseProjection, SelectionTools::FrustumPlane_Near),
        inverseModelView);
    const QVector<QVector3D> farPoints = transformPoints(
        projectScreenPolygonToFrustumPlane(ndcTriangle, inverseProjection, SelectionTools::FrustumPlane_Far),
        inverseModelView);

    BVH2::ConvexPolyhedron volume;
    volume.vertices = nearPoints + farPoints;
    for (int i = 0; i < 3; ++i) {
        const int j = (i + 1) % 3;
        const QVector3D side = farPoints[i] - nearPoints[i];
        const QVector3D farEdge = farPoints[j] - farPoints[i];
        volume.edgeVectors.append(side);
        volume.edgeVectors.append(farEdge);
        volume.polygonNormals.append(QVector3D::crossProduct(side, farEdge));
    }
    // The near and the far face share the viewing direction as normal.
    volume.polygonNormals.append(QVector3D(-modelView(2, 0), -modelView(2, 1), -modelView(2, 2)));
    return volume;
}

QVector<QVector3D> transformPoints(const QVector<QVector3D>& points, const QMatrix4x4& matrix)
{
    return Viewport3D::GLObject::transformPoints(points, matrix);
}

}  // namespace PolygonSelectionTools
