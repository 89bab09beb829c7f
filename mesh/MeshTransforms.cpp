#include "mesh/MeshTransforms.h"

#include <QVector4D>

namespace GeometryStack {

namespace {

// All sixteen entries compared; a NaN entry makes the matrix no identity.
bool isExactIdentity(const QMatrix4x4& matrix)
{
    const float* entries = matrix.constData();
    for (int column = 0; column < 4; ++column)
        for (int row = 0; row < 4; ++row)
            if (entries[4 * column + row] != (row == column ? 1.0f : 0.0f))
                return false;
    return true;
}

}  // namespace

QVector<QVector3D> transformedVertices(const QVector<QVector3D>& points, const QMatrix4x4& matrix)
{
    if (isExactIdentity(matrix))
        return points;
    QVector<QVector3D> result(points.size());
    for (int i = 0; i < points.size(); ++i)
        result[i] = matrix * points.at(i);
    return result;
}

QVector<QVector3D> transformedNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix)
{
    if (isExactIdentity(matrix))
        return normals;
    const QMatrix4x4 normalMatrix = matrix.inverted().transposed();
    QVector<QVector3D> result(normals.size());
    for (int i = 0; i < normals.size(); ++i)
        result[i] = (normalMatrix * QVector4D(normals.at(i), 0.0f)).toVector3D().normalized();
    return result;
}

}  // namespace GeometryStack
