// Fast marching over the vertices of a half-edge mesh.
//
// Speed without changing a result:
// - The band picks the smallest tentative distance, the earliest inserted vertex on ties; it is a
//   binary heap of (distance, insertion number) keys, one per waiting entry and moved in place when
//   its distance drops, which makes exactly that choice without scanning the band.
// - The per-vertex state lives in pages that are set up when first written, so a query that stops
//   early costs what it visits rather than the size of the mesh.
// - Rotations around a vertex that close within a few steps are followed directly; longer or broken
//   ones go through HE::HalfEdgeWalk, which bounds them.
// - Over a MarchGeometry the same march reads neighbours, lengths, face flags and unfoldings
//   from flat tables taken once per mesh instead of recomputing them on every visit, leaves out
//   the acute corners whose update cannot have changed since the vertex's previous one, and keeps
//   its state in a flat scratch of the geometry that is reset vertex by vertex after each march.
// - One march answers the k-nearest queries of up to 64 sets of enabled vertices at once, each set
//   taking what its own march would have accepted, so the layers of a graph share a march per vertex.
//
// The parts: March.h (the march and its band), MarchTables.h (its per-vertex records),
// MarchReads.h (what it reads of the mesh or a geometry), VertexUpdates.h (a vertex's update from
// its faces), FastMarchingMeshAccess.cpp (the unfolding of an obtuse corner).
#include "spatial/FastMarching.h"

#include "spatial/FastMarchingMeshAccess.h"
#include "spatial/March.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchReach.h"
#include "spatial/MarchScratch.h"
#include "spatial/VertexUpdates.h"

#include <QDebug>

#include <cmath>

namespace FastMarching {

namespace {

using namespace Marching;

// Runs query(march) on a fresh march from the source over the mesh itself ...
template <typename Query>
auto marchOver(int source, const HE::HalfEdgeGeom& mesh, Query&& query)
{
    PagedTable table(mesh.vertexHalfEdges.size());
    BandBuffers band;
    March<PagedTable, MeshReads> march(source, MeshReads{mesh}, table, band);
    return query(march);
}

// ... or over a complete geometry, in a scratch of the geometry.
template <typename Query>
auto marchOver(int source, const MarchGeometry& geometry, Query&& query)
{
    ScratchLease lease(geometry);
    FlatTable table(lease.scratch());
    March<FlatTable, GeometryReads> march(source, GeometryReads{geometry}, table, lease.scratch().band);
    return query(march);
}

bool isVertex(int vertex, const HE::HalfEdgeGeom& mesh)
{
    return vertex >= 0 && vertex < mesh.vertexHalfEdges.size();
}

// --- the three queries, over the mesh or a geometry ---

template <typename Over>
QVector<double> distancesFrom(int sourceVertex, const Over& over)
{
    const HE::HalfEdgeGeom& mesh = meshOf(over);
    if (!isVertex(sourceVertex, mesh))
        return QVector<double>(mesh.vertexHalfEdges.size(), unreachedDistance);
    return marchOver(sourceVertex, over, [](auto& march) {
        while (march.hasWaiting())
            march.updateNeighbours(march.acceptNext());
        return march.distances();
    });
}

template <typename Over>
QList<int> verticesInRadius(int sourceVertex, const Over& over, double radius)
{
    if (!isVertex(sourceVertex, meshOf(over)))
        return QList<int>();
    return marchOver(sourceVertex, over, [radius](auto& march) {
        QList<int> result;
        while (march.hasWaiting()) {
            const int vertex = march.acceptNext();
            if (march.distance(vertex) > radius)
                break;
            result.append(vertex);
            march.updateNeighbours(vertex);
        }
        return result;
    });
}

// reachable: how many enabled vertices the complete march accepts, -1 when not known; the march
// ends once it has accepted them all, as nothing after that can join the result.
template <typename Over>
QList<int> kNearestEnabled(int sourceVertex, const Over& over, int k, const QVector<bool>& enabled,
                           QList<double>* distances, int reachable = -1)
{
    QList<int> result;
    QList<double> found;
    if (isVertex(sourceVertex, meshOf(over))) {
        if (enabled.value(sourceVertex, false)) {
            result.append(sourceVertex);
            found.append(0.0);
        }
        marchOver(sourceVertex, over, [&](auto& march) {
            while (march.hasWaiting() && result.size() < k && result.size() != reachable) {
                const int vertex = march.acceptNext();
                if (enabled.value(vertex, false)) {
                    result.append(vertex);
                    found.append(march.distance(vertex));
                }
                march.updateNeighbours(vertex);
            }
            return 0;
        });
    }
    if (distances)
        *distances = found;
    return result;
}

// kNearestEnabled for every set at once. A set is open while its own query's loop would go on;
// an accepted vertex joins the sets that were open before it was taken, as in their own loops.
template <typename Over>
QVector<NearestVertices> kNearestEnabledOfSets(int sourceVertex, const Over& over, int k,
                                               const std::vector<quint64>& membership, const QVector<int>& reachable)
{
    const int nSets = reachable.size();
    QVector<NearestVertices> sets(nSets);
    if (!isVertex(sourceVertex, meshOf(over)))
        return sets;
    const auto memberOf = [&membership](int vertex) {
        return size_t(vertex) < membership.size() ? membership[size_t(vertex)] : quint64(0);
    };
    const auto take = [&](quint64 bits, int vertex, double distance) {
        for (; bits; bits &= bits - 1) {
            NearestVertices& set = sets[qCountTrailingZeroBits(bits)];
            set.vertices.append(vertex);
            set.distances.append(distance);
        }
    };
    const auto openSets = [&]() {
        quint64 open = 0;
        for (int s = 0; s < nSets; ++s) {
            const int size = sets[s].vertices.size();
            if (size < k && size != reachable[s])
                open |= quint64(1) << s;
        }
        return open;
    };
    take(memberOf(sourceVertex), sourceVertex, 0.0);
    quint64 open = openSets();
    if (!open)
        return sets;
    marchOver(sourceVertex, over, [&](auto& march) {
        while (open && march.hasWaiting()) {
            const int vertex = march.acceptNext();
            const quint64 joins = memberOf(vertex) & open;
            if (joins) {
                take(joins, vertex, march.distance(vertex));
                open = openSets();
            }
            march.updateNeighbours(vertex);
        }
        return 0;
    });
    return sets;
}

}  // namespace

QVector<NearestVertices> findKNearestEnabledVerticesOfSets(int sourceVertex, const MarchGeometry& geometry, int k,
                                                           const std::vector<quint64>& membership,
                                                           const QVector<const MarchReach*>& reaches)
{
    Q_ASSERT(reaches.size() <= 64);
    const bool complete = geometry.isComplete();
    QVector<int> reachable(reaches.size(), -1);
    if (complete && isVertex(sourceVertex, geometry.mesh()))
        for (int s = 0; s < reaches.size(); ++s)
            if (reaches[s])
                reachable[s] = reaches[s]->enabledInReach(sourceVertex);
    if (!complete)
        return kNearestEnabledOfSets(sourceVertex, geometry.mesh(), k, membership, reachable);
    return kNearestEnabledOfSets(sourceVertex, geometry, k, membership, reachable);
}

QVector<double> computeDistancesFromVertex(int sourceVertex, const HE::HalfEdgeGeom& mesh)
{
    return distancesFrom(sourceVertex, mesh);
}

QList<int> findVerticesInRadius(int sourceVertex, const HE::HalfEdgeGeom& mesh, double radius)
{
    return verticesInRadius(sourceVertex, mesh, radius);
}

QList<int> findKNearestEnabledVertices(int sourceVertex, const HE::HalfEdgeGeom& mesh, int k,
                                       const QVector<bool>& enabled, QList<double>* distances)
{
    return kNearestEnabled(sourceVertex, mesh, k, enabled, distances);
}

QVector<double> computeDistancesFromVertex(int sourceVertex, const MarchGeometry& geometry)
{
    if (!geometry.isComplete())
        return distancesFrom(sourceVertex, geometry.mesh());
    return distancesFrom(sourceVertex, geometry);
}

QList<int> findVerticesInRadius(int sourceVertex, const MarchGeometry& geometry, double radius)
{
    if (!geometry.isComplete())
        return verticesInRadius(sourceVertex, geometry.mesh(), radius);
    return verticesInRadius(sourceVertex, geometry, radius);
}

QList<int> findKNearestEnabledVertices(int sourceVertex, const MarchGeometry& geometry, int k,
                                       const QVector<bool>& enabled, QList<double>* distances)
{
    if (!geometry.isComplete())
        return kNearestEnabled(sourceVertex, geometry.mesh(), k, enabled, distances);
    return kNearestEnabled(sourceVertex, geometry, k, enabled, distances);
}

QList<int> findKNearestEnabledVertices(int sourceVertex, const MarchGeometry& geometry, int k,
                                       const QVector<bool>& enabled, const MarchReach& reach, QList<double>* distances)
{
    if (!geometry.isComplete())
        return kNearestEnabled(sourceVertex, geometry.mesh(), k, enabled, distances);
    const int reachable = isVertex(sourceVertex, geometry.mesh()) ? reach.enabledInReach(sourceVertex) : -1;
    return kNearestEnabled(sourceVertex, geometry, k, enabled, distances, reachable);
}

double updateVertexDistFromAliveVertices(int vertex, const QVector<bool>& alive, const QVector<double>& distance,
                                         const HE::HalfEdgeGeom& mesh)
{
    return vertexUpdate(vertex, VectorState{alive, distance}, mesh);
}

double updateVertexFromNonObtuseAngle(int halfEdge, const QVector<bool>& alive, const QVector<double>& distance,
                                      const HE::HalfEdgeGeom& mesh)
{
    return nonObtuseUpdate(halfEdge, VectorState{alive, distance}, mesh);
}

double updateVertexFromObtuseAngle(int halfEdge, const QVector<bool>& alive, const QVector<double>& distance,
                                   const HE::HalfEdgeGeom& mesh)
{
    return obtuseUpdate(halfEdge, VectorState{alive, distance}, mesh);
}

bool unfoldObtuseAngle(int halfEdge, const HE::HalfEdgeGeom& mesh, double& lengthCB, double& lengthCA, double& lengthDB,
                       double& lengthDA, double& lengthDC, int& vertexD)
{
    bool metZeroLengthFace = false;
    const bool found = MeshAccess::unfoldSupportVertex(halfEdge, mesh, lengthCB, lengthCA, lengthDB, lengthDA, lengthDC,
                                                       vertexD, &metZeroLengthFace);
    if (metZeroLengthFace)
        qDebug("During unfolding found a triangle with zero edge length!");
    return found;
}

double updateFromTriangle(double a, double b, double c2, double dSmall, double dLarge, double dC)
{
    return updateFromTerms(triangleTerms(a, b, c2), dSmall, dLarge, dC);
}

bool solveQuadraticEquation(double qa, double qb, double qc, double& root1, double& root2)
{
    return solveQuadratic(qa, qb, qc, root1, root2);
}

int findNarrowBandMinimum(const QList<int>& band, const QVector<double>& distance)
{
    return firstMinimumPosition(band, [&distance](int vertex) { return distance.at(vertex); });
}

double angleBetweenVectors(const QVector3D& a, const QVector3D& b)
{
    const float dot = QVector3D::dotProduct(a, b);
    const float lengthA = a.length();
    const float lengthB = b.length();
    return std::acos(double(dot) / (double(lengthB) * double(lengthA)));
}

}  // namespace FastMarching
