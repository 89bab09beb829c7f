// Sculpting brushes against flat targets: the vertex search and weights, the
// target hit along the normal (limit, forward tie, miss), each brush's
// formula on a vertex at the centre and one exactly on the sphere, and the
// plain base brush, which moves nothing.
#include "editing/Octree/Octree.h"
#include "editing/Sculpting/Brush.h"
#include "editing/Sculpting/BrushTools.h"
#include "mesh/GeomStack.h"
#include "spatial/BVH.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <memory>

using namespace Sculpting;

namespace {

// Horizontal squares of side 20 around the z axis, one per height, as the target.
struct Target {
    explicit Target(const QList<float>& heights)
    {
        for (float z : heights) {
            const int first = mesh.vertices.size();
            mesh.vertices << QVector3D(-10, -10, z) << QVector3D(10, -10, z) << QVector3D(10, 10, z)
                          << QVector3D(-10, 10, z);
            mesh.triangles.append({first, first + 1, first + 2});
            mesh.triangles.append({first, first + 2, first + 3});
        }
        bvh.reset(BVH2::buildTree(mesh.vertices, mesh.triangles, 10));
    }
    GeometryStack::GeomStack mesh;
    std::unique_ptr<BVH2::BvhNodeBase> bvh;
};

// Template: A at the brush centre, B exactly on the sphere of radius 2, C
// outside; one triangle (A, B, C) 1 above the plane z = 0, normals up.
struct Template {
    Template()
    {
        vertices = {{0, 0, 1}, {2, 0, 1}, {0, 3, 1}};
        normals = {{0, 0, 1}, {0, 0, 1}, {0, 0, 1}};
        triangles = {{0, 1, 2}};
        neighbours = {{1, 2, 1}, {2, 0}, {0, 1}};
        rebuildOctree();
    }
    void rebuildOctree() { octree = std::make_unique<Octree::Tree>(QVector3D(0, 0, 0), 40.0, vertices, triangles, 3); }

    QVector<QVector3D> vertices, normals;
    QVector<QList<int>> triangles, neighbours;
    std::unique_ptr<Octree::Tree> octree;
    QVector<bool> protection = QVector<bool>(3, false);
};

const QVector3D kCentre(0, 0, 1);
const double kRadius = 2;

enum Kind { Move, Relax, Projection, PushAway };

std::unique_ptr<Brush> makeBrush(Kind kind, Template& t, Target& target)
{
    switch (kind) {
        case Move:
            return std::make_unique<BrushMove>(&t.triangles, &target.mesh, &target.mesh.triangles, target.bvh.get());
        case Relax:
            return std::make_unique<BrushRelax>(&t.triangles, &t.neighbours, &target.mesh, &target.mesh.triangles,
                                                target.bvh.get());
        case Projection:
            return std::make_unique<BrushProjection>(&t.triangles, &target.mesh, &target.mesh.triangles,
                                                     target.bvh.get());
        case PushAway:
            return std::make_unique<BrushPushAway>(&t.triangles, &target.mesh, &target.mesh.triangles,
                                                   target.bvh.get());
    }
    return nullptr;
}

bool allFinite(const QMap<int, QVector3D>& result)
{
    for (const QVector3D& p : result)
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z()))
            return false;
    return true;
}

}  // namespace

TEST(SculptingBrushesTest, VerticesUnderTheSphereAndTheirWeights)
{
    Template t;
    t.vertices << QVector3D(1, 1, 1) << QVector3D(5, 5, 5);
    t.triangles.append({0, 3, 1});  // only inside vertices, A again
    t.triangles.append({2, 4, 2});  // nothing inside
    QList<int> touched = {99};
    const QList<int> found = collectVerticesInRadius(kCentre, kRadius, {0, 1, 2}, t.vertices, t.triangles, touched);
    EXPECT_EQ(found, QList<int>({0, 1, 3})) << "B on the sphere counts; each vertex once";
    EXPECT_EQ(touched, QList<int>({99, 0, 1})) << "appended, each touched triangle once";

    EXPECT_DOUBLE_EQ(falloffWeight(kCentre, kCentre, kRadius), 1.0);
    EXPECT_NEAR(falloffWeight({1, 0, 1}, kCentre, kRadius), 0.5, 1e-12);
    EXPECT_NEAR(falloffWeight({2, 0, 1}, kCentre, kRadius), 0.0, 1e-12);
    EXPECT_EQ(computeWeights({1, 0}, t.vertices, kCentre, kRadius).size(), 2);
    EXPECT_TRUE(isInsideSphere(kCentre, kRadius, {2, 0, 1}));
    EXPECT_FALSE(isInsideSphere(kCentre, kRadius, {2.0001f, 0, 1}));

    EXPECT_EQ(openFan({4, 5, 6, 4}), QList<int>({4, 5, 6}));
    EXPECT_EQ(openFan({4, 5, 6}), QList<int>({4, 5, 6}));
    const QVector<QVector3D> points = {{0, 0, 0}, {3, 0, 0}, {0, 3, 0}};
    EXPECT_EQ(neighboursMean(openFan({0, 1, 2, 0}), points), QVector3D(1, 1, 0)) << "closed fan, each once";
    EXPECT_EQ(neighboursMean(openFan({0, 1, 2}), points), QVector3D(1, 1, 0));
}

TEST(SculptingBrushesTest, APlainBrushMovesAndTouchesNothing)
{
    Template t;
    Target target({0});
    const Brush plain(&t.triangles, &target.mesh, &target.mesh.triangles, target.bvh.get());
    QList<int> touched = {7};
    EXPECT_TRUE(plain
                    .apply(kCentre, kCentre + QVector3D(0.5f, 0, 0), t.vertices, t.normals, t.octree.get(),
                           t.protection, kRadius, 1, 5, touched)
                    .isEmpty());
    EXPECT_EQ(touched, QList<int>({7})) << "although A and B lie under the sphere";
}

TEST(SculptingBrushesTest, TargetHitAlongTheNormalTakesTheNearerSideWithinTheLimit)
{
    struct Case {
        const char* name;
        QList<float> planes;
        QVector3D point, normal;
        double limit;
        bool hit;
        QVector3D expected;
        QVector3D projected;  // without a limit; the point itself on a miss
    };
    const QList<Case> cases = {
        {"behind", {0}, {1, 1, 1}, {0, 0, 1}, 5, true, {1, 1, 0}, {1, 1, 0}},
        {"ahead", {0}, {1, 1, -2}, {0, 0, 1}, 5, true, {1, 1, 0}, {1, 1, 0}},
        {"exactly at the limit", {0}, {1, 1, 1}, {0, 0, 1}, 1, true, {1, 1, 0}, {1, 1, 0}},
        {"beyond the limit", {0}, {1, 1, 1}, {0, 0, 1}, 0.999, false, {}, {1, 1, 0}},
        {"forward wins a tie", {0, 2}, {1, 1, 1}, {0, 0, 1}, 5, true, {1, 1, 2}, {1, 1, 2}},
        {"nearer of two", {0, 4}, {1, 1, 1}, {0, 0, 1}, 5, true, {1, 1, 0}, {1, 1, 0}},
        {"nearer beyond the limit: no hit", {0, 4}, {1, 1, 2.5f}, {0, 0, 1}, 1, false, {}, {1, 1, 4}},
        {"normal line misses", {0}, {1, 1, 1}, {1, 0, 0}, 5, false, {}, {1, 1, 1}},
        {"off the target", {0}, {30, 1, 1}, {0, 0, 1}, 5, false, {}, {30, 1, 1}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Target target(c.planes);
        int face = -1;
        double u = -1, v = -1;
        QVector3D hit(7, 7, 7);
        const bool found = findTargetHitAlongNormal(c.point, c.normal, &target.mesh, &target.mesh.triangles,
                                                    target.bvh.get(), c.limit, face, u, v, hit);
        EXPECT_EQ(found, c.hit);
        if (found) {
            EXPECT_EQ(hit, c.expected);
            EXPECT_GE(face, 0);
            EXPECT_TRUE(u >= 0 && v >= 0 && u + v <= 1);
        }
        EXPECT_EQ(projectOntoTarget(c.point, c.normal, &target.mesh, &target.mesh.triangles, target.bvh.get()),
                  c.projected);
    }
}

TEST(SculptingBrushesTest, EachBrushFollowsItsFormulaOverAPlaneTarget)
{
    // A at the centre (weight 1), B on the sphere (weight 0), C outside; the
    // plane z = 0 lies 1 below the template along -normal.
    const QVector3D shift(0.5f, 0, 0);
    struct Case {
        const char* name;
        Kind kind;
        QVector3D newCentre;
        double intensity, maxDistance;
        QMap<int, QVector3D> expected;
    };
    const QList<Case> cases = {
        {"move, snapped", Move, kCentre + shift, 1, 1.5, {{0, {0.5f, 0, 0}}, {1, {2, 0, 0}}}},
        {"move, hit exactly at D", Move, kCentre + shift, 1, 1, {{0, {0.5f, 0, 0}}, {1, {2, 0, 0}}}},
        {"move, target beyond D", Move, kCentre + shift, 1, 0.5, {{0, {0.5f, 0, 1}}, {1, {2, 0, 1}}}},
        {"move, no movement still snaps", Move, kCentre, 1, 1.5, {{0, {0, 0, 0}}, {1, {2, 0, 0}}}},
        {"move, intensity 0 still snaps", Move, kCentre + shift, 0, 1.5, {{0, {0, 0, 0}}, {1, {2, 0, 0}}}},
        {"relax toward the open-fan mean, snapped", Relax, kCentre, 1, 1.5, {{0, {1, 1.5f, 0}}, {1, {2, 0, 0}}}},
        {"relax, target beyond D", Relax, kCentre, 0.5, 0.5, {{0, {0.5f, 0.75f, 1}}, {1, {2, 0, 1}}}},
        {"projection", Projection, kCentre, 1, 1.5, {{0, {0, 0, 0}}, {1, {2, 0, 1}}}},
        {"projection, half intensity, hit at D", Projection, kCentre, 0.5, 1, {{0, {0, 0, 0.5f}}, {1, {2, 0, 1}}}},
        {"projection, target beyond D", Projection, kCentre, 1, 0.5, {}},
        {"push away", PushAway, kCentre, 1, 1.5, {{0, {0, 0, 1.5f}}, {1, {2, 0, 1}}}},
        {"push away, half intensity", PushAway, kCentre, 0.5, 3, {{0, {0, 0, 2}}, {1, {2, 0, 1}}}},
        {"push away, hit at D", PushAway, kCentre, 1, 1, {{0, {0, 0, 1}}, {1, {2, 0, 1}}}},
        {"push away, target beyond D", PushAway, kCentre, 1, 0.5, {}},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Template t;
        Target target({0});
        const auto brush = makeBrush(c.kind, t, target);
        QList<int> touched;
        const QMap<int, QVector3D> result = brush->apply(kCentre, c.newCentre, t.vertices, t.normals, t.octree.get(),
                                                         t.protection, kRadius, c.intensity, c.maxDistance, touched);
        EXPECT_EQ(result, c.expected);
        EXPECT_EQ(touched, QList<int>({0}));
        EXPECT_TRUE(allFinite(result));
    }
}

TEST(SculptingBrushesTest, ProtectionMissesAndEmptyNeighbourhoodsMoveNothingAndMakeNoNaN)
{
    for (Kind kind : {Move, Relax, Projection, PushAway}) {
        SCOPED_TRACE(int(kind));
        Target target({0});
        {
            Template t;
            t.protection[0] = true;
            QList<int> touched;
            const auto result = makeBrush(kind, t, target)
                                    ->apply(kCentre, kCentre, t.vertices, t.normals, t.octree.get(), t.protection,
                                            kRadius, 1, 5, touched);
            EXPECT_FALSE(result.contains(0)) << "protected";
            EXPECT_EQ(touched, QList<int>({0})) << "its triangle is still touched";
        }
        {
            Template t;
            QList<int> touched;
            const auto result = makeBrush(kind, t, target)
                                    ->apply({50, 50, 50}, {51, 50, 50}, t.vertices, t.normals, t.octree.get(),
                                            t.protection, kRadius, 1, 5, touched);
            EXPECT_TRUE(result.isEmpty()) << "far from the template";
            EXPECT_TRUE(touched.isEmpty());
        }
        {
            // Normals parallel to the plane: the normal line misses the target.
            Template t;
            t.normals.fill(QVector3D(1, 0, 0));
            QList<int> touched;
            const auto result = makeBrush(kind, t, target)
                                    ->apply(kCentre, kCentre, t.vertices, t.normals, t.octree.get(), t.protection,
                                            kRadius, 1, 5, touched);
            QMap<int, QVector3D> expected;
            if (kind == Move || kind == Projection)
                expected = {{0, t.vertices[0]}, {1, t.vertices[1]}};
            if (kind == Relax)
                expected = {{0, {1, 1.5f, 1}}, {1, t.vertices[1]}};
            EXPECT_EQ(result, expected);
        }
        {
            // A vertex without neighbours (and single-entry fans).
            Template t;
            t.neighbours = {{}, {1}, {0}};
            QList<int> touched;
            const auto result = makeBrush(kind, t, target)
                                    ->apply(kCentre, kCentre, t.vertices, t.normals, t.octree.get(), t.protection,
                                            kRadius, 1, 5, touched);
            EXPECT_TRUE(allFinite(result));
            if (kind == Relax) {
                EXPECT_FALSE(result.contains(0)) << "stays where it is";
                EXPECT_FALSE(result.contains(1)) << "a fan [b] is a closed fan of nothing";
            }
        }
    }
}
