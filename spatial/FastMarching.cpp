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
// - Over a MarchGeometry the same march reads neighbours, lengths, face flags, unfoldings and
//   triangle terms from flat tables taken once per mesh instead of recomputing them on every
//   visit, leaves out the acute corners whose update cannot have changed since the vertex's
//   previous one, and keeps its state in a flat scratch of the geometry that is reset vertex by
//   vertex after each march.
#include "spatial/FastMarching.h"

#include "spatial/FastMarchingMeshAccess.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchScratch.h"
#include "spatial/TriangleUpdate.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace FastMarching {

namespace {

using namespace MeshAccess;

// The smaller of current and candidate; current stays on ties and when candidate is not a number.
double smallerOf(double current, double candidate)
{
    return candidate < current ? candidate : current;
}

// Position of the first smallest distance in a band.
template <typename DistanceOf>
int firstMinimumPosition(const QList<int>& band, DistanceOf distanceOf)
{
    int best = 0;
    for (int i = 1; i < band.size(); ++i)
        if (distanceOf(band.at(i)) < distanceOf(band.at(best)))
            best = i;
    return best;
}

// --- vertex updates over any state that tells alive flags and distances ---

struct VectorState {
    const QVector<bool>& alive;
    const QVector<double>& distance;
    bool isAlive(int vertex) const { return alive.at(vertex); }
    double distanceOf(int vertex) const { return distance.at(vertex); }
};

template <typename State>
double nonObtuseUpdate(int halfEdge, const State& state, const HE::HalfEdgeGeom& mesh)
{
    const Corner corner(mesh, halfEdge);
    const double dC = state.distanceOf(corner.c);
    const bool aliveA = state.isAlive(corner.a);
    const bool aliveB = state.isAlive(corner.b);
    if (!aliveA && !aliveB)
        return dC;
    if (!aliveA) {
        const double viaB = state.distanceOf(corner.b) + lengthBetween(mesh, corner.c, corner.b);
        return viaB > dC ? dC : viaB;
    }
    if (!aliveB) {
        const double viaA = state.distanceOf(corner.a) + lengthBetween(mesh, corner.c, corner.a);
        return viaA > dC ? dC : viaA;
    }
    const double dA = state.distanceOf(corner.a);
    const double dB = state.distanceOf(corner.b);
    const double lengthCA = lengthBetween(mesh, corner.c, corner.a);
    const double lengthCB = lengthBetween(mesh, corner.c, corner.b);
    const double squaredAB = squaredLengthBetween(mesh, corner.a, corner.b);
    if (dA > dB)
        return updateFromTriangle(lengthCA, lengthCB, squaredAB, dB, dA, dC);
    return updateFromTriangle(lengthCB, lengthCA, squaredAB, dA, dB, dC);
}

// Alive flags are not consulted: the current distances of A, B and D count as they are.
template <typename State>
double obtuseUpdate(int halfEdge, const State& state, const HE::HalfEdgeGeom& mesh)
{
    const Corner corner(mesh, halfEdge);
    const double dA = state.distanceOf(corner.a);
    const double dB = state.distanceOf(corner.b);
    const double dC = state.distanceOf(corner.c);
    double lengthCB = 0.0, lengthCA = 0.0, lengthDB = 0.0, lengthDA = 0.0, lengthDC = 0.0;
    int vertexD = -1;
    if (!unfoldObtuseAngle(halfEdge, mesh, lengthCB, lengthCA, lengthDB, lengthDA, lengthDC, vertexD)) {
        const double viaA = dA + lengthCA;
        const double viaB = dB + lengthCB;
        const double viaEdge = viaA > viaB ? viaB : viaA;
        return viaEdge > dC ? dC : viaEdge;
    }
    // Two updates through D, B's triangle first; on equal distances D counts as the smaller.
    const double dD = state.distanceOf(vertexD);
    const double throughB = dD > dB ? updateFromTriangle(lengthDC, lengthCB, lengthDB * lengthDB, dB, dD, dC)
                                    : updateFromTriangle(lengthCB, lengthDC, lengthDB * lengthDB, dD, dB, dC);
    return dD > dA ? updateFromTriangle(lengthDC, lengthCA, lengthDA * lengthDA, dA, dD, throughB)
                   : updateFromTriangle(lengthCA, lengthDC, lengthDA * lengthDA, dD, dA, throughB);
}

template <typename State>
double vertexUpdate(int vertex, const State& state, const HE::HalfEdgeGeom& mesh)
{
    double result = state.distanceOf(vertex);
    const int outgoing = mesh.vertexHalfEdges.at(vertex);
    if (outgoing < 0)
        return result;
    const int firstIncoming = edge(mesh, outgoing).opposite;
    if (firstIncoming < 0)
        return result;
    forEachInWalk(mesh, firstIncoming, HE::HalfEdgeWalk::IncomingWalk, [&](int incoming) {
        const int face = edge(mesh, incoming).face;
        if (face < 0)
            return;
        if (faceHasZeroLengthEdge(mesh, face)) {
            qDebug("Face has zero length edges!");
            return;
        }
        const double candidate = isAngleAtEndAcute(mesh, incoming) ? nonObtuseUpdate(incoming, state, mesh)
                                                                   : obtuseUpdate(incoming, state, mesh);
        result = smallerOf(result, candidate);
    });
    return result;
}

// The update of vertex c from one corner read from a MarchGeometry: the same reads of the state
// and the same arithmetic as nonObtuseUpdate and obtuseUpdate, on lengths and triangle terms taken
// beforehand.
template <typename State>
double cornerUpdate(const CornerUpdate& corner, const TriangleTerms* terms, int c, const State& state)
{
    const double dC = state.distanceOf(c);
    if (corner.kind == CornerUpdate::Acute) {
        const bool aliveA = state.isAlive(corner.a);
        const bool aliveB = state.isAlive(corner.b);
        if (!aliveA && !aliveB)
            return dC;
        if (!aliveA) {
            const double viaB = state.distanceOf(corner.b) + corner.lengthCB;
            return viaB > dC ? dC : viaB;
        }
        if (!aliveB) {
            const double viaA = state.distanceOf(corner.a) + corner.lengthCA;
            return viaA > dC ? dC : viaA;
        }
        const double dA = state.distanceOf(corner.a);
        const double dB = state.distanceOf(corner.b);
        if (dA > dB)
            return updateFromTerms(terms[CornerUpdate::AFarther], dB, dA, dC);
        return updateFromTerms(terms[CornerUpdate::BFarther], dA, dB, dC);
    }
    const double dA = state.distanceOf(corner.a);
    const double dB = state.distanceOf(corner.b);
    if (corner.kind == CornerUpdate::AlongEdges) {
        if (corner.unfoldMetZeroLengthFace)
            qDebug("During unfolding found a triangle with zero edge length!");
        const double viaA = dA + corner.lengthCA;
        const double viaB = dB + corner.lengthCB;
        const double viaEdge = viaA > viaB ? viaB : viaA;
        return viaEdge > dC ? dC : viaEdge;
    }
    const double dD = state.distanceOf(corner.d);
    const double throughB = dD > dB ? updateFromTerms(terms[CornerUpdate::DFartherThanB], dB, dD, dC)
                                    : updateFromTerms(terms[CornerUpdate::BFartherThanD], dD, dB, dC);
    return dD > dA ? updateFromTerms(terms[CornerUpdate::DFartherThanA], dA, dD, throughB)
                   : updateFromTerms(terms[CornerUpdate::AFartherThanD], dD, dA, throughB);
}

// --- what the march reads: the mesh itself or a geometry taken from it ---

struct MeshReads {
    const HE::HalfEdgeGeom& mesh;

    int vertexCount() const { return mesh.vertexHalfEdges.size(); }

    // visit(neighbour, length of the edge to it), in neighbour order.
    template <typename Visit>
    void forEachSeed(int source, Visit&& visit) const
    {
        forEachInWalk(mesh, mesh.vertexHalfEdges.at(source), HE::HalfEdgeWalk::OutgoingWalk, [&](int halfEdge) {
            const int neighbour = endOf(mesh, halfEdge);
            visit(neighbour, lengthBetween(mesh, source, neighbour));
        });
    }

    template <typename Visit>
    void forEachNeighbour(int vertex, Visit&& visit) const
    {
        forEachInWalk(mesh, mesh.vertexHalfEdges.at(vertex), HE::HalfEdgeWalk::OutgoingWalk,
                      [&](int halfEdge) { visit(endOf(mesh, halfEdge)); });
    }

    template <typename State>
    double update(int vertex, const State& state, int /*accepted*/, bool /*updatedBefore*/) const
    {
        return vertexUpdate(vertex, state, mesh);
    }
};

struct GeometryReads {
    const MarchGeometry& geometry;

    int vertexCount() const { return geometry.vertexCount(); }

    template <typename Visit>
    void forEachSeed(int source, Visit&& visit) const
    {
        const double* lengths = geometry.neighbourLengths(source);
        for (int neighbour : geometry.neighbours(source))
            visit(neighbour, *lengths++);
    }

    template <typename Visit>
    void forEachNeighbour(int vertex, Visit&& visit) const
    {
        for (int neighbour : geometry.neighbours(vertex))
            visit(neighbour);
    }

    // vertexUpdate over the corners as taken, for a vertex whose neighbour `accepted` has just
    // been accepted.
    //
    // An acute corner's update depends only on which of A and B are alive, on their distances
    // once alive (which never change again) and, through a minimum, on C's current distance.
    // Accepting a vertex updates every neighbour it lists; so when A and B both list C, neither
    // can have become alive since C's previous update unless it is `accepted`. A corner without
    // `accepted` then gives the value it gave at that update, which was folded into C's distance
    // there; C's distance has not risen since, so folding the value in again changes nothing (a
    // value that is not a number is ignored either way). The other corners read distances still
    // in the band and are always evaluated, as is every corner at a vertex's first update.
    template <typename State>
    double update(int vertex, const State& state, int accepted, bool updatedBefore) const
    {
        double result = state.distanceOf(vertex);
        for (const CornerUpdate& corner : geometry.corners(vertex)) {
            if (corner.kind == CornerUpdate::SkippedFace) {
                qDebug("Face has zero length edges!");
                continue;
            }
            if (updatedBefore && corner.kind == CornerUpdate::Acute && corner.reciprocal && corner.a != accepted &&
                corner.b != accepted)
                continue;
            result = smallerOf(result, cornerUpdate(corner, geometry.terms(corner), vertex, state));
        }
        return result;
    }
};

// --- the march state ---

// Per-vertex records in pages of 64 vertices, set up when first written; unwritten vertices read
// as unreached, not alive and not waiting.
class PagedTable {
public:
    explicit PagedTable(int nVertices) : pageOffsets_(size_t(nVertices + pageSize - 1) / pageSize, -1) {}

    const VertexRecord& at(int vertex) const
    {
        const int offset = pageOffsets_[size_t(vertex) >> pageBits];
        return offset < 0 ? blank : records_[size_t(offset) + (size_t(vertex) & pageMask)];
    }

    // The reference holds until the next call of edit.
    VertexRecord& edit(int vertex)
    {
        int& offset = pageOffsets_[size_t(vertex) >> pageBits];
        if (offset < 0) {
            offset = int(records_.size());
            records_.resize(records_.size() + pageSize, blank);
        }
        return records_[size_t(offset) + (size_t(vertex) & pageMask)];
    }

    QVector<double> distances(int nVertices) const
    {
        QVector<double> result(nVertices, unreachedDistance);
        for (size_t page = 0; page < pageOffsets_.size(); ++page) {
            if (pageOffsets_[page] < 0)
                continue;
            const int first = int(page * pageSize);
            const int last = std::min(nVertices, first + pageSize);
            for (int v = first; v < last; ++v)
                result[v] = records_[size_t(pageOffsets_[page]) + size_t(v - first)].distance;
        }
        return result;
    }

private:
    static constexpr int pageBits = 6;
    static constexpr int pageSize = 1 << pageBits;
    static constexpr size_t pageMask = pageSize - 1;
    static constexpr VertexRecord blank{};

    std::vector<int> pageOffsets_;
    std::vector<VertexRecord> records_;
};

// Per-vertex records in a scratch that holds one blank record per vertex; the vertices written
// are listed, so that the scratch can be made blank again at that cost.
class FlatTable {
public:
    explicit FlatTable(MarchScratch& scratch) : records_(scratch.records), written_(scratch.written) {}

    const VertexRecord& at(int vertex) const { return records_[size_t(vertex)]; }

    VertexRecord& edit(int vertex)
    {
        VertexRecord& record = records_[size_t(vertex)];
        if (!record.written) {
            record.written = true;
            written_.push_back(vertex);
        }
        return record;
    }

    QVector<double> distances(int nVertices) const
    {
        QVector<double> result(nVertices, unreachedDistance);
        for (int vertex : written_)
            result[vertex] = records_[size_t(vertex)].distance;
        return result;
    }

private:
    std::vector<VertexRecord>& records_;
    std::vector<int>& written_;
};

template <typename Table>
struct TableState {
    const Table& table;
    bool isAlive(int vertex) const { return table.at(vertex).alive; }
    double distanceOf(int vertex) const { return table.at(vertex).distance; }
};

// --- the march ---

// One march: the vertex records and the narrow band, seeded from the source's neighbours.
//
// The band: the march appends a vertex only when it is not waiting already, except while seeding,
// where a neighbour listed twice is appended twice. The heap holds one (distance, insertion number)
// key per waiting entry and knows where each lies, so a changed distance moves its key in place.
// A distance that is not a number has no place in that order,
// so the band then turns into the plain insertion-ordered list with its linear scan for the rest
// of the march.
template <typename Table, typename Reads>
class March {
public:
    March(int source, Reads reads, Table& table, BandBuffers& band) : reads_(reads), table_(table), band_(band)
    {
        band_.clear();
        VertexRecord& start = table_.edit(source);
        start.distance = 0.0;
        start.alive = true;
        reads_.forEachSeed(source, [&](int neighbour, double length) {
            table_.edit(neighbour).distance = length;
            if (table_.at(neighbour).bandEntries > 0)
                distanceChanged(neighbour);
            append(neighbour);
        });
    }

    bool hasWaiting() const { return liveEntries_ > 0; }

    // Takes the waiting vertex of smallest distance and makes it alive.
    int acceptNext()
    {
        const int vertex = takeMinimum();
        table_.edit(vertex).alive = true;
        return vertex;
    }

    void updateNeighbours(int vertex)
    {
        reads_.forEachNeighbour(vertex, [&](int neighbour) {
            const VertexRecord& before = table_.at(neighbour);
            if (before.alive)
                return;
            const double previous = before.distance;
            const double updated = reads_.update(neighbour, TableState<Table>{table_}, vertex, before.updated);
            VertexRecord& record = table_.edit(neighbour);
            record.distance = updated;
            record.updated = true;
            if (record.bandEntries == 0)
                append(neighbour);
            else if (!(updated == previous))
                distanceChanged(neighbour);
        });
    }

    double distance(int vertex) const { return table_.at(vertex).distance; }
    QVector<double> distances() const { return table_.distances(reads_.vertexCount()); }

private:
    // x comes after y in the band's order.
    static bool later(const BandKey& x, const BandKey& y)
    {
        return x.distance > y.distance || (x.distance == y.distance && x.sequence > y.sequence);
    }

    void place(const BandKey& key, size_t position)
    {
        band_.heap[position] = key;
        band_.heapPosition[size_t(key.sequence)] = int(position);
    }

    void siftUp(size_t position)
    {
        const BandKey key = band_.heap[position];
        while (position > 0) {
            const size_t parent = (position - 1) / 2;
            if (!later(band_.heap[parent], key))
                break;
            place(band_.heap[parent], position);
            position = parent;
        }
        place(key, position);
    }

    void siftDown(size_t position)
    {
        const BandKey key = band_.heap[position];
        const size_t size = band_.heap.size();
        for (;;) {
            size_t child = 2 * position + 1;
            if (child >= size)
                break;
            if (child + 1 < size && later(band_.heap[child], band_.heap[child + 1]))
                ++child;
            if (!later(key, band_.heap[child]))
                break;
            place(band_.heap[child], position);
            position = child;
        }
        place(key, position);
    }

    void push(const BandKey& key)
    {
        band_.heap.push_back(key);
        siftUp(band_.heap.size() - 1);
    }

    // The entry's key takes its vertex's current distance.
    void rekey(int sequence, double distance)
    {
        const size_t position = size_t(band_.heapPosition[size_t(sequence)]);
        band_.heap[position].distance = distance;
        siftUp(position);
        siftDown(size_t(band_.heapPosition[size_t(sequence)]));
    }

    void append(int vertex)
    {
        const int sequence = int(band_.entryVertex.size());
        VertexRecord& record = table_.edit(vertex);
        if (record.bandEntries > 0)
            hasRepeatedEntries_ = true;
        ++record.bandEntries;
        record.latestEntry = sequence;
        band_.entryVertex.push_back(vertex);
        band_.heapPosition.push_back(-1);
        ++liveEntries_;
        if (linear_) {
            list_.append(vertex);
            return;
        }
        if (std::isnan(record.distance)) {
            switchToList();
            list_.append(vertex);  // the newest entry, last in insertion order
            return;
        }
        push(BandKey{record.distance, sequence, vertex});
    }

    // The vertex is waiting and its distance has just changed: every entry of it takes it.
    void distanceChanged(int vertex)
    {
        if (linear_)
            return;
        const VertexRecord record = table_.at(vertex);
        if (std::isnan(record.distance)) {
            switchToList();
            return;
        }
        rekey(record.latestEntry, record.distance);
        if (hasRepeatedEntries_ && record.bandEntries > 1)
            for (size_t sequence = 0; sequence < band_.entryVertex.size(); ++sequence)
                if (band_.heapPosition[sequence] >= 0 && band_.entryVertex[sequence] == vertex &&
                    int(sequence) != record.latestEntry)
                    rekey(int(sequence), record.distance);
    }

    int takeMinimum()
    {
        if (linear_) {
            const int position = firstMinimumPosition(list_, [this](int v) { return table_.at(v).distance; });
            const int vertex = list_.takeAt(position);
            --table_.edit(vertex).bandEntries;
            --liveEntries_;
            return vertex;
        }
        const BandKey first = band_.heap.front();
        band_.heapPosition[size_t(first.sequence)] = -1;
        const BandKey last = band_.heap.back();
        band_.heap.pop_back();
        if (!band_.heap.empty()) {
            place(last, 0);
            siftDown(0);
        }
        --table_.edit(first.vertex).bandEntries;
        --liveEntries_;
        return first.vertex;
    }

    void switchToList()
    {
        linear_ = true;
        for (size_t sequence = 0; sequence < band_.entryVertex.size(); ++sequence)
            if (band_.heapPosition[sequence] >= 0)
                list_.append(band_.entryVertex[sequence]);
        band_.heap.clear();
    }

    Reads reads_;
    Table& table_;
    BandBuffers& band_;
    int liveEntries_ = 0;
    bool hasRepeatedEntries_ = false;
    bool linear_ = false;
    QList<int> list_;
};

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

const HE::HalfEdgeGeom& meshOf(const HE::HalfEdgeGeom& mesh)
{
    return mesh;
}

const HE::HalfEdgeGeom& meshOf(const MarchGeometry& geometry)
{
    return geometry.mesh();
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

template <typename Over>
QList<int> kNearestEnabled(int sourceVertex, const Over& over, int k, const QVector<bool>& enabled,
                           QList<double>* distances)
{
    QList<int> result;
    QList<double> found;
    if (isVertex(sourceVertex, meshOf(over))) {
        if (enabled.value(sourceVertex, false)) {
            result.append(sourceVertex);
            found.append(0.0);
        }
        marchOver(sourceVertex, over, [&](auto& march) {
            while (march.hasWaiting() && result.size() < k) {
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

}  // namespace

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

bool unfoldObtuseAngle(int halfEdge, const HE::HalfEdgeGeom& mesh, double& lengthCB, double& lengthCA,
                       double& lengthDB, double& lengthDA, double& lengthDC, int& vertexD)
{
    bool metZeroLengthFace = false;
    const bool found = MeshAccess::unfoldSupportVertex(halfEdge, mesh, lengthCB, lengthCA, lengthDB, lengthDA,
                                                       lengthDC, vertexD, &metZeroLengthFace);
    if (metZeroLengthFace)
        qDebug("During unfolding found a triangle with zero edge length!");
    return found;
}

bool MeshAccess::unfoldSupportVertex(int halfEdge, const HE::HalfEdgeGeom& mesh, double& lengthCB,
                                     double& lengthCA, double& lengthDB, double& lengthDA, double& lengthDC,
                                     int& vertexD, bool* metZeroLengthFace)
{
    static constexpr int maxUnfoldedFaces = 10;
    const Corner corner(mesh, halfEdge);
    const double squaredCB = squaredLengthBetween(mesh, corner.c, corner.b);
    const double squaredCA = squaredLengthBetween(mesh, corner.c, corner.a);
    const double squaredAB = squaredLengthBetween(mesh, corner.a, corner.b);
    lengthCB = std::sqrt(squaredCB);
    lengthCA = std::sqrt(squaredCA);

    // The laid-out points B, A, C (index 0, 1, 2) keep their places; the crossed edge runs from e0
    // to e1, and each step adds one vertex V on the far side of its line.
    enum { B = 0, A = 1, C = 2 };
    int crossed = edge(mesh, edge(mesh, halfEdge).next).next;
    double squaredEdge = squaredAB;
    double fromE0[3] = {0.0, squaredAB, squaredCB};
    double fromE1[3] = {squaredAB, 0.0, squaredCA};

    // The steps are written for triangles; a polygon with more corners ends the search.
    if (!isTriangle(mesh, halfEdge))
        return false;
    for (int step = 0; step < maxUnfoldedFaces; ++step) {
        double cosine[3], sine[3];
        for (int x = 0; x < 3; ++x) {
            cosine[x] = (x == A && fromE1[x] == 0.0)
                            ? 0.0
                            : (fromE1[x] + squaredEdge - fromE0[x]) / (2.0 * std::sqrt(squaredEdge * fromE1[x]));
            sine[x] = std::sqrt(1.0 - cosine[x] * cosine[x]);
        }
        const int across = edge(mesh, crossed).opposite;
        if (across < 0)
            return false;
        const int face = edge(mesh, across).face;
        if (face < 0)
            return false;
        if (faceHasZeroLengthEdge(mesh, face)) {
            *metZeroLengthFace = true;
            return false;
        }
        if (!isTriangle(mesh, across))
            return false;
        const int e0 = originOf(mesh, crossed);
        const int e1 = endOf(mesh, crossed);
        const int v = endOf(mesh, edge(mesh, across).next);
        const double squaredVE0 = squaredLengthBetween(mesh, v, e0);
        const double squaredVE1 = squaredLengthBetween(mesh, v, e1);
        const double cosineV =
            (squaredEdge + squaredVE1 - squaredVE0) / (2.0 * std::sqrt(squaredVE1 * squaredEdge));
        const double sineV = std::sqrt(1.0 - cosineV * cosineV);
        double fromV[3];
        for (int x = 0; x < 3; ++x)
            fromV[x] = squaredVE1 + fromE1[x]
                       - 2.0 * std::sqrt(squaredVE1 * fromE1[x]) * (cosine[x] * cosineV - sine[x] * sineV);

        if (fromV[B] > squaredCB + fromV[C]) {
            // The angle BCV is obtuse: go on across the edge from e0 to V.
            crossed = edge(mesh, across).next;
            squaredEdge = squaredVE0;
            std::copy(fromV, fromV + 3, fromE1);
        } else if (fromV[A] > squaredCA + fromV[C]) {
            // The angle ACV is obtuse: go on across the edge from V to e1.
            crossed = edge(mesh, edge(mesh, across).next).next;
            squaredEdge = squaredVE1;
            std::copy(fromV, fromV + 3, fromE0);
        } else {
            lengthDB = std::sqrt(fromV[B]);
            lengthDA = std::sqrt(fromV[A]);
            lengthDC = std::sqrt(fromV[C]);
            vertexD = v;
            return true;
        }
    }
    return false;
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
