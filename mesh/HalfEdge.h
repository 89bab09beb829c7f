#pragma once
// Half-edge form of a polygon mesh: twins, boundary loops, manifold checks, neighbourhood
// queries and in-place fan triangulation of its faces.
#include <QList>
#include <QMatrix4x4>
#include <QPair>
#include <QString>
#include <QVector3D>
#include <QVector>

namespace HE {

// One directed edge of a face or of a boundary loop; -1 means "not set".
struct HalfEdge {
    HalfEdge() = default;
    HalfEdge(int next, int prev, int opposite, int vertex, int face)
        : next(next), prev(prev), opposite(opposite), vertex(vertex), face(face)
    {}

    int next = -1;      // following half-edge of the same face or boundary loop
    int prev = -1;      // preceding half-edge of the same face or boundary loop
    int opposite = -1;  // twin running the other way
    int vertex = -1;    // end vertex
    int face = -1;      // owning face; -1 for a boundary half-edge
};

}  // namespace HE

Q_DECLARE_TYPEINFO(HE::HalfEdge, Q_PRIMITIVE_TYPE);

namespace HE {

class HalfEdgeGeom {
public:
    HalfEdgeGeom() = default;
    // Builds the half-edges of the faces (0-based vertex indices each). Logs every repeated
    // directed edge and the non-manifold vertices; *isManifold (when given) tells whether none.
    HalfEdgeGeom(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces, bool* isManifold = nullptr);

    // --- construction helpers and manifold checks ---
    int addHalfEdge(const HalfEdge& halfEdge);
    int addFace(int firstHalfEdge);
    // Faces met by the walk around the vertex (over its incoming half-edges).
    int nIncidentFaces(int vertex) const;
    // Per vertex, the number of face corners that list it.
    static QVector<int> computeNFacesToVertex(int nVertices, const QVector<QList<int>>& faces);
    // Vertices, ascending, whose walk meets another number of faces than counted, or does not close.
    QList<int> nonManifoldVertices(const QVector<int>& nFacesToVertex) const;

    void scale(double factor);
    static QVector<QVector3D> scaledVertices(const QVector<QVector3D>& vertices, double factor);

    // --- queries ---
    int halfEdgeOriginVertex(int halfEdge) const;
    void halfEdgeTriangleVertices(int halfEdge, int* origin, int* end, int* third) const;
    void halfEdgeTriangleVertices(int halfEdge, int& origin, int& end, int& third) const;
    float halfEdgeLengthSquared(int halfEdge) const;
    bool isAngleAtHalfEdgeEndAcute(int halfEdge) const;
    // Angle in radians at the end of the half-edge between it and its successor.
    double halfEdgeNextAngle(int halfEdge) const;
    bool faceHasZeroLengthEdges(int face) const;
    // First half-edge of the face walk ending at the vertex, -1 when none.
    int findHalfEdge(int face, int vertex) const;
    QList<int> getFaceVertexIndices(int face) const;
    QList<QVector3D> faceVertexPositions(int face) const;
    QVector<QList<int>> allFaceVertexIndices() const;
    QList<int> vertexNeighbours(int vertex) const;
    // Neighbours in walk order; an inner vertex's fan repeats its first neighbour at the end.
    QList<int> getVertexFan(int vertex) const;
    QVector<QList<int>> buildVertexNeighboursFan() const;
    QVector<bool> boundaryVerticesMask() const;
    QVector3D computeVertexNormal(int vertex) const;
    QVector<QVector3D> computeVertexNormals() const;
    // One (origin, end) pair per undirected edge, in the direction of its lower-numbered half-edge.
    static QVector<QPair<int, int>> buildEdges(const QList<HalfEdge>& halfEdges);

    static double getTriangleFanInnerEdgeLengthSquared(int origin, const QList<QVector3D>& corners);
    static int findOptimalTriangleFanOrigin(const QList<QVector3D>& corners);
    static QVector<QVector3D> transformedVertices(const QVector<QVector3D>& points, const QMatrix4x4& matrix);
    static QVector<QVector3D> transformedNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix);

    // --- in-place fan triangulation ---
    // Splits the face into a fan of triangles; triangleIndices (when given) receives the face
    // and the new faces. Faces with fewer than three corners are left as they are.
    void triangulateFace(int face, QList<int>* triangleIndices = nullptr);
    // Triangulates every face present at the call; triangleIndToPolygonInd maps each resulting face
    // to the face it came from.
    void triangulateFaces(QVector<int>& triangleIndToPolygonInd);
    // Triangulates every face, including the triangles appended on the way.
    void triangulateFaces();

    QList<HalfEdge> halfEdges;
    QVector<int> vertexHalfEdges;  // one half-edge leaving each vertex, -1 for an unused vertex
    QVector<QVector3D> vertices;
    QVector<int> faces;  // first half-edge of each face, -1 for a face without corners

private:
    QVector3D position(int vertex) const { return vertices.at(vertex); }
    int end(int halfEdge) const { return halfEdges.at(halfEdge).vertex; }
};

// Decimal indices joined by the separator; empty for an empty list.
QString joinIndices(const QList<int>& indices, const QString& separator);

// Walks half-edges from a start by one of three steps until it comes back to the start. The walk
// also ends, counted as not closed, at a missing link, or where it would run around a loop that
// does not pass the start (possible only on non-manifold input), and never takes more steps than
// there are half-edges.
class HalfEdgeWalk {
public:
    enum Kind {
        FaceWalk,      // cur = cur.next
        OutgoingWalk,  // cur = cur.opposite.next: half-edges leaving a vertex
        IncomingWalk   // cur = cur.next.opposite: half-edges ending at a vertex
    };

    HalfEdgeWalk(const QList<HalfEdge>& halfEdges, int start, Kind kind);

    bool atEnd() const { return current_ < 0; }
    int current() const { return current_; }
    void advance();
    // True once the walk has ended by coming back to its start.
    bool closed() const { return closed_; }

private:
    int step(int halfEdge) const;

    const QList<HalfEdge>* halfEdges_;
    Kind kind_;
    int start_;
    int current_;
    int checkpoint_;
    int stepsSinceCheckpoint_ = 0;
    qint64 checkpointSpan_ = 1;
    int steps_ = 0;
    bool closed_ = false;
};

// Yields the neighbours of a vertex in the order of vertexNeighbours without building a list:
//   for (HE::VertexNeighboursIterator it(mesh, v); !it.atEnd(); it.advance()) use(it.vertex());
class VertexNeighboursIterator {
public:
    VertexNeighboursIterator(const HalfEdgeGeom& mesh, int vertex);

    bool atEnd() const { return walk_.atEnd(); }
    int vertex() const { return mesh_->halfEdges.at(walk_.current()).vertex; }
    int halfEdge() const { return walk_.current(); }
    void advance() { walk_.advance(); }

private:
    const HalfEdgeGeom* mesh_;
    HalfEdgeWalk walk_;
};

}  // namespace HE
