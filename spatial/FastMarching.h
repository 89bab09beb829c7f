#pragma once
// Geodesic distances over the surface of a half-edge mesh by fast marching from one source vertex:
// a Dijkstra-like march over the vertices whose distances come from first-order triangle updates,
// with obtuse corners split by a support vertex found by unfolding the triangles beyond them.
//
// Written for triangle meshes. On a face with more corners, a corner still updates from its two
// neighbours in the face, but no unfolding crosses or starts in such a face.
//
// Every function is re-entrant: the march state lives in the call, the mesh and the mask are only
// read (never detached), so many threads may query one mesh at once.
//
// Each march has an overload over a MarchGeometry taken once from the mesh: same results, same
// debug lines, much less work per step. Worth it when many marches run over one mesh.
#include "mesh/HalfEdge.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchReach.h"

#include <QList>
#include <QVector3D>
#include <QVector>

#include <vector>

namespace FastMarching {

// Distance of a vertex that no path reaches (the largest double).
constexpr double unreachedDistance = 1.7976931348623157e308;

// The mesh a march runs over: the mesh itself, or the one the geometry was taken from.
inline const HE::HalfEdgeGeom& meshOf(const HE::HalfEdgeGeom& mesh)
{
    return mesh;
}
inline const HE::HalfEdgeGeom& meshOf(const MarchGeometry& geometry)
{
    return geometry.mesh();
}

// --- the march ---

// Distance of every vertex from the source; unreachedDistance where no face path leads.
QVector<double> computeDistancesFromVertex(int sourceVertex, const HE::HalfEdgeGeom& mesh);

// Vertices whose distance is at most radius, in the order the march accepted them; the source is
// not listed.
QList<int> findVerticesInRadius(int sourceVertex, const HE::HalfEdgeGeom& mesh, double radius);

// The first k accepted vertices whose enabled flag is set (the source first, at distance 0, when it
// is enabled itself); *distances is emptied and receives their distances in the same order.
QList<int> findKNearestEnabledVertices(int sourceVertex, const HE::HalfEdgeGeom& mesh, int k,
                                       const QVector<bool>& enabled, QList<double>* distances);

// The same three marches over a geometry taken from the mesh (its mesh is the one marched over).
QVector<double> computeDistancesFromVertex(int sourceVertex, const MarchGeometry& geometry);
QList<int> findVerticesInRadius(int sourceVertex, const MarchGeometry& geometry, double radius);
QList<int> findKNearestEnabledVertices(int sourceVertex, const MarchGeometry& geometry, int k,
                                       const QVector<bool>& enabled, QList<double>* distances);
// The same k nearest, ending the march as soon as it has accepted every enabled vertex it can
// ever reach (reach taken from this geometry and these flags): same vertices, same distances.
QList<int> findKNearestEnabledVertices(int sourceVertex, const MarchGeometry& geometry, int k,
                                       const QVector<bool>& enabled, const MarchReach& reach, QList<double>* distances);

// The nearest enabled vertices of one set, as findKNearestEnabledVertices lists them.
struct NearestVertices {
    QList<int> vertices;
    QList<double> distances;
};

// findKNearestEnabledVertices for up to 64 sets of enabled vertices at once, from one march: bit s
// of membership[v] says whether v is enabled in set s (a vertex beyond the end is in none), and
// reaches[s] (null: unknown) is the reach of set s in this geometry. The march runs until every
// set has its answer; each set's vertices and distances are those of its own query with its reach.
QVector<NearestVertices> findKNearestEnabledVerticesOfSets(int sourceVertex, const MarchGeometry& geometry, int k,
                                                           const std::vector<quint64>& membership,
                                                           const QVector<const MarchReach*>& reaches);

// --- building blocks ---

// The vertex's new tentative distance from the faces around it; never above distance[vertex].
double updateVertexDistFromAliveVertices(int vertex, const QVector<bool>& alive, const QVector<double>& distance,
                                         const HE::HalfEdgeGeom& mesh);

// Update of the end vertex C of half-edge h from its corner triangle (A = origin, B = the third
// corner), using those of A and B that are alive.
double updateVertexFromNonObtuseAngle(int halfEdge, const QVector<bool>& alive, const QVector<double>& distance,
                                      const HE::HalfEdgeGeom& mesh);

// Update of the end vertex C of half-edge h through a support vertex unfolded across the edge
// opposite C; falls back to the two corner edges when none is found. alive is not read.
double updateVertexFromObtuseAngle(int halfEdge, const QVector<bool>& alive, const QVector<double>& distance,
                                   const HE::HalfEdgeGeom& mesh);

// Looks for a vertex D beyond the edge AB opposite corner C of half-edge h that splits the angle at
// C into two angles of at most 90 degrees, unfolding at most 10 faces. lengthCB and lengthCA are
// always written; the D outputs only when it returns true.
bool unfoldObtuseAngle(int halfEdge, const HE::HalfEdgeGeom& mesh, double& lengthCB, double& lengthCA, double& lengthDB,
                       double& lengthDA, double& lengthDC, int& vertexD);

// First-order triangle update of C: a = |C to the dLarge vertex|, b = |C to the dSmall vertex|,
// c2 = squared length of the third edge, dC = C's current distance.
double updateFromTriangle(double a, double b, double c2, double dSmall, double dLarge, double dC);

// Roots of qa t^2 + qb t + qc = 0; false when qa is 0 or there is no real root.
bool solveQuadraticEquation(double qa, double qb, double qc, double& root1, double& root2);

// Position in the band of the smallest distance, the first one on ties; 0 for an empty band.
int findNarrowBandMinimum(const QList<int>& band, const QVector<double>& distance);

// Angle between the vectors in radians (not a number for a zero-length vector).
double angleBetweenVectors(const QVector3D& a, const QVector3D& b);

}  // namespace FastMarching
