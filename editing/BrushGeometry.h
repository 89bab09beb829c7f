#pragma once
// Geometry of the brush controller: the mesh's length unit from vertex fans,
// fan normals of sculpted vertices, and the brush point's ray helpers.
#include <QList>
#include <QMap>
#include <QMatrix4x4>
#include <QVector3D>
#include <QVector>

// Squared distance from vertex v to the nearest vertex of its fan (the first
// minimum); the largest double for an empty fan.
double findNearestFanNeighbour(int v, const QList<int>& fan, const QVector<QVector3D>& positions);
// Median over all vertices of the distance to the nearest fan neighbour; 0
// without vertices.
double medianNearestFanNeighbourDist(const QVector<QList<int>>& vertexNeighbours, const QVector<QVector3D>& vertices);

// Normalised mean of the normals of the triangles between consecutive fan
// entries; zero for an empty fan.
QVector3D computeVertexFanNormal(int v, const QList<int>& fan, const QVector<QVector3D>& positions);
// computeVertexFanNormal of each listed vertex; a vertex whose fan has a single
// entry gets no normal (it has no pair to average) and keeps its old one.
QMap<int, QVector3D> computeFanNormals(const QList<int>& vertexList, const QVector<QList<int>>& vertexNeighbours,
                                       const QVector<QVector3D>& positions);

// (1 - u - v) a + u b + v c, not normalised.
QVector3D interpolateBarycentric(double u, double v, const QVector3D& a, const QVector3D& b, const QVector3D& c);
// The direction mapped by the transposed inverse of m (w = 0).
QVector3D transformNormal(const QVector3D& direction, const QMatrix4x4& m);
// False when the ray runs parallel to the plane or meets its back (direction
// . normal < 1e-6).
bool intersectRayWithPlane(const QVector3D& origin, const QVector3D& direction, const QVector3D& planePoint,
                           const QVector3D& planeNormal, QVector3D& point);
