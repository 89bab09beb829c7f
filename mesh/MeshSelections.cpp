#include "mesh/MeshSelections.h"

#include "numerics/Random.h"

#include <QVector4D>

namespace GeometryStack {

QList<int> maskToIndices(const QVector<bool>& mask)
{
    QList<int> indices;
    for (int i = 0; i < mask.size(); ++i)
        if (mask.at(i))
            indices.append(i);
    return indices;
}

QVector<bool> indicesToMask(const QList<int>& indices, int n)
{
    QVector<bool> mask(qMax(n, 0), false);
    for (int index : indices)
        mask[index] = true;
    return mask;
}

QList<int> positionsOfMaskedIndices(const QVector<bool>& mask, const QVector<int>& indices)
{
    QList<int> positions;
    for (int i = 0; i < indices.size(); ++i)
        if (mask.at(indices.at(i)))
            positions.append(i);
    return positions;
}

QVector<bool> polygonMaskOfPolygroup(const GeomStack& record, int polygroup)
{
    const QVector<int>& groups = record.polygonIndToPolygroupInd;
    QVector<bool> mask(groups.size());
    for (int i = 0; i < groups.size(); ++i)
        mask[i] = groups.at(i) == polygroup;
    return mask;
}

QVector<bool> polygonMaskToTriangleMask(const GeomStack& record, const QVector<bool>& polygonMask)
{
    const QVector<int>& sources = record.triangleIndToPolygonInd;
    QVector<bool> mask(sources.size());
    for (int t = 0; t < sources.size(); ++t)
        mask[t] = polygonMask.at(sources.at(t));
    return mask;
}

QVector<bool> triangleMaskToCornerMask(const QVector<bool>& triangleMask)
{
    QVector<bool> mask(3 * triangleMask.size());
    for (int t = 0; t < triangleMask.size(); ++t)
        mask[3 * t] = mask[3 * t + 1] = mask[3 * t + 2] = triangleMask.at(t);
    return mask;
}

QVector<bool> polygonMaskToCornerMask(const GeomStack& record, const QVector<bool>& polygonMask)
{
    return triangleMaskToCornerMask(polygonMaskToTriangleMask(record, polygonMask));
}

QVector<bool> verticesMaskOfPolygons(const GeomStack& record, const QVector<bool>& polygonMask)
{
    return verticesMaskOfPolygons(polygonMask, record.polygons, record.vertices.size());
}

QVector<bool> verticesMaskOfPolygons(const QVector<bool>& polygonMask, const QVector<QList<int> >& polygons,
                                     int vertexCount)
{
    QVector<bool> mask(qMax(vertexCount, 0), false);
    for (int p = 0; p < polygons.size(); ++p)
        if (polygonMask.at(p))
            for (int v : polygons.at(p))
                mask[v] = true;
    return mask;
}

QVector<QList<int> > vertexPolygons(const QVector<QList<int> >& polygons, int vertexCount)
{
    QVector<QList<int> > result(qMax(vertexCount, 0));
    for (int p = 0; p < polygons.size(); ++p)
        for (int v : polygons.at(p))
            result[v].append(p);
    return result;
}

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

QVector<int> usedIndicesInFirstUseOrder(const QVector<QList<int> >& indexLists, int indexCount, QVector<int>& map)
{
    map = QVector<int>(qMax(indexCount, 0), -1);
    QVector<int> used;
    for (const QList<int>& list : indexLists) {
        for (int index : list) {
            if (map.at(index) == -1) {
                map[index] = used.size();
                used.append(index);
            }
        }
    }
    return used;
}

QVector<QList<int> > remapIndexLists(const QVector<QList<int> >& indexLists, const QVector<int>& map)
{
    QVector<QList<int> > result(indexLists.size());
    for (int i = 0; i < indexLists.size(); ++i) {
        QList<int>& list = result[i];
        list.reserve(indexLists.at(i).size());
        for (int index : indexLists.at(i))
            list.append(map.at(index));
    }
    return result;
}

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

QVector<QColor> randomColors(int n, float saturation, float lightness, float firstHue)
{
    QVector<QColor> colors(qMax(n, 0));
    Random::seed(2000);
    for (int i = 0; i < colors.size(); ++i) {
        const float hue = i == 0 ? firstHue : float(Random::draw()) / float(Random::maxDraw);
        colors[i] = QColor::fromHslF(hue, saturation, lightness, 1.0);
    }
    return colors;
}

}  // namespace GeometryStack
