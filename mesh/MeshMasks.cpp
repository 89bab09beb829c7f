#include "mesh/MeshMasks.h"

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

QVector<bool> verticesMaskOfPolygons(const QVector<bool>& polygonMask, const QVector<QList<int>>& polygons,
                                     int vertexCount)
{
    QVector<bool> mask(qMax(vertexCount, 0), false);
    for (int p = 0; p < polygons.size(); ++p)
        if (polygonMask.at(p))
            for (int v : polygons.at(p))
                mask[v] = true;
    return mask;
}

QVector<QList<int>> vertexPolygons(const QVector<QList<int>>& polygons, int vertexCount)
{
    QVector<QList<int>> result(qMax(vertexCount, 0));
    for (int p = 0; p < polygons.size(); ++p)
        for (int v : polygons.at(p))
            result[v].append(p);
    return result;
}

}  // namespace GeometryStack
