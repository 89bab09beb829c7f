// Read-only queries of the half-edge mesh: triangles, lengths and angles, faces, vertex
// neighbourhoods and fans, boundary mask, normals and edges.
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "mesh/MeshSelections.h"

#include <QVector4D>
#include <cmath>

namespace HE {

int HalfEdgeGeom::halfEdgeOriginVertex(int halfEdge) const
{
    const int opposite = halfEdges.at(halfEdge).opposite;
    return opposite < 0 ? -1 : end(opposite);
}

void HalfEdgeGeom::halfEdgeTriangleVertices(int halfEdge, int* origin, int* endVertex, int* third) const
{
    *origin = halfEdgeOriginVertex(halfEdge);
    *endVertex = end(halfEdge);
    *third = end(halfEdges.at(halfEdge).next);
}

void HalfEdgeGeom::halfEdgeTriangleVertices(int halfEdge, int& origin, int& endVertex, int& third) const
{
    halfEdgeTriangleVertices(halfEdge, &origin, &endVertex, &third);
}

float HalfEdgeGeom::halfEdgeLengthSquared(int halfEdge) const
{
    return (position(end(halfEdge)) - position(halfEdgeOriginVertex(halfEdge))).lengthSquared();
}

bool HalfEdgeGeom::isAngleAtHalfEdgeEndAcute(int halfEdge) const
{
    const QVector3D o = position(halfEdgeOriginVertex(halfEdge));
    const QVector3D e = position(end(halfEdge));
    const QVector3D t = position(end(halfEdges.at(halfEdge).next));
    return (e - o).lengthSquared() + (e - t).lengthSquared() > (t - o).lengthSquared();
}

double HalfEdgeGeom::halfEdgeNextAngle(int halfEdge) const
{
    const QVector3D e = position(end(halfEdge));
    const QVector3D a = position(halfEdgeOriginVertex(halfEdge)) - e;
    const QVector3D b = position(end(halfEdges.at(halfEdge).next)) - e;
    float cosine = QVector3D::dotProduct(a, b) / (a.length() * b.length());
    // Rounding may push the quotient just past 1 for nearly straight or folded corners; a
    // zero-length edge still gives NaN.
    if (cosine > 1.0f)
        cosine = 1.0f;
    else if (cosine < -1.0f)
        cosine = -1.0f;
    return std::acos(double(cosine));
}

bool HalfEdgeGeom::faceHasZeroLengthEdges(int face) const
{
    for (HalfEdgeWalk walk(halfEdges, faces.at(face), HalfEdgeWalk::FaceWalk); !walk.atEnd(); walk.advance())
        if (halfEdgeLengthSquared(walk.current()) == 0.0f)
            return true;
    return false;
}

int HalfEdgeGeom::findHalfEdge(int face, int vertex) const
{
    for (HalfEdgeWalk walk(halfEdges, faces.at(face), HalfEdgeWalk::FaceWalk); !walk.atEnd(); walk.advance())
        if (end(walk.current()) == vertex)
            return walk.current();
    return -1;
}

QList<int> HalfEdgeGeom::getFaceVertexIndices(int face) const
{
    QList<int> result;
    for (HalfEdgeWalk walk(halfEdges, faces.at(face), HalfEdgeWalk::FaceWalk); !walk.atEnd(); walk.advance())
        result.append(end(walk.current()));
    return result;
}

QList<QVector3D> HalfEdgeGeom::faceVertexPositions(int face) const
{
    QList<QVector3D> result;
    for (HalfEdgeWalk walk(halfEdges, faces.at(face), HalfEdgeWalk::FaceWalk); !walk.atEnd(); walk.advance())
        result.append(position(end(walk.current())));
    return result;
}

QVector<QList<int>> HalfEdgeGeom::allFaceVertexIndices() const
{
    QVector<QList<int>> result(faces.size());
    for (int f = 0; f < faces.size(); ++f)
        result[f] = getFaceVertexIndices(f);
    return result;
}

QList<int> HalfEdgeGeom::vertexNeighbours(int vertex) const
{
    QList<int> result;
    for (VertexNeighboursIterator it(*this, vertex); !it.atEnd(); it.advance())
        result.append(it.vertex());
    return result;
}

QList<int> HalfEdgeGeom::getVertexFan(int vertex) const
{
    QList<int> fan = vertexNeighbours(vertex);
    const int start = vertexHalfEdges.at(vertex);
    if (start >= 0 && halfEdges.at(start).face != -1)
        fan.append(end(start));
    return fan;
}

QVector<QList<int>> HalfEdgeGeom::buildVertexNeighboursFan() const
{
    QVector<QList<int>> result(vertexHalfEdges.size());
    for (int v = 0; v < vertexHalfEdges.size(); ++v)
        result[v] = getVertexFan(v);
    return result;
}

QVector<bool> HalfEdgeGeom::boundaryVerticesMask() const
{
    QVector<bool> mask(vertexHalfEdges.size(), false);
    for (int v = 0; v < vertexHalfEdges.size(); ++v) {
        const int start = vertexHalfEdges.at(v);
        mask[v] = start >= 0 && halfEdges.at(start).face == -1;
    }
    return mask;
}

QVector3D HalfEdgeGeom::computeVertexNormal(int vertex) const
{
    const int outgoing = vertexHalfEdges.at(vertex);
    if (outgoing < 0)
        return QVector3D();
    const QVector3D p = position(vertex);
    QVector3D sum;
    int count = 0;
    for (HalfEdgeWalk walk(halfEdges, halfEdges.at(outgoing).opposite, HalfEdgeWalk::IncomingWalk); !walk.atEnd();
         walk.advance()) {
        const HalfEdge& incoming = halfEdges.at(walk.current());
        if (incoming.face == -1)
            continue;
        const QVector3D previous = position(halfEdgeOriginVertex(walk.current()));
        const QVector3D next = position(end(incoming.next));
        sum += QVector3D::crossProduct(next - p, previous - p).normalized();
        ++count;
    }
    if (count == 0)
        return QVector3D();
    return (sum / float(count)).normalized();
}

QVector<QVector3D> HalfEdgeGeom::computeVertexNormals() const
{
    QVector<QVector3D> result(vertexHalfEdges.size());
    for (int v = 0; v < vertexHalfEdges.size(); ++v)
        result[v] = computeVertexNormal(v);
    return result;
}

QVector<QPair<int, int>> HalfEdgeGeom::buildEdges(const QList<HalfEdge>& list)
{
    const int n = list.size();
    QVector<bool> visited(n, false);
    // Room for one pair per two half-edges; a half-edge that is its own twin (a vertex listed twice
    // in a row) makes one pair more, which is appended.
    QVector<QPair<int, int>> result(n / 2, qMakePair(-1, -1));
    int count = 0;
    for (int i = 0; i < n; ++i) {
        const int opposite = list.at(i).opposite;
        const bool hasTwin = opposite >= 0 && opposite < n;
        if (hasTwin && visited.at(opposite))
            continue;
        const QPair<int, int> edge(hasTwin ? list.at(opposite).vertex : -1, list.at(i).vertex);
        if (count < result.size())
            result[count] = edge;
        else
            result.append(edge);
        ++count;
        visited[i] = true;
    }
    return result;
}

double HalfEdgeGeom::getTriangleFanInnerEdgeLengthSquared(int origin, const QList<QVector3D>& corners)
{
    return GeometryStack::triangleFanInnerEdgeLengthSquared(origin, corners.toVector());
}

int HalfEdgeGeom::findOptimalTriangleFanOrigin(const QList<QVector3D>& corners)
{
    return GeometryStack::optimalTriangleFanOrigin(corners.toVector());
}

QVector<QVector3D> HalfEdgeGeom::transformedVertices(const QVector<QVector3D>& points, const QMatrix4x4& matrix)
{
    return GeometryStack::transformedVertices(points, matrix);
}

QVector<QVector3D> HalfEdgeGeom::transformedNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix)
{
    return GeometryStack::transformedNormals(normals, matrix);
}

}  // namespace HE
