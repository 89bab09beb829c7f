#pragma once
// The plain first-hit walk and the tree's own query, shared by the ray query tests.
// Hit is the test's own record (face, distance, u, v): each test keeps the
// equality it checks with.
#include "spatial/BVH.h"
#include "tests/support/TestMeshes.h"

#include <QVector3D>

namespace BvhRayFixtures {

using TestMeshes::Mesh;

// The walk in its plain order: every box the ray meets, left before right, no skipping.
template <typename Hit>
void plainFirstHit(const BVH2::BvhNodeBase* node, const QVector3D& o, const QVector3D& d, const Mesh& mesh,
                   BVH2::RayFaceIntersection mode, Hit& hit)
{
    if (const BVH2::BvhNode* inner = dynamic_cast<const BVH2::BvhNode*>(node)) {
        if (!BVH2::rayIntersectsAaBoundingBox(o, d, inner->boundingBox))
            return;
        plainFirstHit(inner->childLeft, o, d, mesh, mode, hit);
        plainFirstHit(inner->childRight, o, d, mesh, mode, hit);
        return;
    }
    node->findFirstRayIntersectedTriangle(o, d, mesh.triangles, mesh.vertices, mode, hit.face, hit.distance, &hit.u,
                                          &hit.v);
}

// The tree's own query from the root, nothing found beyond `limit`.
template <typename Hit>
Hit treeFirstHit(const BVH2::BvhNodeBase& root, const QVector3D& o, const QVector3D& d, const Mesh& mesh,
                 BVH2::RayFaceIntersection mode, double limit)
{
    Hit hit;
    hit.distance = limit;
    root.findFirstRayIntersectedTriangle(o, d, mesh.triangles, mesh.vertices, mode, hit.face, hit.distance, &hit.u,
                                         &hit.v);
    return hit;
}

}  // namespace BvhRayFixtures
