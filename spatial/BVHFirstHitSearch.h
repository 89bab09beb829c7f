#pragma once
// A compact search structure for first-hit ray queries on a built face
// hierarchy, giving the answers of the hierarchy's own left-before-right walk.
//
// The hierarchy copies faces that touch a split plane into both children, so
// its leaves overlap heavily and any walk of it meets many leaves before the
// hit. This structure holds every face once, in a four-wide tree of boxes
// built by the surface-area heuristic, with each leaf's triangles stored side
// by side as the triangle test reads them (the same single-precision values,
// so the test gives bit-identical t, u and v). It is searched nearest box
// first, skipping boxes that start beyond the best hit so far.
//
// Agreement with the walk of the hierarchy rests on three facts:
// - Among hits at one distance the walk keeps the face whose copy it reaches
//   first; each face carries the depth-first position of its first copy, and
//   that decides ties here.
// - The walk only tests faces in leaves whose boxes, and all their ancestors'
//   boxes, the ray passes. Each face carries the intersection of the boxes on
//   the path to its first copy; passing that box means passing every box on
//   the path (the slab test can only widen as a box grows). A face that would
//   become the best hit is taken only after this check; when the check fails
//   the query reports that it cannot decide, and the caller walks the tree.
// - A box is skipped only when the ray misses it or enters it beyond the best
//   hit. The search boxes are the triangles' boxes widened by a margin M of
//   1e-4 of the mesh's box diagonal, and a ray is searched here only when the
//   single-precision slab arithmetic errs by at most M / 2 (its origin within
//   a few hundred diagonals of the mesh); otherwise the caller walks the tree.
//
// Residual condition: the answer could differ from the walk's only if the
// triangle test's computed hit point, origin + t × direction with the t it
// computes, lies more than M / 2 outside the box of that triangle's three
// corners. Rounding moves the computed point along the ray by roughly
// 1e-7 × |origin - corner| / (sin of the triangle's smallest angle × cos of
// the angle between ray and normal), so this needs a ray within a small
// fraction of a degree of the triangle's plane (or a sliver triangle).
#include <QList>
#include <QVector3D>
#include <QVector>

#include <cstdint>
#include <memory>
#include <vector>

#include "spatial/BVH.h"

namespace BVH2 {

class FirstHitSearch {
public:
    // Null when the mesh lies outside what the search handles (coordinates that
    // are not finite or too large, or no face with three corners). A pooled
    // build spreads its per-face passes and its top subtrees over the global
    // thread pool and makes the same structure as the build on one thread.
    static std::unique_ptr<const FirstHitSearch> create(const BvhNode* root, const QVector<QVector3D>& vertices,
                                                        const QVector<QList<int>>& faces, bool pooled = true);

    // The walk's first hit, with the in/out convention of
    // findFirstRayIntersectedTriangle. Returns false, leaving every output
    // untouched, when the search cannot vouch for the answer; the caller then
    // walks the tree.
    bool findFirstHit(const QVector3D& origin, const QVector3D& direction, RayFaceIntersection mode, int& faceIndex,
                      double& distance, double* u, double* v) const;

    // Whether both hold the same arrays, bit for bit.
    bool identicalTo(const FirstHitSearch& other) const;

private:
    FirstHitSearch() = default;
    struct Build;

    struct alignas(64) Node {
        float bound[6][4];  // per child: min x, y, z, then max x, y, z
        int32_t child[4];   // >= 0 node, < 0 leaf ~pack; emptySlot for none
    };
    struct alignas(16) Pack {  // up to four triangles, unused lanes never hit
        float p0[3][4];
        float e1[3][4];  // p1 - p0
        float e2[3][4];  // p2 - p0
        int32_t face[4];
    };
    struct PathBox {
        float lo[3];
        float hi[3];
    };
    static const int32_t emptySlot = INT32_MIN;

    void prefetch(int32_t code) const;
    bool pathPassed(int32_t face, const QVector3D& origin, const QVector3D& direction) const;

    std::vector<Node> nodes_;
    std::vector<Pack> packs_;
    int32_t rootCode_ = emptySlot;
    int maxDepth_ = 0;
    // Per face: the depth-first position of its first copy in the hierarchy
    // (-1 for faces the hierarchy does not hold, ~position when the path box
    // is empty), and the intersection of the boxes on the way to that copy.
    std::vector<int32_t> firstPosition_;
    std::vector<PathBox> pathBoxes_;
    float center_[3] = {0, 0, 0};
    float halfExtent_ = 0.0f;  // largest half side of the widened root box
    float margin_ = 0.0f;
};

}  // namespace BVH2
