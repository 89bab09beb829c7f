#pragma once
// The per-corner arrays drawn without an index buffer: entry 3t + k is corner k of triangle t.
#include "mesh/GeomStack.h"

#include <QVector2D>
#include <QVector3D>
#include <QVector>

namespace GeometryStack {

QVector<QVector3D> cornerPositions(const GeomStack& record);
QVector<QVector3D> cornerNormals(const GeomStack& record);
// Empty when the record has no texture triangles.
QVector<QVector2D> cornerTextureCoordinates(const GeomStack& record);
// The triangle edge flags as 1.0 or 0.0.
QVector<float> edgeFlagsPerCorner(const GeomStack& record);
// 0, 1, ..., n - 1; empty for n <= 0.
QVector<int> indexRange(int n);
QVector<int> cornerIndices(const GeomStack& record);

}  // namespace GeometryStack
