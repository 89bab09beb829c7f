// Random geodesic subsampling: flag queries, how draws become choices (found by seeding the
// generator so that its first draw is a chosen value), the partition of the candidates, nesting of
// levels, reproducibility, and agreement with the plain per-pass scans.
#include "spatial/Decimation.h"

#include "numerics/Random.h"
#include "spatial/FastMarching.h"
#include "support/BodyMeshes.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <random>

using namespace Decimation;

namespace {

HE::HalfEdgeGeom meshOf(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces)
{
    return HE::HalfEdgeGeom(vertices, faces);
}

// A seed whose first draw is `draw`, and whose second is not `avoidSecond`.
unsigned seedForFirstDraw(int draw, int avoidSecond = -1)
{
    for (unsigned seed = 1;; ++seed) {
        Random::seed(seed);
        if (Random::draw() == draw && Random::draw() != avoidSecond)
            return seed;
    }
}

// Draws that the call took: the generator is seeded, the call runs, and the draws that follow are
// found in the seed's sequence.
template <typename Call>
int drawsTaken(unsigned seed, Call call)
{
    Random::seed(seed);
    call();
    QList<int> following;
    for (int i = 0; i < 6; ++i)
        following.append(Random::draw());
    Random::seed(seed);
    QList<int> sequence;
    for (int i = 0; i < 100000; ++i)
        sequence.append(Random::draw());
    for (int taken = 0; taken + following.size() <= sequence.size(); ++taken)
        if (sequence.mid(taken, following.size()) == following)
            return taken;
    return -1;
}

QList<int> range(int n)
{
    QList<int> result;
    for (int i = 0; i < n; ++i)
        result.append(i);
    return result;
}

// Every position 0..n-1 in exactly one list, and the first entries are the samples.
void expectPartition(const QList<int>& samples, const QList<QList<int>>& lists, int n)
{
    ASSERT_EQ(samples.size(), lists.size());
    QVector<int> seen(n, 0);
    for (int i = 0; i < lists.size(); ++i) {
        ASSERT_FALSE(lists[i].isEmpty());
        EXPECT_EQ(lists[i].first(), samples[i]);
        for (int position : lists[i]) {
            ASSERT_GE(position, 0);
            ASSERT_LT(position, n);
            ++seen[position];
        }
    }
    EXPECT_EQ(seen, QVector<int>(n, 1));
}

// The sampling loop with the plain per-pass scans of the flags.
QList<int> plainSubsample(const HE::HalfEdgeGeom& mesh, double radius, const QList<int>& candidates,
                          QList<QList<int>>* lists)
{
    lists->clear();
    QList<int> samples;
    const int n = candidates.size();
    QVector<bool> enabled(n, true);
    QVector<int> map(mesh.vertexHalfEdges.size(), -1);
    for (int i = 0; i < n; ++i)
        map[candidates[i]] = i;
    int count = n;
    while (count > 0) {
        const int r = int(Random::draw() / 32767.0 * (count - 1));
        const int g = findNthElementWithSpecificValue(r, enabled, true);
        samples.append(g);
        enabled[g] = false;
        QList<int> list = {g};
        for (int v : FastMarching::findVerticesInRadius(candidates[g], mesh, radius)) {
            const int p = map[v];
            if (p != -1 && enabled[p]) {
                enabled[p] = false;
                list.append(p);
            }
        }
        lists->append(list);
        count = countElementsWithSpecificValue(enabled, true);
    }
    return samples;
}

// side x side grid jittered by up to 0.3 in every direction, cells cut along a random diagonal.
HE::HalfEdgeGeom jitteredGrid(int side, unsigned seed)
{
    std::uniform_real_distribution<float> jitter(-0.3f, 0.3f);
    const TestMeshes::Mesh grid = TestMeshes::jitteredGrid(side, seed, [&](int x, int y, std::mt19937& random) {
        return QVector3D(x + jitter(random), y + jitter(random), jitter(random));
    });
    return meshOf(grid.vertices, grid.triangles);
}

//   3-----------2
//   |        /  |
//   |    /      |
//   0-----------1      3 x 1
const QVector<QVector3D> rectangle = {{0, 0, 0}, {3, 0, 0}, {3, 1, 0}, {0, 1, 0}};
const QVector<QList<int>> rectangleFaces = {{0, 1, 2}, {2, 3, 0}};

}  // namespace

TEST(DecimationFlags, FindNthAndCount)
{
    const QVector<bool> mixed = {false, true, true, false};
    const struct {
        QVector<bool> elements;
        int n;
        bool value;
        int expected;
    } cases[] = {
        {mixed, 0, true, 1},  {mixed, 1, false, 3},   {mixed, 2, true, -1}, {mixed, -1, true, -1},
        {{true}, 0, true, 0}, {{true}, 0, false, -1}, {{}, 0, true, -1},
    };
    for (const auto& c : cases)
        EXPECT_EQ(findNthElementWithSpecificValue(c.n, c.elements, c.value), c.expected) << c.n;
    EXPECT_EQ(countElementsWithSpecificValue(mixed, true), 2);
    EXPECT_EQ(countElementsWithSpecificValue(mixed, false), 2);
    EXPECT_EQ(countElementsWithSpecificValue({}, true), 0);
}

TEST(DecimationFlags, RemoveAtIndices)
{
    QList<int> numbers = {10, 11, 12, 13, 14};
    removeAtIndices({0, 2, 4, 9, -1}, numbers);
    EXPECT_EQ(numbers, (QList<int>{11, 13}));
    QList<QVector3D> points = {{0, 0, 0}, {1, 0, 0}, {2, 0, 0}};
    removeAtIndices({1}, points);
    EXPECT_EQ(points, (QList<QVector3D>{{0, 0, 0}, {2, 0, 0}}));
    // From the last listed position to the first: descending positions shift the later ones.
    QList<int> shifted = {10, 11, 12, 13};
    removeAtIndices({2, 0}, shifted);
    EXPECT_EQ(shifted, (QList<int>{11, 12}));
}

TEST(DecimationGeodesic, DrawsPickTheirShareOfThreeCandidates)
{
    // Radius 0: every candidate is a sample, so the first sample shows the first draw's choice.
    const HE::HalfEdgeGeom mesh = meshOf(rectangle, rectangleFaces);
    const QList<int> candidates = {0, 1, 2};
    const struct {
        int draw;
        int first;
    } cases[] = {{0, 0}, {16383, 0}, {16384, 1}, {32766, 1}, {32767, 2}};
    for (const auto& c : cases) {
        Random::seed(seedForFirstDraw(c.draw));
        QList<QList<int>> lists;
        const QList<int> samples = subsampleNodesGeodesic(mesh, 0.0, candidates, &lists);
        ASSERT_EQ(samples.size(), 3);
        EXPECT_EQ(samples.first(), c.first) << c.draw;
    }
}

TEST(DecimationGeodesic, SingleAndNoCandidates)
{
    const HE::HalfEdgeGeom mesh = meshOf(rectangle, rectangleFaces);
    for (int draw : {0, 32767}) {
        const unsigned seed = seedForFirstDraw(draw);
        QList<QList<int>> lists = {{7}};
        QList<int> samples;
        EXPECT_EQ(drawsTaken(seed, [&] { samples = subsampleNodesGeodesic(mesh, 10.0, {2}, &lists); }), 1);
        EXPECT_EQ(samples, (QList<int>{0}));
        EXPECT_EQ(lists, (QList<QList<int>>{{0}}));
    }
    QList<QList<int>> lists = {{7}};
    EXPECT_EQ(drawsTaken(5, [&] { EXPECT_TRUE(subsampleNodesGeodesic(mesh, 1.0, {}, &lists).isEmpty()); }), 0);
    EXPECT_TRUE(lists.isEmpty());
}

TEST(DecimationGeodesic, NoRadiusMakesEveryCandidateASample)
{
    const HE::HalfEdgeGeom mesh = jitteredGrid(6, 1);
    const QList<int> candidates = range(36);
    for (double radius : {0.0, -1.0}) {
        QList<QList<int>> lists;
        QList<int> samples;
        EXPECT_EQ(drawsTaken(9, [&] { samples = subsampleNodesGeodesic(mesh, radius, candidates, &lists); }), 36);
        expectPartition(samples, lists, 36);
        for (const QList<int>& list : lists)
            EXPECT_EQ(list.size(), 1);
    }
}

TEST(DecimationGeodesic, TwoSeparateTriangles)
{
    const HE::HalfEdgeGeom mesh =
        meshOf({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {3, 0, 0}, {5, 0, 0}, {4, 1, 0}}, {{0, 1, 2}, {3, 4, 5}});
    const QList<int> candidates = {3, 1, 2};
    const struct {
        unsigned seed;
        QList<QList<int>> lists;
    } cases[] = {
        {seedForFirstDraw(32767), {{2, 1}, {0}}},  // position 2 drawn as the last of three
        {seedForFirstDraw(20000), {{1, 2}, {0}}},
        {seedForFirstDraw(0, 32767), {{0}, {1, 2}}},  // then position 1 of the remaining two
    };
    for (const auto& c : cases) {
        Random::seed(c.seed);
        QList<QList<int>> lists;
        QList<int> samples;
        EXPECT_EQ(drawsTaken(c.seed, [&] { samples = subsampleNodesGeodesic(mesh, 3.0, candidates, &lists); }), 2);
        EXPECT_EQ(lists, c.lists) << c.seed;
        expectPartition(samples, lists, 3);
    }
}

TEST(DecimationGeodesic, VertexListedTwiceIsAbsorbedOnlyThroughItsLastPosition)
{
    // Vertex 0 at positions 0 and 2; vertex 3 lies 1 away from it.
    const HE::HalfEdgeGeom mesh = meshOf(rectangle, rectangleFaces);
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Random::seed(seed);
        QList<QList<int>> lists;
        const QList<int> samples = subsampleNodesGeodesic(mesh, 1.0, {0, 3, 0}, &lists);
        expectPartition(samples, lists, 3);
        EXPECT_TRUE(samples.contains(0)) << seed;
    }
}

TEST(DecimationGeodesic, LevelsNestOnRectangle)
{
    const HE::HalfEdgeGeom mesh = meshOf(rectangle, rectangleFaces);
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Random::seed(seed);
        const QList<int> vertices = range(4);
        QList<QList<int>> fine;
        const QList<int> fineSamples = subsampleNodesGeodesic(mesh, 1.0, vertices, &fine);
        ASSERT_EQ(fineSamples.size(), 2);
        expectPartition(fineSamples, fine, 4);
        for (const QList<int>& list : fine) {
            ASSERT_EQ(list.size(), 2);
            EXPECT_FLOAT_EQ((rectangle[list[0]] - rectangle[list[1]]).length(), 1.0f);
        }
        const QList<int> coarseCandidates = {vertices[fineSamples[0]], vertices[fineSamples[1]]};
        QList<QList<int>> coarse;
        const QList<int> coarseSamples = subsampleNodesGeodesic(mesh, 4.0, coarseCandidates, &coarse);
        ASSERT_EQ(coarseSamples.size(), 1);
        expectPartition(coarseSamples, coarse, 2);

        QList<QList<int>> byVertex;
        const QList<int> fineVertices = uniformSubsampleGeodesic(mesh, 1.0, &byVertex, {});
        EXPECT_EQ(fineVertices.size(), 2);
        EXPECT_EQ(uniformSubsampleGeodesic(mesh, 4.0, &byVertex, fineVertices).size(), 1);
        EXPECT_EQ(byVertex.size(), 1);
    }
}

TEST(DecimationGeodesic, SampleCountsOnStripDoNotDependOnDraws)
{
    const HE::HalfEdgeGeom mesh =
        meshOf({{0, 0, 0}, {0, -1, 0}, {4, 0, 0}, {0, 2, 0}, {0, 1, 0}}, {{0, 1, 2}, {0, 2, 4}, {4, 2, 3}});
    for (unsigned seed = 1; seed <= 40; ++seed) {
        for (const auto& c : {std::make_pair(3.0, 2), std::make_pair(0.5, 5), std::make_pair(1.0, 3)}) {
            Random::seed(seed);
            QList<QList<int>> lists;
            const QList<int> samples = uniformSubsampleGeodesic(mesh, c.first, &lists, {});
            EXPECT_EQ(samples.size(), c.second) << seed << " radius " << c.first;
            // Samples and absorbed vertices together cover every vertex once.
            QList<int> all = samples;
            for (const QList<int>& list : lists)
                all += list;
            std::sort(all.begin(), all.end());
            EXPECT_EQ(all, range(5));
        }
    }
}

TEST(DecimationGeodesic, ReproducibleFarApartAndEqualToPlainScans)
{
    const HE::HalfEdgeGeom mesh = jitteredGrid(20, 3);
    const int n = mesh.vertexHalfEdges.size();
    QList<int> candidates = range(n);
    std::shuffle(candidates.begin(), candidates.end(), std::mt19937(4));
    for (double radius : {1.5, 4.0}) {
        Random::seed(2000);
        QList<QList<int>> lists;
        const QList<int> samples = subsampleNodesGeodesic(mesh, radius, candidates, &lists);
        expectPartition(samples, lists, n);

        Random::seed(2000);
        QList<QList<int>> again;
        EXPECT_EQ(subsampleNodesGeodesic(mesh, radius, candidates, &again), samples);
        EXPECT_EQ(again, lists);

        Random::seed(2000);
        QList<QList<int>> plainLists;
        EXPECT_EQ(plainSubsample(mesh, radius, candidates, &plainLists), samples);
        EXPECT_EQ(plainLists, lists);

        // Each sample lies beyond the radius from every earlier one; absorbed ones within it.
        for (int i = 0; i < samples.size(); ++i) {
            const QVector<double> distance = FastMarching::computeDistancesFromVertex(candidates[samples[i]], mesh);
            for (int j = i + 1; j < samples.size(); ++j)
                EXPECT_GT(distance[candidates[samples[j]]], radius);
            for (int position : lists[i])
                EXPECT_LE(distance[candidates[position]], radius);
        }
    }
}

TEST(DecimationEuclidean, UniformSubsampleOfPoints)
{
    const QVector<QVector3D> points = {{0, 0, 0}, {1, 0, 0}, {3, 0, 0}, {5, 0, 0}, {5, 0, 0}};
    for (unsigned seed = 1; seed <= 40; ++seed) {
        Random::seed(seed);
        QList<QList<int>> lists;
        const QList<int> samples = uniformSubsample(points, &lists);
        ASSERT_EQ(samples.size(), 3);
        QList<QList<int>> sorted = lists;
        std::sort(sorted.begin(), sorted.end(), [](const QList<int>& a, const QList<int>& b) { return a[0] < b[0]; });
        EXPECT_EQ(sorted, (QList<QList<int>>{{0, 1}, {2}, {3, 4}})) << seed;
        for (int i = 0; i < 3; ++i)
            EXPECT_TRUE(lists[i].contains(samples[i]));
    }
    // A point that is not a number still ends its pass.
    Random::seed(1);
    QList<QList<int>> lists;
    EXPECT_EQ(uniformSubsample({{NAN, 0, 0}, {0, 0, 0}}, &lists).size(), 2);
}

// Over a geometry taken from the mesh the subsampling draws the same samples and lists them the
// same, on a body shape with holes, non-manifold joints and thin limbs, fine and coarse.
TEST(DecimationGeodesic, GeometryRouteGivesTheMeshRoutesSamples)
{
    const TestMeshes::Mesh body = TestMeshes::bodyShape(0.6);
    const HE::HalfEdgeGeom mesh(body.vertices, body.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    ASSERT_TRUE(geometry.isComplete());
    const QList<int> everyVertex = range(mesh.vertexHalfEdges.size());
    for (double radius : {0.02, 0.1, 0.4}) {
        for (unsigned seed : {3u, 17u}) {
            QList<QList<int>> overMesh, overGeometry;
            Random::seed(seed);
            const QList<int> meshSamples = subsampleNodesGeodesic(mesh, radius, everyVertex, &overMesh);
            Random::seed(seed);
            const QList<int> geometrySamples = subsampleNodesGeodesic(geometry, radius, everyVertex, &overGeometry);
            EXPECT_EQ(geometrySamples, meshSamples) << radius << " " << seed;
            EXPECT_EQ(overGeometry, overMesh) << radius << " " << seed;
            expectPartition(geometrySamples, overGeometry, everyVertex.size());
        }
    }
}
