#pragma once
// Screen-space helpers of the picking and selection tools: normalised device
// coordinates (x from -1 left to 1 right, y from 1 top to -1 bottom) to points
// on the near or far plane of the view frustum, and to picking rays.
#include <QMatrix4x4>
#include <QPoint>
#include <QPointF>
#include <QSize>
#include <QVector3D>
#include <QVector>

namespace SelectionTools {

// The value is the plane's depth in normalised device coordinates.
enum FrustumPlane { FrustumPlane_Near = -1, FrustumPlane_Far = 1 };

// Pixel to normalised device coordinates; the size must not be zero.
QPointF screenToNormalizedDeviceCoord(const QPoint& pixel, const QSize& size);
// inverseMatrix x (x, y, plane) with the division by W; the matrix decides the
// space of the result (eye space for an inverted projection).
QVector3D projectScreenPointToFrustumPlane(const QPointF& ndcPoint, const QMatrix4x4& inverseMatrix,
                                           FrustumPlane plane);
QVector<QVector3D> projectScreenPolygonToFrustumPlane(const QVector<QPointF>& ndcPoints,
                                                      const QMatrix4x4& inverseMatrix, FrustumPlane plane);
// The ray from the camera through the screen point to the far plane, in world
// coordinates; the direction is not normalised. When a matrix cannot be
// inverted it logs why and leaves both outputs as they were.
void screenPointToRay(const QPointF& ndcPoint, const QMatrix4x4& projection, const QMatrix4x4& modelView,
                      QVector3D& rayOrigin, QVector3D& rayDirection);
// Every component differs by strictly less than eps (NaN never compares equal).
bool fuzzyEqual(const QVector3D& a, const QVector3D& b, double eps = 1e-6);

}  // namespace SelectionTools
