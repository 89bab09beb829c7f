// Ray and sphere queries of the face hierarchy: slab and triangle tests, the
// walk order with its ties, and agreement with brute force and with the plain
// left-before-right walk on random meshes, from many threads at once.
#include "spatial/BVH.h"

#include "BvhRayFixtures.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <memory>
#include <random>
#include <thread>

using namespace BVH2;
using BvhRayFixtures::plainFirstHit;
using TestMeshes::Mesh;
using Viewport3D::BoundingBox;

namespace {

struct Hit {
    int face = -1;
    double distance = DBL_MAX;
    double u = -1.0, v = -1.0;
    bool operator==(const Hit& o) const { return face == o.face && distance == o.distance && u == o.u && v == o.v; }
};

std::ostream& operator<<(std::ostream& os, const Hit& h)
{
    return os << "face " << h.face << " t " << h.distance << " u " << h.u << " v " << h.v;
}

Hit treeHit(const BvhNodeBase& root, const QVector3D& o, const QVector3D& d, const Mesh& mesh, RayFaceIntersection mode,
            double limit = DBL_MAX)
{
    return BvhRayFixtures::treeFirstHit<Hit>(root, o, d, mesh, mode, limit);
}

// The nearest accepted hit over all faces, ignoring the tree.
double bruteForceDistance(const QVector3D& o, const QVector3D& d, const Mesh& mesh, RayFaceIntersection mode,
                          double limit)
{
    double best = limit;
    for (const QList<int>& face : mesh.triangles) {
        double t;
        bool back;
        if (!rayIntersectsTriangle(o, d, mesh.vertices[face[0]], mesh.vertices[face[1]], mesh.vertices[face[2]], t,
                                   &back))
            continue;
        const bool accepted = mode == RayFaceIntersection_AnyFace || (mode == RayFaceIntersection_BackFace) == back;
        if (accepted && t >= 0.0 && t < best)
            best = t;
    }
    return best;
}

// A bumpy height field with flat, grid-aligned stretches (coplanar faces and
// shared edges give exact ties), plus a soup of free triangles.
Mesh randomMesh(uint32_t seed, int gridSize, int soup)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Mesh mesh;
    mesh.vertices = TestMeshes::gridPoints(gridSize + 1, gridSize + 1, [&](int x, int y) {
        const float z = (y % 3 == 0) ? 1.0f : 2.0f * unit(rng);
        return QVector3D(float(x), float(y), z);
    });
    mesh.triangles = TestMeshes::gridFaces(gridSize + 1, gridSize + 1, TestMeshes::Cut::AlongAC);
    TestMeshes::addTriangleSoup(mesh, soup, gridSize, rng, unit);
    return mesh;
}

struct Ray {
    QVector3D origin, direction;
};

QVector<Ray> randomRays(uint32_t seed, int count, int gridSize)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> cell(0, gridSize);
    QVector<Ray> rays;
    for (int i = 0; i < count; ++i) {
        Ray ray;
        ray.origin = QVector3D(unit(rng) * gridSize, unit(rng) * gridSize, 8.0f * unit(rng) - 4.0f);
        switch (i % 4) {
            case 0:  // straight down or up the z axis, through a grid vertex or edge
                ray.origin = QVector3D(float(cell(rng)), float(cell(rng)) + (i % 8 == 0 ? 0.5f : 0.0f), 6.0f);
                ray.direction = QVector3D(0, 0, i % 3 == 0 ? 1.0f : -1.0f);
                if (ray.direction.z() > 0)
                    ray.origin.setZ(-6.0f);
                break;
            case 1:  // along a grid diagonal, hitting shared edges exactly
                ray.origin = QVector3D(float(cell(rng)), float(cell(rng)), 5.0f);
                ray.direction = QVector3D(1, 1, -4);
                break;
            default:
                ray.direction = QVector3D(unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f) * 10.0f;
                break;
        }
        rays.append(ray);
    }
    return rays;
}

}  // namespace

TEST(BvhRay, SlabTest)
{
    const BoundingBox box(QVector3D(-1, -1, -1), QVector3D(2, 2, 2));
    struct Case {
        QVector3D origin, direction;
        bool hit;
    };
    const Case cases[] = {
        {{-2, 1, 0}, QVector3D(1, -1, 0).normalized(), true},
        {{2, -1, 0}, QVector3D(-1, 1, 0).normalized(), true},
        {{0, 0, 0}, {1, 0, 0}, true},    // origin inside
        {{-2, -1, 0}, {1, 0, 0}, true},  // in the face plane y = -1
        {{2, 0, 0}, {1, 0, 0}, false},   // box behind the origin
        {{2, 0, 0}, {0, -1, 0}, false},  // outside the x slab, zero x component
        {{0, 5, 0}, {0, 0, 1}, false},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(rayIntersectsAaBoundingBox(c.origin, c.direction, box), c.hit) << c.origin.x() << " " << c.origin.y();
    }
    EXPECT_TRUE(rayIntersectsAaBoundingBox(QVector3D(2, 0, 0), QVector3D(1, 0, 0), box, true));
    // Zero thickness along the ray: near and far coincide and still hit.
    const BoundingBox sheet(QVector3D(-1, -1, 0.5f), QVector3D(2, 2, 0));
    EXPECT_TRUE(rayIntersectsAaBoundingBox(QVector3D(0.3f, 0.2f, -1), QVector3D(0, 0, 1), sheet));
    EXPECT_TRUE(rayIntersectsAaBoundingBox(QVector3D(0.3f, 0.2f, -1), QVector3D(0.1f, 0.2f, 1), sheet));
    EXPECT_FALSE(rayIntersectsAaBoundingBox(QVector3D(3, 0.2f, -1), QVector3D(0, 0, 1), sheet));
    // The reciprocal variant agrees where no component is zero.
    EXPECT_TRUE(rayIntersectsAaBoundingBoxInvDir(QVector3D(-2, 1, 0.5f), QVector3D(1, -1, 0.01f), box));
    EXPECT_FALSE(rayIntersectsAaBoundingBoxInvDir(QVector3D(2, 2, 2), QVector3D(1, 1, 1), box));
}

TEST(BvhRay, TriangleTest)
{
    const QVector3D p0(0, 0, 0), p1(2, 0, 0), p2(0, 2, 0);
    struct Case {
        QVector3D origin, direction;
        bool hit;
        double t;
        bool back;
    };
    const Case cases[] = {
        {{0.5f, 0.5f, -1}, {0, 0, 1}, true, 1.0, true},
        {{0.5f, 0.5f, -1}, {1, 0, 0}, false, 0, false},  // parallel
        {{0.5f, 0.5f, 1}, {0, 0, 1}, true, -1.0, true},  // behind the origin
        {{0.5f, 0.5f, 1}, {0, 0, -1}, true, 1.0, false},
        {{2, 2, -1}, {0, 0, 1}, false, 0, false},  // u + v > 1
        {{0.5f, 0.5f, 0}, {0, 0, 1}, true, 0.0, true},
        {{1, 1, 1}, {0, 0, -1}, true, 1.0, false},  // on the edge u + v = 1
    };
    for (const Case& c : cases) {
        double t = 99, u = 99, v = 99;
        bool back = !c.back;
        const bool hit = rayIntersectsTriangle(c.origin, c.direction, p0, p1, p2, t, &back, &u, &v);
        ASSERT_EQ(hit, c.hit) << c.origin.x() << " " << c.origin.z();
        if (hit) {
            EXPECT_EQ(t, c.t);
            EXPECT_EQ(back, c.back);
            const QVector3D point = c.origin + float(t) * c.direction;
            const QVector3D fromBarycentrics = float(1 - u - v) * p0 + float(u) * p1 + float(v) * p2;
            EXPECT_NEAR((point - fromBarycentrics).length(), 0.0, 1e-6);
        } else {
            EXPECT_EQ(t, 99);
            EXPECT_EQ(u, 99);
            EXPECT_EQ(back, !c.back);
        }
    }
}

TEST(BvhRay, FrontAndAnyFaceOrder)
{
    // Face 0 at z = -2 faces down, faces 1 and 2 (z = -3, -4) face up, face 3 lies behind the origin.
    Mesh mesh;
    mesh.addTriangle({-1, -1, -2}, {0, 1, -2}, {1, -1, -2});
    mesh.addTriangle({-1, -1, -3}, {1, -1, -3}, {0, 1, -3});
    mesh.addTriangle({-1, -1, -4}, {1, -1, -4}, {0, 1, -4});
    mesh.addTriangle({-1, -1, 1.5f}, {0, 1, 1.5f}, {1, -1, 1.5f});
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 1));
    const QVector3D o(0, 0, 0), d(0, 0, -1);
    const Hit front = treeHit(*root, o, d, mesh, RayFaceIntersection_FrontFace);
    EXPECT_EQ(front.face, 1);
    EXPECT_EQ(front.distance, 3.0);
    const Hit any = treeHit(*root, o, d, mesh, RayFaceIntersection_AnyFace);
    EXPECT_EQ(any.face, 0);
    EXPECT_EQ(any.distance, 2.0);
    EXPECT_EQ(treeHit(*root, o, d, mesh, RayFaceIntersection_BackFace).face, 0);
    EXPECT_EQ(treeHit(*root, o, -d, mesh, RayFaceIntersection_AnyFace).face, 3);
    EXPECT_EQ(root->findFirstRayIntersectedTriangleInd(o, d, mesh.triangles, mesh.vertices,
                                                       RayFaceIntersection_FrontFace, nullptr, nullptr),
              1);
    // The entry distance is an exclusive limit; a miss leaves every output alone.
    const Hit limited = treeHit(*root, o, d, mesh, RayFaceIntersection_AnyFace, 2.0);
    EXPECT_EQ(limited.face, -1);
    EXPECT_EQ(limited.distance, 2.0);
    EXPECT_EQ(limited.u, -1.0);
    EXPECT_EQ(treeHit(*root, o, d, mesh, RayFaceIntersection_AnyFace, 2.5).face, 0);
}

TEST(BvhRay, TiesGoToTheFirstFaceInTheWalk)
{
    // Two coincident triangles: the one listed first in its leaf wins.
    Mesh mesh;
    mesh.addTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    mesh.addTriangle({0, 0, 0}, {1, 0, 0}, {0, 1, 0});
    for (const QList<int>& order : {QList<int>{0, 1}, QList<int>{1, 0}}) {
        std::unique_ptr<BvhNodeBase> root(buildTree(order, mesh.vertices, mesh.triangles, 10));
        EXPECT_EQ(treeHit(*root, QVector3D(0.2f, 0.2f, 1), QVector3D(0, 0, -1), mesh, RayFaceIntersection_AnyFace).face,
                  order[0]);
    }
    // A row of unit squares: a ray down onto a shared vertex hits several faces
    // at one distance, in different leaves; the leftmost leaf's face wins.
    Mesh row;
    for (int x = 0; x < 8; ++x) {
        row.addTriangle({float(x), 0, 0}, {float(x + 1), 0, 0}, {float(x + 1), 1, 0});
        row.addTriangle({float(x), 0, 0}, {float(x + 1), 1, 0}, {float(x), 1, 0});
    }
    std::unique_ptr<BvhNodeBase> root(buildTree(row.vertices, row.triangles, 1));
    for (int x = 0; x <= 8; ++x) {
        for (const QVector3D& d : {QVector3D(0, 0, -1), QVector3D(0.25f, 0.5f, -1), QVector3D(-0.5f, 0.25f, -1)}) {
            const QVector3D o = QVector3D(float(x), 1, 0) - d;
            Hit plain;
            plainFirstHit(root.get(), o, d, row, RayFaceIntersection_AnyFace, plain);
            EXPECT_EQ(treeHit(*root, o, d, row, RayFaceIntersection_AnyFace), plain) << "x " << x;
        }
    }
}

TEST(BvhRay, CandidateLeavesAndLineSelection)
{
    Mesh mesh;
    mesh.addTriangle({0, 0, 0}, {1, 0, 0}, {1, 1, 0});
    mesh.addTriangle({0, 0, 0}, {1, 1, 0}, {0, 1, 0});
    mesh.addTriangle({5, 0, 0}, {6, 0, 0}, {6, 1, 0});
    mesh.addTriangle({5, 0, 0}, {6, 1, 0}, {5, 1, 0});
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 1));
    EXPECT_EQ(dynamic_cast<BvhNode*>(root.get()) != nullptr, true);
    struct Case {
        QVector3D origin, direction;
        QVector<bool> marks;
    };
    const Case cases[] = {
        {{0.5f, 0.5f, -1}, {0, 0, 1}, {true, true, false, false}},
        {{0.5f, 0.5f, -1}, {0, 0, -1}, {false, false, false, false}},
        {{5.5f, 0.5f, 1}, {0, 0, -1}, {false, false, true, true}},
    };
    for (const Case& c : cases) {
        QVector<bool> mask(4, false);
        root->markRayIntersectionCandidateFaces(c.origin, c.direction, mask);
        EXPECT_EQ(mask, c.marks);
    }
    // The line selection marks crossed faces in the leaves it reaches, behind the origin too.
    std::unique_ptr<BvhNodeBase> single(buildTree(mesh.vertices, mesh.triangles, 10));
    QVector<bool> mask(4, false);
    single->selectIntersectedTriangles(QVector3D(0.25f, 0.75f, 1), QVector3D(0, 0, 1), mesh.triangles, mesh.vertices,
                                       RayFaceIntersection_AnyFace, mask);
    EXPECT_EQ(mask, (QVector<bool>{false, true, false, false}));
    mask.fill(false);
    single->selectIntersectedTriangles(QVector3D(0.75f, 0.25f, 1), QVector3D(0, 0, -1), mesh.triangles, mesh.vertices,
                                       RayFaceIntersection_BackFace, mask);
    EXPECT_EQ(mask, QVector<bool>(4, false));  // the faces' normals point up: a front-face hit
}

TEST(BvhRay, LinearSearchAndMaskIndices)
{
    Mesh mesh;
    mesh.addTriangle({-1, -1, -2}, {0, 1, -2}, {1, -1, -2});
    mesh.addTriangle({-1, -1, -3}, {1, -1, -3}, {0, 1, -3});
    mesh.addTriangle({-1, -1, 1}, {1, -1, 1}, {0, 1, 1});
    double distance = 0;
    EXPECT_EQ(findFirstRayIntersectedTriangleLinear({1, 0, 2}, mesh.triangles, mesh.vertices, QVector3D(),
                                                    QVector3D(0, 0, -1), &distance),
              0);
    EXPECT_EQ(distance, 2.0);
    EXPECT_EQ(findFirstRayIntersectedTriangleLinear({2}, mesh.triangles, mesh.vertices, QVector3D(),
                                                    QVector3D(0, 0, -1), &distance),
              -1);
    EXPECT_EQ(distance, DBL_MAX);
    EXPECT_EQ(maskToIndexVector({false, true, true, false, true}), (QVector<int>{1, 2, 4}));
    double a = 1, b = 2;
    swapDoubles(a, b);
    EXPECT_EQ(a, 2);
    EXPECT_EQ(b, 1);
}

TEST(BvhSphere, BoxAndPointTests)
{
    const BoundingBox box(QVector3D(0, 0, 0), QVector3D(1, 1, 1));
    EXPECT_TRUE(sphereIntersectsAaBoundingBox(QVector3D(0.5f, 0.5f, 0.5f), 0.1, box));
    EXPECT_TRUE(sphereIntersectsAaBoundingBox(QVector3D(2, 0.5f, 0.5f), 1.0, box));  // touching
    EXPECT_FALSE(sphereIntersectsAaBoundingBox(QVector3D(2, 2, 0.5f), 1.4, box));
    EXPECT_TRUE(sphereIntersectsAaBoundingBox(QVector3D(2, 2, 0.5f), 1.5, box));
    EXPECT_TRUE(pointInsideSphere(QVector3D(3, 0, 0), QVector3D(0, 0, 0), 3.0));
    EXPECT_FALSE(pointInsideSphere(QVector3D(3, 0, 0.01f), QVector3D(0, 0, 0), 3.0));
}

TEST(BvhSphere, VerticesInsideAgreeWithBruteForce)
{
    const Mesh mesh = randomMesh(11, 20, 100);
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 4));
    std::mt19937 rng(12);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 200; ++i) {
        const QVector3D centre(unit(rng) * 22 - 1, unit(rng) * 22 - 1, unit(rng) * 4 - 2);
        const double radius = unit(rng) * 4.0;
        QMap<int, double> found;
        root->findVerticesInsideSphere(centre, radius, mesh.triangles, mesh.vertices, found);
        QMap<int, double> expected;
        for (int v = 0; v < mesh.vertices.size(); ++v)
            if ((mesh.vertices[v] - centre).length() <= radius)
                expected.insert(v, double((centre - mesh.vertices[v]).length()));
        ASSERT_EQ(found, expected) << "sphere " << i;
    }
    // A vertex exactly on the sphere counts; an entry made before the call keeps its value.
    Mesh one;
    one.addTriangle({3, 0, 0}, {10, 0, 0}, {10, 1, 0});
    std::unique_ptr<BvhNodeBase> small(buildTree(one.vertices, one.triangles, 1));
    QMap<int, double> found = {{1, -5.0}};
    small->findVerticesInsideSphere(QVector3D(0, 0, 0), 10.0, one.triangles, one.vertices, found);
    EXPECT_EQ(found, (QMap<int, double>{{0, 3.0}, {1, -5.0}}));
}

// Every first hit: the brute-force distance, and exactly the face, distance and
// barycentrics of the plain walk, for every mode, leaf size and limit.
TEST(BvhRay, AgreesWithBruteForceAndPlainWalk)
{
    const int gridSize = 24;
    for (uint32_t seed : {1u, 2u}) {
        const Mesh mesh = randomMesh(seed, gridSize, 200);
        const QVector<Ray> rays = randomRays(seed + 50, 1200, gridSize);
        for (int leafSize : {1, 4, 10}) {
            std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, leafSize));
            ASSERT_NE(dynamic_cast<BvhNode*>(root.get()), nullptr);
            for (const Ray& ray : rays) {
                for (RayFaceIntersection mode :
                     {RayFaceIntersection_AnyFace, RayFaceIntersection_FrontFace, RayFaceIntersection_BackFace}) {
                    for (double limit : {DBL_MAX, 3.0}) {
                        const Hit hit = treeHit(*root, ray.origin, ray.direction, mesh, mode, limit);
                        Hit plain;
                        plain.distance = limit;
                        plainFirstHit(root.get(), ray.origin, ray.direction, mesh, mode, plain);
                        ASSERT_EQ(hit, plain) << "leaf " << leafSize << " mode " << mode;
                        ASSERT_EQ(hit.distance, bruteForceDistance(ray.origin, ray.direction, mesh, mode, limit));
                        if (hit.face >= 0) {
                            const QList<int>& f = mesh.triangles[hit.face];
                            const QVector3D point = ray.origin + float(hit.distance) * ray.direction;
                            const QVector3D bary = float(1 - hit.u - hit.v) * mesh.vertices[f[0]] +
                                                   float(hit.u) * mesh.vertices[f[1]] +
                                                   float(hit.v) * mesh.vertices[f[2]];
                            ASSERT_LT((point - bary).length(), 1e-3);
                        }
                    }
                }
            }
        }
    }
}

TEST(BvhRay, SameAnswersFromEightThreads)
{
    const int gridSize = 40;
    const Mesh mesh = randomMesh(5, gridSize, 500);
    const QVector<Ray> rays = randomRays(6, 3000, gridSize);
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 10));
    QVector<Hit> expected;
    for (const Ray& ray : rays)
        expected.append(treeHit(*root, ray.origin, ray.direction, mesh, RayFaceIntersection_AnyFace));
    const Mesh shared = mesh;
    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (int i = 0; i < rays.size(); ++i)
                    if (!(treeHit(*root, rays[i].origin, rays[i].direction, shared, RayFaceIntersection_AnyFace) ==
                          expected[i]))
                        ++mismatches[size_t(t)];
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(mismatches[size_t(t)], 0) << "thread " << t;
    EXPECT_EQ(shared.vertices.constData(), mesh.vertices.constData());
    EXPECT_EQ(shared.triangles.constData(), mesh.triangles.constData());
}
