#pragma once
// The update of a vertex from the faces around it, over any state that tells alive flags and
// distances: read from the mesh on every visit, or from the corners a MarchGeometry took.
#include "spatial/FastMarchingMeshAccess.h"
#include "spatial/MarchGeometry.h"
#include "spatial/TriangleUpdate.h"

#include <QDebug>
#include <QVector>

namespace FastMarching {
namespace Marching {

using namespace MeshAccess;

// The smaller of current and candidate; current stays on ties and when candidate is not a number.
inline double smallerOf(double current, double candidate)
{
    return candidate < current ? candidate : current;
}

// Position of the first smallest distance in a band.

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
// and the same arithmetic as nonObtuseUpdate and obtuseUpdate, on lengths taken beforehand (the
// triangle terms formed here from them, as those functions form them).
// Always inlined into the march's corner loop, where a call per corner costs more than it saves.
template <typename State>
__attribute__((always_inline)) inline double cornerUpdate(const CornerUpdate& corner, const MarchGeometry& geometry,
                                                          int c, const State& state)
{
    const double dC = state.distanceOf(c);
    if (corner.kind == CornerUpdate::Acute) {
        const bool aliveA = state.isAlive(corner.a);
        const bool aliveB = state.isAlive(corner.b);
        if (!aliveA && !aliveB)
            return dC;
        const double lengthCA = double(corner.lengthCA);
        const double lengthCB = double(corner.lengthCB);
        if (!aliveA) {
            const double viaB = state.distanceOf(corner.b) + lengthCB;
            return viaB > dC ? dC : viaB;
        }
        if (!aliveB) {
            const double viaA = state.distanceOf(corner.a) + lengthCA;
            return viaA > dC ? dC : viaA;
        }
        const double dA = state.distanceOf(corner.a);
        const double dB = state.distanceOf(corner.b);
        const double squaredAB = double(corner.squaredAB);
        if (dA > dB)
            return updateFromTerms(triangleTerms(lengthCA, lengthCB, squaredAB), dB, dA, dC);
        return updateFromTerms(triangleTerms(lengthCB, lengthCA, squaredAB), dA, dB, dC);
    }
    const double dA = state.distanceOf(corner.a);
    const double dB = state.distanceOf(corner.b);
    if (corner.kind == CornerUpdate::AlongEdges) {
        if (corner.unfoldMetZeroLengthFace)
            qDebug("During unfolding found a triangle with zero edge length!");
        const double* lengths = geometry.edgeLengths(corner);
        const double viaA = dA + lengths[0];
        const double viaB = dB + lengths[1];
        const double viaEdge = viaA > viaB ? viaB : viaA;
        return viaEdge > dC ? dC : viaEdge;
    }
    // A support corner's distances need not be alive, so one of them is often far beyond C's and
    // its triangle gives C's distance back: told without solving (updateKeeps). Its triangle terms
    // are formed from its lengths only when solving, as obtuseUpdate forms them.
    const double* lengths = geometry.supportLengths(corner);
    const double lengthCD = lengths[CornerUpdate::LengthCD];
    const double dD = state.distanceOf(corner.d);
    const double throughB =
        dD > dB
            ? solveUnlessKept(lengthCD, lengths[CornerUpdate::LengthCB], lengths[CornerUpdate::SquaredDB], dB, dD, dC)
            : solveUnlessKept(lengths[CornerUpdate::LengthCB], lengthCD, lengths[CornerUpdate::SquaredDB], dD, dB, dC);
    return dD > dA ? solveUnlessKept(lengthCD, lengths[CornerUpdate::LengthCA], lengths[CornerUpdate::SquaredDA], dA,
                                     dD, throughB)
                   : solveUnlessKept(lengths[CornerUpdate::LengthCA], lengthCD, lengths[CornerUpdate::SquaredDA], dD,
                                     dA, throughB);
}

}  // namespace Marching
}  // namespace FastMarching
