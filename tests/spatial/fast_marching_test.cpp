// Fast-marching geodesic distances: the building blocks on hand-made triangles, the march's tie
// order and stop rules, distances against known geometry, the band against a plain linear band,
// the marches over a taken MarchGeometry against the same plain march, and concurrent queries.
#include "spatial/FastMarching.h"
#include "spatial/TriangleUpdate.h"

#include "support/BodyMeshes.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/TestMeshes.h"

#include <gtest/gtest.h>

#include <QHash>

#include <algorithm>
#include <array>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <random>
#include <thread>

using namespace FastMarching;

namespace {

const double unreached = 1.7976931348623157e308;

HE::HalfEdgeGeom meshOf(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces)
{
    return HE::HalfEdgeGeom(vertices, faces);
}

QVector<bool> allEnabled(int n)
{
    return QVector<bool>(n, true);
}

// Order in which the whole march accepts the vertices, the source first.
QList<int> acceptanceOrder(int source, const HE::HalfEdgeGeom& mesh, QList<double>* distances = nullptr)
{
    QList<double> found;
    const int n = mesh.vertexHalfEdges.size();
    const QList<int> order = findKNearestEnabledVertices(source, mesh, n, allEnabled(n), &found);
    if (distances)
        *distances = found;
    return order;
}

using Surface = TestMeshes::Mesh;

// Unit sphere: an icosahedron whose triangles are split in four `levels` times, new points pushed
// out onto the sphere in double.
Surface icosphere(int levels)
{
    return TestMeshes::icosphere(levels, TestMeshes::Arithmetic::Double);
}

// Grid of side x side points, jittered in the plane by up to `jitter` of a cell and lifted by up to
// `relief`, each cell split along a random diagonal; coordinates rounded to `step` to make ties.
Surface grid(int side, double jitter, double relief, unsigned seed, double step = 0.0)
{
    std::uniform_real_distribution<double> unit(-1.0, 1.0);
    auto rounded = [step](double value) { return step > 0.0 ? std::round(value / step) * step : value; };
    return TestMeshes::jitteredGrid(side, seed, [&](int x, int y, std::mt19937& random) {
        return QVector3D(float(rounded(x + jitter * unit(random))), float(rounded(y + jitter * unit(random))),
                         float(rounded(relief * unit(random))));
    });
}

// The march with the band as a plain insertion-ordered list, its minimum found by a linear scan.
struct PlainMarch {
    QVector<double> distance;
    QList<int> order;
};

PlainMarch plainMarch(int source, const HE::HalfEdgeGeom& mesh)
{
    const int n = mesh.vertexHalfEdges.size();
    PlainMarch march{QVector<double>(n, unreached), {source}};
    QVector<bool> alive(n, false);
    march.distance[source] = 0.0;
    alive[source] = true;
    QList<int> band;
    for (int neighbour : mesh.vertexNeighbours(source)) {
        march.distance[neighbour] = double((mesh.vertices[neighbour] - mesh.vertices[source]).length());
        band.append(neighbour);
    }
    while (!band.isEmpty()) {
        const int u = band.takeAt(findNarrowBandMinimum(band, march.distance));
        alive[u] = true;
        march.order.append(u);
        for (int w : mesh.vertexNeighbours(u)) {
            if (alive[w])
                continue;
            march.distance[w] = updateVertexDistFromAliveVertices(w, alive, march.distance, mesh);
            if (!band.contains(w))
                band.append(w);
        }
    }
    return march;
}

// Order in which the whole march over a geometry accepts the vertices, the source first.
QList<int> acceptanceOrder(int source, const MarchGeometry& geometry, QList<double>* distances = nullptr)
{
    QList<double> found;
    const int n = geometry.mesh().vertexHalfEdges.size();
    const QList<int> order = findKNearestEnabledVertices(source, geometry, n, allEnabled(n), &found);
    if (distances)
        *distances = found;
    return order;
}

bool sameDistance(double a, double b)
{
    return (std::isnan(a) && std::isnan(b)) || a == b;
}

// Every query over the geometry against the plain march from the same source: the same distances
// bit for bit, the same acceptance order, the same radius prefix and the same debug lines.
void expectGeometryMarchMatchesPlain(const HE::HalfEdgeGeom& mesh, const MarchGeometry& geometry, int source)
{
    const int n = mesh.vertexHalfEdges.size();
    QStringList plainLog, geometryLog;
    PlainMarch plain;
    QVector<double> distance;
    {
        TestSupport::LogCapture log;
        plain = plainMarch(source, mesh);
        plainLog = log.texts();
    }
    {
        TestSupport::LogCapture log;
        distance = computeDistancesFromVertex(source, geometry);
        geometryLog = log.texts();
    }
    EXPECT_EQ(geometryLog, plainLog) << "source " << source;
    ASSERT_EQ(distance.size(), n);
    for (int v = 0; v < n; ++v)
        ASSERT_TRUE(sameDistance(distance[v], plain.distance[v]))
            << "source " << source << " vertex " << v << ": " << distance[v] << " " << plain.distance[v];

    TestSupport::LogCapture quiet;
    QList<double> acceptedDistances;
    const QList<int> order = acceptanceOrder(source, geometry, &acceptedDistances);
    EXPECT_EQ(order, plain.order) << "source " << source;
    for (int i = 0; i < order.size(); ++i)
        ASSERT_TRUE(sameDistance(acceptedDistances[i], plain.distance[order[i]])) << source << " " << i;
    // The radius query stops at the first accepted vertex farther than the radius (never, for a
    // radius that is not a number).
    const double radius = plain.distance[plain.order[plain.order.size() / 3]];
    int inside = 1;
    while (inside < plain.order.size() && !(plain.distance[plain.order[inside]] > radius))
        ++inside;
    EXPECT_EQ(findVerticesInRadius(source, geometry, radius), plain.order.mid(1, inside - 1)) << source;
}

}  // namespace

TEST(FastMarchingBlocks, AngleBetweenVectors)
{
    EXPECT_DOUBLE_EQ(angleBetweenVectors({1, 0, 0}, {0, 1, 0}), 1.5707963267948966);
    EXPECT_DOUBLE_EQ(angleBetweenVectors({1, 0, 0}, {1, 0, 0}), 0.0);
    EXPECT_DOUBLE_EQ(angleBetweenVectors({1, 0, 0}, {-1, 0, 0}), 3.141592653589793);
    EXPECT_NEAR(angleBetweenVectors({2, 0, 0}, {1, 1, 0}), M_PI / 4, 1e-7);
    EXPECT_TRUE(std::isnan(angleBetweenVectors({0, 0, 0}, {1, 0, 0})));
}

TEST(FastMarchingBlocks, SolveQuadraticEquation)
{
    struct Case {
        double qa, qb, qc;
        bool solvable;
        double root1, root2;
    };
    const Case cases[] = {
        {1, -3, 2, true, 2, 1},   // (t - 1)(t - 2)
        {-1, 3, -2, true, 1, 2},  // same roots, negative leading term swaps them
        {1, 2, 1, true, -1, -1},  // double root
        {0, 2, 1, false, 7, 7},   // not quadratic
        {1, 0, 1, false, 7, 7},   // no real root
    };
    for (const Case& c : cases) {
        double root1 = 7, root2 = 7;
        EXPECT_EQ(solveQuadraticEquation(c.qa, c.qb, c.qc, root1, root2), c.solvable) << c.qa << " " << c.qb;
        EXPECT_DOUBLE_EQ(root1, c.root1);
        EXPECT_DOUBLE_EQ(root2, c.root2);
    }
    double root1 = 0, root2 = 0;
    EXPECT_TRUE(solveQuadraticEquation(1, NAN, 1, root1, root2));
    EXPECT_TRUE(std::isnan(root1) && std::isnan(root2));
}

// The larger root the triangle update takes: the same bits as the larger of both roots, over
// random coefficients and every mix of zeros, infinities and NaNs, leading coefficient of either
// sign.
TEST(FastMarchingBlocks, LargerRootEqualsLargerOfBothRoots)
{
    const double specials[] = {0.0, -0.0, 1.0, -1.0, 1e-300, -1e-300, 1e300, -1e300, HUGE_VAL, -HUGE_VAL, NAN, 3.5};
    std::mt19937 random(5);
    std::uniform_real_distribution<double> value(-10.0, 10.0);
    std::vector<std::array<double, 3>> cases;
    for (double qa : specials)
        for (double qb : specials)
            for (double qc : specials)
                cases.push_back({qa, qb, qc});
    for (int i = 0; i < 20000; ++i)
        cases.push_back({value(random), value(random), value(random)});
    for (const auto& c : cases) {
        double both1 = 0, both2 = 0, larger1 = 0, larger2 = 0;
        const bool solved = FastMarching::solveQuadratic(c[0], c[1], c[2], both1, both2);
        ASSERT_EQ(FastMarching::largerRoot(c[0], c[1], c[2], larger1, larger2), solved);
        if (!solved)
            continue;
        const double expected = both2 > both1 ? both2 : both1;
        const double actual = larger2 > larger1 ? larger2 : larger1;
        ASSERT_EQ(std::memcmp(&expected, &actual, sizeof(double)), 0) << c[0] << " " << c[1] << " " << c[2];
    }
}

TEST(FastMarchingBlocks, NarrowBandMinimumTakesFirstOfEqualMinima)
{
    const QVector<double> distance = {5, 3, 7, 3, 1, 1};
    EXPECT_EQ(findNarrowBandMinimum({}, distance), 0);
    EXPECT_EQ(findNarrowBandMinimum({2}, distance), 0);
    EXPECT_EQ(findNarrowBandMinimum({0, 1, 2, 3}, distance), 1);
    EXPECT_EQ(findNarrowBandMinimum({3, 1, 0}, distance), 0);
    EXPECT_EQ(findNarrowBandMinimum({0, 5, 4, 1}, distance), 1);
}

TEST(FastMarchingBlocks, TriangleUpdateCrossesTheFaceOrFallsBackToEdges)
{
    const double height = std::sqrt(3.0) / 2.0;
    // A plane wave arriving at both ends of a unit edge reaches the apex of the equilateral triangle.
    EXPECT_NEAR(updateFromTriangle(1, 1, 1, 0, 0, unreached), height, 1e-12);
    EXPECT_NEAR(updateFromTriangle(1, 1, 1, 2, 2, unreached), 2 + height, 1e-12);
    // A smaller current distance stays.
    EXPECT_EQ(updateFromTriangle(1, 1, 1, 0, 0, 0.5), 0.5);
    // Far apart arrival times break causality: the shorter edge path wins.
    EXPECT_EQ(updateFromTriangle(1, 1, 1, 0, 5, unreached), 1.0);
    EXPECT_EQ(updateFromTriangle(1, 1, 1, 0, unreached, unreached), 1.0);
    // A cosine beyond 1 makes everything not a number: still the edge fallback.
    EXPECT_EQ(updateFromTriangle(1, 1, 9, 0, 0.5, unreached), 1.0);
}

TEST(FastMarchingBlocks, UpdateKeepsOnlyWhereTheTriangleUpdateGivesBackTheCurrentDistance)
{
    // Triangles of every shape (acute, right, obtuse, flat, with a zero-length side), distances
    // near one another and far apart, equal ones, the blank distance, infinities and values that
    // are not numbers: wherever updateKeeps holds, the solved update is the current distance bit
    // for bit.
    std::mt19937 random(17);
    std::uniform_real_distribution<double> unit(0.0, 1.0);
    const double special[] = {0.0, unreached, INFINITY, NAN};
    auto pick = [&](double scale) {
        const unsigned kind = random() % 16;
        return kind < 4 ? special[kind] : scale * unit(random);
    };
    int kept = 0, solved = 0;
    for (int trial = 0; trial < 200000; ++trial) {
        const double a = random() % 32 == 0 ? 0.0 : 0.05 + 2.0 * unit(random);
        const double b = random() % 32 == 0 ? 0.0 : 0.05 + 2.0 * unit(random);
        const double angle = 3.14159265358979 * unit(random);
        const double c2 = a * a + b * b - 2.0 * a * b * std::cos(angle);
        const double dSmall = pick(6.0);
        const double dLarge = random() % 8 == 0 ? dSmall : (std::isnan(dSmall) ? NAN : dSmall + pick(3.0));
        const double dC = random() % 8 == 0 ? pick(8.0) : dSmall + pick(4.0);
        const double length = random() % 64 == 0 ? NAN : a;
        const double solvedUpdate = updateFromTerms(triangleTerms(length, b, c2), dSmall, dLarge, dC);
        if (!updateKeeps(length, b, dSmall, dLarge, dC)) {
            ++solved;
            continue;
        }
        ++kept;
        ASSERT_EQ(std::memcmp(&solvedUpdate, &dC, sizeof(double)), 0)
            << a << " " << b << " " << c2 << " " << dSmall << " " << dLarge << " " << dC << ": " << solvedUpdate;
    }
    // Both outcomes are common enough for the check to mean something.
    EXPECT_GT(kept, 20000);
    EXPECT_GT(solved, 20000);
    // Kept with every value a number; never once any of them is not.
    EXPECT_TRUE(updateKeeps(1.0, 1.0, 0.5, 2.0, 0.1));
    for (int nan = 0; nan < 5; ++nan) {
        double values[5] = {1.0, 1.0, 0.5, 2.0, 0.1};
        values[nan] = NAN;
        EXPECT_FALSE(updateKeeps(values[0], values[1], values[2], values[3], values[4])) << nan;
    }
}

TEST(FastMarchingBlocks, UpdateFromAcuteCorner)
{
    // Point source at (3, -3); vertices 0 and 1 carry their true distances.
    //   2 (1,2)
    //   |  `.
    //   0----1 (3,0)
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {3, 0, 0}, {1, 2, 0}}, {{0, 1, 2}});
    const QVector<double> distance = {std::sqrt(18.0), 3.0, unreached};
    const double planar = updateVertexFromNonObtuseAngle(1, {true, true, false}, distance, mesh);
    EXPECT_NEAR(planar, 5.6488, 1e-4);
    EXPECT_NEAR(planar, std::sqrt(29.0), 0.5);
    EXPECT_EQ(updateVertexFromNonObtuseAngle(1, {false, true, false}, distance, mesh),
              3.0 + double(QVector3D(2, -2, 0).length()));
    EXPECT_EQ(updateVertexFromNonObtuseAngle(1, {true, false, false}, distance, mesh),
              std::sqrt(18.0) + double(QVector3D(1, 2, 0).length()));
    EXPECT_EQ(updateVertexFromNonObtuseAngle(1, {false, false, false}, distance, mesh), unreached);
}

TEST(FastMarchingUnfolding, FindsSupportVertexAcrossSeveralTriangles)
{
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {6, 1, 0}, {3, 2, 0}, {1, -1, 0}, {3, -2, 0}, {6, -1, 0}},
                                         {{0, 1, 2}, {0, 3, 1}, {1, 3, 5}, {3, 4, 5}});
    double cb = 0, ca = 0, db = 0, da = 0, dc = 0;
    int d = -1;
    ASSERT_TRUE(unfoldObtuseAngle(1, mesh, cb, ca, db, da, dc, d));
    EXPECT_EQ(d, 4);
    EXPECT_NEAR(dc, 4.0, 1e-9);
    EXPECT_NEAR(cb, std::sqrt(13.0), 1e-9);
    EXPECT_NEAR(ca, std::sqrt(10.0), 1e-9);
    EXPECT_NEAR(db, std::sqrt(13.0), 1e-9);
    EXPECT_NEAR(da, std::sqrt(18.0), 1e-9);
}

TEST(FastMarchingUnfolding, OneStepAndItsFailures)
{
    const QVector<QVector3D> positions = {{0, 0, 0}, {6, 1, 0}, {3, 2, 0}, {3, 0, 0}};
    {
        const HE::HalfEdgeGeom mesh = meshOf(positions, {{0, 1, 2}, {0, 3, 1}});
        double cb = 0, ca = 0, db = 0, da = 0, dc = 0;
        int d = -1;
        ASSERT_TRUE(unfoldObtuseAngle(1, mesh, cb, ca, db, da, dc, d));
        EXPECT_EQ(d, 3);
        EXPECT_NEAR(dc, 2.0, 1e-9);
        EXPECT_NEAR(db, 3.0, 1e-9);
        EXPECT_NEAR(da, std::sqrt(10.0), 1e-9);
    }
    // Nothing beyond the edge: fails, the support outputs keep what the caller put there.
    {
        const HE::HalfEdgeGeom mesh = meshOf(positions, {{0, 1, 2}});
        double cb = 0, ca = 0, db = -1, da = -1, dc = -1;
        int d = -7;
        EXPECT_FALSE(unfoldObtuseAngle(1, mesh, cb, ca, db, da, dc, d));
        EXPECT_NEAR(cb, std::sqrt(13.0), 1e-9);
        EXPECT_NEAR(ca, std::sqrt(10.0), 1e-9);
        EXPECT_EQ(d, -7);
        EXPECT_EQ(db, -1);
        EXPECT_EQ(da, -1);
        EXPECT_EQ(dc, -1);
    }
    // The face beyond has a zero-length edge (vertex 3 on vertex 0).
    {
        QVector<QVector3D> collapsed = positions;
        collapsed[3] = collapsed[0];
        const HE::HalfEdgeGeom mesh = meshOf(collapsed, {{0, 1, 2}, {0, 3, 1}});
        TestSupport::LogCapture log;
        double cb = 0, ca = 0, db = 0, da = 0, dc = 0;
        int d = -7;
        EXPECT_FALSE(unfoldObtuseAngle(1, mesh, cb, ca, db, da, dc, d));
        EXPECT_EQ(d, -7);
        EXPECT_EQ(log.texts(QtDebugMsg), QStringList{"During unfolding found a triangle with zero edge length!"});
    }
}

TEST(FastMarchingUnfolding, ObtuseCornerUpdatesThroughSupportVertex)
{
    // Point source at (6, -2); the true distance of vertex 2 is 5.
    const QVector<QVector3D> positions = {{0, 0, 0}, {6, 1, 0}, {3, 2, 0}, {3, 0, 0}};
    const QVector<double> distance = {std::sqrt(40.0), 3.0, unreached, std::sqrt(13.0)};
    const HE::HalfEdgeGeom mesh = meshOf(positions, {{0, 1, 2}, {0, 3, 1}});
    const double updated = updateVertexFromObtuseAngle(1, {}, distance, mesh);
    EXPECT_NEAR(updated, 5.3467, 1e-4);
    EXPECT_NEAR(updated, 5.0, 0.5);
    // Without the face beyond, the corner's two edges.
    const HE::HalfEdgeGeom open = meshOf(positions, {{0, 1, 2}});
    EXPECT_NEAR(updateVertexFromObtuseAngle(1, {}, distance, open),
                std::min(3.0 + std::sqrt(10.0), std::sqrt(40.0) + std::sqrt(13.0)), 1e-6);
}

TEST(FastMarchingMarch, SquareAcceptsFirstInsertedOfEqualDistancesAndUnfoldsRightAngle)
{
    //   3----2
    //   | \  |
    //   |  \ |
    //   0----1
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 3}, {1, 2, 3}});
    EXPECT_EQ(mesh.vertexNeighbours(0), (QList<int>{3, 1}));
    QList<double> distances;
    EXPECT_EQ(acceptanceOrder(0, mesh, &distances), (QList<int>{0, 3, 1, 2}));
    ASSERT_EQ(distances.size(), 4);
    EXPECT_EQ(distances[1], 1.0);
    EXPECT_EQ(distances[2], 1.0);
    EXPECT_NEAR(distances[3], std::sqrt(2.0), 1e-6);
    EXPECT_NEAR(computeDistancesFromVertex(0, mesh)[2], std::sqrt(2.0), 1e-6);
}

TEST(FastMarchingMarch, FullFieldOfFiveVertices)
{
    const HE::HalfEdgeGeom mesh =
        meshOf({{0, 0, 0}, {2, 0, 0}, {6, 1, 0}, {4, 3, 0}, {1, 2, 0}}, {{0, 1, 4}, {1, 3, 4}, {1, 2, 3}});
    const QVector<double> distance = computeDistancesFromVertex(0, mesh);
    const double marched[] = {0, 2, 6.1231, 5.3019, 2.2361};
    const double straight[] = {0, 2, 6.0828, 5, 2.2361};
    ASSERT_EQ(distance.size(), 5);
    for (int v = 0; v < 5; ++v) {
        EXPECT_NEAR(distance[v], marched[v], 1e-4) << v;
        EXPECT_NEAR(distance[v], straight[v], 0.5) << v;
    }
    EXPECT_EQ(acceptanceOrder(0, mesh), (QList<int>{0, 1, 4, 3, 2}));
}

TEST(FastMarchingMarch, VerticesInRadiusInAcceptanceOrderWithInclusiveBound)
{
    const HE::HalfEdgeGeom mesh =
        meshOf({{0, 0, 0}, {0, -2, 0}, {1, 0, 0}, {1, 1, 0}, {0, 3, 0}}, {{0, 1, 2}, {0, 2, 3}, {0, 3, 4}});
    const struct {
        double radius;
        QList<int> expected;
    } cases[] = {{2.1, {2, 3, 1}}, {2.0, {2, 3, 1}}, {1.0, {2}}, {0.5, {}}, {-1.0, {}}, {100.0, {2, 3, 1, 4}}};
    for (const auto& c : cases)
        EXPECT_EQ(findVerticesInRadius(0, mesh, c.radius), c.expected) << c.radius;
}

TEST(FastMarchingMarch, KNearestEnabledVertices)
{
    //   3----2
    //  /|  /
    // 0----1
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {2, 0, 0}, {3, 1, 0}, {1, 1, 0}}, {{0, 1, 3}, {1, 2, 3}});
    QList<double> distances;
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 2, {false, true, true, true}, &distances), (QList<int>{3, 1}));
    ASSERT_EQ(distances.size(), 2);
    EXPECT_NEAR(distances[0], std::sqrt(2.0), 1e-3);
    EXPECT_NEAR(distances[1], 2.0, 1e-3);

    // The same list again: emptied first.
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 1, {false, false, true, false}, &distances), (QList<int>{2}));
    ASSERT_EQ(distances.size(), 1);
    EXPECT_NEAR(distances[0], 3.2872, 1e-4);
    EXPECT_NEAR(distances[0], std::sqrt(10.0), 0.5);

    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 2, allEnabled(4), &distances), (QList<int>{0, 3}));
    EXPECT_EQ(distances[0], 0.0);
    EXPECT_NEAR(distances[1], std::sqrt(2.0), 1e-6);
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 10, allEnabled(4), &distances), (QList<int>{0, 3, 1, 2}));
    EXPECT_EQ(distances.size(), 4);

    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 0, allEnabled(4), &distances), (QList<int>{0}));
    EXPECT_EQ(distances, (QList<double>{0.0}));
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 0, {false, true, true, true}, &distances), (QList<int>{}));
    EXPECT_TRUE(distances.isEmpty());
    // Fewer reachable enabled vertices than asked for.
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 5, {false, false, true, false}, &distances), (QList<int>{2}));
}

TEST(FastMarchingMarch, UnreachableVertices)
{
    // Vertex 0 lies in no face.
    const HE::HalfEdgeGeom lonely = meshOf({{0, 0, 0}, {1, 0, 0}, {2, 0, 0}, {1, 1, 0}}, {{1, 2, 3}});
    EXPECT_EQ(computeDistancesFromVertex(0, lonely), (QVector<double>{0, unreached, unreached, unreached}));
    EXPECT_TRUE(findVerticesInRadius(0, lonely, 100).isEmpty());
    QList<double> distances;
    EXPECT_EQ(findKNearestEnabledVertices(0, lonely, 3, allEnabled(4), &distances), (QList<int>{0}));
    EXPECT_EQ(distances, (QList<double>{0.0}));

    // Two separate triangles.
    const HE::HalfEdgeGeom apart =
        meshOf({{0, 0, 0}, {2, 0, 0}, {1, 1, 0}, {3, 0, 0}, {5, 0, 0}, {4, 1, 0}}, {{0, 1, 2}, {3, 4, 5}});
    const QVector<double> distance = computeDistancesFromVertex(0, apart);
    EXPECT_EQ(distance.mid(3), (QVector<double>{unreached, unreached, unreached}));
    EXPECT_EQ(acceptanceOrder(0, apart), (QList<int>{0, 2, 1}));
}

TEST(FastMarchingMarch, FacesWithZeroLengthEdgesTakeNoPart)
{
    // Vertices 2 and 3 share a position, so the face (1, 3, 2) has a zero-length edge.
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}, {0, 1, 0}}, {{0, 1, 2}, {1, 3, 2}});
    TestSupport::LogCapture log;
    EXPECT_EQ(computeDistancesFromVertex(0, mesh), (QVector<double>{0, 1, 1, unreached}));
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList({"Face has zero length edges!", "Face has zero length edges!",
                                                  "Face has zero length edges!"}));
    QList<double> distances;
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 10, allEnabled(4), &distances), (QList<int>{0, 2, 1, 3}));
    EXPECT_EQ(distances, (QList<double>{0, 1, 1, unreached}));

    // Over a taken geometry: the same distances and the same lines, logged on every visit.
    const MarchGeometry geometry(mesh);
    log.clear();
    EXPECT_EQ(computeDistancesFromVertex(0, geometry), (QVector<double>{0, 1, 1, unreached}));
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList({"Face has zero length edges!", "Face has zero length edges!",
                                                  "Face has zero length edges!"}));
    EXPECT_EQ(findKNearestEnabledVertices(0, geometry, 10, allEnabled(4), &distances), (QList<int>{0, 2, 1, 3}));
    EXPECT_EQ(distances, (QList<double>{0, 1, 1, unreached}));
}

TEST(FastMarchingMarch, InvalidArgumentsGiveEmptyResults)
{
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {0, 1, 0}}, {{0, 1, 2}});
    EXPECT_EQ(computeDistancesFromVertex(3, mesh), (QVector<double>(3, unreached)));
    EXPECT_TRUE(findVerticesInRadius(-1, mesh, 5).isEmpty());
    QList<double> distances = {4.0};
    EXPECT_TRUE(findKNearestEnabledVertices(7, mesh, 2, allEnabled(3), &distances).isEmpty());
    EXPECT_TRUE(distances.isEmpty());
    // A mask shorter than the mesh leaves the vertices beyond it disabled; no distances list is fine.
    EXPECT_EQ(findKNearestEnabledVertices(0, mesh, 3, {true, true}, nullptr), (QList<int>{0, 1}));
}

TEST(FastMarchingGeometry, LargestDistanceOnUnitSphereIsPi)
{
    const Surface sphere = icosphere(5);
    const HE::HalfEdgeGeom mesh = meshOf(sphere.vertices, sphere.triangles);
    for (int source : {0, 5, 1000}) {
        const QVector<double> distance = computeDistancesFromVertex(source, mesh);
        const double largest = *std::max_element(distance.begin(), distance.end());
        EXPECT_NEAR(largest, M_PI, 0.01 * M_PI) << source;
        // No distance is below the chord; away from the source (where a point source is least
        // like the plane waves of the updates) every one is within 3% of the arc.
        for (int v = 0; v < distance.size(); ++v) {
            const double chord = double((sphere.vertices[v] - sphere.vertices[source]).length());
            const double arc = 2.0 * std::asin(std::min(1.0, chord / 2.0));
            ASSERT_GE(distance[v], chord - 1e-6) << v;
            if (arc > 1.0) {
                ASSERT_NEAR(distance[v], arc, 0.03 * arc) << v;
            }
        }
    }
}

TEST(FastMarchingGeometry, DistancesAreSymmetricOnIrregularMesh)
{
    // Every point moved by up to about a sixth of an edge.
    Surface sphere = icosphere(5);
    std::mt19937 random(11);
    std::uniform_real_distribution<float> offset(-0.005f, 0.005f);
    for (QVector3D& p : sphere.vertices)
        p = (p + QVector3D(offset(random), offset(random), offset(random))).normalized();
    const HE::HalfEdgeGeom mesh = meshOf(sphere.vertices, sphere.triangles);
    std::uniform_int_distribution<int> pick(0, sphere.vertices.size() - 1);
    int compared = 0;
    while (compared < 30) {
        const int i = pick(random), j = pick(random);
        if ((sphere.vertices[i] - sphere.vertices[j]).length() < 0.5f)
            continue;
        const double there = computeDistancesFromVertex(i, mesh)[j];
        const double back = computeDistancesFromVertex(j, mesh)[i];
        EXPECT_NEAR(there, back, 0.01 * std::max(there, back)) << i << " " << j;
        ++compared;
    }
}

TEST(FastMarchingGeometry, QuadFacesGiveDistancesBetweenLineAndEdgePath)
{
    // Polygons beyond triangles: corners still update from their two face neighbours.
    QVector<QVector3D> positions;
    QVector<QList<int>> quads;
    for (int y = 0; y < 4; ++y)
        for (int x = 0; x < 4; ++x)
            positions.append(QVector3D(x, y, 0));
    for (int y = 0; y < 3; ++y)
        for (int x = 0; x < 3; ++x)
            quads.append({y * 4 + x, y * 4 + x + 1, y * 4 + x + 5, y * 4 + x + 4});
    const HE::HalfEdgeGeom mesh = meshOf(positions, quads);
    const QVector<double> distance = computeDistancesFromVertex(0, mesh);
    for (int v = 0; v < 16; ++v) {
        EXPECT_GE(distance[v], double(positions[v].length()) - 1e-6) << v;
        EXPECT_LE(distance[v], positions[v].x() + positions[v].y() + 1e-6) << v;
    }
}

TEST(FastMarchingBand, HeapBandMatchesPlainLinearBand)
{
    // Rounded coordinates and regular grids make many equal distances, so the tie order is tested.
    const Surface meshes[] = {grid(14, 0.0, 0.0, 1), grid(15, 0.3, 0.4, 2), grid(12, 0.45, 1.5, 3),
                              grid(16, 0.4, 0.5, 4, 0.25), icosphere(2)};
    std::mt19937 random(5);
    for (const Surface& surface : meshes) {
        const HE::HalfEdgeGeom mesh = meshOf(surface.vertices, surface.triangles);
        const int n = surface.vertices.size();
        for (int s = 0; s < 6; ++s) {
            const int source = int(random() % unsigned(n));
            const PlainMarch plain = plainMarch(source, mesh);
            const QVector<double> distance = computeDistancesFromVertex(source, mesh);
            ASSERT_EQ(distance.size(), n);
            for (int v = 0; v < n; ++v)
                ASSERT_EQ(distance[v], plain.distance[v]) << "source " << source << " vertex " << v;
            EXPECT_EQ(acceptanceOrder(source, mesh), plain.order) << source;
            const double radius = plain.distance[plain.order[n / 3]];
            int inside = 1;
            while (inside < plain.order.size() && plain.distance[plain.order[inside]] <= radius)
                ++inside;
            EXPECT_EQ(findVerticesInRadius(source, mesh, radius), plain.order.mid(1, inside - 1)) << source;
        }
    }
}

TEST(FastMarchingBand, BodyShapesMatchPlainLinearBandOverMeshAndGeometry)
{
    // Long thin limbs lower the distances of waiting vertices again and again (their heap entries
    // move up in place); the pebble is a second piece that no march from the body reaches.
    TestSupport::LogCapture log;  // the construction reports the non-manifold vertices
    const TestMeshes::Mesh shapes[] = {TestMeshes::bodyShape(0.6), TestMeshes::bodyAndPebble(0.6)};
    for (const TestMeshes::Mesh& shape : shapes) {
        const HE::HalfEdgeGeom mesh = meshOf(shape.vertices, shape.triangles);
        const MarchGeometry geometry(mesh);
        ASSERT_TRUE(geometry.isComplete());
        const int n = shape.vertices.size();
        for (int source : {0, n / 4, n / 2, n - 1}) {
            const PlainMarch plain = plainMarch(source, mesh);
            const QVector<double> distance = computeDistancesFromVertex(source, mesh);
            for (int v = 0; v < n; ++v)
                ASSERT_EQ(distance[v], plain.distance[v]) << "source " << source << " vertex " << v;
            EXPECT_EQ(acceptanceOrder(source, mesh), plain.order) << source;
            expectGeometryMarchMatchesPlain(mesh, geometry, source);
        }
    }
}

TEST(FastMarchingBand, NonManifoldMeshesTerminate)
{
    TestSupport::LogCapture log;  // the mesh construction reports the faults
    const QVector<QVector3D> positions = {{0, 0, 0}, {1, 0, 0},  {0, 1, 0},  {0, -1, 0},
                                          {1, 1, 1}, {-1, 0, 0}, {-1, -1, 0}};
    const QVector<QList<int>> shapes[] = {
        {{0, 1, 2}, {0, 1, 3}, {0, 1, 4}},             // one directed edge in three faces
        {{0, 1, 2}, {0, 5, 6}},                        // two triangles meeting at one vertex
        {{0, 1, 2}, {1, 0, 3}, {0, 1, 4}, {2, 1, 0}},  // a face listed in both windings
        {{0, 0, 1}, {0, 1, 2}},                        // a vertex listed twice in a row
    };
    for (const QVector<QList<int>>& faces : shapes) {
        const HE::HalfEdgeGeom mesh = meshOf(positions, faces);
        for (int source = 0; source < positions.size(); ++source) {
            const PlainMarch plain = plainMarch(source, mesh);
            EXPECT_EQ(computeDistancesFromVertex(source, mesh), plain.distance);
            const int n = positions.size();
            QList<double> distances;
            EXPECT_EQ(findKNearestEnabledVertices(source, mesh, 4 * n, allEnabled(n), &distances), plain.order);
            const MarchGeometry geometry(mesh);
            EXPECT_EQ(computeDistancesFromVertex(source, geometry), plain.distance);
            EXPECT_EQ(findKNearestEnabledVertices(source, geometry, 4 * n, allEnabled(n), &distances), plain.order);
        }
    }
}

TEST(FastMarchingBand, PositionsThatAreNotNumbersMatchPlainBand)
{
    // Distances that are not numbers have no order; the band then scans like the plain list.
    Surface surface = grid(8, 0.3, 0.2, 6);
    surface.vertices[27] = QVector3D(NAN, 0, 0);
    const HE::HalfEdgeGeom mesh = meshOf(surface.vertices, surface.triangles);
    auto same = [](double a, double b) { return (std::isnan(a) && std::isnan(b)) || a == b; };
    for (int source : {0, 20, 27, 63}) {
        const PlainMarch plain = plainMarch(source, mesh);
        const QVector<double> distance = computeDistancesFromVertex(source, mesh);
        for (int v = 0; v < distance.size(); ++v)
            ASSERT_TRUE(same(distance[v], plain.distance[v])) << source << " " << v;
        EXPECT_EQ(acceptanceOrder(source, mesh), plain.order) << source;
        expectGeometryMarchMatchesPlain(mesh, MarchGeometry(mesh), source);
    }
}

// Every vertex's k nearest nodes found from 8 threads at once, through `nearest`, must equal
// the serial march over the mesh.
template <typename Nearest>
void expectThreadedKNearestEqualsSerial(const HE::HalfEdgeGeom& mesh, const QVector<bool>& nodes,
                                        const Nearest& nearest)
{
    const int n = mesh.vertexHalfEdges.size();
    QVector<QList<int>> serialNearest(n), parallelNearest(n);
    QVector<QList<double>> serialDistances(n), parallelDistances(n);
    for (int v = 0; v < n; ++v)
        serialNearest[v] = findKNearestEnabledVertices(v, mesh, 5, nodes, &serialDistances[v]);

    const int nThreads = 8;
    std::vector<std::thread> threads;
    for (int t = 0; t < nThreads; ++t)
        threads.emplace_back([&, t] {
            for (int v = t; v < n; v += nThreads)
                parallelNearest[v] = nearest(v, &parallelDistances[v]);
        });
    for (std::thread& thread : threads)
        thread.join();
    EXPECT_EQ(parallelNearest, serialNearest);
    EXPECT_EQ(parallelDistances, serialDistances);
}

TEST(FastMarchingConcurrency, KNearestFromManyThreadsEqualsSerial)
{
    const Surface sphere = icosphere(4);
    const HE::HalfEdgeGeom mesh = meshOf(sphere.vertices, sphere.triangles);
    const int n = sphere.vertices.size();
    QVector<bool> nodes(n, false);
    for (int v = 0; v < n; v += 37)
        nodes[v] = true;
    expectThreadedKNearestEqualsSerial(mesh, nodes, [&](int v, QList<double>* distances) {
        return findKNearestEnabledVertices(v, mesh, 5, nodes, distances);
    });
    for (int v = 0; v < n; ++v)
        ASSERT_EQ(findKNearestEnabledVertices(v, mesh, 5, nodes, nullptr).size(), 5);
}

TEST(FastMarchingTakenGeometry, MatchesPlainLinearBandBitForBit)
{
    // Regular and jittered grids (many ties, many obtuse corners), a grid rounded so coarsely that
    // vertices coincide (faces with zero-length edges, unfoldings that run into them), and spheres.
    Surface irregular = icosphere(3);
    std::mt19937 jitter(13);
    std::uniform_real_distribution<float> offset(-0.02f, 0.02f);
    for (QVector3D& p : irregular.vertices)
        p = (p + QVector3D(offset(jitter), offset(jitter), offset(jitter))).normalized();
    const Surface meshes[] = {grid(14, 0.0, 0.0, 1),
                              grid(15, 0.3, 0.4, 2),
                              grid(12, 0.45, 1.5, 3),
                              grid(16, 0.4, 0.5, 4, 0.25),
                              grid(14, 0.6, 0.3, 8, 1.0),
                              icosphere(2),
                              irregular};
    std::mt19937 random(5);
    for (const Surface& surface : meshes) {
        const HE::HalfEdgeGeom mesh = meshOf(surface.vertices, surface.triangles);
        const MarchGeometry geometry(mesh);
        ASSERT_TRUE(geometry.isComplete());
        for (int s = 0; s < 6; ++s)
            expectGeometryMarchMatchesPlain(mesh, geometry, int(random() % unsigned(surface.vertices.size())));
    }
}

TEST(FastMarchingTakenGeometry, NonManifoldVerticesMatchPlainMarch)
{
    // Two jittered grids that share only their corner vertex: the rotation around that vertex
    // covers one grid's fan alone, so it does not list its neighbours in the other grid although
    // they list it.
    const Surface first = grid(8, 0.3, 0.3, 21);
    const Surface second = grid(8, 0.3, 0.3, 22);
    Surface joined = first;
    const int shared = 63;  // last vertex of the first grid, first vertex of the second
    QVector<int> renumbered(second.vertices.size());
    for (int v = 0; v < second.vertices.size(); ++v) {
        if (v == 0) {
            renumbered[v] = shared;
            continue;
        }
        renumbered[v] = joined.vertices.size();
        joined.vertices.append(second.vertices[v] + first.vertices[shared] - second.vertices[0]);
    }
    for (const QList<int>& face : second.triangles)
        joined.triangles.append({renumbered[face[0]], renumbered[face[1]], renumbered[face[2]]});
    TestSupport::LogCapture log;  // the construction reports the non-manifold vertex
    const HE::HalfEdgeGeom mesh = meshOf(joined.vertices, joined.triangles);
    const MarchGeometry geometry(mesh);
    ASSERT_TRUE(geometry.isComplete());
    for (int source = 0; source < joined.vertices.size(); source += 5)
        expectGeometryMarchMatchesPlain(mesh, geometry, source);
}

TEST(FastMarchingTakenGeometry, TriangleSoupsMatchPlainMarch)
{
    // Random triangles over a few points: edges in three or more faces, faces in both windings,
    // rotations that do not close, neighbours that do not list each other.
    std::mt19937 random(31);
    std::uniform_real_distribution<float> coordinate(0.0f, 4.0f);
    for (int trial = 0; trial < 40; ++trial) {
        Surface soup;
        for (int v = 0; v < 24; ++v)
            soup.vertices.append(QVector3D(coordinate(random), coordinate(random), 0.3f * coordinate(random)));
        for (int f = 0; f < 40; ++f) {
            const int a = int(random() % 24), b = int(random() % 24), c = int(random() % 24);
            if (a != b && b != c && a != c)
                soup.triangles.append({a, b, c});
        }
        TestSupport::LogCapture log;  // the construction reports the faults
        const HE::HalfEdgeGeom mesh = meshOf(soup.vertices, soup.triangles);
        const MarchGeometry geometry(mesh);
        for (int source = 0; source < 24; source += 3)
            expectGeometryMarchMatchesPlain(mesh, geometry, source);
    }
}

TEST(FastMarchingTakenGeometry, ScanShapedBodyMatchesPlainMarch)
{
    // The scan-shaped template: holes in the torso, long thin limbs with many obtuse corners (the
    // updates through a support vertex), and parts joined at single non-manifold vertices.
    TestSupport::LogCapture log;  // the construction reports the non-manifold vertices
    const TestMeshes::Mesh body = TestMeshes::bodyShape(1.08);
    const HE::HalfEdgeGeom mesh = meshOf(body.vertices, body.triangles);
    const MarchGeometry geometry(mesh);
    ASSERT_TRUE(geometry.isComplete());
    const int n = body.vertices.size();
    for (int source : {0, n / 3, n / 2, n - 1})
        expectGeometryMarchMatchesPlain(mesh, geometry, source);
}

TEST(FastMarchingTakenGeometry, ZeroLengthFacesLogOnEveryVisitAsInThePlainMarch)
{
    //   2 (3,2)
    //  /      `.
    // 0,3 ------ 1 (6,1)     vertex 3 lies on vertex 0, so the face (0, 3, 1) beyond the edge
    //                        0-1 has a zero-length edge; the corner at 2 is obtuse.
    const HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {6, 1, 0}, {3, 2, 0}, {0, 0, 0}}, {{0, 1, 2}, {0, 3, 1}});
    const MarchGeometry geometry(mesh);
    for (int source = 0; source < 4; ++source)
        expectGeometryMarchMatchesPlain(mesh, geometry, source);
    // From vertex 3: accepting 0 (at 0) updates 2, whose obtuse corner unfolds into the face of 3,
    // and 1, whose corner in that face is skipped; accepting 2 updates 1 again.
    TestSupport::LogCapture log;
    computeDistancesFromVertex(3, geometry);
    EXPECT_EQ(log.texts(QtDebugMsg), QStringList({"During unfolding found a triangle with zero edge length!",
                                                  "Face has zero length edges!", "Face has zero length edges!"}));
}

TEST(FastMarchingTakenGeometry, MeshWithBrokenLinksMarchesOverTheMeshItself)
{
    // A boundary half-edge without its twin: nothing is taken ahead, the marches read the mesh.
    HE::HalfEdgeGeom mesh = meshOf({{0, 0, 0}, {1, 0, 0}, {1, 1, 0}, {0, 1, 0}}, {{0, 1, 3}, {1, 2, 3}});
    int boundary = -1;
    for (int h = 0; h < mesh.halfEdges.size() && boundary < 0; ++h)
        if (mesh.halfEdges[h].face < 0)
            boundary = h;
    ASSERT_GE(boundary, 0);
    mesh.halfEdges[boundary].opposite = -1;
    const MarchGeometry geometry(mesh);
    EXPECT_FALSE(geometry.isComplete());
    for (int source = 0; source < 4; ++source) {
        EXPECT_EQ(computeDistancesFromVertex(source, geometry), computeDistancesFromVertex(source, mesh));
        EXPECT_EQ(acceptanceOrder(source, geometry), acceptanceOrder(source, mesh));
        EXPECT_EQ(findVerticesInRadius(source, geometry, 1.0), findVerticesInRadius(source, mesh, 1.0));
    }
}

TEST(FastMarchingTakenGeometry, OneGeometryServesManyThreads)
{
    const Surface sphere = icosphere(4);
    const HE::HalfEdgeGeom mesh = meshOf(sphere.vertices, sphere.triangles);
    const MarchGeometry geometry(mesh);
    const int n = sphere.vertices.size();
    QVector<bool> nodes(n, false);
    for (int v = 0; v < n; v += 97)
        nodes[v] = true;
    expectThreadedKNearestEqualsSerial(mesh, nodes, [&](int v, QList<double>* distances) {
        return findKNearestEnabledVertices(v, geometry, 5, nodes, distances);
    });
    // The geometry's memory is reset between marches: a full field afterwards equals a fresh one.
    EXPECT_EQ(computeDistancesFromVertex(17, geometry), computeDistancesFromVertex(17, mesh));
}
