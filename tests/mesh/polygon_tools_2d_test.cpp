// 2D polygon tools: barycentric weights, point in triangle, reflex corners and ear clipping.
#include "mesh/PolygonTools2D.h"

#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <QtMath>
#include <algorithm>
#include <cmath>

using namespace PolygonTools2D;

namespace {

using Triangles = QVector<QVector<int>>;

// Every triangle keeps the polygon's sense, and the triangles' areas add up to the polygon's.
double signedArea(const QVector<QPointF>& p)
{
    double sum = 0;
    for (int i = 0; i < p.size(); ++i) {
        const QPointF& a = p[i];
        const QPointF& b = p[(i + 1) % p.size()];
        sum += a.x() * b.y() - b.x() * a.y();
    }
    return sum / 2;
}

}  // namespace

TEST(PolygonTools2D, BarycentricWeightsReproduceThePoint)
{
    const QPointF a(1, 1), b(4, 2), c(2, 5);
    const QVector3D w = barycentricCoordinates(QPointF(2.5, 2.5), a, b, c);
    EXPECT_NEAR(w.x() + w.y() + w.z(), 1.0, 1e-6);
    EXPECT_NEAR(w.x() * a.x() + w.y() * b.x() + w.z() * c.x(), 2.5, 1e-5);
    EXPECT_NEAR(w.x() * a.y() + w.y() * b.y() + w.z() * c.y(), 2.5, 1e-5);
    EXPECT_EQ(barycentricCoordinates(a, a, b, c), QVector3D(1, 0, 0));
    EXPECT_EQ(barycentricCoordinates(c, a, b, c), QVector3D(0, 0, 1));
}

//  (0,2)
//    | `.          points tested against the triangle (0,0), (2,0), (0,2)
//    |   `.
//  (0,0)--(2,0)
TEST(PolygonTools2D, PointInsideTriangleIncludesEdgesAndCorners)
{
    const QPointF a(0, 0), b(2, 0), c(0, 2);
    const struct {
        QPointF p;
        bool inside;
    } cases[] = {{{0.5, 0.5}, true}, {{0, 0}, true}, {{1, 1}, true}, {{2, 2}, false}, {{-1, -1}, false}};
    for (const auto& c2 : cases)
        EXPECT_EQ(isPointInsideTriangle(c2.p, a, b, c), c2.inside) << c2.p.x() << "," << c2.p.y();
    // A zero-area triangle contains nothing, not even its own corners.
    EXPECT_FALSE(isPointInsideTriangle(QPointF(1, 1), QPointF(0, 0), QPointF(1, 1), QPointF(2, 2)));
}

TEST(PolygonTools2D, ReflexCorners)
{
    const QPointF a(0, 0), b(1, 0);
    const struct {
        QPointF c;
        bool reflex;
    } cases[] = {{{1, 1}, false}, {{1, 0}, false}, {{1, -1}, true}, {{0, -1}, true}, {{2, 0}, false}};
    for (const auto& c : cases) {
        EXPECT_EQ(isReflectAngle(a, b, c.c), c.reflex) << c.c.x() << "," << c.c.y();
        // The clockwise sense flips every strict answer; collinear points stay convex.
        const bool collinear = c.c.y() == 0;
        EXPECT_EQ(isReflectAngle(a, b, c.c, true), !c.reflex && !collinear) << c.c.x() << "," << c.c.y();
    }
}

//  (0,1)
//    | `.          point 3 at (0.5,0.5) lies on the edge from (1,0) to (0,1)
//    |   3
//  (0,0)--(1,0)
TEST(PolygonTools2D, InnerTriangleComparesIndicesNotPositions)
{
    const QVector<QPointF> points = {{0, 0}, {1, 0}, {0, 1}, {0.5, 0.5}};
    EXPECT_FALSE(isInnerTriangle(0, 1, 2, points));
    EXPECT_TRUE(isInnerTriangle(1, 2, 3, points));
    // A second point at a corner's position counts as inside.
    EXPECT_FALSE(isInnerTriangle(0, 1, 2, {{0, 0}, {1, 0}, {0, 1}, {0, 0}}));
}

TEST(PolygonTools2D, OrientationTable)
{
    const struct {
        QVector<QPointF> points;
        bool clockwise;
    } cases[] = {
        {{{0, 0}, {1, 1}, {2, 0}}, true},     {{{0, 0}, {2, 0}, {1, 1}}, false}, {{{0, 0}, {-1, -1}, {-2, 0}}, true},
        {{{0, 0}, {-2, 0}, {-1, -1}}, false}, {{{0, 0}, {1, 1}, {1, -1}}, true}, {{{0, 0}, {1, -1}, {1, 1}}, false},
    };
    for (const auto& c : cases) {
        bool ok = false;
        EXPECT_EQ(isPolygonClockwise(c.points, &ok), c.clockwise);
        EXPECT_TRUE(ok);
    }
    bool ok = true;
    EXPECT_TRUE(isPolygonClockwise({{0, 0}, {1, 0}, {0, 0}}, &ok));
    EXPECT_FALSE(ok);
    ok = true;
    EXPECT_TRUE(isPolygonClockwise({}, &ok));
    EXPECT_FALSE(ok);
    EXPECT_FALSE(isPolygonClockwise({{0, 0}, {1, 0}, {0, 1}}));  // without an ok pointer
}

TEST(PolygonTools2D, EarClippingExamples)
{
    const struct {
        const char* name;
        QVector<QPointF> polygon;
        bool ok;
        Triangles triangles;
    } cases[] = {
        {"triangle ccw", {{0, 0}, {1, 0}, {0, 1}}, true, {{0, 1, 2}}},
        {"triangle cw", {{0, 0}, {0, 1}, {1, 0}}, true, {{0, 1, 2}}},
        {"square", {{0, 0}, {1, 0}, {1, 1}, {0, 1}}, true, {{0, 1, 3}, {1, 2, 3}}},
        // The ten points on a grid (x 0 to 7, y 2 down to -3), joined in index order:
        //    y  2:  . 9 . . . . . .
        //       1:  . . . 6 . . . 4
        //       0:  0 8 . . 5 . . .
        //      -1:  . . 7 . 2 . 3 .
        //      -2:  . . . . . . . .
        //      -3:  . . 1 . . . . .
        {"ten points",
         {{0, 0}, {2, -3}, {4, -1}, {6, -1}, {7, 1}, {4, 0}, {3, 1}, {2, -1}, {1, 0}, {1, 2}},
         true,
         {{3, 4, 2}, {4, 5, 2}, {5, 6, 2}, {6, 7, 2}, {9, 0, 8}, {0, 1, 8}, {2, 7, 1}, {7, 8, 1}}},
        {"self-intersecting", {{0, 0}, {2, 0}, {1, -1}, {0, 1}}, false, {}},
        {"square with repeated start", {{0, 0}, {1, 0}, {1, 1}, {0, 1}, {0, 0}}, false, {}},
        {"empty", {}, false, {}},
        {"single point", {{3, 4}}, false, {}},
        {"collinear", {{0, 0}, {1, 1}, {2, 2}}, false, {}},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.name);
        bool ok = !c.ok;
        EXPECT_EQ(triangulateByEarClipping(c.polygon, &ok), c.triangles);
        EXPECT_EQ(ok, c.ok);
        EXPECT_EQ(triangulateByEarClipping(c.polygon), c.triangles);
    }
}

// A star with reflex corners in both senses: n - 2 triangles, each of the polygon's own sense,
// covering the polygon's area exactly once.
TEST(PolygonTools2D, EarClippingCoversTheStarInItsOwnSense)
{
    QVector<QPointF> star;
    for (int i = 0; i < 14; ++i) {
        const double radius = i % 2 ? 1.0 : 3.0;
        const double angle = i * 2 * M_PI / 14;
        star.append(QPointF(radius * std::cos(angle), radius * std::sin(angle)));
    }
    for (bool reversed : {false, true}) {
        QVector<QPointF> polygon = star;
        if (reversed)
            std::reverse(polygon.begin(), polygon.end());
        bool ok = false;
        const Triangles triangles = triangulateByEarClipping(polygon, &ok);
        ASSERT_TRUE(ok);
        ASSERT_EQ(triangles.size(), polygon.size() - 2);
        double total = 0;
        for (const QVector<int>& t : triangles) {
            const double area = signedArea({polygon[t[0]], polygon[t[1]], polygon[t[2]]});
            EXPECT_EQ(area > 0, signedArea(polygon) > 0);
            total += area;
        }
        EXPECT_NEAR(total, signedArea(polygon), 1e-9);
    }
}
