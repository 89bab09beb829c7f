#include "spatial/selectiontools.h"

#include <QDebug>

#include <cmath>

namespace SelectionTools {

QPointF screenToNormalizedDeviceCoord(const QPoint& pixel, const QSize& size)
{
    const double x = double(pixel.x()) / double(size.width()) * 2.0 - 1.0;
    const double y = 1.0 - double(pixel.y()) / double(size.height()) * 2.0;
    return QPointF(x, y);
}

QVector3D projectScreenPointToFrustumPlane(const QPointF& ndcPoint, const QMatrix4x4& inverseMatrix, FrustumPlane plane)
{
    const QVector3D point(float(ndcPoint.x()), float(ndcPoint.y()), float(plane));
    return inverseMatrix * point;
}

QVector<QVector3D> projectScreenPolygonToFrustumPlane(const QVector<QPointF>& ndcPoints,
                                                      const QMatrix4x4& inverseMatrix, FrustumPlane plane)
{
    QVector<QVector3D> points;
    points.reserve(ndcPoints.size());
    for (const QPointF& ndcPoint : ndcPoints)
        points.append(projectScreenPointToFrustumPlane(ndcPoint, inverseMatrix, plane));
    return points;
}

void screenPointToRay(const QPointF& ndcPoint, const QMatrix4x4& projection, const QMatrix4x4& modelView,
                      QVector3D& rayOrigin, QVector3D& rayDirection)
{
    bool invertible = false;
    const QMatrix4x4 modelViewInverse = modelView.inverted(&invertible);
    if (!invertible) {
        qDebug() << "Failed to invert model view matrix";
        return;
    }
    const QVector3D origin = modelViewInverse * QVector3D(0.0f, 0.0f, 0.0f);
    const QMatrix4x4 projectionInverse = projection.inverted(&invertible);
    if (!invertible) {
        qDebug() << "Failed to invert projection matrix";
        return;
    }
    const QVector3D farPoint = projectionInverse * QVector3D(float(ndcPoint.x()), float(ndcPoint.y()), 1.0f);
    const QVector3D worldPoint = modelViewInverse * farPoint;
    rayOrigin = origin;
    rayDirection = worldPoint - origin;
}

bool fuzzyEqual(const QVector3D& a, const QVector3D& b, double eps)
{
    for (int i = 0; i < 3; ++i) {
        const double difference = std::fabs(double(a[i]) - double(b[i]));
        if (!(difference < eps))
            return false;
    }
    return true;
}

}  // namespace SelectionTools
