#pragma once
// Masks over polygons, triangles, corners and vertices of a mesh record, and their index lists.
#include "mesh/GeomStack.h"

#include <QList>
#include <QVector>

namespace GeometryStack {

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
QVector<bool> verticesMaskOfPolygons(const QVector<bool>& polygonMask, const QVector<QList<int>>& polygons,
                                     int vertexCount);
// For every vertex the polygons using it, once per corner, in polygon order.
QVector<QList<int>> vertexPolygons(const QVector<QList<int>>& polygons, int vertexCount);

}  // namespace GeometryStack
