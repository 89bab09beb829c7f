#pragma once
// The polygon mesh record every part of the program works on: positions,
// texture coordinates and polygons as read from an OBJ file, with their fan
// triangulation, per-vertex normals, bounding box and polygroups.
#include <QList>
#include <QString>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

#include "mesh/BoundingBox.h"

// One triangle corner of a fan triangulation: (polygon index, corner position
// within that polygon).
struct IndexPair {
    IndexPair() = default;
    IndexPair(int first, int second) : first(first), second(second) {}
    bool operator==(const IndexPair& other) const { return first == other.first && second == other.second; }
    bool operator!=(const IndexPair& other) const { return !(*this == other); }

    int first = -1;
    int second = -1;
};

namespace GeometryStack {

class GeomStack {
public:
    // Every container empty, box all zero.
    GeomStack() = default;
    // Reads an OBJ file. errorText (when given) receives the reader's error,
    // or the empty string after success; after a failure nothing is derived.
    GeomStack(const QString& path, QString* errorText, bool triangulate, bool computeNormals);
    // A record from arrays; normals are computed only when `normals` is empty
    // (a non-empty list supplies nothing and leaves `normals` empty).
    GeomStack(const QVector<QVector3D>& vertices, const QVector<QList<int>>& polygons,
              const QVector<QVector2D>& textureVertices, const QVector<QList<int>>& texturePolygons,
              const QVector<QVector3D>& normals);
    // The sub-mesh of the given polygons of source, with maps from its vertices
    // and texture vertices to the source's (defined with the mesh selections).
    GeomStack(const GeomStack& source, const QList<int>& polygonInds, QVector<int>& vertexInds,
              QVector<int>& texVertexInds);
    GeomStack(const GeomStack&) = default;
    GeomStack& operator=(const GeomStack&) = default;

    // normals = vertexNormals(polygons, vertices).
    void computeNormals();
    // Scales positions and box about the coordinate origin; normals stay.
    void scale(double factor);
    // Writes the mesh as OBJ; false when the file cannot be written.
    bool saveToObj(const QString& path, bool withTextureCoordinates, bool withNormals) const;
    // Payload bytes of the position, normal, texture and index arrays.
    int memorySize() const;

    QVector<QVector3D> vertices;
    QVector<QVector2D> textureVertices;
    QVector<QVector3D> normals;                // empty until computed, then one per vertex
    QVector<QList<int>> polygons;              // 0-based vertex indices, file order
    QVector<QList<int>> texturePolygons;       // empty or shaped like polygons
    QVector<QList<int>> triangles;             // fan triangles, polygon by polygon
    QVector<QList<int>> textureTriangles;      // the same fans over texturePolygons
    QVector<int> triangleIndToPolygonInd;      // source polygon of every triangle
    QVector<QVector<bool>> triangleEdgeFlags;  // flag k: edge k -> k+1 is a polygon edge
    Viewport3D::BoundingBox boundingBox;
    QVector<int> polygonIndToPolygroupInd;  // empty or one per polygon, -1 for none
    QVector<QString> polygroupNames;        // in order of first appearance

private:
    void triangulate();
};

// The input itself (sharing its data) for the factor 1 exactly, else every
// position times the factor taken in single precision.
QVector<QVector3D> scaledVertices(const QVector<QVector3D>& positions, double factor);

// Sum of the squared diagonal lengths of the fan from corner `origin`
// (0 for fewer than four corners).
double triangleFanInnerEdgeLengthSquared(int origin, const QVector<QVector3D>& corners);
// The fan origin with the smallest diagonal sum (first of equal ones);
// 0 for a triangle, -1 when no sum is finite or there are no corners.
int optimalTriangleFanOrigin(const QVector<QVector3D>& corners);
// The n - 2 fan triangles from `origin` as local corner numbers, and for each
// the three flags telling which of its edges are polygon edges.
QVector<QVector<int>> triangulateFan(int n, int origin, QVector<QVector<bool>>& edgeFlags);

// Sum of (corner count - 2) over the polygons (polygons under three corners count 0).
int triangleCount(const QVector<QList<int>>& polygons);
int polygonTriangleCount(int n);

// Fan-triangulates every polygon on the positions: three (polygon, corner)
// pairs per triangle; fills the source polygon and edge flags of each triangle.
QVector<QVector<IndexPair>> triangulatePolygons(const QVector<QList<int>>& polygons, const QVector<QVector3D>& vertices,
                                                QVector<int>& triangleIndToPolygonInd,
                                                QVector<QVector<bool>>& triangleEdgeFlags);
// Looks up every pair in the index lists: lists[polygon][corner].
QVector<QList<int>> trianglesFromCornerPairs(const QVector<QList<int>>& indexLists,
                                             const QVector<QVector<IndexPair>>& pairs);

// Normal at each corner of one polygon: normalised (next - c) x (previous - c).
QVector<QVector3D> polygonCornerNormals(const QVector<QVector3D>& corners);
// Normalised mean of the corner normals at each vertex; (0, 0, 0) for unused ones.
QVector<QVector3D> vertexNormals(const QVector<QList<int>>& polygons, const QVector<QVector3D>& vertices);

}  // namespace GeometryStack
