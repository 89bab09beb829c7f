// The model view: camera fitting, navigation by synthetic mouse events, mouse
// signals in normalised device coordinates, and its object list.
#include "RendererTestView.h"
#include "support/QtPrinters.h"

#include <QSignalSpy>

using Viewport3D::BoundingBox;
using Viewport3D::Viewport3D2;

namespace {

// A scene object that only reports a box and counts its draws.
class BoxObject : public Viewport3D::GLObject {
public:
    explicit BoxObject(const BoundingBox& box) : box(box) {}
    void initialize() override { ++initializeCalls; }
    void draw() override { ++drawCalls; }
    BoundingBox aaBoundingBox() const override { return box; }

    BoundingBox box;
    int initializeCalls = 0;
    int drawCalls = 0;
};

QMatrix4x4 rotationAboutY(float degrees)
{
    QMatrix4x4 m;
    m.rotate(degrees, 0, 1, 0);
    return m;
}

::testing::AssertionResult matricesNear(const QMatrix4x4& a, const QMatrix4x4& b, float tolerance)
{
    for (int i = 0; i < 16; ++i)
        if (std::abs(a.constData()[i] - b.constData()[i]) > tolerance)
            return ::testing::AssertionFailure()
                   << "entry " << i << ": " << a.constData()[i] << " vs " << b.constData()[i];
    return ::testing::AssertionSuccess();
}

}  // namespace

TEST(ModelViewNdc, PixelsMapToNormalisedDeviceCoordinates)
{
    Viewport3D2 view;
    view.resize(200, 100);
    struct Case {
        QPoint pixel;
        QPointF ndc;
    };
    const Case cases[] = {{{100, 50}, {0, 0}}, {{0, 0}, {-1, 1}}, {{199, 99}, {0.99, -0.98}}, {{200, 100}, {1, -1}}};
    for (const Case& c : cases) {
        const QPointF ndc = view.screenToNdc(c.pixel);
        EXPECT_NEAR(ndc.x(), c.ndc.x(), 1e-12) << c.pixel.x() << "," << c.pixel.y();
        EXPECT_NEAR(ndc.y(), c.ndc.y(), 1e-12) << c.pixel.x() << "," << c.pixel.y();
    }
}

TEST_F(ModelViewTest, FittingFramesTheSceneBoxAndLoadsTheProjection)
{
    auto* object = add(std::make_unique<BoxObject>(BoundingBox(QVector3D(-100, 0, 0), QVector3D(200, 0, 0))));
    EXPECT_EQ(object->initializeCalls, 1);
    view->fitToView();

    EXPECT_EQ(view->target, QVector3D(0, 0, 0));
    EXPECT_NEAR(view->distance, 241.42, 0.01);
    EXPECT_NEAR(view->nearPlane, 0.24142, 1e-4);
    EXPECT_NEAR(view->farPlane, 724.26, 0.01);
    EXPECT_FLOAT_EQ(view->zoomSpeed, 100.0f);

    // The projection read back from the context is the frustum for those planes.
    view->makeCurrent();
    const float top = float(view->nearPlane * std::tan(22.5 * 3.141592653589793 / 180.0));
    QMatrix4x4 expected;
    expected.frustum(-top, top, -top, top, float(view->nearPlane), float(view->farPlane));
    EXPECT_TRUE(matricesNear(view->projectionMatrix(), expected, 1e-4f));

    QMatrix4x4 viewMatrix;
    viewMatrix.translate(0, 0, -float(view->distance));
    EXPECT_TRUE(matricesNear(view->viewMatrix(), viewMatrix, 1e-4f));
}

TEST_F(ModelViewTest, FittingWithoutObjectsLeavesTheCameraAlone)
{
    view->setCameraPosition(QQuaternion::fromAxisAndAngle(0, 1, 0, 40), QVector3D(1, 2, 3), 7);
    const QMatrix4x4 before = view->viewMatrix();
    view->fitToView();
    EXPECT_EQ(view->viewMatrix(), before);
    EXPECT_EQ(view->distance, 7);
    // The view still draws.
    EXPECT_TRUE(TestSupport::colorNear(frame("fit_without_objects").pixelColor(5, 5), QColor(215, 218, 219), 1));
}

TEST_F(ModelViewTest, AltLeftDragOrbitsByTheArcOnTheTrackball)
{
    QSignalSpy clicks(view.get(), &Viewport3D2::click);
    QSignalSpy moves(view.get(), &Viewport3D2::mouseMove);
    QSignalSpy releases(view.get(), &Viewport3D2::mouseRelease);
    QSignalSpy camera(view.get(), &Viewport3D2::cameraPositionChanged);

    // NDC (0, 0) to (0.5, 0): the arc on the sphere subtends asin(0.5) = 30 degrees about y.
    const QPoint centre(100, 100), right(150, 100);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, centre, Qt::LeftButton, Qt::LeftButton,
                           Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, right, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, right, Qt::LeftButton, Qt::NoButton, Qt::NoModifier);

    EXPECT_TRUE(matricesNear(view->rotation, rotationAboutY(30), 1e-5f));
    EXPECT_FALSE(view->rotating);
    ASSERT_EQ(camera.count(), 1);
    EXPECT_EQ(camera[0][0].value<QMatrix4x4>(), view->viewMatrix());

    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks[0][0].toPoint(), centre);
    EXPECT_EQ(clicks[0][1].value<Qt::MouseButtons>(), Qt::MouseButtons(Qt::LeftButton));
    EXPECT_EQ(clicks[0][2].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::AltModifier));
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves[0][0].toPointF(), QPointF(0.5, 0));
    EXPECT_EQ(moves[0][1].value<Qt::MouseButtons>(), Qt::MouseButtons(Qt::LeftButton));
    ASSERT_EQ(releases.count(), 1);
    EXPECT_EQ(releases[0][0].toPointF(), QPointF(0.5, 0));
    EXPECT_EQ(releases[0][1].value<Qt::MouseButtons>(), Qt::MouseButtons(Qt::LeftButton)) << "the released button";
}

TEST_F(ModelViewTest, PressesThatStartNoCameraDragStillSignal)
{
    struct Case {
        const char* name;
        Qt::MouseButton button;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
    };
    const Case cases[] = {
        {"alt_shift_left", Qt::LeftButton, Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier},
        {"left_without_alt", Qt::LeftButton, Qt::LeftButton, Qt::NoModifier},
        {"alt_with_two_buttons", Qt::LeftButton, Qt::LeftButton | Qt::RightButton, Qt::AltModifier},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSignalSpy clicks(view.get(), &Viewport3D2::click);
        QSignalSpy moves(view.get(), &Viewport3D2::mouseMove);
        QSignalSpy releases(view.get(), &Viewport3D2::mouseRelease);
        QSignalSpy camera(view.get(), &Viewport3D2::cameraPositionChanged);
        const QMatrix4x4 before = view->viewMatrix();

        TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, c.button, c.buttons, c.modifiers);
        TestSupport::sendMouse(view.get(), QEvent::MouseMove, {150, 50}, Qt::NoButton, c.buttons, c.modifiers);
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {150, 50}, c.button, c.buttons & ~c.button,
                               c.modifiers);

        EXPECT_EQ(view->viewMatrix(), before);
        EXPECT_EQ(camera.count(), 0);
        EXPECT_EQ(clicks.count(), 1);
        ASSERT_EQ(moves.count(), 1);
        EXPECT_EQ(moves[0][0].toPointF(), QPointF(0.5, 0.5));
        EXPECT_EQ(moves[0][2].value<Qt::KeyboardModifiers>(), c.modifiers);
        EXPECT_EQ(releases.count(), 1);
    }
}

TEST_F(ModelViewTest, WheelAndRightDragZoomByTheZoomSpeed)
{
    QSignalSpy camera(view.get(), &Viewport3D2::cameraPositionChanged);
    TestSupport::sendWheel(view.get(), {100, 100}, 120);
    EXPECT_NEAR(view->distance, 3.12, 1e-9) << "zoom speed 1 before any fit";
    EXPECT_EQ(camera.count(), 1);

    add(std::make_unique<BoxObject>(BoundingBox(QVector3D(0, 0, 0), QVector3D(200, 0, 0))));
    view->fitToView();  // half diagonal 100
    const double fitted = view->distance;
    TestSupport::sendWheel(view.get(), {100, 100}, 120);
    EXPECT_NEAR(view->distance, fitted + 12.0, 1e-6);
    TestSupport::sendWheel(view.get(), {100, 100}, -120);
    EXPECT_NEAR(view->distance, fitted, 1e-6);

    // Dragging up by a quarter of the height (0.5 in NDC) with the right button
    // moves the eye away by half the zoom speed.
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, Qt::RightButton, Qt::RightButton,
                           Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, {100, 50}, Qt::NoButton, Qt::RightButton, Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {100, 50}, Qt::RightButton, Qt::NoButton,
                           Qt::NoModifier);
    EXPECT_NEAR(view->distance, fitted + 50.0, 1e-4);
}

TEST_F(ModelViewTest, MiddleDragPansTheModelWithTheMouse)
{
    // Half a view width to the right at distance 3: k = tan(45 deg / 2) * 3.
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, Qt::MiddleButton, Qt::MiddleButton,
                           Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, {150, 100}, Qt::NoButton, Qt::MiddleButton, Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {150, 100}, Qt::MiddleButton, Qt::NoButton,
                           Qt::NoModifier);
    const double k = std::tan(22.5 * 3.141592653589793 / 180.0) * 3.0;
    EXPECT_NEAR(view->target.x(), 0.5 * k, 1e-5);
    EXPECT_NEAR(view->target.y(), 0.0, 1e-6);

    // Turned half around y, the same drag moves the target the other way in world space.
    view->setCameraPosition(QQuaternion::fromAxisAndAngle(0, 1, 0, 180), QVector3D(0, 0, 0), 3);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, Qt::MiddleButton, Qt::MiddleButton,
                           Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, {150, 100}, Qt::NoButton, Qt::MiddleButton, Qt::AltModifier);
    EXPECT_NEAR(view->target.x(), -0.5 * k, 1e-5);
}

TEST_F(ModelViewTest, DoubleClickRunsThePressHandlingThenSignals)
{
    QSignalSpy clicks(view.get(), &Viewport3D2::click);
    QSignalSpy doubleClicks(view.get(), &Viewport3D2::mouseDoubleClick);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonDblClick, {0, 0}, Qt::LeftButton, Qt::LeftButton,
                           Qt::AltModifier);
    EXPECT_EQ(clicks.count(), 1);
    EXPECT_TRUE(view->rotating) << "a double click can start a camera drag like a press";
    ASSERT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(doubleClicks[0][0].toPointF(), QPointF(-1, 1));
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {0, 0}, Qt::LeftButton, Qt::NoButton,
                           Qt::NoModifier);
}

TEST_F(ModelViewTest, ObjectListRemovesFirstEntryAndSkipsInvisibleObjects)
{
    auto* a = add(std::make_unique<BoxObject>(BoundingBox(QVector3D(0, 0, 0), QVector3D(1, 1, 1))));
    auto* b = add(std::make_unique<BoxObject>(BoundingBox(QVector3D(-5, 2, 0), QVector3D(1, 1, 1))));
    view->addObject(a);  // a second entry of the same object
    EXPECT_EQ(view->objects, (QList<Viewport3D::GLObject*>{a, b, a}));

    BoxObject stranger(BoundingBox{});
    view->removeObject(&stranger);
    EXPECT_EQ(view->objects.size(), 3);
    view->removeObject(a);
    EXPECT_EQ(view->objects, (QList<Viewport3D::GLObject*>{b, a}));

    b->setVisible(false);
    a->drawCalls = b->drawCalls = 0;
    frame("invisible_object");
    EXPECT_EQ(a->drawCalls, 1);
    EXPECT_EQ(b->drawCalls, 0);
    EXPECT_EQ(view->sceneBoundingBox(), BoundingBox(QVector3D(-5, 0, 0), QVector3D(6, 3, 1)))
        << "an invisible object still counts";
    view->removeObject(a);  // the remaining entry is released by the fixture
}

TEST_F(ModelViewTest, ObjectsAreDrawnThroughTheirModelMatrix)
{
    auto* quad = add(QuadScene::make(QuadScene::flatGroup(QColor(255, 0, 0))));
    quad->modelMatrix.translate(0.5f, 0.0f, 0.0f);
    quad->modelMatrix.scale(0.25f);
    const QImage image = frame("model_matrix");
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, 0.0f), QColor(255, 0, 0), 2));
    EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, -0.5f), QColor(215, 218, 219), 2)) << "left of the quad";
    EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, 0.5f), QColor(215, 218, 219), 2)) << "above the quad";
}
