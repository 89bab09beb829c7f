#include "mesh/CornerArrays.h"

#include "mesh/IndexContainers.h"

namespace GeometryStack {

QVector<QVector3D> cornerPositions(const GeomStack& record)
{
    return takeByIndexLists(record.triangles, record.vertices);
}

QVector<QVector3D> cornerNormals(const GeomStack& record)
{
    return takeByIndexLists(record.triangles, record.normals);
}

QVector<QVector2D> cornerTextureCoordinates(const GeomStack& record)
{
    return takeByIndexLists(record.textureTriangles, record.textureVertices);
}

QVector<float> edgeFlagsPerCorner(const GeomStack& record)
{
    const QVector<bool> flags = flatten(record.triangleEdgeFlags);
    QVector<float> result(flags.size());
    for (int i = 0; i < flags.size(); ++i)
        result[i] = flags.at(i) ? 1.0f : 0.0f;
    return result;
}

QVector<int> indexRange(int n)
{
    QVector<int> range(qMax(n, 0));
    for (int i = 0; i < range.size(); ++i)
        range[i] = i;
    return range;
}

QVector<int> cornerIndices(const GeomStack& record)
{
    return indexRange(countElements(record.triangles));
}

}  // namespace GeometryStack
