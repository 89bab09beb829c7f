#pragma once
// What the other layers do with a mesh record beyond loading and saving it: masks over polygons,
// triangles, corners and vertices and their index lists, the per-corner arrays drawn without an
// index buffer (entry 3t + k is corner k of triangle t), transformed copies of positions and
// normals, polygroup colours, and picking, counting and flattening by index.
#include "mesh/GeomStack.h"

#include <QColor>
#include <QList>
#include <QMatrix4x4>
#include <QVector>
#include <QVector2D>
#include <QVector3D>

namespace GeometryStack {

// --- masks and index lists ---

// Positions of the set flags, ascending.
QList<int> maskToIndices(const QVector<bool>& mask);
// n flags, set only at the listed positions.
QVector<bool> indicesToMask(const QList<int>& indices, int n);
// Positions i, ascending, at which mask[indices[i]] is set.
QList<int> positionsOfMaskedIndices(const QVector<bool>& mask, const QVector<int>& indices);
// One flag per entry of polygonIndToPolygroupInd; -1 selects the polygons outside every group.
QVector<bool> polygonMaskOfPolygroup(const GeomStack& record, int polygroup);
// Each triangle takes the flag of its source polygon.
QVector<bool> polygonMaskToTriangleMask(const GeomStack& record, const QVector<bool>& polygonMask);
// Every flag three times in a row.
QVector<bool> triangleMaskToCornerMask(const QVector<bool>& triangleMask);
QVector<bool> polygonMaskToCornerMask(const GeomStack& record, const QVector<bool>& polygonMask);
// One flag per vertex: set when a masked polygon uses it.
QVector<bool> verticesMaskOfPolygons(const GeomStack& record, const QVector<bool>& polygonMask);
QVector<bool> verticesMaskOfPolygons(const QVector<bool>& polygonMask, const QVector<QList<int> >& polygons,
                                     int vertexCount);
// For every vertex the polygons using it, once per corner, in polygon order.
QVector<QList<int> > vertexPolygons(const QVector<QList<int> >& polygons, int vertexCount);

// --- per-corner arrays (three entries per triangle) ---

QVector<QVector3D> cornerPositions(const GeomStack& record);
QVector<QVector3D> cornerNormals(const GeomStack& record);
// Empty when the record has no texture triangles.
QVector<QVector2D> cornerTextureCoordinates(const GeomStack& record);
// The triangle edge flags as 1.0 or 0.0.
QVector<float> edgeFlagsPerCorner(const GeomStack& record);
// 0, 1, ..., n - 1; empty for n <= 0.
QVector<int> indexRange(int n);
QVector<int> cornerIndices(const GeomStack& record);

// --- sub-mesh helpers ---

// The indices used by the lists in order of first use; map becomes one entry per index (-1 for
// unused ones) holding each used index's position in the result.
QVector<int> usedIndicesInFirstUseOrder(const QVector<QList<int> >& indexLists, int indexCount, QVector<int>& map);
// The lists with every index i replaced by map[i].
QVector<QList<int> > remapIndexLists(const QVector<QList<int> >& indexLists, const QVector<int>& map);

// --- transformed copies ---

// Points mapped by the matrix (divided by w); the input itself for the identity matrix.
QVector<QVector3D> transformedVertices(const QVector<QVector3D>& points, const QMatrix4x4& matrix);
// Directions mapped by the inverse transpose and normalised; the input itself for the identity.
QVector<QVector3D> transformedNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix);

// --- colours ---

// n colours: the first with firstHue, the others with hues drawn from the generator, which is
// reseeded with 2000 on every call so that the same n gives the same colours.
QVector<QColor> randomColors(int n, float saturation, float lightness, float firstHue);

// --- container templates ---

// Sum of the inner sizes.
template <typename L>
int countElements(const QVector<L>& lists)
{
    int count = 0;
    for (const L& list : lists)
        count += list.size();
    return count;
}

// All inner elements in order.
template <typename L>
QVector<typename L::value_type> flatten(const QVector<L>& lists)
{
    QVector<typename L::value_type> result(countElements(lists));
    int k = 0;
    for (const L& list : lists)
        for (const auto& value : list)
            result[k++] = value;
    return result;
}

// values[indices[k]] for every k, in index order.
template <typename T, typename Indices>
QVector<T> takeByIndices(const QVector<T>& values, const Indices& indices)
{
    QVector<T> result(indices.size());
    int k = 0;
    for (int index : indices)
        result[k++] = values.at(index);
    return result;
}

// The values at every index of the lists, list by list.
template <typename T>
QVector<T> takeByIndexLists(const QVector<QList<int> >& indexLists, const QVector<T>& values)
{
    return takeByIndices(values, flatten(indexLists));
}

}  // namespace GeometryStack
