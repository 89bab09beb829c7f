// Nearest-point helpers: median spacing, nearest and k nearest points, Euclidean weights.
#include "registration/EuclideanWeights.h"
#include "registration/FuzzyCompare.h"
#include "registration/NearestPointHelpers.h"

#include "numerics/Random.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>

using namespace NonRigidRegistration;

namespace {

QVector<QVector3D> onXAxis(std::initializer_list<float> xs)
{
    QVector<QVector3D> points;
    for (float x : xs)
        points.append(QVector3D(x, 0, 0));
    return points;
}

// The median written out the slow, obvious way: every pair compared.
double referenceMedian(const QVector<QVector3D>& points, const QVector<bool>& sampled)
{
    QVector<double> distances;
    for (int i = 0; i < points.size(); ++i) {
        if (!sampled[i])
            continue;
        float best = std::numeric_limits<float>::max();
        int nearest = -1;
        for (int j = 0; j < points.size(); ++j) {
            if (j == i)
                continue;
            const float d = (points[i] - points[j]).lengthSquared();
            if (d < best)
                best = d, nearest = j;
        }
        distances.append((points[i] - points[nearest]).length());
    }
    std::sort(distances.begin(), distances.end());
    return distances[distances.size() / 2];
}

}  // namespace

TEST(MedianNearestNeighbourDistance, SmallSetsFromTheirGeometry)
{
    struct Case {
        QVector<QVector3D> points;
        double median;
    };
    const Case cases[] = {
        {onXAxis({0, 1, 1.5}), 0.5},
        {onXAxis({0, 1, 3}), 1.0},
        {{QVector3D(1, 2, 3), QVector3D(4, 6, 3)}, 5.0},  // two points: their distance
        {onXAxis({0, 1, 5, 7}), 2.0},                     // even count: the upper middle
        {onXAxis({2, 2, 9}), 0.0},                        // a duplicate is its own nearest
        {onXAxis({3}), 0.0},                              // fewer than two points
        {{}, 0.0},
    };
    for (const Case& c : cases)
        EXPECT_EQ(computeMedianNearestNeighbourDistance(c.points, 1.0), c.median);
}

TEST(MedianNearestNeighbourDistance, EqualsEveryPairComparedOnAwkwardClouds)
{
    Random::seed(17);
    QVector<QVector<QVector3D>> clouds;
    // A jittered grid with a far-off point and exact duplicates.
    QVector<QVector3D> jittered;
    for (int i = 0; i < 700; ++i)
        jittered.append(QVector3D(float(i % 9) + Random::draw() / 70000.0f, float(i / 9 % 9) * 1.3f,
                                  float(i / 81) * 0.7f + Random::draw() / 90000.0f));
    jittered.append(QVector3D(500, -3, 2));
    jittered.append(jittered[13]);
    jittered.append(jittered[400]);
    clouds.append(jittered);
    // A regular grid: every point has several neighbours at exactly the same distance.
    QVector<QVector3D> grid;
    for (int i = 0; i < 600; ++i)
        grid.append(QVector3D(float(i % 10), float(i / 10 % 6), float(i / 60)));
    clouds.append(grid);
    // All points in one plane of constant x, the worst case for a sweep along x.
    QVector<QVector3D> flat;
    for (int i = 0; i < 300; ++i)
        flat.append(QVector3D(2.5f, float(Random::draw() % 200), float(Random::draw() % 50)));
    clouds.append(flat);
    // Far from the origin on the float grid: squared distances round and tie often.
    QVector<QVector3D> far;
    for (int i = 0; i < 500; ++i)
        far.append(QVector3D(1000.0f + (Random::draw() % 64) / 8192.0f, -2000.0f + (Random::draw() % 64) / 4096.0f,
                             3000.0f + (Random::draw() % 16) / 2048.0f));
    clouds.append(far);

    for (int c = 0; c < clouds.size(); ++c) {
        const QVector<QVector3D>& cloud = clouds[c];
        // Every prefix length moves the median to another point of the cloud.
        for (int n = 2; n <= cloud.size(); n += (n < 40 ? 1 : 37)) {
            const QVector<QVector3D> points = cloud.mid(0, n);
            ASSERT_EQ(computeMedianNearestNeighbourDistance(points, 1.0),
                      referenceMedian(points, QVector<bool>(points.size(), true)))
                << "cloud " << c << ", " << n << " points";
        }
    }
}

TEST(MedianNearestNeighbourDistance, PointsWithoutFiniteCoordinatesAreSkipped)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    // The NaN point has no comparable neighbour and is nobody's nearest.
    const QVector<QVector3D> points{QVector3D(0, 0, 0), QVector3D(nan, 0, 0), QVector3D(1, 0, 0), QVector3D(3, 0, 0)};
    EXPECT_EQ(computeMedianNearestNeighbourDistance(points, 1.0), 1.0);  // of 1, 1, 2
    EXPECT_EQ(computeMedianNearestNeighbourDistance({QVector3D(nan, 0, 0), QVector3D(nan, 1, 0)}, 1.0), 0.0);
}

TEST(MedianNearestNeighbourDistance, SamplesByOneDrawPerPoint)
{
    const QVector<QVector3D> points = onXAxis({0, 1, 1.5, 4, 4.2, 9, 9.9, 20, 20.05, 30});
    const double probability = 0.4;
    Random::seed(5);
    QVector<bool> sampled;
    for (int i = 0; i < points.size(); ++i)
        sampled.append(Random::draw() / 32767.0 <= probability);
    const int nextDraw = Random::draw();
    ASSERT_TRUE(sampled.contains(true));

    Random::seed(5);
    EXPECT_EQ(computeMedianNearestNeighbourDistance(points, probability), referenceMedian(points, sampled));
    EXPECT_EQ(Random::draw(), nextDraw) << "exactly one draw per point";

    // Probability 1.0 draws nothing; NaN samples nothing and so has no median.
    Random::seed(5);
    const int firstDraw = Random::draw();
    Random::seed(5);
    computeMedianNearestNeighbourDistance(points, 1.0);
    EXPECT_EQ(Random::draw(), firstDraw);
    EXPECT_EQ(computeMedianNearestNeighbourDistance(points, std::nan("")), 0.0);
}

TEST(FindNearestPoint, FirstOfEqualsWinsAndSelfIsSkipped)
{
    EXPECT_EQ(findNearestPoint(1, onXAxis({0, 1})), 0);
    EXPECT_EQ(findNearestPoint(QVector3D(0, 0, 0), onXAxis({-1, 1})), 0);
    EXPECT_EQ(findNearestPoint(QVector3D(0, 0, 0), onXAxis({-1, 1, 0})), 2);
    EXPECT_EQ(findNearestPoint(QVector3D(7, 7, 7), onXAxis({4})), 0);
    EXPECT_EQ(findNearestPoint(0, onXAxis({4})), -1);
    EXPECT_EQ(findNearestPoint(0, {}), -1);
    EXPECT_EQ(findNearestPoint(QVector3D(), {}), -1);
    EXPECT_EQ(findNearestPoint(2, onXAxis({5, 3, 4, 5})), 0);  // all three tie: the first wins
}

TEST(FindKNearestPoints, NearestFirstAndAtMostTheSetSize)
{
    EXPECT_EQ(findKNearestPoints(QVector3D(), onXAxis({1, 2, 1}), 2), QVector<int>({0, 2}));
    EXPECT_EQ(findKNearestPoints(QVector3D(), onXAxis({1}), 10), QVector<int>({0}));
    EXPECT_EQ(findKNearestPoints(QVector3D(), onXAxis({1, 2}), 0), QVector<int>());
    EXPECT_EQ(findKNearestPoints(QVector3D(), onXAxis({1, 2}), -3), QVector<int>());
    EXPECT_EQ(findKNearestPoints(QVector3D(10, 0, 0), onXAxis({0, 12, 9, -5, 10.5}), 3), QVector<int>({4, 2, 1}));
}

TEST(EuclideanWeightsTable, WeightsFallOffTowardsTheDroppedFarthestNode)
{
    const QVector<QVector<double>> table = buildWeightsTable(onXAxis({0, 2.5}), onXAxis({0, 1, 2, 3}), 2);
    EXPECT_EQ(table, (QVector<QVector<double>>{{0.8, 0.2, 0, 0}, {0, 0, 0.5, 0.5}}));
}

TEST(EuclideanWeightsTable, AlwaysDropsTheFarthestNodeFound)
{
    // k >= node count: all but the farthest node get a weight.
    const QVector<QVector<double>> few = buildWeightsTable(onXAxis({0}), onXAxis({1, 3, 2}), 5);
    ASSERT_EQ(few.size(), 1);
    EXPECT_GT(few[0][0], few[0][2]);
    EXPECT_GT(few[0][2], 0.0);
    EXPECT_EQ(few[0][1], 0.0);
    EXPECT_DOUBLE_EQ(few[0][0] + few[0][2], 1.0);
    // A single node: nothing is left once the farthest is dropped.
    EXPECT_EQ(buildWeightsTable(onXAxis({0, 4}), onXAxis({1}), 4), (QVector<QVector<double>>{{0}, {0}}));
}

TEST(EuclideanWeightsTable, EquallyFarNodesShareEqually)
{
    // Both kept nodes lie at the distance of the dropped one, and a vertex on three
    // coincident nodes: no weight from the fall-off, so no division by zero either.
    const auto atOne = buildWeightsTable(onXAxis({0}), onXAxis({1, -1, 1}), 2);
    for (double w : atOne[0])
        EXPECT_TRUE(std::isfinite(w));
    EXPECT_DOUBLE_EQ(atOne[0][0] + atOne[0][1] + atOne[0][2], 1.0);
    const auto coincident = buildWeightsTable(onXAxis({2}), onXAxis({2, 2, 2}), 2);
    for (double w : coincident[0])
        EXPECT_TRUE(std::isfinite(w));
    EXPECT_DOUBLE_EQ(coincident[0][0] + coincident[0][1] + coincident[0][2], 1.0);
}

TEST(PickByProbability, FollowsTheDrawsOfTheThreadGenerator)
{
    Random::seed(99);
    for (int i = 0; i < 50; ++i)
        EXPECT_TRUE(pickByProbability(1.0));
    int picks = 0;
    for (int i = 0; i < 100; ++i)
        picks += pickByProbability(0.3);
    EXPECT_NEAR(picks, 30, 10);

    Random::seed(3);
    QVector<bool> expected;
    for (int i = 0; i < 20; ++i)
        expected.append(Random::draw() / 32767.0 <= 0.5);
    Random::seed(3);
    for (int i = 0; i < 20; ++i)
        EXPECT_EQ(pickByProbability(0.5), expected[i]) << i;
}

TEST(FuzzyIsEqual, StrictToleranceOverEveryComponent)
{
    EXPECT_FALSE(fuzzyIsEqual(QVector3D(0, 0, 0), QVector3D(0.5, 0, 0), 0.5));
    EXPECT_TRUE(fuzzyIsEqual(QVector3D(0, 0, 0), QVector3D(0.25, -0.25, 0.25), 0.5));
    EXPECT_FALSE(fuzzyIsEqual(QVector3D(0, 0, 1), QVector3D(0, 0, 2), 0.5));

    EXPECT_TRUE(fuzzyIsEqual(QVector<double>{}, QVector<double>{1, 2}, 0.1));
    EXPECT_TRUE(fuzzyIsEqual(QVector<double>{1}, QVector<double>{1.05, 99}, 0.1));
    EXPECT_FALSE(fuzzyIsEqual(QVector<double>{1, 2}, QVector<double>{1, 2.2}, 0.1));
    EXPECT_FALSE(fuzzyIsEqual(QVector<double>{1, 2}, QVector<double>{1}, 0.1));

    const QVector<QVector3D> a{QVector3D(1, 2, 3), QVector3D(4, 5, 6)};
    EXPECT_TRUE(fuzzyIsEqual(a, {QVector3D(1, 2, 3.01), QVector3D(4, 5, 6)}, 0.1));
    EXPECT_FALSE(fuzzyIsEqual(a, {QVector3D(1, 2, 3), QVector3D(4, 5.2, 6)}, 0.1));
    EXPECT_FALSE(fuzzyIsEqual(a, {QVector3D(1, 2, 3)}, 0.1));
}
