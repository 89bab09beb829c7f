#pragma once
// Mesh reads of the fast march, shared by the march over the mesh itself and by the building of a
// MarchGeometry, so that both take every length with the very same single-precision arithmetic.
#include "mesh/HalfEdge.h"

#include <cmath>

namespace FastMarching {
namespace MeshAccess {

inline const HE::HalfEdge& edge(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    return mesh.halfEdges.at(halfEdge);
}

inline int endOf(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    return edge(mesh, halfEdge).vertex;
}

inline int originOf(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    return endOf(mesh, edge(mesh, halfEdge).opposite);
}

// The arithmetic of QVector3D::lengthSquared and QVector3D::length (single precision, the length
// summed in double first), inline.
inline float squaredLength(const QVector3D& v)
{
    return v.x() * v.x() + v.y() * v.y() + v.z() * v.z();
}

inline float length(const QVector3D& v)
{
    const double sum = double(v.x()) * double(v.x()) + double(v.y()) * double(v.y()) + double(v.z()) * double(v.z());
    return float(std::sqrt(sum));
}

// Lengths are taken in single precision, as the positions are stored, and widened afterwards.
inline double lengthBetween(const HE::HalfEdgeGeom& mesh, int from, int to)
{
    return double(length(mesh.vertices.at(to) - mesh.vertices.at(from)));
}

inline double squaredLengthBetween(const HE::HalfEdgeGeom& mesh, int from, int to)
{
    return double(squaredLength(mesh.vertices.at(to) - mesh.vertices.at(from)));
}

inline bool isTriangle(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    const int second = edge(mesh, halfEdge).next;
    if (second < 0)
        return false;
    const int third = edge(mesh, second).next;
    return third >= 0 && edge(mesh, third).next == halfEdge;
}

// HE::HalfEdgeGeom::faceHasZeroLengthEdges, inline for triangles.
inline bool faceHasZeroLengthEdge(const HE::HalfEdgeGeom& mesh, int face)
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
inline bool isAngleAtEndAcute(const HE::HalfEdgeGeom& mesh, int halfEdge)
{
    const QVector3D o = mesh.vertices.at(originOf(mesh, halfEdge));
    const QVector3D e = mesh.vertices.at(endOf(mesh, halfEdge));
    const QVector3D t = mesh.vertices.at(endOf(mesh, edge(mesh, halfEdge).next));
    return squaredLength(e - o) + squaredLength(e - t) > squaredLength(t - o);
}

// One step of a walk as HE::HalfEdgeWalk takes it; -1 at a broken link.
inline int walkStep(const HE::HalfEdgeGeom& mesh, int halfEdge, HE::HalfEdgeWalk::Kind kind)
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
    {}
    int a;
    int b;
    int c;
};

// FastMarching::unfoldObtuseAngle without its debug line: *metZeroLengthFace tells whether the
// search ended at a face with a zero-length edge, where the public function logs.
bool unfoldSupportVertex(int halfEdge, const HE::HalfEdgeGeom& mesh, double& lengthCB, double& lengthCA,
                         double& lengthDB, double& lengthDA, double& lengthDC, int& vertexD, bool* metZeroLengthFace);

}  // namespace MeshAccess
}  // namespace FastMarching
