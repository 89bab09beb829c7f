// Camera arithmetic shared by the views: the trackball, the mouse-button dispatch and the
// results view's orbit camera.
#include "rendering/CameraNavigation.h"
#include "rendering/TrackBall.h"
#include "rendering/Viewport3DLayered/orbitcamera.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>
#include <cmath>

using Viewport3D::CameraDrag;
using Viewport3D::OrbitCamera;
using Viewport3D::TrackBall;

namespace {

::testing::AssertionResult quaternionsNear(const QQuaternion& a, const QQuaternion& b)
{
    const QVector4D d = a.toVector4D() - b.toVector4D();
    if (d.length() < 1e-5f)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "(" << a.scalar() << ", " << a.x() << ", " << a.y() << ", " << a.z()
                                         << ") vs (" << b.scalar() << ", " << b.x() << ", " << b.y() << ", " << b.z()
                                         << ")";
}

}  // namespace

TEST(TrackBall, OneDragStepTurnsByTheArcBetweenTheSpherePoints)
{
    struct Case {
        const char* name;
        QPointF from, to;
        QQuaternion expected;
    };
    const Case cases[] = {
        {"right_by_half", {0, 0}, {0.5, 0}, QQuaternion::fromAxisAndAngle(0, 1, 0, 30)},
        {"up_by_half", {0, 0}, {0, 0.5}, QQuaternion::fromAxisAndAngle(-1, 0, 0, 30)},
        {"outside_the_circle_lands_on_the_rim", {0, 0}, {2, 0}, QQuaternion::fromAxisAndAngle(0, 1, 0, 90)},
        {"equal_points", {0.3, 0.2}, {0.3, 0.2}, QQuaternion()},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        TrackBall ball;
        ball.reset();
        ball.begin(c.from);
        ball.move(c.to);
        EXPECT_TRUE(quaternionsNear(ball.rotation, c.expected));
        EXPECT_EQ(ball.lastPoint, c.to);
    }
}

TEST(TrackBall, StepsApplyAfterTheRotationSoFarAndNeedADrag)
{
    TrackBall ball;
    ball.reset();
    ball.move({0.5, 0});  // not dragging: nothing happens
    EXPECT_TRUE(quaternionsNear(ball.rotation, QQuaternion()));

    ball.begin({0, 0});
    ball.move({0.5, 0});
    ball.begin({0, 0});
    ball.move({0, 0.5});
    const QQuaternion expected =
        QQuaternion::fromAxisAndAngle(-1, 0, 0, 30) * QQuaternion::fromAxisAndAngle(0, 1, 0, 30);
    EXPECT_TRUE(quaternionsNear(ball.rotation, expected));
    EXPECT_EQ(ball.axis, QVector3D(-1, 0, 0));

    ball.reset();
    EXPECT_FALSE(ball.dragging);
    EXPECT_EQ(ball.axis, QVector3D(0, 1, 0));
    EXPECT_TRUE(quaternionsNear(ball.rotation, QQuaternion()));
}

TEST(OrbitCamera, MatricesFollowTheRecord)
{
    OrbitCamera camera;
    camera.reset();
    camera.rotation.rotate(90, 0, 1, 0);
    camera.target = QVector3D(1, 0, 0);
    camera.distance = 5;
    // World point (0, 0, 0): moved by the target to (1, 0, 0), turned to (0, 0, -1), pushed back to z = -6.
    EXPECT_TRUE(qFuzzyCompare(camera.viewMatrix().map(QVector3D(0, 0, 0)), QVector3D(0, 0, -6)));

    QMatrix4x4 expected;
    expected.perspective(45, 300.0f / 1.0f, 0.1f, 10000.0f);
    EXPECT_EQ(camera.projectionMatrix(300, 0), expected) << "a height of 0 counts as 1";
}

TEST(OrbitCamera, FittingUsesTheNarrowerFieldOfView)
{
    struct Case {
        float aspect;
        double expectedDistance;
    };
    const double pi = 3.141592653589793;
    const Case cases[] = {
        {2.0f, 10.0 / std::tan(22.5 * pi / 180.0)},        // wide: the vertical angle
        {0.5f, 10.0 / std::tan(0.5 * 22.5 * pi / 180.0)},  // tall: f x aspect
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.aspect);
        OrbitCamera camera;
        camera.rotation.rotate(10, 1, 0, 0);
        const QMatrix4x4 rotation = camera.rotation;
        camera.fitBoundingSphere(1, 2, 3, 10, c.aspect);
        EXPECT_NEAR(camera.distance, c.expectedDistance, 1e-4);
        EXPECT_EQ(camera.target, QVector3D(-1, -2, -3));
        EXPECT_NEAR(camera.nearPlane, camera.distance / 1000, 1e-9);
        EXPECT_NEAR(camera.farPlane, camera.distance * 3, 1e-9);
        EXPECT_EQ(camera.rotation, rotation);
    }
    EXPECT_NEAR(OrbitCamera().horizontalFieldOfView(2.0f), 2 * 45 * pi / 180, 1e-6);
}

TEST(CameraNavigation, OnlyAltWithOneButtonStartsADragAndOnlyItsButtonContinuesIt)
{
    struct Case {
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
        CameraDrag drag;
    };
    const Case presses[] = {
        {Qt::LeftButton, Qt::AltModifier, CameraDrag::Rotate},
        {Qt::MiddleButton, Qt::AltModifier, CameraDrag::Pan},
        {Qt::RightButton, Qt::AltModifier, CameraDrag::Zoom},
        {Qt::LeftButton, Qt::NoModifier, CameraDrag::None},
        {Qt::LeftButton, Qt::AltModifier | Qt::ControlModifier, CameraDrag::None},
        {Qt::LeftButton | Qt::RightButton, Qt::AltModifier, CameraDrag::None},
    };
    for (const Case& c : presses)
        EXPECT_EQ(Viewport3D::cameraDragOnPress(c.buttons, c.modifiers), c.drag);

    EXPECT_EQ(Viewport3D::cameraDragOnMove(Qt::LeftButton, true, false, false), CameraDrag::Rotate);
    EXPECT_EQ(Viewport3D::cameraDragOnMove(Qt::MiddleButton, false, true, false), CameraDrag::Pan);
    EXPECT_EQ(Viewport3D::cameraDragOnMove(Qt::RightButton, false, false, true), CameraDrag::Zoom);
    EXPECT_EQ(Viewport3D::cameraDragOnMove(Qt::RightButton, true, false, false), CameraDrag::None);
    EXPECT_EQ(Viewport3D::cameraDragOnMove(Qt::LeftButton | Qt::MiddleButton, true, true, false), CameraDrag::None);
}

TEST(CameraNavigation, OrbitViewMatrixPutsTheTargetInFrontOfTheEye)
{
    OrbitCamera camera;
    camera.distance = 4.0;
    camera.target = QVector3D(1, -2, 0.5f);
    camera.rotation = Viewport3D::rotationMatrix(QQuaternion::fromAxisAndAngle(QVector3D(0, 1, 0), 90.0f));
    // The eye sits 4 in front of the point looked at, (-1, 2, -0.5), turned a quarter about y.
    const QVector3D seen = camera.viewMatrix().map(QVector3D(-1, 2, -0.5f));
    EXPECT_NEAR(seen.x(), 0.0f, 1e-6f);
    EXPECT_NEAR(seen.y(), 0.0f, 1e-6f);
    EXPECT_NEAR(seen.z(), -4.0f, 1e-6f);
}
