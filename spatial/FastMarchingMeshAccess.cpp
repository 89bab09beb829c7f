// The unfolding of an obtuse corner over the mesh, shared by the vertex updates over the mesh and
// by the building of a MarchGeometry.
#include "spatial/FastMarchingMeshAccess.h"

#include <algorithm>
#include <cmath>

namespace FastMarching {

bool MeshAccess::unfoldSupportVertex(int halfEdge, const HE::HalfEdgeGeom& mesh, double& lengthCB, double& lengthCA,
                                     double& lengthDB, double& lengthDA, double& lengthDC, int& vertexD,
                                     bool* metZeroLengthFace)
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
        const double cosineV = (squaredEdge + squaredVE1 - squaredVE0) / (2.0 * std::sqrt(squaredVE1 * squaredEdge));
        const double sineV = std::sqrt(1.0 - cosineV * cosineV);
        double fromV[3];
        for (int x = 0; x < 3; ++x)
            fromV[x] = squaredVE1 + fromE1[x] -
                       2.0 * std::sqrt(squaredVE1 * fromE1[x]) * (cosine[x] * cosineV - sine[x] * sineV);

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

}  // namespace FastMarching
