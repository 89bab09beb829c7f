// Lasso polygons as selection prisms between the near and far planes: corners, edges, normals, the
// triangulation (repeated points included) and the failures that give no volume.
#include "editing/polygonselectiontools.h"
#include "spatial/selectiontools.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

using namespace PolygonSelectionTools;

namespace {

// Near plane 1, far plane 10, eye at z = 5 looking down -z: NDC (x, y) lies at (x, y, 4) on the
// near plane and at (10x, 10y, -5) on the far plane.
QMatrix4x4 projection()
{
    QMatrix4x4 m;
    m.frustum(-1, 1, -1, 1, 1, 10);
    return m;
}

QMatrix4x4 modelView()
{
    QMatrix4x4 m;
    m.translate(0, 0, -5);
    return m;
}

::testing::AssertionResult near(const QVector<QVector3D>& actual, const QVector<QVector3D>& expected)
{
    if (actual.size() != expected.size())
        return ::testing::AssertionFailure() << actual.size() << " vectors instead of " << expected.size();
    for (int i = 0; i < actual.size(); ++i)
        if (!SelectionTools::fuzzyEqual(actual[i], expected[i], 1e-4))
            return ::testing::AssertionFailure()
                   << "vector " << i << ": (" << actual[i].x() << ", " << actual[i].y() << ", " << actual[i].z()
                   << ") instead of (" << expected[i].x() << ", " << expected[i].y() << ", " << expected[i].z() << ")";
    return ::testing::AssertionSuccess();
}

bool touches(const BVH2::ConvexPolyhedron& volume, const QVector3D& centre)
{
    const QVector3D dx(0.01f, 0, 0), dy(0, 0.01f, 0);
    const BVH2::ConvexPolyhedron triangle(centre, centre + dx, centre + dy);
    return BVH2::checkConvexPolyhedronsIntersection(volume, triangle) != BVH2::PolyhedronIntersection_NoIntersection;
}

bool anyTouches(const QVector<BVH2::ConvexPolyhedron>& volumes, const QVector3D& centre)
{
    for (const BVH2::ConvexPolyhedron& volume : volumes)
        if (touches(volume, centre))
            return true;
    return false;
}

}  // namespace

TEST(PolygonSelectionTools, TriangleSweepsBetweenNearAndFarPlane)
{
    const BVH2::ConvexPolyhedron volume = screenTriangleToSelectionPolyhedron(
        {{0, 0}, {1, 0}, {0, 1}}, projection().inverted(), modelView(), modelView().inverted());
    EXPECT_TRUE(near(volume.vertices, {{0, 0, 4}, {1, 0, 4}, {0, 1, 4}, {0, 0, -5}, {10, 0, -5}, {0, 10, -5}}));
    EXPECT_TRUE(near(volume.edgeVectors, {{0, 0, -9}, {10, 0, 0}, {9, 0, -9}, {-10, 10, 0}, {0, 9, -9}, {0, -10, 0}}));
    EXPECT_TRUE(near(volume.polygonNormals, {{0, -90, 0}, {90, 90, 90}, {-90, 0, 0}, {0, 0, -1}}));

    // At z = 0 (depth 5) the prism's cross-section is the triangle (0, 0), (5, 0), (0, 5).
    EXPECT_TRUE(touches(volume, {1, 1, 0}));
    EXPECT_TRUE(touches(volume, {0.5f, 0.5f, -4.9f}));
    EXPECT_TRUE(touches(volume, {0.5f, 0.5f, 3.9f}));
    EXPECT_FALSE(touches(volume, {4, 4, 0}));
    EXPECT_FALSE(touches(volume, {-1, 1, 0}));
    EXPECT_FALSE(touches(volume, {0.1f, 0.1f, 4.5f}));  // between the eye and the near plane
}

TEST(PolygonSelectionTools, PolygonBecomesOnePrismPerTriangle)
{
    // An L: the notch at the upper right is not covered.
    const QVector<QPointF> lShape{{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0}, {0, 0}, {0, 0.5}, {-0.5, 0.5}};
    const QVector<BVH2::ConvexPolyhedron> volumes =
        screenPolygonToSelectionPolyhedrons(lShape, projection(), modelView());
    ASSERT_EQ(volumes.size(), 4);
    for (const BVH2::ConvexPolyhedron& volume : volumes) {
        EXPECT_EQ(volume.vertices.size(), 6);
        EXPECT_EQ(volume.edgeVectors.size(), 6);
        EXPECT_EQ(volume.polygonNormals.size(), 4);
    }
    // At depth 5 the L spans -2.5 to 2.5.
    EXPECT_TRUE(anyTouches(volumes, {-2, -2, 0}));
    EXPECT_TRUE(anyTouches(volumes, {2, -2, 0}));
    EXPECT_TRUE(anyTouches(volumes, {-2, 2, 0}));
    EXPECT_FALSE(anyTouches(volumes, {2, 2, 0}));
    EXPECT_FALSE(anyTouches(volumes, {-3, 0, 0}));

    // Repeated consecutive points (a pixel clicked twice, a last point on the first) change nothing.
    const QVector<QPointF> repeated{{-0.5, -0.5}, {-0.5, -0.5}, {0.5, -0.5}, {0.5, 0},    {0.5, 0},
                                    {0.5, 0},     {0, 0},       {0, 0.5},    {-0.5, 0.5}, {-0.5, -0.5}};
    const QVector<BVH2::ConvexPolyhedron> same =
        screenPolygonToSelectionPolyhedrons(repeated, projection(), modelView());
    ASSERT_EQ(same.size(), volumes.size());
    for (int i = 0; i < same.size(); ++i) {
        EXPECT_EQ(same[i].vertices, volumes[i].vertices);
        EXPECT_EQ(same[i].edgeVectors, volumes[i].edgeVectors);
        EXPECT_EQ(same[i].polygonNormals, volumes[i].polygonNormals);
    }
}

TEST(PolygonSelectionTools, PolygonsWithoutVolumeAreLogged)
{
    const QVector<QPointF> square{{-0.5, -0.5}, {0.5, -0.5}, {0.5, 0.5}, {-0.5, 0.5}};
    struct Case {
        QVector<QPointF> polygon;
        QMatrix4x4 projection;
        QMatrix4x4 modelView;
        QString log;
    };
    const Case cases[] = {
        {{}, projection(), modelView(), "Failed to triangulate polygon"},
        {{{0.1, 0.1}}, projection(), modelView(), "Failed to triangulate polygon"},
        {{{0.1, 0.1}, {0.3, 0.2}}, projection(), modelView(), "Failed to triangulate polygon"},
        {{{0, 0}, {0.5, 0.5}, {1, 1}}, projection(), modelView(), "Failed to triangulate polygon"},
        {{{0.2, 0.2}, {0.2, 0.2}, {0.2, 0.2}}, projection(), modelView(), "Failed to triangulate polygon"},
        {square, QMatrix4x4(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 0, 0, 0, 0, 0, 1), modelView(),
         "Failed to invert projection matrix"},
        {square, projection(), QMatrix4x4(0, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1),
         "Failed to invert model view matrix"},
    };
    for (const Case& c : cases) {
        TestSupport::LogCapture log;
        EXPECT_TRUE(screenPolygonToSelectionPolyhedrons(c.polygon, c.projection, c.modelView).isEmpty());
        EXPECT_EQ(log.texts(), QStringList{c.log}) << c.polygon.size() << " points";
    }
}

TEST(PolygonSelectionTools, TransformPointsDividesByW)
{
    const QVector<QVector3D> points{{1, 2, 3}, {-1, 0, 0.5f}};
    const QVector<QVector3D> same = transformPoints(points, QMatrix4x4());
    EXPECT_TRUE(same.isSharedWith(points));

    QMatrix4x4 shift;
    shift.translate(1, 0, 0);
    EXPECT_EQ(transformPoints(points, shift), (QVector<QVector3D>{{2, 2, 3}, {0, 0, 0.5f}}));

    // w = 2 everywhere: every coordinate halves.
    const QMatrix4x4 halve(1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 1, 0, 0, 0, 0, 2);
    EXPECT_EQ(transformPoints(points, halve), (QVector<QVector3D>{{0.5f, 1, 1.5f}, {-0.5f, 0, 0.25f}}));
}
