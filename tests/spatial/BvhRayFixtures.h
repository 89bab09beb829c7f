#pragma once
// Triangle meshes and the plain first-hit walk shared by the ray query tests.
// Hit is the test's own record (face, distance, u, v): each test keeps the
// equality it checks with.
#include "spatial/BVH.h"

#include <QList>
#include <QVector3D>
#include <QVector>

#include <random>

namespace BvhRayFixtures {

struct Mesh {
    QVector<QVector3D> vertices;
    QVector<QList<int> > faces;
    void add(const QVector3D& a, const QVector3D& b, const QVector3D& c)
    {
        const int first = vertices.size();
        vertices << a << b << c;
        faces.append({first, first + 1, first + 2});
    }
};

// `count` free triangles of side up to about 3 over a gridSize square, z in -3 to 3.
inline void addSoup(Mesh& mesh, int count, int gridSize, std::mt19937& rng, std::uniform_real_distribution<float>& unit)
{
    for (int i = 0; i < count; ++i) {
        const QVector3D base(unit(rng) * gridSize, unit(rng) * gridSize, unit(rng) * 6.0f - 3.0f);
        mesh.add(base, base + QVector3D(unit(rng), unit(rng), unit(rng)) * 3.0f,
                 base + QVector3D(unit(rng), -unit(rng), unit(rng)) * 3.0f);
    }
}

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
    node->findFirstRayIntersectedTriangle(o, d, mesh.faces, mesh.vertices, mode, hit.face, hit.distance, &hit.u,
                                          &hit.v);
}

// The tree's own query from the root, nothing found beyond `limit`.
template <typename Hit>
Hit treeFirstHit(const BVH2::BvhNodeBase& root, const QVector3D& o, const QVector3D& d, const Mesh& mesh,
                 BVH2::RayFaceIntersection mode, double limit)
{
    Hit hit;
    hit.distance = limit;
    root.findFirstRayIntersectedTriangle(o, d, mesh.faces, mesh.vertices, mode, hit.face, hit.distance, &hit.u, &hit.v);
    return hit;
}

}  // namespace BvhRayFixtures
