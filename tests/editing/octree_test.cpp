// Triangle octree: node counts, where triangles are stored, the order of the
// sphere and ray queries, empty flags on removal and re-insertion.
#include "editing/Octree/Octree.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using Octree::Node;
using Octree::NodeOctree;
using Octree::Tree;

namespace {

// Root cube centred on the origin with side 8: depth-3 leaves have side 1.
const QVector3D kCentre(0, 0, 0);
const double kSide = 8;

using TestMeshes::Mesh;

// Child indices from the root down to the node.
QList<int> pathOf(const Node* node)
{
    QList<int> path;
    for (; node && node->parent; node = node->parent)
        path.prepend(node->parent->children.indexOf(const_cast<Node*>(node)));
    return path;
}

void countNodes(const Node* node, int& all, int& leaves)
{
    ++all;
    if (!node->hasChildren()) {
        ++leaves;
        return;
    }
    for (const Node* child : static_cast<const NodeOctree*>(node)->children)
        countNodes(child, all, leaves);
}

const Node* nodeAt(const Tree& tree, const QList<int>& path)
{
    const Node* node = tree.root;
    for (int index : path)
        node = static_cast<const NodeOctree*>(node)->children.at(index);
    return node;
}

}  // namespace

TEST(OctreeTest, FullTreeOfFixedDepthWhateverIsStored)
{
    for (int depth : {0, 1, 3}) {
        SCOPED_TRACE(depth);
        Mesh empty;
        Tree tree(kCentre, kSide, empty.vertices, empty.triangles, depth);
        int all = 0, leaves = 0;
        countNodes(tree.root, all, leaves);
        const int expectedLeaves = 1 << (3 * depth);
        EXPECT_EQ(leaves, expectedLeaves);
        EXPECT_EQ(all, (8 * expectedLeaves - 1) / 7);
        EXPECT_TRUE(tree.root->isEmpty());
        double distance = 0;
        EXPECT_EQ(tree.findFirstRayIntersectedTriangleInd({0, 0, 5}, {0, 0, -1}, empty.triangles, empty.vertices, 2,
                                                          distance, nullptr, nullptr),
                  -1);
        EXPECT_TRUE(tree.root->findTrianglesInsideSphere(kCentre, 100).isEmpty());
    }
    Mesh mesh;
    mesh.addTriangle({0.2f, 0.2f, 0.2f}, {0.3f, 0.2f, 0.2f}, {0.2f, 0.3f, 0.2f});
    Tree tree(kCentre, kSide, mesh.vertices, mesh.triangles, 3);
    int all = 0, leaves = 0;
    countNodes(tree.root, all, leaves);
    EXPECT_EQ(all, 585);
    EXPECT_EQ(leaves, 512);
}

TEST(OctreeTest, SubCubesAreNumberedXOutermostLowerHalfFirst)
{
    const QVector<Octree::Cube> cubes = Octree::Cube(QVector3D(1, 2, 3), 4).subCubes();
    ASSERT_EQ(cubes.size(), 8);
    for (int i = 0; i < 8; ++i) {
        SCOPED_TRACE(i);
        EXPECT_EQ(cubes[i].side, 2.0);
        EXPECT_EQ(cubes[i].center, QVector3D(i & 4 ? 2 : 0, i & 2 ? 3 : 1, i & 1 ? 4 : 2));
    }
}

TEST(OctreeTest, EachTriangleGoesToTheDeepestCubeHoldingItsThreeCorners)
{
    struct Case {
        const char* name;
        QVector3D a, b, c;
        QList<int> path;
    };
    const QList<Case> cases = {
        {"inside one leaf", {0.2f, 0.2f, 0.2f}, {0.3f, 0.2f, 0.2f}, {0.2f, 0.3f, 0.2f}, {7, 0, 0}},
        {"leaf at the far corner", {-3.9f, -3.9f, -3.9f}, {-3.5f, -3.9f, -3.9f}, {-3.9f, -3.5f, -3.1f}, {0, 0, 0}},
        {"on the face x = 0 shared by siblings: the lower child",
         {0, 0.2f, 0.2f},
         {0, 0.3f, 0.2f},
         {0, 0.2f, 0.3f},
         {3, 4, 4}},
        {"corners exactly on the leaf's bounds", {0, 0, 0}, {1, 0, 0}, {1, 1, 1}, {7, 0, 0}},
        {"straddling a leaf boundary", {0.9f, 0.2f, 0.2f}, {1.1f, 0.2f, 0.2f}, {0.9f, 0.3f, 0.2f}, {7, 0}},
        {"crossing the centre planes", {-0.1f, 0.1f, 0.1f}, {0.1f, 0.1f, 0.1f}, {0.1f, 0.2f, 0.1f}, {}},
        {"as large as the root cube", {-4, -4, 0}, {4, -4, 0}, {0, 4, 0}, {}},
        {"wholly outside the root cube", {10, 10, 10}, {11, 10, 10}, {10, 11, 10}, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Mesh mesh;
        mesh.addTriangle(c.a, c.b, c.c);
        Tree tree(kCentre, kSide, mesh.vertices, mesh.triangles, 3);
        ASSERT_EQ(tree.holders.size(), 1);
        EXPECT_EQ(pathOf(tree.holders[0]), c.path);
        EXPECT_TRUE(tree.holders[0]->triangles.contains(0));
        EXPECT_FALSE(tree.root->isEmpty());
    }
}

TEST(OctreeTest, SphereQueryListsNodesThatMeetTheSphereParentsBeforeChildren)
{
    Mesh mesh;
    const int inLeaf = mesh.addTriangle({0.2f, 0.2f, 0.2f}, {0.3f, 0.2f, 0.2f}, {0.2f, 0.3f, 0.2f});    // {7, 0, 0}
    const int inRoot = mesh.addTriangle({-0.1f, 0.1f, 0.1f}, {0.1f, 0.1f, 0.1f}, {0.1f, 0.2f, 0.1f});   // root
    const int inLevel2 = mesh.addTriangle({0.9f, 0.2f, 0.2f}, {1.1f, 0.2f, 0.2f}, {0.9f, 0.3f, 0.2f});  // {7, 0}
    const int farLeaf =
        mesh.addTriangle({-3.9f, -3.9f, -3.9f}, {-3.5f, -3.9f, -3.9f}, {-3.9f, -3.5f, -3.1f});  // {0, 0, 0}
    Tree tree(kCentre, kSide, mesh.vertices, mesh.triangles, 3);

    struct Case {
        const char* name;
        QVector3D centre;
        double radius;
        QList<int> expected;
    };
    const QList<Case> cases = {
        {"near the origin", {0.25f, 0.25f, 0.25f}, 0.1, {inRoot, inLevel2, inLeaf}},
        {"around both ends", {0, 0, 0}, 10, {inRoot, farLeaf, inLevel2, inLeaf}},
        {"tangent to the root cube only", {5, 0, 0}, 1.0, {inRoot}},
        {"just short of the root cube", {5, 0, 0}, 0.999, {}},
        {"tangent to a leaf's corner", {1.5f, 1.0f, 1.0f}, 0.5, {inRoot, inLevel2, inLeaf}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        EXPECT_EQ(tree.root->findTrianglesInsideSphere(c.centre, c.radius), c.expected);
    }
}

TEST(OctreeTest, RayQueryTakesTheNearestHitAndTheFirstFoundOnTies)
{
    Mesh mesh;
    // Counter-clockwise seen from +z: the front side faces +z.
    // Edges of power-of-two length keep the ray parameters exact, so the ties are real ties.
    const int leafLow =
        mesh.addTriangle({0.125f, 0.125f, 0.5f}, {0.625f, 0.125f, 0.5f}, {0.125f, 0.625f, 0.5f});  // {7,0,0}
    const int rootLow = mesh.addTriangle({-3, -3, 0.5f}, {5, -3, 0.5f}, {-3, 5, 0.5f});            // root, same plane
    Tree tree(kCentre, kSide, mesh.vertices, mesh.triangles, 3);
    ASSERT_EQ(pathOf(tree.holders[leafLow]), QList<int>({7, 0, 0}));
    ASSERT_EQ(pathOf(tree.holders[rootLow]), QList<int>());
    double tLeaf = 0, tRoot = 1;
    ASSERT_TRUE(Octree::rayIntersectsTriangle({0.25f, 0.25f, 5}, {0, 0, -1}, mesh.vertices[0], mesh.vertices[1],
                                              mesh.vertices[2], tLeaf, nullptr, nullptr, nullptr));
    ASSERT_TRUE(Octree::rayIntersectsTriangle({0.25f, 0.25f, 5}, {0, 0, -1}, mesh.vertices[3], mesh.vertices[4],
                                              mesh.vertices[5], tRoot, nullptr, nullptr, nullptr));
    ASSERT_EQ(tLeaf, tRoot);

    auto cast = [&](const QVector3D& origin, const QVector3D& direction, int mode, double* distance = nullptr,
                    double* u = nullptr, double* v = nullptr) {
        double d = 0;
        const int face =
            tree.findFirstRayIntersectedTriangleInd(origin, direction, mesh.triangles, mesh.vertices, mode, d, u, v);
        if (distance)
            *distance = d;
        return face;
    };
    double distance = 0, u = -1, v = -1;
    EXPECT_EQ(cast({0.25f, 0.25f, 5}, {0, 0, -1}, 0, &distance, &u, &v), rootLow) << "tie: the root's own first";
    EXPECT_DOUBLE_EQ(distance, 4.5);
    EXPECT_NEAR(u, 3.25 / 8, 1e-6);
    EXPECT_NEAR(v, 3.25 / 8, 1e-6);
    EXPECT_EQ(cast({0.25f, 0.25f, 5}, {0, 0, -1}, 1), -1) << "back faces only";
    EXPECT_EQ(cast({0.25f, 0.25f, -5}, {0, 0, 1}, 1), rootLow) << "from below the back side is met";
    EXPECT_EQ(cast({0.25f, 0.25f, -5}, {0, 0, 1}, 0), -1);
    EXPECT_EQ(cast({0.25f, 0.25f, 0.625f}, {0, 0, -1}, 2, &distance), rootLow) << "origin inside the leaf cube";
    EXPECT_EQ(distance, 0.125);
    EXPECT_EQ(cast({0.25f, 0.25f, 0.375f}, {0, 0, 1}, 2), rootLow);
    EXPECT_EQ(cast({0.25f, 0.25f, 0.375f}, {0, 0, -1}, 2, &distance), -1) << "everything lies behind the origin";
    EXPECT_EQ(distance, std::numeric_limits<double>::max());

    // A nearer triangle wins wherever it is stored.
    const int leafHigh = mesh.addTriangle({0.125f, 0.125f, 0.75f}, {0.625f, 0.125f, 0.75f}, {0.125f, 0.625f, 0.75f});
    tree.holders.append(nullptr);
    tree.insertTriangle(leafHigh, mesh.vertices, mesh.triangles);
    EXPECT_EQ(cast({0.25f, 0.25f, 5}, {0, 0, -1}, 0, &distance), leafHigh);
    EXPECT_EQ(distance, 4.25);
}

TEST(OctreeTest, BoxTestsAcceptTouchingAndRejectBoxesBehindTheOrigin)
{
    const Octree::Cube cube(QVector3D(0, 0, 0), 2);
    EXPECT_TRUE(Octree::rayIntersectsAaBoundingBox(cube, {0, 0, 5}, {0, 0, -1}, false));
    EXPECT_TRUE(Octree::rayIntersectsAaBoundingBox(cube, {0.5f, 0.5f, 0}, {0, 0, -1}, false)) << "origin inside";
    EXPECT_FALSE(Octree::rayIntersectsAaBoundingBox(cube, {0, 0, 5}, {0, 0, 1}, false)) << "behind";
    EXPECT_TRUE(Octree::rayIntersectsAaBoundingBox(cube, {0, 0, 5}, {0, 0, 1}, true));
    EXPECT_FALSE(Octree::rayIntersectsAaBoundingBox(cube, {5, 0, 5}, {0, 0, -1}, false)) << "parallel outside";
    EXPECT_TRUE(Octree::rayIntersectsAaBoundingBox(cube, {1, 0, 5}, {0, 0, -1}, false)) << "along a face";
    EXPECT_TRUE(Octree::Cube(QVector3D(0, 0, 0), 2).intersectsSphere({2, 0, 0}, 1)) << "tangent";
    EXPECT_TRUE(Octree::Cube(QVector3D(0, 0, 0), 2).intersectsSphere({2, 2, 1}, std::sqrt(2.0) + 1e-9));
    EXPECT_FALSE(Octree::Cube(QVector3D(0, 0, 0), 2).intersectsSphere({2, 2, 1}, 1.4));
    EXPECT_TRUE(Octree::Cube(QVector3D(0, 0, 0), 2).intersectsSphere({0.1f, 0, 0}, 0.01)) << "inside";
}

TEST(OctreeTest, RemovalUpdatesEmptyFlagsUpwardAndReinsertionFollowsTheCorners)
{
    Mesh mesh;
    const int near = mesh.addTriangle({0.2f, 0.2f, 0.2f}, {0.3f, 0.2f, 0.2f}, {0.2f, 0.3f, 0.2f});          // {7, 0, 0}
    const int far = mesh.addTriangle({-3.9f, -3.9f, -3.9f}, {-3.5f, -3.9f, -3.9f}, {-3.9f, -3.5f, -3.1f});  // {0, 0, 0}
    Tree tree(kCentre, kSide, mesh.vertices, mesh.triangles, 3);
    for (const QList<int>& path : {QList<int>{7, 0, 0}, {7, 0}, {7}, {0, 0, 0}, {0}, {}})
        EXPECT_FALSE(nodeAt(tree, path)->isEmpty());
    EXPECT_TRUE(nodeAt(tree, {7, 1})->isEmpty());

    tree.removeTriangle(near);
    EXPECT_EQ(tree.holders[near], nullptr);
    for (const QList<int>& path : {QList<int>{7, 0, 0}, {7, 0}, {7}})
        EXPECT_TRUE(nodeAt(tree, path)->isEmpty());
    EXPECT_FALSE(tree.root->isEmpty());
    EXPECT_FALSE(tree.root->findTrianglesInsideSphere(kCentre, 100).contains(near));
    tree.removeTriangle(near);  // no holder: ignored
    tree.removeTriangle(far);
    EXPECT_TRUE(tree.root->isEmpty());
    EXPECT_TRUE(nodeAt(tree, {0})->isEmpty());

    // Sculpting moved the corners: one triangle into another leaf, one out of the root cube.
    for (int k = 0; k < 3; ++k) {
        mesh.vertices[3 * near + k] += QVector3D(-1, 0, 0);
        mesh.vertices[3 * far + k] += QVector3D(-10, 0, 0);
    }
    tree.insertTriangle(near, mesh.vertices, mesh.triangles);
    tree.insertTriangle(far, mesh.vertices, mesh.triangles);
    EXPECT_EQ(pathOf(tree.holders[near]), QList<int>({3, 4, 4}));
    EXPECT_EQ(pathOf(tree.holders[far]), QList<int>());
    EXPECT_FALSE(nodeAt(tree, {3})->isEmpty());
    EXPECT_TRUE(nodeAt(tree, {7})->isEmpty());
    tree.insertTriangle(near, mesh.vertices, mesh.triangles);  // again: still held once
    EXPECT_EQ(tree.root->findTrianglesInsideSphere(kCentre, 100).count(near), 1);
}
