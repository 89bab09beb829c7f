#pragma once
// What the march reads: the mesh itself or a geometry taken from it. Both answer the same
// questions (the source's seeds, a vertex's neighbours, a vertex's update) with the same values.
#include "spatial/FastMarchingMeshAccess.h"
#include "spatial/MarchGeometry.h"
#include "spatial/VertexUpdates.h"

#include <QDebug>

namespace FastMarching {
namespace Marching {

using namespace MeshAccess;

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

}  // namespace Marching
}  // namespace FastMarching
