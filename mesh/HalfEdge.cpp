#include "mesh/HalfEdge.h"

#include <QDebug>
#include <QHash>
#include <vector>

namespace HE {

namespace {

// Directed edge (origin, end) -> the newest half-edge created for it. Entries are kept per
// origin vertex in one flat array sized by the corners that start at the vertex, so a look-up
// scans the few edges leaving one vertex; a vertex with very many of them uses a hash instead.
class DirectedEdgeMap {
public:
    DirectedEdgeMap(int nVertices, const QVector<QList<int>>& faces) : first_(nVertices + 1, 0), used_(nVertices, 0)
    {
        for (const QList<int>& face : faces)
            for (int corner : face)
                ++first_[corner + 1];
        for (int v = 0; v < nVertices; ++v)
            first_[v + 1] += first_[v];
        ends_.resize(first_[nVertices]);
        halfEdges_.resize(first_[nVertices]);
    }

    int find(int origin, int end) const
    {
        if (usesHash(origin))
            return hash_.value(key(origin, end), 0) - 1;
        const int begin = first_[origin];
        for (int i = begin, stop = begin + used_[origin]; i < stop; ++i)
            if (ends_[i] == end)
                return halfEdges_[i];
        return -1;
    }

    // Maps the edge to the half-edge; returns false when the edge was mapped already.
    bool insert(int origin, int end, int halfEdge)
    {
        if (usesHash(origin)) {
            int& slot = hash_[key(origin, end)];
            const bool fresh = slot == 0;
            slot = halfEdge + 1;  // 0 marks a slot the hash has just created
            return fresh;
        }
        const int begin = first_[origin];
        for (int i = begin, stop = begin + used_[origin]; i < stop; ++i) {
            if (ends_[i] == end) {
                halfEdges_[i] = halfEdge;
                return false;
            }
        }
        const int slot = begin + used_[origin]++;
        ends_[slot] = end;
        halfEdges_[slot] = halfEdge;
        return true;
    }

private:
    static constexpr int scanLimit = 48;

    bool usesHash(int origin) const { return first_[origin + 1] - first_[origin] > scanLimit; }
    static quint64 key(int origin, int end) { return (quint64(quint32(origin)) << 32) | quint32(end); }

    QVector<int> first_;  // start of each vertex's entries; the last entry is the corner count
    QVector<int> used_;
    std::vector<int> ends_;
    std::vector<int> halfEdges_;
    QHash<quint64, int> hash_;  // half-edge + 1, for vertices beyond scanLimit
};

}  // namespace

HalfEdgeGeom::HalfEdgeGeom(const QVector<QVector3D>& vertexPositions, const QVector<QList<int>>& faceCorners,
                           bool* isManifold)
{
    const int nFaces = faceCorners.size();
    faces = QVector<int>(nFaces, -1);
    vertices = vertexPositions;
    vertexHalfEdges = QVector<int>(vertexPositions.size(), -1);
    bool ok = true;

    DirectedEdgeMap edgeMap(vertexPositions.size(), faceCorners);
    std::vector<HalfEdge> edges;
    int nCorners = 0;
    for (const QList<int>& face : faceCorners)
        nCorners += face.size();
    edges.reserve(size_t(nCorners) + size_t(nCorners) / 4);

    for (int f = 0; f < nFaces; ++f) {
        const QList<int>& corners = faceCorners.at(f);
        const int n = corners.size();
        if (n < 1)
            continue;
        const int firstOfFace = int(edges.size());
        for (int j = 0; j < n; ++j) {
            const int a = corners.at(j);
            const int b = corners.at((j + 1) % n);
            const int h = int(edges.size());
            edges.push_back(HalfEdge(-1, -1, -1, b, f));
            vertexHalfEdges[a] = h;
            if (j == 0)
                faces[f] = h;
            if (!edgeMap.insert(a, b, h)) {
                qCritical().noquote() << QString("Edge %1 -> %2 is not manifold!").arg(a).arg(b);
                ok = false;
            }
            const int twin = edgeMap.find(b, a);
            if (twin >= 0) {
                edges[h].opposite = twin;
                edges[twin].opposite = h;
            }
        }
        for (int k = 0; k < n; ++k) {
            edges[firstOfFace + k].next = firstOfFace + (k + 1) % n;
            edges[firstOfFace + k].prev = firstOfFace + (k + n - 1) % n;
        }
    }

    // Every face half-edge without a twin gets a boundary twin running the other way.
    const int nFaceHalfEdges = int(edges.size());
    std::vector<int> boundary;
    for (int i = 0; i < nFaceHalfEdges; ++i) {
        if (edges[i].opposite != -1)
            continue;
        const int origin = edges[edges[i].prev].vertex;
        const int b = int(edges.size());
        edges.push_back(HalfEdge(-1, -1, i, origin, -1));
        boundary.push_back(b);
        vertexHalfEdges[edges[i].vertex] = b;
        edges[i].opposite = b;
    }
    for (int b : boundary) {
        const int m = vertexHalfEdges[edges[b].vertex];
        edges[b].next = m;
        edges[m].prev = b;
    }

    halfEdges.reserve(int(edges.size()));
    for (const HalfEdge& edge : edges)
        halfEdges.append(edge);

    const QList<int> nonManifold = nonManifoldVertices(computeNFacesToVertex(vertices.size(), faceCorners));
    if (!nonManifold.isEmpty()) {
        qCritical().noquote() << QString("Following vertices are non-manifold: %1").arg(joinIndices(nonManifold, ","));
        ok = false;
    }
    if (isManifold)
        *isManifold = ok;
}

int HalfEdgeGeom::addHalfEdge(const HalfEdge& halfEdge)
{
    halfEdges.append(halfEdge);
    return halfEdges.size() - 1;
}

int HalfEdgeGeom::addFace(int firstHalfEdge)
{
    faces.append(firstHalfEdge);
    return faces.size() - 1;
}

namespace {

// Faces around the vertex by the walk over its incoming half-edges; *closed tells whether the
// walk came back to its start (an empty walk counts as closed).
int countIncidentFaces(const HalfEdgeGeom& mesh, int vertex, bool* closed)
{
    *closed = true;
    const int outgoing = mesh.vertexHalfEdges.at(vertex);
    if (outgoing < 0)
        return 0;
    const int start = mesh.halfEdges.at(outgoing).opposite;
    if (start < 0)
        return 0;
    int count = 0;
    HalfEdgeWalk walk(mesh.halfEdges, start, HalfEdgeWalk::IncomingWalk);
    for (; !walk.atEnd(); walk.advance())
        if (mesh.halfEdges.at(walk.current()).face != -1)
            ++count;
    *closed = walk.closed();
    return count;
}

}  // namespace

int HalfEdgeGeom::nIncidentFaces(int vertex) const
{
    bool closed = true;
    return countIncidentFaces(*this, vertex, &closed);
}

QVector<int> HalfEdgeGeom::computeNFacesToVertex(int nVertices, const QVector<QList<int>>& faceCorners)
{
    if (nVertices <= 0)
        return QVector<int>();
    QVector<int> counts(nVertices, 0);
    for (const QList<int>& face : faceCorners)
        for (int corner : face)
            ++counts[corner];
    return counts;
}

QList<int> HalfEdgeGeom::nonManifoldVertices(const QVector<int>& nFacesToVertex) const
{
    QList<int> result;
    for (int v = 0; v < vertexHalfEdges.size(); ++v) {
        bool closed = true;
        const int count = countIncidentFaces(*this, v, &closed);
        // A walk that cannot come back to its start marks the vertex as well.
        if (!closed || count != nFacesToVertex.value(v, 0))
            result.append(v);
    }
    return result;
}

void HalfEdgeGeom::scale(double factor)
{
    vertices = scaledVertices(vertices, factor);
}

QVector<QVector3D> HalfEdgeGeom::scaledVertices(const QVector<QVector3D>& points, double factor)
{
    if (factor == 1.0)
        return points;
    const float f = float(factor);
    QVector<QVector3D> result(points.size());
    for (int i = 0; i < points.size(); ++i)
        result[i] = points.at(i) * f;
    return result;
}

QString joinIndices(const QList<int>& indices, const QString& separator)
{
    QString result;
    for (int index : indices) {
        if (!result.isEmpty())
            result += separator;
        result += QString("%1").arg(index);
    }
    return result;
}

HalfEdgeWalk::HalfEdgeWalk(const QList<HalfEdge>& halfEdges, int start, Kind kind)
    : halfEdges_(&halfEdges), kind_(kind), start_(start), current_(start), checkpoint_(start)
{
    if (start < 0 || start >= halfEdges.size())
        current_ = -1;
}

int HalfEdgeWalk::step(int halfEdge) const
{
    const QList<HalfEdge>& list = *halfEdges_;
    switch (kind_) {
        case FaceWalk:
            return list.at(halfEdge).next;
        case OutgoingWalk: {
            const int opposite = list.at(halfEdge).opposite;
            return opposite < 0 || opposite >= list.size() ? -1 : list.at(opposite).next;
        }
        case IncomingWalk: {
            const int next = list.at(halfEdge).next;
            return next < 0 || next >= list.size() ? -1 : list.at(next).opposite;
        }
    }
    return -1;
}

void HalfEdgeWalk::advance()
{
    if (current_ < 0)
        return;
    const int next = step(current_);
    ++steps_;
    if (next == start_) {
        closed_ = true;
        current_ = -1;
        return;
    }
    // Meeting the checkpoint again means a loop that misses the start (Brent's cycle check: the
    // checkpoint moves to the current half-edge after 1, 2, 4, ... steps).
    if (next < 0 || next >= halfEdges_->size() || next == checkpoint_ || steps_ >= halfEdges_->size()) {
        current_ = -1;
        return;
    }
    current_ = next;
    if (++stepsSinceCheckpoint_ == checkpointSpan_) {
        checkpoint_ = next;
        checkpointSpan_ *= 2;
        stepsSinceCheckpoint_ = 0;
    }
}

VertexNeighboursIterator::VertexNeighboursIterator(const HalfEdgeGeom& mesh, int vertex)
    : mesh_(&mesh), walk_(mesh.halfEdges, mesh.vertexHalfEdges.at(vertex), HalfEdgeWalk::OutgoingWalk)
{}

}  // namespace HE
