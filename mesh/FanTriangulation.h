#pragma once
// Pointer-based forms of the fan triangulation and corner normals, shared by
// the public QVector functions and the record's allocation-free construction
// so that both reach the same bits by the same arithmetic.
#include <QVector3D>

namespace GeometryStack {
namespace Fan {

// Squared diagonal lengths of the fan from `origin`, summed in double.
double innerEdgeLengthSquared(int origin, const QVector3D* corners, int n);
// Fan origin with the smallest diagonal sum; -1 when none is finite or n <= 0.
int optimalOrigin(const QVector3D* corners, int n);
// The origin actually used for a fan: optimalOrigin, or 0 when it found none.
int usableOrigin(const QVector3D* corners, int n);

// normalised (next - corner) x (previous - corner)
inline QVector3D cornerNormal(const QVector3D& previous, const QVector3D& corner, const QVector3D& next)
{
    return QVector3D::crossProduct(next - corner, previous - corner).normalized();
}

}  // namespace Fan
}  // namespace GeometryStack
