// Screen points, frustum planes and picking rays.
#include "spatial/selectiontools.h"

#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <limits>

using namespace SelectionTools;

namespace {

void expectNear(const QVector3D& actual, const QVector3D& expected)
{
    EXPECT_TRUE(fuzzyEqual(actual, expected))
        << "actual (" << actual.x() << ", " << actual.y() << ", " << actual.z() << ")";
}

}  // namespace

TEST(SelectionTools, PixelsToNormalizedDeviceCoordinates)
{
    const QSize size(1024, 768);
    EXPECT_EQ(screenToNormalizedDeviceCoord(QPoint(0, 0), size), QPointF(-1, 1));
    EXPECT_EQ(screenToNormalizedDeviceCoord(QPoint(1024, 768), size), QPointF(1, -1));
    EXPECT_EQ(screenToNormalizedDeviceCoord(QPoint(512, 384), size), QPointF(0, 0));
}

TEST(SelectionTools, PointsOnFrustumPlanes)
{
    QMatrix4x4 projection;
    projection.frustum(-2, 2, -2, 2, 1, 5);
    const QMatrix4x4 projectionInv = projection.inverted();
    expectNear(projectScreenPointToFrustumPlane(QPointF(0, 0), projectionInv, FrustumPlane_Far), QVector3D(0, 0, -5));
    expectNear(projectScreenPointToFrustumPlane(QPointF(0, 0), projectionInv, FrustumPlane_Near), QVector3D(0, 0, -1));
    expectNear(projectScreenPointToFrustumPlane(QPointF(-1, 1), projectionInv, FrustumPlane_Near),
               QVector3D(-2, 2, -1));

    const QVector<QPointF> polygon = {QPointF(0, 0), QPointF(-1, 1), QPointF(0.25, -0.5)};
    const QVector<QVector3D> near = projectScreenPolygonToFrustumPlane(polygon, projectionInv, FrustumPlane_Near);
    ASSERT_EQ(near.size(), 3);
    for (int i = 0; i < 3; ++i)
        EXPECT_EQ(near[i], projectScreenPointToFrustumPlane(polygon[i], projectionInv, FrustumPlane_Near));
    EXPECT_TRUE(projectScreenPolygonToFrustumPlane({}, projectionInv, FrustumPlane_Far).isEmpty());

    const QMatrix4x4 identity;
    EXPECT_EQ(projectScreenPointToFrustumPlane(QPointF(0.5, -0.25), identity, FrustumPlane_Near),
              QVector3D(0.5f, -0.25f, -1));
    EXPECT_EQ(projectScreenPointToFrustumPlane(QPointF(0.5, -0.25), identity, FrustumPlane_Far),
              QVector3D(0.5f, -0.25f, 1));
}

TEST(SelectionTools, PickingRays)
{
    QMatrix4x4 projection;
    projection.frustum(-1, 1, -1, 1, 2, 4);
    QMatrix4x4 modelView;
    modelView.translate(0, 0, -3);
    modelView.rotate(90, QVector3D(0, 1, 0));
    QVector3D origin, direction;
    screenPointToRay(QPointF(1, 1), projection, modelView, origin, direction);
    expectNear(origin, QVector3D(-3, 0, 0));
    expectNear(direction, QVector3D(4, 2, 2));

    screenPointToRay(QPointF(0.5, -0.25), QMatrix4x4(), QMatrix4x4(), origin, direction);
    EXPECT_EQ(origin, QVector3D(0, 0, 0));
    EXPECT_EQ(direction, QVector3D(0.5f, -0.25f, 1));
}

TEST(SelectionTools, FailedInversionsLeaveTheRayAlone)
{
    QMatrix4x4 zero;
    zero.fill(0.0f);
    QMatrix4x4 projection;
    projection.frustum(-1, 1, -1, 1, 2, 4);
    struct Case {
        QMatrix4x4 projection, modelView;
        const char* message;
    };
    const Case cases[] = {
        {projection, zero, "Failed to invert model view matrix"},
        {zero, QMatrix4x4(), "Failed to invert projection matrix"},
    };
    for (const Case& c : cases) {
        TestSupport::LogCapture log;
        QVector3D origin(7, 8, 9), direction(1, 2, 3);
        screenPointToRay(QPointF(0.5, 0.5), c.projection, c.modelView, origin, direction);
        EXPECT_EQ(origin, QVector3D(7, 8, 9));
        EXPECT_EQ(direction, QVector3D(1, 2, 3));
        EXPECT_EQ(log.texts(), QStringList{c.message});
    }
}

TEST(SelectionTools, FuzzyEqualIsStrict)
{
    const float nan = std::numeric_limits<float>::quiet_NaN();
    EXPECT_TRUE(fuzzyEqual(QVector3D(1, 2, 3), QVector3D(1, 2, 3)));
    EXPECT_TRUE(fuzzyEqual(QVector3D(0, 0, 0), QVector3D(0, 0.4f, 0), 0.5));
    EXPECT_FALSE(fuzzyEqual(QVector3D(0, 0, 0), QVector3D(0, 0, 0.5f), 0.5));
    EXPECT_FALSE(fuzzyEqual(QVector3D(0, 0, 0), QVector3D(0.25f, 0, 0), 0.25));
    EXPECT_FALSE(fuzzyEqual(QVector3D(nan, 0, 0), QVector3D(nan, 0, 0)));
}
