// Face hierarchy built with its top levels on the thread pool against the same
// build on one thread: node for node the same tree (kinds, boxes to the bit,
// leaf lists in order), the same first-hit search structure (array for array)
// and the same first hits, on meshes large enough to split over the pool, with
// faces touching split planes, NaN corners and empty faces.
#include "spatial/BVH.h"
#include "spatial/BVHFirstHitSearch.h"

#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <QThreadPool>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>

using namespace BVH2;
using TestMeshes::Mesh;

namespace {

bool sameBits(const Viewport3D::BoundingBox& a, const Viewport3D::BoundingBox& b)
{
    const float pa[6] = {a.origin.x(), a.origin.y(), a.origin.z(), a.size.x(), a.size.y(), a.size.z()};
    const float pb[6] = {b.origin.x(), b.origin.y(), b.origin.z(), b.size.x(), b.size.y(), b.size.z()};
    return std::memcmp(pa, pb, sizeof pa) == 0;
}

// Walks both trees together; the counts report how much was compared.
::testing::AssertionResult sameTree(const BvhNodeBase* a, const BvhNodeBase* b, int& leaves, int& faces)
{
    if (auto* na = dynamic_cast<const BvhNode*>(a)) {
        auto* nb = dynamic_cast<const BvhNode*>(b);
        if (!nb)
            return ::testing::AssertionFailure() << "inner node against another kind";
        if (!sameBits(na->boundingBox, nb->boundingBox))
            return ::testing::AssertionFailure() << "inner boxes differ";
        ::testing::AssertionResult left = sameTree(na->childLeft, nb->childLeft, leaves, faces);
        if (!left)
            return left;
        return sameTree(na->childRight, nb->childRight, leaves, faces);
    }
    if (auto* la = dynamic_cast<const BvhNodeLeaf*>(a)) {
        auto* lb = dynamic_cast<const BvhNodeLeaf*>(b);
        if (!lb)
            return ::testing::AssertionFailure() << "leaf against another kind";
        if (!sameBits(la->boundingBox, lb->boundingBox))
            return ::testing::AssertionFailure() << "leaf boxes differ";
        if (la->faceIndices != lb->faceIndices)
            return ::testing::AssertionFailure() << "leaf faces differ";
        ++leaves;
        faces += la->faceIndices.size();
        return ::testing::AssertionSuccess();
    }
    if (dynamic_cast<const BvhNodeEmpty*>(a) && dynamic_cast<const BvhNodeEmpty*>(b))
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "node kinds differ";
}

// A height field of quads split into triangles on an integer grid (many faces
// touch the split planes), then a cloud of random triangles inside the same box.
Mesh gridAndSoup(int side, int soup, unsigned seed)
{
    Mesh mesh;
    mesh.vertices = TestMeshes::gridPoints(
        side + 1, side + 1, [](int i, int j) { return QVector3D(i, j, float(std::sin(i * 0.3) * std::cos(j * 0.2))); });
    mesh.triangles = TestMeshes::gridFaces(side + 1, side + 1, TestMeshes::Cut::AlongAC);
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> coordinate(0.0f, float(side));
    std::uniform_real_distribution<float> offset(-1.0f, 1.0f);
    for (int t = 0; t < soup; ++t) {
        const QVector3D centre(coordinate(random), coordinate(random), offset(random));
        const int first = mesh.vertices.size();
        for (int k = 0; k < 3; ++k)
            mesh.vertices.append(centre + QVector3D(offset(random), offset(random), offset(random)));
        mesh.triangles.append({first, first + 1, first + 2});
    }
    return mesh;
}

QList<int> allFaces(int n)
{
    QList<int> list;
    for (int f = 0; f < n; ++f)
        list.append(f);
    return list;
}

}  // namespace

TEST(BvhParallelBuild, SameTreeAsTheOneThreadBuild)
{
    Mesh mesh = gridAndSoup(160, 20000, 7);  // 71,200 faces
    // Faces the build takes vertex by vertex: NaN corners, and no corners at all.
    const float nan = std::numeric_limits<float>::quiet_NaN();
    mesh.vertices.append(QVector3D(nan, 3, 0));
    mesh.triangles.append({0, 1, mesh.vertices.size() - 1});
    mesh.triangles.append(QList<int>());
    const int n = mesh.triangles.size();

    struct Case {
        const char* name;
        QList<int> faces;
        int leafSize;
    };
    QList<int> everyThird;
    for (int f = 0; f < n; f += 3)
        everyThird.append(f);
    QList<int> reversed = allFaces(n);
    std::reverse(reversed.begin(), reversed.end());
    const int finiteFaces = n - 2;  // without the NaN corner and the empty face
    const Case cases[] = {{"all faces, leaf size 10", allFaces(n), 10},
                          {"faces with finite corners, leaf size 10", allFaces(finiteFaces), 10},
                          {"all faces, leaf size 1", allFaces(n), 1},
                          {"all faces in reverse, leaf size 4", reversed, 4},
                          {"every third face, leaf size 10", everyThird, 10},
                          {"few faces (no task)", allFaces(500), 10}};
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        std::unique_ptr<BvhNodeBase> plain(buildTreeOnOneThread(c.faces, mesh.vertices, mesh.triangles, c.leafSize));
        std::unique_ptr<BvhNodeBase> pooled(buildTree(c.faces, mesh.vertices, mesh.triangles, c.leafSize));
        int leaves = 0, faces = 0;
        EXPECT_TRUE(sameTree(plain.get(), pooled.get(), leaves, faces));
        EXPECT_GE(faces, c.faces.size()) << "every listed face stands in some leaf";
        EXPECT_GT(leaves, 1);

        // The search is made only over finite corners; where it exists the
        // pooled build made the same arrays.
        const FirstHitSearch* plainSearch = dynamic_cast<const BvhNode&>(*plain).firstHitSearch();
        const FirstHitSearch* pooledSearch = dynamic_cast<const BvhNode&>(*pooled).firstHitSearch();
        const bool finite = std::all_of(c.faces.begin(), c.faces.end(), [&](int f) { return f < finiteFaces; });
        ASSERT_EQ(plainSearch != nullptr, finite);
        ASSERT_EQ(pooledSearch != nullptr, finite);
        if (finite) {
            EXPECT_TRUE(plainSearch->identicalTo(*pooledSearch));
        }

        // The first-hit search made for each root answers alike.
        std::mt19937 random(11);
        std::uniform_real_distribution<float> coordinate(-5.0f, 165.0f);
        for (int r = 0; r < 300; ++r) {
            const QVector3D origin(coordinate(random), coordinate(random), 20.0f);
            const QVector3D direction = (QVector3D(coordinate(random), coordinate(random), 0.0f) - origin).normalized();
            int faceA = -1, faceB = -1;
            double tA = std::numeric_limits<double>::max(), tB = tA, uA = 0, uB = 0, vA = 0, vB = 0;
            plain->findFirstRayIntersectedTriangle(origin, direction, mesh.triangles, mesh.vertices,
                                                   RayFaceIntersection_AnyFace, faceA, tA, &uA, &vA);
            pooled->findFirstRayIntersectedTriangle(origin, direction, mesh.triangles, mesh.vertices,
                                                    RayFaceIntersection_AnyFace, faceB, tB, &uB, &vB);
            ASSERT_EQ(faceA, faceB) << r;
            ASSERT_EQ(tA, tB) << r;
            ASSERT_EQ(uA, uB) << r;
            ASSERT_EQ(vA, vB) << r;
        }
    }

    // The comparison sees a difference: other leaves give other first copies.
    std::unique_ptr<BvhNodeBase> leafSize10(buildTree(allFaces(finiteFaces), mesh.vertices, mesh.triangles, 10));
    std::unique_ptr<BvhNodeBase> leafSize1(buildTree(allFaces(finiteFaces), mesh.vertices, mesh.triangles, 1));
    EXPECT_FALSE(dynamic_cast<const BvhNode&>(*leafSize10)
                     .firstHitSearch()
                     ->identicalTo(*dynamic_cast<const BvhNode&>(*leafSize1).firstHitSearch()));
}

TEST(BvhParallelBuild, SameTreeWhenThePoolIsBusyOrCalledFromIt)
{
    const Mesh mesh = gridAndSoup(120, 0, 3);  // 28,800 faces
    std::unique_ptr<BvhNodeBase> plain(
        buildTreeOnOneThread(allFaces(mesh.triangles.size()), mesh.vertices, mesh.triangles, 10));

    // Builds started from the pool itself, more of them than it has threads:
    // their waits take over tasks not yet started instead of blocking.
    const int builds = QThreadPool::globalInstance()->maxThreadCount() + 2;
    QVector<BvhNodeBase*> roots(builds, nullptr);
    for (int i = 0; i < builds; ++i)
        QThreadPool::globalInstance()->start(
            [&roots, &mesh, i] { roots[i] = buildTree(mesh.vertices, mesh.triangles, 10); });
    ASSERT_TRUE(QThreadPool::globalInstance()->waitForDone(120000));
    const FirstHitSearch* plainSearch = dynamic_cast<const BvhNode&>(*plain).firstHitSearch();
    ASSERT_NE(plainSearch, nullptr);
    for (int i = 0; i < builds; ++i) {
        int leaves = 0, faces = 0;
        EXPECT_TRUE(sameTree(plain.get(), roots[i], leaves, faces)) << i;
        const FirstHitSearch* search = dynamic_cast<const BvhNode&>(*roots[i]).firstHitSearch();
        EXPECT_TRUE(search && search->identicalTo(*plainSearch)) << i;
        delete roots[i];
    }
}
