// Fast marching over the vertices of a half-edge mesh. The band picks the smallest tentative
// distance, the earliest inserted vertex on ties; it is kept as a binary heap keyed by (distance,
// insertion number), which makes exactly that choice without scanning the band.
#include "spatial/FastMarching.h"

#include <QDebug>

#include <algorithm>
#include <cmath>
#include <vector>

namespace FastMarching {

namespace {

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

// Lengths are taken in single precision, as the positions are stored, and widened afterwards.
double lengthBetween(const HE::HalfEdgeGeom& mesh, int from, int to)
{
    return double((mesh.vertices.at(to) - mesh.vertices.at(from)).length());
}

double squaredLengthBetween(const HE::HalfEdgeGeom& mesh, int from, int to)
{
    return double((mesh.vertices.at(to) - mesh.vertices.at(from)).lengthSquared());
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

bool isTriangle(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    const int second = edge(mesh, halfEdge).next;
    if (second < 0)
        return false;
    const int third = edge(mesh, second).next;
    return third >= 0 && edge(mesh, third).next == halfEdge;
}

// The smaller of current and candidate; current stays on ties and when candidate is not a number.
double smallerOf(double current, double candidate)
{
    return candidate < current ? candidate : current;
}

// The narrow band: vertices waiting for acceptance. The march appends a vertex only when it is not
// waiting already, except while seeding, where a neighbour listed twice is appended twice. The
// heap holds (distance, insertion number) keys; a key is stale once its entry left the band or its
// vertex's distance changed, and stale keys are dropped when they surface. A distance that is not a
// number has no place in that order, so the band then falls back to the plain insertion-ordered
// list with its linear scan for the rest of the march.
class NarrowBand {
public:
    explicit NarrowBand(int nVertices) : entryCount_(size_t(nVertices), 0), latestEntry_(size_t(nVertices), -1) {}

    bool isEmpty() const { return liveEntries_ == 0; }
    bool contains(int vertex) const { return entryCount_[size_t(vertex)] > 0; }

    void append(int vertex, const QVector<double>& distance)
    {
        const int sequence = int(entryVertex_.size());
        if (entryCount_[size_t(vertex)] > 0)
            hasRepeatedEntries_ = true;
        entryVertex_.push_back(vertex);
        entryLive_.push_back(1);
        ++entryCount_[size_t(vertex)];
        latestEntry_[size_t(vertex)] = sequence;
        ++liveEntries_;
        if (linear_) {
            list_.append(vertex);
            return;
        }
        const double value = distance.at(vertex);
        if (std::isnan(value)) {
            switchToList();
            return;
        }
        push(Key{value, sequence, vertex});
    }

    // The vertex is waiting and its distance has just changed.
    void distanceChanged(int vertex, const QVector<double>& distance)
    {
        if (linear_)
            return;
        const double value = distance.at(vertex);
        if (std::isnan(value)) {
            switchToList();
            return;
        }
        push(Key{value, latestEntry_[size_t(vertex)], vertex});
        if (hasRepeatedEntries_ && entryCount_[size_t(vertex)] > 1)
            for (size_t sequence = 0; sequence < entryVertex_.size(); ++sequence)
                if (entryLive_[sequence] && entryVertex_[sequence] == vertex
                    && int(sequence) != latestEntry_[size_t(vertex)])
                    push(Key{value, int(sequence), vertex});
    }

    int takeMinimum(const QVector<double>& distance)
    {
        if (linear_) {
            const int vertex = list_.takeAt(findNarrowBandMinimum(list_, distance));
            --entryCount_[size_t(vertex)];
            --liveEntries_;
            return vertex;
        }
        while (!heap_.empty()) {
            std::pop_heap(heap_.begin(), heap_.end(), later);
            const Key key = heap_.back();
            heap_.pop_back();
            if (!entryLive_[size_t(key.sequence)] || key.distance != distance.at(key.vertex))
                continue;
            entryLive_[size_t(key.sequence)] = 0;
            --entryCount_[size_t(key.vertex)];
            --liveEntries_;
            return key.vertex;
        }
        return -1;  // not reached: every waiting entry has a current key
    }

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

    void switchToList()
    {
        linear_ = true;
        for (size_t sequence = 0; sequence < entryVertex_.size(); ++sequence)
            if (entryLive_[sequence])
                list_.append(entryVertex_[sequence]);
        heap_.clear();
    }

    std::vector<Key> heap_;
    std::vector<int> entryVertex_;  // by insertion number
    std::vector<char> entryLive_;   // by insertion number
    std::vector<int> entryCount_;   // live entries per vertex
    std::vector<int> latestEntry_;  // per vertex, its latest insertion number
    int liveEntries_ = 0;
    bool hasRepeatedEntries_ = false;
    bool linear_ = false;
    QList<int> list_;
};

// State of one march: distances, alive flags and the band, seeded from the source's neighbours.
class March {
public:
    March(int source, const HE::HalfEdgeGeom& mesh)
        : mesh_(mesh),
          distance_(mesh.vertexHalfEdges.size(), unreachedDistance),
          alive_(mesh.vertexHalfEdges.size(), false),
          band_(mesh.vertexHalfEdges.size())
    {
        distance_[source] = 0.0;
        alive_[source] = true;
        for (HE::VertexNeighboursIterator it(mesh, source); !it.atEnd(); it.advance()) {
            const int neighbour = it.vertex();
            distance_[neighbour] = lengthBetween(mesh, source, neighbour);
            if (band_.contains(neighbour))
                band_.distanceChanged(neighbour, distance_);
            band_.append(neighbour, distance_);
        }
    }

    bool hasWaiting() const { return !band_.isEmpty(); }

    // Takes the waiting vertex of smallest distance and makes it alive.
    int acceptNext()
    {
        const int vertex = band_.takeMinimum(distance_);
        alive_[vertex] = true;
        return vertex;
    }

    void updateNeighbours(int vertex)
    {
        for (HE::VertexNeighboursIterator it(mesh_, vertex); !it.atEnd(); it.advance()) {
            const int neighbour = it.vertex();
            if (alive_.at(neighbour))
                continue;
            const double previous = distance_.at(neighbour);
            const double updated = updateVertexDistFromAliveVertices(neighbour, alive_, distance_, mesh_);
            distance_[neighbour] = updated;
            if (!band_.contains(neighbour))
                band_.append(neighbour, distance_);
            else if (!(updated == previous))
                band_.distanceChanged(neighbour, distance_);
        }
    }

    double distance(int vertex) const { return distance_.at(vertex); }
    QVector<double> takeDistances() { return std::move(distance_); }

private:
    const HE::HalfEdgeGeom& mesh_;
    QVector<double> distance_;
    QVector<bool> alive_;
    NarrowBand band_;
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
    return march.takeDistances();
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
    double result = distance.at(vertex);
    const int outgoing = mesh.vertexHalfEdges.at(vertex);
    if (outgoing < 0)
        return result;
    const int firstIncoming = edge(mesh, outgoing).opposite;
    if (firstIncoming < 0)
        return result;
    for (HE::HalfEdgeWalk walk(mesh.halfEdges, firstIncoming, HE::HalfEdgeWalk::IncomingWalk); !walk.atEnd();
         walk.advance()) {
        const int incoming = walk.current();
        const int face = edge(mesh, incoming).face;
        if (face < 0)
            continue;
        if (mesh.faceHasZeroLengthEdges(face)) {
            qDebug("Face has zero length edges!");
            continue;
        }
        const double candidate = mesh.isAngleAtHalfEdgeEndAcute(incoming)
                                     ? updateVertexFromNonObtuseAngle(incoming, alive, distance, mesh)
                                     : updateVertexFromObtuseAngle(incoming, alive, distance, mesh);
        result = smallerOf(result, candidate);
    }
    return result;
}

double updateVertexFromNonObtuseAngle(int halfEdge, const QVector<bool>& alive, const QVector<double>& distance,
                                      const HE::HalfEdgeGeom& mesh)
{
    const Corner corner(mesh, halfEdge);
    const double dC = distance.at(corner.c);
    const bool aliveA = alive.at(corner.a);
    const bool aliveB = alive.at(corner.b);
    if (!aliveA && !aliveB)
        return dC;
    if (!aliveA) {
        const double viaB = distance.at(corner.b) + lengthBetween(mesh, corner.c, corner.b);
        return viaB > dC ? dC : viaB;
    }
    if (!aliveB) {
        const double viaA = distance.at(corner.a) + lengthBetween(mesh, corner.c, corner.a);
        return viaA > dC ? dC : viaA;
    }
    const double dA = distance.at(corner.a);
    const double dB = distance.at(corner.b);
    const double lengthCA = lengthBetween(mesh, corner.c, corner.a);
    const double lengthCB = lengthBetween(mesh, corner.c, corner.b);
    const double squaredAB = squaredLengthBetween(mesh, corner.a, corner.b);
    if (dA > dB)
        return updateFromTriangle(lengthCA, lengthCB, squaredAB, dB, dA, dC);
    return updateFromTriangle(lengthCB, lengthCA, squaredAB, dA, dB, dC);
}

double updateVertexFromObtuseAngle(int halfEdge, const QVector<bool>& /*alive*/, const QVector<double>& distance,
                                   const HE::HalfEdgeGeom& mesh)
{
    const Corner corner(mesh, halfEdge);
    const double dA = distance.at(corner.a);
    const double dB = distance.at(corner.b);
    const double dC = distance.at(corner.c);
    double lengthCB = 0.0, lengthCA = 0.0, lengthDB = 0.0, lengthDA = 0.0, lengthDC = 0.0;
    int vertexD = -1;
    if (!unfoldObtuseAngle(halfEdge, mesh, lengthCB, lengthCA, lengthDB, lengthDA, lengthDC, vertexD)) {
        const double viaA = dA + lengthCA;
        const double viaB = dB + lengthCB;
        const double viaEdge = viaA > viaB ? viaB : viaA;
        return viaEdge > dC ? dC : viaEdge;
    }
    // Two updates through D, B's triangle first; on equal distances D counts as the smaller.
    const double dD = distance.at(vertexD);
    const double throughB = dD > dB ? updateFromTriangle(lengthDC, lengthCB, lengthDB * lengthDB, dB, dD, dC)
                                    : updateFromTriangle(lengthCB, lengthDC, lengthDB * lengthDB, dD, dB, dC);
    return dD > dA ? updateFromTriangle(lengthDC, lengthCA, lengthDA * lengthDA, dA, dD, throughB)
                   : updateFromTriangle(lengthCA, lengthDC, lengthDA * lengthDA, dD, dA, throughB);
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
        if (mesh.faceHasZeroLengthEdges(face)) {
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
    int best = 0;
    for (int i = 1; i < band.size(); ++i)
        if (distance.at(band.at(i)) < distance.at(band.at(best)))
            best = i;
    return best;
}

double angleBetweenVectors(const QVector3D& a, const QVector3D& b)
{
    const float dot = QVector3D::dotProduct(a, b);
    const float lengthA = a.length();
    const float lengthB = b.length();
    return std::acos(double(dot) / (double(lengthB) * double(lengthA)));
}

}  // namespace FastMarching
