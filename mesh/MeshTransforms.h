#pragma once
// Transformed copies of positions and normals.
#include <QMatrix4x4>
#include <QVector3D>
#include <QVector>

namespace GeometryStack {

// Points mapped by the matrix (divided by w); the input itself for the identity matrix.
QVector<QVector3D> transformedVertices(const QVector<QVector3D>& points, const QMatrix4x4& matrix);
// Directions mapped by the inverse transpose and normalised; the input itself for the identity.
QVector<QVector3D> transformedNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix);

}  // namespace GeometryStack
