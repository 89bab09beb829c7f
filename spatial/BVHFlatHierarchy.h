#pragma once
// The structure of a built face hierarchy laid out in arrays for first-hit ray
// queries: each inner node holds both children's boxes in one cache line, the
// leaves' faces follow each other in depth-first (left before right) order
// with their first three vertex indices. The ray meets the same boxes as in
// the node classes (a quick single-precision slab test decides where it is
// unambiguous, the exact test otherwise), the nearer child is searched first
// and boxes that start clearly beyond the best hit are skipped; among hits at
// equal distance the one earliest in depth-first order wins, as it does when
// the tree is walked left before right.
#include <QList>
#include <QVector>
#include <QVector3D>

#include <cstdint>
#include <vector>

#include "spatial/BVH.h"

namespace BVH2 {

class FlatHierarchy {
public:
    FlatHierarchy(const BvhNode* root, const QVector<QList<int> >& faces);

    void findFirstHit(const QVector3D& origin, const QVector3D& direction, const QVector<QVector3D>& vertices,
                      RayFaceIntersection mode, int& faceIndex, double& distance, double* u, double* v) const;

private:
    struct Box {
        float lo[3];
        float hi[3];  // origin + size, rounded as the slab test rounds it
    };
    struct alignas(64) Node {
        Box box[2];
        int32_t child[2];  // >= 0 inner node, < 0 leaf ~child
    };
    struct Leaf {
        int32_t first, last;  // slot range
    };
    struct Slot {
        int32_t face;
        int32_t vertex[3];  // -1 for a face with fewer than three indices
    };

    int32_t append(const BvhNodeBase* node, const QVector<QList<int> >& faces, int depth);
    static Box boxOf(const Viewport3D::BoundingBox& box);

    std::vector<Node> nodes;
    std::vector<Leaf> leaves;
    std::vector<Slot> slots_;
    Box rootBox;
    float rootExtent = 0.0f;  // diagonal of the root box
    QVector3D rootCenter;
    int maxDepth = 0;
};

}  // namespace BVH2
