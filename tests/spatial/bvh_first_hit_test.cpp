// The root's first-hit query against the plain walk of the same tree (every
// box the ray meets, left before right, no skipping): same face, distance and
// barycentrics, ties included, on meshes built to produce ties (grids, shared
// edges and corners, duplicated faces), grazing rays, awkward rays and
// meshes, all three face modes, distance limits, and from eight threads.
// Also the build against a reference built from the public plane and box
// functions.
#include "spatial/BVH.h"

#include "BvhRayFixtures.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QDebug>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <random>
#include <thread>

using namespace BVH2;
using TestMeshes::Mesh;
using Viewport3D::BoundingBox;

namespace {

struct Ray {
    QVector3D origin, direction;
};

struct Hit {
    int face = -1;
    double distance = DBL_MAX;
    double u = -7.0, v = -7.0;
    // Bit for bit, so that a NaN the walk gives (an infinite direction) must be given too.
    bool operator==(const Hit& o) const
    {
        return face == o.face && same(distance, o.distance) && same(u, o.u) && same(v, o.v);
    }
    static bool same(double a, double b) { return std::memcmp(&a, &b, sizeof a) == 0; }
};

std::ostream& operator<<(std::ostream& os, const Hit& h)
{
    return os << "face " << h.face << " t " << h.distance << " u " << h.u << " v " << h.v;
}

std::ostream& operator<<(std::ostream& os, const Ray& r)
{
    return os << "ray (" << r.origin.x() << ", " << r.origin.y() << ", " << r.origin.z() << ") along ("
              << r.direction.x() << ", " << r.direction.y() << ", " << r.direction.z() << ")";
}

Hit rootQuery(const BvhNodeBase& root, const Ray& ray, const Mesh& mesh, RayFaceIntersection mode, double limit)
{
    return BvhRayFixtures::treeFirstHit<Hit>(root, ray.origin, ray.direction, mesh, mode, limit);
}

// Inner nodes by their box test and children in order; leaves by their own query.
Hit plainQuery(const BvhNodeBase& root, const Ray& ray, const Mesh& mesh, RayFaceIntersection mode, double limit)
{
    Hit hit;
    hit.distance = limit;
    BvhRayFixtures::plainFirstHit(&root, ray.origin, ray.direction, mesh, mode, hit);
    return hit;
}

const RayFaceIntersection allModes[] = {RayFaceIntersection_AnyFace, RayFaceIntersection_FrontFace,
                                        RayFaceIntersection_BackFace};

// Runs every ray in every mode under each limit; returns how many answers were hits.
int expectSameAsPlainWalk(const BvhNodeBase& root, const Mesh& mesh, const QVector<Ray>& rays,
                          const QVector<double>& limits, const std::string& what)
{
    int hits = 0;
    for (const Ray& ray : rays) {
        for (RayFaceIntersection mode : allModes) {
            for (double limit : limits) {
                const Hit expected = plainQuery(root, ray, mesh, mode, limit);
                const Hit got = rootQuery(root, ray, mesh, mode, limit);
                if (!(got == expected)) {
                    ADD_FAILURE() << what << ": " << ray << " mode " << mode << " limit " << limit << ": got " << got
                                  << ", walk gives " << expected;
                    return hits;
                }
                hits += got.face >= 0;
            }
        }
    }
    return hits;
}

// A height field over an integer grid with flat, grid-aligned stretches (exact
// ties on shared edges and corners), some faces listed twice (same corners,
// and the same corners turned the other way), and a soup of free triangles.
Mesh tieMesh(uint32_t seed, int gridSize, int soup)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    Mesh mesh;
    mesh.vertices = TestMeshes::gridPoints(gridSize + 1, gridSize + 1, [&](int x, int y) {
        return QVector3D(float(x), float(y), (y % 3 == 0) ? 1.0f : float(int(4 * unit(rng))) / 2);
    });
    for (int y = 0; y < gridSize; ++y) {
        for (int x = 0; x < gridSize; ++x) {
            const int a = y * (gridSize + 1) + x, b = a + 1, c = a + gridSize + 1, d = c + 1;
            mesh.triangles.append({a, b, d});
            mesh.triangles.append({a, d, c});
            if ((x + 2 * y) % 7 == 0)
                mesh.triangles.append({a, b, d});
            if ((x + y) % 11 == 0)
                mesh.triangles.append({a, c, d});
        }
    }
    TestMeshes::addTriangleSoup(mesh, soup, gridSize, rng, unit);
    return mesh;
}

// Rays that meet grid vertices and edges exactly, along the axes and the
// grid diagonals, from both sides, plus random ones.
QVector<Ray> tieRays(uint32_t seed, int count, int gridSize)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> cell(0, gridSize);
    QVector<Ray> rays;
    for (int i = 0; i < count; ++i) {
        const QVector3D onGrid(float(cell(rng)), float(cell(rng)) + (i % 8 == 0 ? 0.5f : 0.0f), 1.0f);
        Ray ray;
        switch (i % 6) {
            case 0:
                ray.direction = QVector3D(0, 0, i % 12 == 0 ? 1.0f : -1.0f);
                break;
            case 1:
                ray.direction = QVector3D(1, 1, -4);
                break;
            case 2:
                ray.direction = QVector3D(-1, 0, 2);
                break;
            case 3:  // along a row of the grid, in the plane of the flat stretches
                ray.direction = QVector3D(1, 0, 0);
                break;
            default:
                ray.direction = QVector3D(unit(rng) - 0.5f, unit(rng) - 0.5f, unit(rng) - 0.5f) * 10.0f;
                break;
        }
        ray.origin = onGrid - ray.direction * (1.0f + 4.0f * unit(rng));
        if (i % 6 == 3)
            ray.origin = QVector3D(-1.0f, float(cell(rng)), 1.0f);
        if (i % 6 > 3)
            ray.origin = QVector3D(unit(rng) * gridSize, unit(rng) * gridSize, 8.0f * unit(rng) - 4.0f);
        rays.append(ray);
    }
    return rays;
}

// Rays that skim a random face: through a point inside it, nearly in its
// plane (tilted out of it by `tilt`), from a little way off.
QVector<Ray> grazingRays(const Mesh& mesh, uint32_t seed, int count)
{
    std::mt19937 rng(seed);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    std::uniform_int_distribution<int> pick(0, mesh.triangles.size() - 1);
    const float tilts[] = {0.0f, 1e-7f, 1e-5f, 1e-3f, 3e-2f};
    QVector<Ray> rays;
    while (rays.size() < count) {
        const QList<int>& f = mesh.triangles[pick(rng)];
        const QVector3D p0 = mesh.vertices[f[0]], p1 = mesh.vertices[f[1]], p2 = mesh.vertices[f[2]];
        const QVector3D normal = QVector3D::crossProduct(p1 - p0, p2 - p0).normalized();
        if (normal.isNull())
            continue;
        float a = unit(rng), b = unit(rng);
        if (a + b > 1) {
            a = 1 - a;
            b = 1 - b;
        }
        const QVector3D inside = p0 + a * (p1 - p0) + b * (p2 - p0);
        const QVector3D along = rays.size() % 3 == 0 ? (p1 - p0).normalized() : (p2 - p1).normalized();
        const float tilt = tilts[rays.size() % 5];
        const QVector3D direction = (along + tilt * normal * (rays.size() % 2 ? 1.0f : -1.0f)).normalized();
        rays.append(Ray{inside - direction * (0.5f + 3.0f * unit(rng)), direction});
    }
    return rays;
}

}  // namespace

TEST(BvhFirstHit, TiesOnGridsAndDuplicatedFacesMatchThePlainWalk)
{
    const int gridSize = 20;
    for (uint32_t seed : {11u, 12u}) {
        const Mesh mesh = tieMesh(seed, gridSize, 150);
        const QVector<Ray> rays = tieRays(seed + 100, 700, gridSize);
        for (int leafSize : {1, 3, 10}) {
            std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, leafSize));
            ASSERT_NE(dynamic_cast<BvhNode*>(root.get()), nullptr);
            const int hits = expectSameAsPlainWalk(*root, mesh, rays, {DBL_MAX, 4.0, 1.0, 0.0, -1.0},
                                                   "leaf size " + std::to_string(leafSize));
            EXPECT_GT(hits, 1000);
        }
    }
}

TEST(BvhFirstHit, TiesBetweenLeavesAndWithinLeaves)
{
    // A row of unit squares hit from above at each shared corner and edge:
    // up to six faces at one distance, in different leaves or in one leaf.
    //   +---+---+---+ ...
    //   | / | / | / |
    //   +---+---+---+ ...
    Mesh row;
    for (int x = 0; x < 12; ++x) {
        row.addTriangle({float(x), 0, 0}, {float(x + 1), 0, 0}, {float(x + 1), 1, 0});
        row.addTriangle({float(x), 0, 0}, {float(x + 1), 1, 0}, {float(x), 1, 0});
    }
    QVector<Ray> rays;
    for (int x = 0; x <= 12; ++x)
        for (float y : {0.0f, 0.5f, 1.0f})
            for (const QVector3D& d : {QVector3D(0, 0, -1), QVector3D(0.25f, 0.5f, -1), QVector3D(-0.5f, 0.25f, -1)})
                rays.append(Ray{QVector3D(float(x), y, 0) - d, d});
    for (int leafSize : {1, 2, 4, 30}) {
        std::unique_ptr<BvhNodeBase> root(buildTree(row.vertices, row.triangles, leafSize));
        expectSameAsPlainWalk(*root, row, rays, {DBL_MAX, 1.0}, "row, leaf size " + std::to_string(leafSize));
    }
    // The same faces listed in other orders, one face twice: the tie goes by
    // the order of the walk, not by face index.
    QList<int> reversed, twice;
    for (int f = row.triangles.size() - 1; f >= 0; --f)
        reversed.append(f);
    twice = reversed;
    twice.append(5);
    twice.prepend(17);
    for (const QList<int>& list : {reversed, twice}) {
        std::unique_ptr<BvhNodeBase> root(buildTree(list, row.vertices, row.triangles, 2));
        expectSameAsPlainWalk(*root, row, rays, {DBL_MAX}, "listed faces");
    }
}

TEST(BvhFirstHit, GrazingRaysMatchThePlainWalk)
{
    Mesh mesh = tieMesh(21, 16, 300);
    // A fine, bumpy sphere: many small faces at every angle to the rays.
    std::mt19937 rng(22);
    std::uniform_real_distribution<float> jitter(-0.01f, 0.01f);
    const int rings = 40, segments = 80;
    const int first = mesh.vertices.size();
    for (int r = 0; r <= rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const double theta = M_PI * r / rings, phi = 2 * M_PI * s / segments;
            const float radius = 4.0f + jitter(rng);
            mesh.vertices.append(QVector3D(8, 8, 2) + radius * QVector3D(float(std::sin(theta) * std::cos(phi)),
                                                                         float(std::sin(theta) * std::sin(phi)),
                                                                         float(std::cos(theta))));
        }
    }
    for (int r = 0; r < rings; ++r) {
        for (int s = 0; s < segments; ++s) {
            const int a = first + r * segments + s, b = first + r * segments + (s + 1) % segments;
            mesh.triangles.append({a, b, a + segments});
            mesh.triangles.append({b, b + segments, a + segments});
        }
    }
    const QVector<Ray> rays = grazingRays(mesh, 23, 3000);
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 10));
    const int hits = expectSameAsPlainWalk(*root, mesh, rays, {DBL_MAX, 2.0}, "grazing");
    EXPECT_GT(hits, 3000);
}

TEST(BvhFirstHit, AwkwardRaysMatchThePlainWalk)
{
    const Mesh mesh = tieMesh(31, 12, 60);
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 10));
    const QVector<Ray> rays = {
        {QVector3D(3, 3, 1), QVector3D(0, 0, -1)},         // origin on the surface: t = 0
        {QVector3D(3.5f, 3, 1), QVector3D(0, 0, 1)},       // on a flat stretch, leaving it
        {QVector3D(6, 6, 1e9f), QVector3D(0, 0, -1)},      // origin far away
        {QVector3D(6, 6, 30), QVector3D(0, 0, -1e-20f)},   // tiny direction
        {QVector3D(6, 6, 30), QVector3D(0, 0, -1e20f)},    // huge direction
        {QVector3D(6, 6, 30), QVector3D(0, 0, 0)},         // no direction
        {QVector3D(6, 6, 30), QVector3D(1e-35f, 0, -1)},   // a component too small to invert
        {QVector3D(-3, 0, 1), QVector3D(1, 0, 0)},         // along the grid's edge line, in its plane
        {QVector3D(0, 0, 1), QVector3D(1, 1, 0)},          // along a diagonal in the flat plane
        {QVector3D(12, 12, 1), QVector3D(-1, -1, 0)},      // the same from the far corner
        {QVector3D(6, 6, NAN), QVector3D(0, 0, -1)},       // not a number
        {QVector3D(6, 6, 5), QVector3D(INFINITY, 0, -1)},  // infinite component
        {QVector3D(-1e30f, 6, 1), QVector3D(1, 0, 0)},     // origin at the edge of the float range
    };
    expectSameAsPlainWalk(*root, mesh, rays, {DBL_MAX, 29.0, 0.5}, "awkward rays");
}

TEST(BvhFirstHit, AwkwardMeshesMatchThePlainWalk)
{
    const QVector<Ray> rays = tieRays(41, 300, 8);
    // Quads (the ray test uses their first three corners, the boxes all four),
    // faces with fewer than three corners, degenerate faces.
    Mesh mixed = tieMesh(42, 8, 20);
    for (int y = 0; y < 8; ++y)
        mixed.triangles.append({y * 9, y * 9 + 1, y * 9 + 10, y * 9 + 9});
    mixed.triangles.append({3, 4});
    mixed.triangles.append(QList<int>{7});
    mixed.triangles.append({5, 5, 5});
    mixed.triangles.append({10, 11, 12});  // three corners on one line
    // A vertex that is not a number, in one face.
    Mesh withNan = tieMesh(43, 8, 20);
    withNan.vertices.append(QVector3D(NAN, 1, 1));
    withNan.triangles.append({0, 1, withNan.vertices.size() - 1});
    // Far from the coordinate origin, where float spacing is coarse.
    Mesh offset = tieMesh(44, 8, 20);
    for (QVector3D& p : offset.vertices)
        p += QVector3D(1e5f, -2e5f, 3e4f);
    QVector<Ray> offsetRays = rays;
    for (Ray& r : offsetRays)
        r.origin += QVector3D(1e5f, -2e5f, 3e4f);
    // All corners in one point, and everything in one plane.
    Mesh point, plane;
    for (int i = 0; i < 30; ++i)
        point.addTriangle({1, 1, 1}, {1, 1, 1}, {1, 1, 1});
    for (int i = 0; i < 40; ++i)
        plane.addTriangle({float(i % 8), float(i / 8), 1}, {float(i % 8 + 1), float(i / 8), 1},
                          {float(i % 8), float(i / 8 + 2), 1});

    struct Case {
        const char* name;
        const Mesh& mesh;
        const QVector<Ray>& rays;
    };
    const Case cases[] = {{"mixed faces", mixed, rays},
                          {"NaN vertex", withNan, rays},
                          {"offset", offset, offsetRays},
                          {"one point", point, rays},
                          {"one plane", plane, rays}};
    for (const Case& c : cases) {
        for (int leafSize : {1, 10}) {
            std::unique_ptr<BvhNodeBase> root(buildTree(c.mesh.vertices, c.mesh.triangles, leafSize));
            expectSameAsPlainWalk(*root, c.mesh, c.rays, {DBL_MAX, 2.5}, c.name);
        }
    }
}

TEST(BvhFirstHit, EightThreadsMatchThePlainWalk)
{
    const int gridSize = 30;
    const Mesh mesh = tieMesh(51, gridSize, 400);
    QVector<Ray> rays = tieRays(52, 1500, gridSize);
    rays += grazingRays(mesh, 53, 500);
    std::unique_ptr<BvhNodeBase> root(buildTree(mesh.vertices, mesh.triangles, 10));
    QVector<Hit> expected;
    for (const Ray& ray : rays)
        expected.append(plainQuery(*root, ray, mesh, RayFaceIntersection_AnyFace, DBL_MAX));
    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round)
                for (int i = (t * 97) % rays.size(), n = 0; n < rays.size(); ++n, i = (i + 1) % rays.size())
                    if (!(rootQuery(*root, rays[i], mesh, RayFaceIntersection_AnyFace, DBL_MAX) == expected[i]))
                        ++mismatches[size_t(t)];
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(mismatches[size_t(t)], 0) << "thread " << t;
}

namespace {

// The tree as the build defines it, from the public box and plane functions:
// one line per node with its box, in depth-first order.
void referenceBuild(const QList<int>& list, const Mesh& mesh, int leafSize, QStringList& out)
{
    if (list.isEmpty()) {
        out << "empty";
        return;
    }
    const BoundingBox box = computeBoundingBox(list, mesh.vertices, mesh.triangles);
    QString boxText;
    QDebug(&boxText) << box.origin << box.size;
    const auto leaf = [&] {
        QStringList numbers;
        for (int f : list)
            numbers << QString::number(f);
        out << "leaf " + numbers.join(',') + boxText;
    };
    if (list.size() <= leafSize)
        return leaf();
    const SplitAxis axis = SplitAxis(box.longestAxis());
    const float value = boundingBoxCenterAlongAxis(box, axis);
    QList<int> left, right, both;
    splitFacesByAxisAlignedPlane(axis, value, list, mesh.vertices, mesh.triangles, left, right, both);
    if (left.isEmpty() || right.isEmpty())
        return leaf();
    out << "node" + boxText;
    referenceBuild(left + both, mesh, leafSize, out);
    referenceBuild(right + both, mesh, leafSize, out);
}

void describe(const BvhNodeBase* node, QStringList& out)
{
    QString boxText;
    if (const BvhNode* inner = dynamic_cast<const BvhNode*>(node)) {
        QDebug(&boxText) << inner->boundingBox.origin << inner->boundingBox.size;
        out << "node" + boxText;
        describe(inner->childLeft, out);
        describe(inner->childRight, out);
    } else if (const BvhNodeLeaf* leaf = dynamic_cast<const BvhNodeLeaf*>(node)) {
        QDebug(&boxText) << leaf->boundingBox.origin << leaf->boundingBox.size;
        QStringList numbers;
        for (int f : leaf->faceIndices)
            numbers << QString::number(f);
        out << "leaf " + numbers.join(',') + boxText;
    } else {
        out << "empty";
    }
}

}  // namespace

TEST(BvhBuildFast, SameTreeAsTheDefinition)
{
    Mesh mixed = tieMesh(61, 10, 80);
    mixed.triangles.append({0, 1, 12, 11});
    mixed.triangles.append(QList<int>());  // no corners
    mixed.vertices.append(QVector3D(2, NAN, 1));
    mixed.triangles.append({3, 4, mixed.vertices.size() - 1});
    mixed.vertices.append(QVector3D(-0.0f, 0.0f, 1));  // signed zeros meet on the plane x = 0
    mixed.triangles.append({0, 11, mixed.vertices.size() - 1});
    for (const Mesh* mesh : {&mixed}) {
        for (int leafSize : {-1, 0, 1, 4, 10}) {
            for (bool allFaces : {true, false}) {
                QList<int> list;
                for (int f = 0; f < mesh->triangles.size(); ++f)
                    if (allFaces || f % 3 != 1)
                        list.append(f);
                if (!allFaces)
                    list.append(list.first());
                QStringList expected, got;
                referenceBuild(list, *mesh, leafSize, expected);
                std::unique_ptr<BvhNodeBase> root(buildTree(list, mesh->vertices, mesh->triangles, leafSize));
                describe(root.get(), got);
                EXPECT_EQ(got, expected) << "leaf size " << leafSize << (allFaces ? "" : ", listed");
            }
        }
    }
}
