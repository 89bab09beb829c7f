// Fast marching over the vertices of a half-edge mesh.
//
// Speed without changing a result:
// - The band picks the smallest tentative distance, the earliest inserted vertex on ties; it is a
//   binary heap keyed by (distance, insertion number), which makes exactly that choice without
//   scanning the band.
// - The per-vertex state lives in pages that are set up when first written, so a query that stops
//   early costs what it visits rather than the size of the mesh.
// - Rotations around a vertex that close within a few steps are followed directly; longer or broken
//   ones go through HE::HalfEdgeWalk, which bounds them.
#include "spatial/FastMarching.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace FastMarching {

namespace {

// --- mesh access ---

const HE::HalfEdge& edge(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    return mesh.halfEdges.at(halfEdge);
}

int endOf(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    return edge(mesh, halfEdge).vertex;
}

int originOf(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    return endOf(mesh, edge(mesh, halfEdge).opposite);
}

// The arithmetic of QVector3D::lengthSquared and QVector3D::length (single precision, the length
// summed in double first), inline.
float squaredLength(const QVector3D& v)
{
    return v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
}

float length(const QVector3D& v)
{
    const double sum = double(v.x()) * double(v.x()) + double(v.y()) * double(v.y()) + double(v.z()) * double(v.z());
    return float(std::sqrt(sum));
}

// Lengths are taken in single precision, as the positions are stored, and widened afterwards.
double lengthBetween(const HE::HalfEdgeGeom& mesh, int from, int to)
{
    return double(length(mesh.vertices.at(to) - mesh.vertices.at(from)));
}

double squaredLengthBetween(const HE::HalfEdgeGeom& mesh, int from, int to)
{
    return double(squaredLength(mesh.vertices.at(to) - mesh.vertices.at(from)));
}

bool isTriangle(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    const int second = edge(mesh, halfEdge).next;
    if (second < 0)
        return false;
    const int third = edge(mesh, second).next;
    return third >= 0 && edge(mesh, third).next == halfEdge;
}

// HE::HalfEdgeGeom::faceHasZeroLengthEdges, inline for triangles.
bool faceHasZeroLengthEdge(const HE::HalfEdgeGeom& mesh, int face)
{
    const int first = mesh.faces.at(face);
    if (first < 0 || !isTriangle(mesh, first))
        return mesh.faceHasZeroLengthEdges(face);
    int halfEdge = first;
    for (int i = 0; i < 3; ++i, halfEdge = edge(mesh, halfEdge).next)
        if (squaredLength(mesh.vertices.at(endOf(mesh, halfEdge)) - mesh.vertices.at(originOf(mesh, halfEdge))) == 0.0f)
            return true;
    return false;
}

// HE::HalfEdgeGeom::isAngleAtHalfEdgeEndAcute, inline.
bool isAngleAtEndAcute(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    const QVector3D o = mesh.vertices.at(originOf(mesh, halfEdge));
    const QVector3D e = mesh.vertices.at(endOf(mesh, halfEdge));
    const QVector3D t = mesh.vertices.at(endOf(mesh, edge(mesh, halfEdge).next));
    return squaredLength(e - o) + squaredLength(e - t) > squaredLength(t - o);
}

// One step of a walk as HE::HalfEdgeWalk takes it; -1 at a broken link.
int walkStep(const HE::HalfEdgeGeom& mesh, int halfEdge, HE::HalfEdgeWalk::Kind kind)
{
    const int size = mesh.halfEdges.size();
    const HE::HalfEdge& current = edge(mesh, halfEdge);
    const int link = kind == HE::HalfEdgeWalk::OutgoingWalk ? current.opposite : current.next;
    if (link < 0 || link >= size)
        return -1;
    const int next = kind == HE::HalfEdgeWalk::OutgoingWalk ? edge(mesh, link).next : edge(mesh, link).opposite;
    return next < 0 || next >= size ? -1 : next;
}

// Visits the half-edges of a walk around a vertex in the order of HE::HalfEdgeWalk. A walk that
// returns to its start within a few distinct steps is exactly what HalfEdgeWalk yields; any other
// goes through HalfEdgeWalk itself.
template <typename Visit>
void forEachInWalk(const HE::HalfEdgeGeom& mesh, int start, HE::HalfEdgeWalk::Kind kind, Visit&& visit)
{
    if (start < 0 || start >= mesh.halfEdges.size())
        return;
    constexpr int shortWalk = 32;
    int visited[shortWalk];
    int count = 0;
    for (int current = start; count < shortWalk;) {
        visited[count++] = current;
        current = walkStep(mesh, current, kind);
        if (current == start) {
            for (int i = 0; i < count; ++i)
                visit(visited[i]);
            return;
        }
        if (current < 0)
            break;
    }
    for (HE::HalfEdgeWalk walk(mesh.halfEdges, start, kind); !walk.atEnd(); walk.advance())
        visit(walk.current());
}

// Corner triangle of a half-edge: A its origin, C its end, B the end of its successor.
struct Corner {
    Corner(const HE::HalfEdgeGeom& mesh, int halfEdge)
        : a(originOf(mesh, halfEdge)), b(endOf(mesh, edge(mesh, halfEdge).next)), c(endOf(mesh, halfEdge))
    {
    }
    int a;
    int b;
    int c;
};

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

// --- the march ---

struct VertexRecord {
    double distance;
    int bandEntries;   // how often the vertex waits in the band
    int latestEntry;   // its latest insertion number
    bool alive;
};

// Per-vertex records in pages of 64 vertices, set up when first written; unwritten vertices read
// as unreached, not alive and not waiting.
class VertexTable {
public:
    explicit VertexTable(int nVertices) : pageOffsets_(size_t(nVertices + pageSize - 1) / pageSize, -1) {}

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
    static constexpr VertexRecord blank = {unreachedDistance, 0, -1, false};

    std::vector<int> pageOffsets_;
    std::vector<VertexRecord> records_;
};

struct TableState {
    const VertexTable& table;
    bool isAlive(int vertex) const { return table.at(vertex).alive; }
    double distanceOf(int vertex) const { return table.at(vertex).distance; }
};

// One march: the vertex records and the narrow band, seeded from the source's neighbours.
//
// The band: the march appends a vertex only when it is not waiting already, except while seeding,
// where a neighbour listed twice is appended twice. The heap holds (distance, insertion number)
// keys; a key is stale once its entry left the band or its vertex's distance changed, and stale
// keys are dropped when they surface. A distance that is not a number has no place in that order,
// so the band then turns into the plain insertion-ordered list with its linear scan for the rest
// of the march.
class March {
public:
    March(int source, const HE::HalfEdgeGeom& mesh) : mesh_(mesh), table_(mesh.vertexHalfEdges.size())
    {
        VertexRecord& start = table_.edit(source);
        start.distance = 0.0;
        start.alive = true;
        forEachInWalk(mesh, mesh.vertexHalfEdges.at(source), HE::HalfEdgeWalk::OutgoingWalk, [&](int halfEdge) {
            const int neighbour = endOf(mesh, halfEdge);
            table_.edit(neighbour).distance = lengthBetween(mesh, source, neighbour);
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
        forEachInWalk(mesh_, mesh_.vertexHalfEdges.at(vertex), HE::HalfEdgeWalk::OutgoingWalk, [&](int halfEdge) {
            const int neighbour = endOf(mesh_, halfEdge);
            const VertexRecord& before = table_.at(neighbour);
            if (before.alive)
                return;
            const double previous = before.distance;
            const double updated = vertexUpdate(neighbour, TableState{table_}, mesh_);
            VertexRecord& record = table_.edit(neighbour);
            record.distance = updated;
            if (record.bandEntries == 0)
                append(neighbour);
            else if (!(updated == previous))
                distanceChanged(neighbour);
        });
    }

    double distance(int vertex) const { return table_.at(vertex).distance; }
    QVector<double> distances() const { return table_.distances(mesh_.vertexHalfEdges.size()); }

private:
    struct Key {
        double distance;
        int sequence;
        int vertex;
    };

    static bool later(const Key& x, const Key& y)
    {
        return x.distance > y.distance || (x.distance == y.distance && x.sequence > y.sequence);
    }

    void push(const Key& key)
    {
        heap_.push_back(key);
        std::push_heap(heap_.begin(), heap_.end(), later);
    }

    void append(int vertex)
    {
        const int sequence = int(entryVertex_.size());
        VertexRecord& record = table_.edit(vertex);
        if (record.bandEntries > 0)
            hasRepeatedEntries_ = true;
        ++record.bandEntries;
        record.latestEntry = sequence;
        entryVertex_.push_back(vertex);
        entryLive_.push_back(1);
        ++liveEntries_;
        if (linear_) {
            list_.append(vertex);
            return;
        }
        if (std::isnan(record.distance)) {
            switchToList();
            return;
        }
        push(Key{record.distance, sequence, vertex});
    }

    // The vertex is waiting and its distance has just changed: every entry of it gets a current key.
    void distanceChanged(int vertex)
    {
        if (linear_)
            return;
        const VertexRecord record = table_.at(vertex);
        if (std::isnan(record.distance)) {
            switchToList();
            return;
        }
        push(Key{record.distance, record.latestEntry, vertex});
        if (hasRepeatedEntries_ && record.bandEntries > 1)
            for (size_t sequence = 0; sequence < entryVertex_.size(); ++sequence)
                if (entryLive_[sequence] && entryVertex_[sequence] == vertex && int(sequence) != record.latestEntry)
                    push(Key{record.distance, int(sequence), vertex});
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
        for (;;) {
            std::pop_heap(heap_.begin(), heap_.end(), later);
            const Key key = heap_.back();
            heap_.pop_back();
            if (!entryLive_[size_t(key.sequence)] || key.distance != table_.at(key.vertex).distance)
                continue;
            entryLive_[size_t(key.sequence)] = 0;
            --table_.edit(key.vertex).bandEntries;
            --liveEntries_;
            return key.vertex;
        }
    }

    void switchToList()
    {
        linear_ = true;
        for (size_t sequence = 0; sequence < entryVertex_.size(); ++sequence)
            if (entryLive_[sequence])
                list_.append(entryVertex_[sequence]);
        heap_.clear();
    }

    const HE::HalfEdgeGeom& mesh_;
    VertexTable table_;
    std::vector<Key> heap_;
    std::vector<int> entryVertex_;  // by insertion number
    std::vector<char> entryLive_;   // by insertion number
    int liveEntries_ = 0;
    bool hasRepeatedEntries_ = false;
    bool linear_ = false;
    QList<int> list_;
};

bool isVertex(int vertex, const HE::HalfEdgeGeom& mesh)
{
    return vertex >= 0 && vertex < mesh.vertexHalfEdges.size();
}

}  // namespace

QVector<double> computeDistancesFromVertex(int sourceVertex, const HE::HalfEdgeGeom& mesh)
{
    if (!isVertex(sourceVertex, mesh))
        return QVector<double>(mesh.vertexHalfEdges.size(), unreachedDistance);
    March march(sourceVertex, mesh);
    while (march.hasWaiting())
        march.updateNeighbours(march.acceptNext());
    return march.distances();
}

QList<int> findVerticesInRadius(int sourceVertex, const HE::HalfEdgeGeom& mesh, double radius)
{
    QList<int> result;
    if (!isVertex(sourceVertex, mesh))
        return result;
    March march(sourceVertex, mesh);
    while (march.hasWaiting()) {
        const int vertex = march.acceptNext();
        if (march.distance(vertex) > radius)
            break;
        result.append(vertex);
        march.updateNeighbours(vertex);
    }
    return result;
}

QList<int> findKNearestEnabledVertices(int sourceVertex, const HE::HalfEdgeGeom& mesh, int k,
                                       const QVector<bool>& enabled, QList<double>* distances)
{
    QList<int> result;
    QList<double> found;
    if (isVertex(sourceVertex, mesh)) {
        if (enabled.value(sourceVertex, false)) {
            result.append(sourceVertex);
            found.append(0.0);
        }
        March march(sourceVertex, mesh);
        while (march.hasWaiting() && result.size() < k) {
            const int vertex = march.acceptNext();
            if (enabled.value(vertex, false)) {
                result.append(vertex);
                found.append(march.distance(vertex));
            }
            march.updateNeighbours(vertex);
        }
    }
    if (distances)
        *distances = found;
    return result;
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
            qDebug("During unfolding found a triangle with zero edge length!");
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
    const double cosine = (a * a + b * b - c2) / (2.0 * std::sqrt(a * a * b * b));
    const double sine = std::sqrt(1.0 - cosine * cosine);
    const double u = dLarge - dSmall;
    const double qa = (a * a + b * b) - 2.0 * a * b * cosine;
    const double qb = 2.0 * b * u * (a * cosine - b);
    const double qc = b * b * (u * u - a * a * sine * sine);
    double root1 = 0.0, root2 = 0.0;
    if (solveQuadraticEquation(qa, qb, qc, root1, root2)) {
        const double t = root2 > root1 ? root2 : root1;
        const double reach = b * (t - u) / t;
        // Causality: the wave must arrive from inside the triangle.
        if (u < t && a * cosine < reach && reach < a / cosine) {
            const double throughFace = dSmall + t;
            return throughFace > dC ? dC : throughFace;
        }
    }
    const double viaLarge = a + dLarge;
    const double viaSmall = b + dSmall;
    const double viaEdge = viaLarge > viaSmall ? viaSmall : viaLarge;
    return viaEdge > dC ? dC : viaEdge;
}

bool solveQuadraticEquation(double qa, double qb, double qc, double& root1, double& root2)
{
    if (qa == 0.0)
        return false;
    const double discriminant = qb * qb - qc * (qa * 4.0);
    if (discriminant < 0.0)
        return false;
    root1 = (std::sqrt(discriminant) - qb) / (2.0 * qa);
    root2 = (-qb - std::sqrt(discriminant)) / (2.0 * qa);
    return true;
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
