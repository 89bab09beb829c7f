// Point KD-tree: build structure, range/split/axis helpers, queries with their
// tie rules, degenerate input, and agreement with brute force from many threads.
#include "spatial/KDTree.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <cstring>
#include <limits>
#include <memory>
#include <random>
#include <thread>

using namespace KDTree;

namespace {

uint32_t bitsOf(float value)
{
    uint32_t bits;
    std::memcpy(&bits, &value, sizeof bits);
    return bits;
}

QList<int> leafIndices(const NodeBase* node)
{
    const NodeLeaf* leaf = dynamic_cast<const NodeLeaf*>(node);
    return leaf ? leaf->pointIndices : QList<int>{-99};
}

// The recursion in its plain order: near side first, far side skipped only when
// the squared plane distance exceeds the running best (index queries: once found).
void plainNearest(const NodeBase* node, const QVector3D& q, int skip, bool byIndex, const QVector<QVector3D>& points,
                  int& index, float& best)
{
    if (const NodeLeaf* leaf = dynamic_cast<const NodeLeaf*>(node)) {
        for (int i : leaf->pointIndices) {
            if (i == skip)
                continue;
            const float d = (points[i] - q).lengthSquared();
            if (d < best) {
                best = d;
                index = i;
            }
        }
        return;
    }
    const Node* inner = dynamic_cast<const Node*>(node);
    ASSERT_NE(inner, nullptr);
    const bool nearIsLeft = inner->splitValue > q[inner->splitAxis];
    plainNearest(nearIsLeft ? inner->childLeft : inner->childRight, q, skip, byIndex, points, index, best);
    if (!byIndex || index != -1) {
        const float offset = inner->splitValue - q[inner->splitAxis];
        if (offset * offset > best)
            return;
    }
    plainNearest(nearIsLeft ? inner->childRight : inner->childLeft, q, skip, byIndex, points, index, best);
}

float bruteForceDistance(const QVector<QVector3D>& points, const QVector3D& q, int skip)
{
    float best = FLT_MAX;
    for (int i = 0; i < points.size(); ++i)
        if (i != skip)
            best = std::min(best, (points[i] - q).lengthSquared());
    return best;
}

// Points with many exact ties: a coarse integer grid plus duplicates plus free points.
QVector<QVector3D> randomPoints(uint32_t seed, int count)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> grid(-6, 6);
    std::uniform_real_distribution<float> free(-10.0f, 10.0f);
    QVector<QVector3D> points;
    for (int i = 0; i < count; ++i) {
        if (i % 3 == 0)
            points.append(QVector3D(grid(rng), grid(rng), grid(rng)));
        else if (i % 7 == 0 && !points.isEmpty())
            points.append(points[int(rng() % uint32_t(points.size()))]);
        else
            points.append(QVector3D(free(rng), free(rng), free(rng) * 0.1f));
    }
    return points;
}

QVector<QVector3D> randomQueries(uint32_t seed, int count)
{
    std::mt19937 rng(seed);
    std::uniform_int_distribution<int> grid(-7, 7);
    std::uniform_real_distribution<float> free(-12.0f, 12.0f);
    QVector<QVector3D> queries;
    for (int i = 0; i < count; ++i) {
        if (i % 2 == 0)  // halfway between grid points: equidistant from several
            queries.append(QVector3D(grid(rng) + 0.5f, grid(rng), grid(rng) + 0.5f));
        else
            queries.append(QVector3D(free(rng), free(rng), free(rng)));
    }
    return queries;
}

}  // namespace

TEST(KDTreeTables, FiniteFloatExtremes)
{
    ASSERT_EQ(floatMaxTriple.size(), 3);
    ASSERT_EQ(floatLowestTriple.size(), 3);
    for (int i = 0; i < 3; ++i) {
        EXPECT_EQ(bitsOf(floatMaxTriple[i]), 0x7f7fffffu);
        EXPECT_EQ(bitsOf(floatLowestTriple[i]), 0xff7fffffu);
    }
}

TEST(KDTreeHelpers, PointsRange)
{
    const QVector<QVector3D> points = {{0, -1, 2}, {1, -2, 2}};
    QVector3D minimum, maximum;
    findPointsRange({0, 1}, points, minimum, maximum);
    EXPECT_EQ(minimum, QVector3D(0, -2, 2));
    EXPECT_EQ(maximum, QVector3D(1, -1, 2));

    findPointsRange({1}, points, minimum, maximum);
    EXPECT_EQ(minimum, points[1]);
    EXPECT_EQ(maximum, points[1]);

    findPointsRange({}, points, minimum, maximum);
    EXPECT_EQ(minimum, QVector3D(FLT_MAX, FLT_MAX, FLT_MAX));
    EXPECT_EQ(maximum, QVector3D(-FLT_MAX, -FLT_MAX, -FLT_MAX));
}

TEST(KDTreeHelpers, SplitByPlaneSendsPlanePointsRight)
{
    const QVector<QVector3D> points = {{0, 0, 0}, {2, 0, 0}};
    struct Case {
        int axis;
        float value;
        QList<int> left, right;
    };
    const Case cases[] = {{0, 1.0f, {0}, {1}}, {1, 0.0f, {}, {0, 1}}, {0, 3.0f, {0, 1}, {}}};
    for (const Case& c : cases) {
        QList<int> left = {7}, right = {8};  // cleared first
        splitPointsByPlane({0, 1}, points, c.axis, c.value, left, right);
        EXPECT_EQ(left, c.left) << c.axis << " " << c.value;
        EXPECT_EQ(right, c.right) << c.axis << " " << c.value;
    }
}

TEST(KDTreeHelpers, LongestAxisTiesAndNaN)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_EQ(longestAxis(QVector3D(1, 1, 1)), 0);
    EXPECT_EQ(longestAxis(QVector3D(0, 2, 2)), 1);
    EXPECT_EQ(longestAxis(QVector3D(0, 1, 2)), 2);
    EXPECT_EQ(longestAxis(QVector3D(nan, 1, 2)), -1);  // every comparison with NaN fails
    EXPECT_EQ(longestAxis(QVector3D(nan, nan, nan)), -1);
}

TEST(KDTreeBuild, MidpointSplitsAndInseparableLeaf)
{
    const QVector<QVector3D> points = {{0, 0, 0}, {2, 0, 0}, {2, 1, 0}, {2, 1, 0}};
    std::unique_ptr<NodeBase> root(buildTree(points, 1));
    const Node* node = dynamic_cast<const Node*>(root.get());
    ASSERT_NE(node, nullptr);
    EXPECT_EQ(node->splitAxis, 0);
    EXPECT_EQ(node->splitValue, 1.0f);
    EXPECT_EQ(node->child(0), node->childLeft);
    EXPECT_EQ(node->child(1), node->childRight);
    EXPECT_EQ(node->child(2), nullptr);
    EXPECT_EQ(leafIndices(node->childLeft), QList<int>{0});
    const Node* right = dynamic_cast<const Node*>(node->childRight);
    ASSERT_NE(right, nullptr);
    EXPECT_EQ(right->splitAxis, 1);
    EXPECT_EQ(right->splitValue, 0.5f);
    EXPECT_EQ(leafIndices(right->childLeft), QList<int>{1});
    EXPECT_EQ(leafIndices(right->childRight), (QList<int>{2, 3}));
}

TEST(KDTreeBuild, DegenerateInputEndsInLeaves)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    const float inf = std::numeric_limits<float>::infinity();
    struct Case {
        const char* name;
        QVector<QVector3D> points;
    };
    const Case cases[] = {
        {"NaN coordinates", {{nan, nan, nan}, {nan, nan, nan}, {nan, nan, nan}}},
        {"extent beyond float", {{-3e38f, 0, 0}, {3e38f, 0, 0}, {3e38f, 1, 0}}},
        {"infinite coordinate", {{0, 0, 0}, {inf, 0, 0}, {1, 0, 0}}},
        {"coincident", {{1, 2, 3}, {1, 2, 3}, {1, 2, 3}, {1, 2, 3}}},
    };
    for (const Case& c : cases) {
        for (int leafSize : {-1, 0, 1}) {
            std::unique_ptr<NodeBase> root(buildTree(c.points, leafSize));
            ASSERT_NE(root, nullptr) << c.name;
            float d = 0;
            const int found = root->findNearestPointInd(QVector3D(1, 2, 3), c.points, &d);
            EXPECT_GE(found, -1) << c.name;
            EXPECT_LT(found, c.points.size()) << c.name;
        }
    }
    // Mixed finite and NaN points: the finite ones are still found.
    const QVector<QVector3D> mixed = {{0, 0, 0}, {nan, 0, 0}, {5, 0, 0}, {nan, 1, 1}};
    std::unique_ptr<NodeBase> root(buildTree(mixed, 1));
    EXPECT_EQ(root->findNearestPointInd(QVector3D(4, 0, 0), mixed, nullptr), 2);
}

TEST(KDTreeQuery, ExamplesAndTies)
{
    struct Case {
        const char* name;
        QVector<QVector3D> points;
        QVector3D query;
        int index;
        float distanceSquared;
    };
    const Case cases[] = {
        {"nearest of three", {{0, 0, 0}, {0.9f, 0, 0}, {2, 0, 0}}, {1.1f, 0, 0}, 1, 0.04f},
        {"on the split plane, equidistant", {{0, 0, 0}, {-2, 0, 0}}, {-1, 0, 0}, 0, 1.0f},
        {"coincident, away", {{0, 0, 0}, {0, 0, 0}}, {1, 0, 0}, 0, 1.0f},
        {"coincident, on them", {{0, 0, 0}, {0, 0, 0}}, {0, 0, 0}, 0, 0.0f},
        {"empty", {}, {0, 0, 0}, -1, FLT_MAX},
    };
    for (const Case& c : cases) {
        std::unique_ptr<NodeBase> root(buildTree(c.points, 1));
        float d = -1;
        EXPECT_EQ(root->findNearestPointInd(c.query, c.points, &d), c.index) << c.name;
        EXPECT_NEAR(d, c.distanceSquared, 1e-6) << c.name;
    }
    const QVector<QVector3D> single = {{-1, 0, 0}};
    std::unique_ptr<NodeBase> root(buildTree(single, 1));
    EXPECT_EQ(root->findNearestPointInd(QVector3D(0, 1, 0), single, nullptr), 0);
}

TEST(KDTreeQuery, ByIndexNeverReturnsItself)
{
    const QVector<QVector3D> points = {{-3, 0, 0}, {-0.9f, 0, 0}, {1, 0, 0}, {3, 0, 0}};
    std::unique_ptr<NodeBase> root(buildTree(points, 1));
    float d = 0;
    EXPECT_EQ(root->findNearestPointInd(2, points, &d), 1);
    EXPECT_NEAR(d, 3.61f, 1e-5);

    // A coincident twin is found at distance 0; a lone point finds nothing.
    const QVector<QVector3D> twins = {{1, 1, 1}, {5, 5, 5}, {1, 1, 1}};
    std::unique_ptr<NodeBase> twinTree(buildTree(twins, 1));
    EXPECT_EQ(twinTree->findNearestPointInd(0, twins, &d), 2);
    EXPECT_EQ(d, 0.0f);
    const QVector<QVector3D> lone = {{1, 1, 1}};
    std::unique_ptr<NodeBase> loneTree(buildTree(lone, 1));
    EXPECT_EQ(loneTree->findNearestPointInd(0, lone, &d), -1);
    EXPECT_EQ(d, FLT_MAX);
}

TEST(KDTreeQuery, RunningValuesOnlyImprove)
{
    const QVector<QVector3D> points = {{0, 0, 0}, {4, 0, 0}, {8, 0, 0}};
    std::unique_ptr<NodeBase> root(buildTree(points, 1));
    int index = 42;
    float best = 0.5f;
    root->findNearestPoint(QVector3D(3, 0, 0), points, index, best);
    EXPECT_EQ(index, 42);
    EXPECT_EQ(best, 0.5f);
    best = 4.0f;
    root->findNearestPoint(QVector3D(3, 0, 0), points, index, best);
    EXPECT_EQ(index, 1);
    EXPECT_EQ(best, 1.0f);
}

TEST(KDTreeQuery, BaseClassOnlyReports)
{
    TestSupport::LogCapture log;
    NodeBase base;
    const QVector<QVector3D> points = {{0, 0, 0}};
    int index = 5;
    float best = 2.0f;
    base.findNearestPoint(QVector3D(), points, index, best);
    base.findNearestPoint(0, points, index, best);
    EXPECT_EQ(index, 5);
    EXPECT_EQ(best, 2.0f);
    float d = 3.0f;
    EXPECT_EQ(base.findNearestPointInd(QVector3D(), points, &d), -1);
    EXPECT_EQ(base.findNearestPointInd(0, points, &d), -1);
    EXPECT_EQ(d, 3.0f);
    EXPECT_EQ(log.texts(), (QStringList{"Calling virtual method NodeBase::findNearestPoint",
                                        "Calling virtual method NodeBase::findNearestPoint",
                                        "Calling virtual method NodeBase::findNearestPointInd",
                                        "Calling virtual method NodeBase::findNearestPointInd"}));
}

// Every answer: the brute-force distance, and exactly the index of the plain recursion.
TEST(KDTreeQuery, AgreesWithBruteForceAndPlainOrder)
{
    for (uint32_t seed : {1u, 2u, 3u}) {
        const QVector<QVector3D> points = randomPoints(seed, 3000);
        const QVector<QVector3D> queries = randomQueries(seed + 100, 1500);
        for (int leafSize : {1, 4, 10, 64}) {
            std::unique_ptr<NodeBase> root(buildTree(points, leafSize));
            for (const QVector3D& q : queries) {
                float d = -1;
                const int found = root->findNearestPointInd(q, points, &d);
                ASSERT_EQ(d, bruteForceDistance(points, q, -1));
                int plainIndex = -1;
                float plainBest = FLT_MAX;
                plainNearest(root.get(), q, -1, false, points, plainIndex, plainBest);
                ASSERT_EQ(found, plainIndex) << "seed " << seed << " leaf " << leafSize;
            }
            for (int k = 0; k < points.size(); k += 3) {
                float d = -1;
                const int found = root->findNearestPointInd(k, points, &d);
                ASSERT_NE(found, k);
                ASSERT_EQ(d, bruteForceDistance(points, points[k], k));
                int plainIndex = -1;
                float plainBest = FLT_MAX;
                plainNearest(root.get(), points[k], k, true, points, plainIndex, plainBest);
                ASSERT_EQ(found, plainIndex) << "seed " << seed << " leaf " << leafSize;
            }
        }
    }
}

TEST(KDTreeQuery, SameAnswersFromEightThreadsWithoutDetaching)
{
    const QVector<QVector3D> points = randomPoints(7, 20000);
    const QVector<QVector3D> queries = randomQueries(8, 4000);
    std::unique_ptr<NodeBase> root(buildTree(points, 10));
    QVector<int> expected;
    QVector<float> expectedDistance;
    for (const QVector3D& q : queries) {
        float d;
        expected.append(root->findNearestPointInd(q, points, &d));
        expectedDistance.append(d);
    }
    const QVector<QVector3D> shared = points;  // must stay shared with `points`
    std::vector<int> mismatches(8, 0);
    std::vector<std::thread> threads;
    for (int t = 0; t < 8; ++t) {
        threads.emplace_back([&, t] {
            for (int round = 0; round < 3; ++round) {
                for (int i = 0; i < queries.size(); ++i) {
                    float d;
                    if (root->findNearestPointInd(queries[i], shared, &d) != expected[i] || d != expectedDistance[i])
                        ++mismatches[size_t(t)];
                    int index = -1;
                    float best = FLT_MAX;
                    root->findNearestPoint(i, shared, index, best);
                    if (index != root->findNearestPointInd(i, shared, nullptr))
                        ++mismatches[size_t(t)];
                }
            }
        });
    }
    for (std::thread& thread : threads)
        thread.join();
    for (int t = 0; t < 8; ++t)
        EXPECT_EQ(mismatches[size_t(t)], 0) << "thread " << t;
    EXPECT_EQ(shared.constData(), points.constData());
}
