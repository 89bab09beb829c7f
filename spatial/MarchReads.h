#pragma once
// What the march reads: the mesh itself or a geometry taken from it. Both answer the same
// questions (the source's seeds, a vertex's neighbours, a vertex's update) with the same values.
#include "spatial/FastMarchingMeshAccess.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchScratch.h"
#include "spatial/VertexUpdates.h"

#include <QDebug>

namespace FastMarching {
namespace Marching {

using namespace MeshAccess;

// What a vertex update may know of the march besides the state: the vertex just accepted, the
// clock of the updated vertex's previous update (0 before its first), and whether the clocks may
// be trusted to skip corners (not once a distance that is not a number has appeared).
struct UpdateContext {
    int accepted;
    int previousUpdate;
    bool clocksHold;
    int entry;  // of the updated vertex in the accepted vertex's neighbour list; -1 over the mesh
};

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

    // visit(neighbour, its entry), in neighbour order.
    template <typename Visit>
    void forEachNeighbour(int vertex, Visit&& visit) const
    {
        forEachInWalk(mesh, mesh.vertexHalfEdges.at(vertex), HE::HalfEdgeWalk::OutgoingWalk,
                      [&](int halfEdge) { visit(endOf(mesh, halfEdge), -1); });
    }

    template <typename State>
    double update(int vertex, const State& state, const UpdateContext& /*context*/) const
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
        int entry = geometry.neighbourEntry(vertex);
        for (int neighbour : geometry.neighbours(vertex))
            visit(neighbour, entry++);
    }

    // vertexUpdate over the corners as taken, leaving out corners whose update cannot lower C's
    // distance. Each corner's update is the smaller of C's current distance dC and values computed
    // from the distances of A and B (and D), so leaving it out changes nothing when that value
    // cannot fall below dC; as the running result only falls from dC and takes a value only when
    // strictly smaller, such a corner is left out exactly when its value would be dC or not a
    // number. Three rules find such corners without evaluating them:
    // - Inputs no nearer than C: a triangle update through distances dSmall <= dLarge yields at
    //   least dSmall (dSmall + t with t > 0, or an edge length added to dSmall or dLarge), and an
    //   edge update d + |edge| at least d; so when every distance the corner reads is >= dC, its
    //   value is dC.
    // - Reciprocal acute corners: an acute corner's value depends only on which of A and B are
    //   alive, on their distances once alive (which never change again) and on dC. Accepting a
    //   vertex updates every neighbour it lists; so when A and B both list C, neither can have
    //   become alive since C's previous update unless it is the vertex just accepted. Before C's
    //   first update neither is alive at all unless it is that vertex or the source, which is
    //   alive from the start and gives every vertex it lists a distance of its own; so at the
    //   first update of a vertex the source did not list, such a corner falls under the first rule.
    // - Unchanged inputs: when none of the vertices the corner reads (their distances, their alive
    //   flags) has changed since C's previous update, the corner computes the same values as then;
    //   that update left dC no larger than them, so the value is dC again. This needs every
    //   distance to be a number, hence only while no distance has been anything else.
    // The two rules that look back rely on the corner's value at C's previous update having been
    // folded into dC there, which holds as well for a corner that was left out by any of them.
    // Corners that log are always visited.
    //
    // The corners the second rule would leave out are not even looked at, from C's first update
    // on when the source did not list C and after it otherwise: the geometry marks, for each
    // neighbour entry, the corners it lets through, and those are taken in walk order as before.
    template <typename State>
    double update(int vertex, const State& state, const UpdateContext& context) const
    {
        const double dC = state.distanceOf(vertex);
        double result = dC;
        const int since = context.previousUpdate;
        const bool clocksHold = context.clocksHold && since > 0;
        // checkReciprocal: whether the second rule is still to be applied.
        // Inlined: a call per corner would cost about as much as the checks it makes.
        auto fold = [&](const CornerUpdate& corner, bool checkReciprocal) __attribute__((always_inline))
        {
            if (corner.kind == CornerUpdate::SkippedFace) {
                qDebug("Face has zero length edges!");
                return;
            }
            const VertexRecord& a = state.record(corner.a);
            const VertexRecord& b = state.record(corner.b);
            if (corner.kind == CornerUpdate::Acute) {
                if (checkReciprocal && corner.reciprocal && corner.a != context.accepted &&
                    corner.b != context.accepted)
                    return;
                if ((!a.alive || a.distance >= dC) && (!b.alive || b.distance >= dC))
                    return;
                if (clocksHold && a.changedAt < since && b.changedAt < since)
                    return;
            } else if (!corner.unfoldMetZeroLengthFace) {
                const VertexRecord* d = corner.kind == CornerUpdate::ThroughSupport ? &state.record(corner.d) : nullptr;
                if (a.distance >= dC && b.distance >= dC && (!d || d->distance >= dC))
                    return;
                if (clocksHold && a.changedAt < since && b.changedAt < since && (!d || d->changedAt < since))
                    return;
            }
            result = smallerOf(result, cornerUpdate(corner, geometry, vertex, state));
        };
        const Span<CornerUpdate> corners = geometry.corners(vertex);
        if (corners.end() - corners.begin() > MarchGeometry::cornerMaskBits || (since == 0 && dC != blankDistance)) {
            for (const CornerUpdate& corner : corners)
                fold(corner, since > 0);
            return result;
        }
        for (MarchGeometry::CornerMask mask = geometry.cornersThrough(context.entry); mask != 0; mask &= mask - 1)
            fold(corners.begin()[__builtin_ctz(mask)], false);
        return result;
    }
};

}  // namespace Marching
}  // namespace FastMarching
