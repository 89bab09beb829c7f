// The layered results view on a real GL context: composition of the two
// render layers, the cached back layer, its object lists, camera, mouse and key
// signals, the GL version check and the release of its GL resources.
#include "QuadScene.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "support/GLViewTestHelpers.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"
#include "support/ShownViewFixture.h"

#include <QKeyEvent>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QTest>

using Viewport3D::BoundingBox;
using Viewport3D::GLGeometrySplitted;
using Viewport3D::ShadingGroup;
using Viewport3D::Viewport3DLayered;

namespace {

const QColor kRed(255, 0, 0), kGreen(0, 255, 0), kBlue(0, 0, 255);
const QColor kBackground(215, 218, 219);

// A scene object that records how it is drawn.
class RecordingObject : public Viewport3D::GLObject {
public:
    explicit RecordingObject(const BoundingBox& box = BoundingBox()) : box(box) {}
    void initialize() override { ++initializeCalls; }
    void draw(const QMatrix4x4& view, const QMatrix4x4& projection, const QSize& size) override
    {
        ++drawCalls;
        lastView = view;
        lastProjection = projection;
        lastSize = size;
    }
    BoundingBox aaBoundingBox() const override { return box; }

    BoundingBox box;
    int initializeCalls = 0;
    int drawCalls = 0;
    QMatrix4x4 lastView, lastProjection;
    QSize lastSize;
};

}  // namespace

class LayeredViewTest : public TestSupport::ShownViewFixture<Viewport3DLayered> {
protected:
    // A flat quad of one colour; the view's context is made current for it.
    GLGeometrySplitted* addQuad(const QColor& colour, float opacity, int layer)
    {
        view->makeCurrent();
        return add(QuadScene::make(QuadScene::flatGroup(colour, opacity)), layer);
    }

    static QColor at(const QImage& image, float x, float y, int side = kSide)
    {
        return image.pixelColor(QuadScene::pixelOf(x, y, side));
    }
};

TEST_F(LayeredViewTest, HalfTransparentFrontLiesOverTheBackWhateverTheDepth)
{
    // The back quad covers x in [-1, 1]; the front quad x in [0, 2] (to the
    // view's right edge), in front of or behind the back quad.
    for (float frontDepth : {0.5f, -0.5f}) {
        SCOPED_TRACE(frontDepth);
        auto* back = addQuad(kRed, 1.0f, Viewport3DLayered::BackLayer);
        auto* front = addQuad(kGreen, 0.5f, Viewport3DLayered::FrontLayer);
        front->modelMatrix.translate(1.0f, 0.0f, frontDepth);

        const QImage image = frame(QString("compose_front_depth_%1").arg(frontDepth));
        EXPECT_TRUE(TestSupport::colorNear(at(image, 0.5f, 0.0f), QColor(128, 128, 0), 2)) << "both layers";
        EXPECT_TRUE(TestSupport::colorNear(at(image, -0.5f, 0.0f), kRed, 2)) << "back layer only";
        // Front only: (0, 128, 0) at alpha 0.5 blended over the background.
        EXPECT_TRUE(TestSupport::colorNear(at(image, 1.15f, 0.0f), QColor(107, 173, 109), 2)) << "front layer only";
        EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(3, 3), kBackground, 1)) << "neither layer";

        view->makeCurrent();
        view->removeObject(back);
        view->removeObject(front);
    }
}

TEST_F(LayeredViewTest, CachedBackLayerStaysUntilARedrawIsForcedOrTheViewResizes)
{
    auto* back = addQuad(kRed, 1.0f, Viewport3DLayered::BackLayer);
    addQuad(kGreen, 0.5f, Viewport3DLayered::FrontLayer);
    EXPECT_TRUE(TestSupport::colorNear(at(frame("cache_first"), -0.5f, 0.0f), QColor(128, 128, 0), 2));
    view->setAlwaysRedrawBackLayer(false);

    back->shadingGroup(0).colorFront = kBlue;
    back->modelMatrix.translate(10, 0, 0);  // even moved away, the cached image stays
    EXPECT_TRUE(TestSupport::colorNear(at(frame("cache_kept"), -0.5f, 0.0f), QColor(128, 128, 0), 2));
    EXPECT_TRUE(view->backLayerValid);

    back->modelMatrix.setToIdentity();
    // The refresh protocol of the view's users: save the flag, turn it on, repaint, restore.
    const bool saved = view->alwaysRedrawBackLayer();
    view->setAlwaysRedrawBackLayer(true);
    EXPECT_TRUE(TestSupport::colorNear(at(frame("cache_forced"), -0.5f, 0.0f), QColor(0, 128, 128), 2));
    view->setAlwaysRedrawBackLayer(saved);

    back->shadingGroup(0).colorFront = kRed;
    EXPECT_TRUE(TestSupport::colorNear(at(frame("cache_kept_again"), -0.5f, 0.0f), QColor(0, 128, 128), 2));

    // A resize invalidates the cache, and both layers take the new size.
    view->resize(300, 300);
    QTest::qWait(50);
    ASSERT_EQ(view->size(), QSize(300, 300));
    const QImage resized = frame("cache_after_resize");
    EXPECT_TRUE(TestSupport::colorNear(at(resized, -0.5f, 0.0f, 300), QColor(128, 128, 0), 2));
    EXPECT_TRUE(TestSupport::colorNear(at(resized, 0.9f, -0.9f, 300), QColor(128, 128, 0), 2)) << "lower right";
    EXPECT_TRUE(TestSupport::colorNear(at(resized, 1.1f, -1.1f, 300), kBackground, 2));
}

TEST_F(LayeredViewTest, ObjectListsDecideWhatEachPassDraws)
{
    auto* back = add(std::make_unique<RecordingObject>(), Viewport3DLayered::BackLayer);
    auto* front = add(std::make_unique<RecordingObject>(), Viewport3DLayered::FrontLayer);
    auto* other = add(std::make_unique<RecordingObject>(), 2);  // kept but never drawn
    auto* hidden = add(std::make_unique<RecordingObject>(), Viewport3DLayered::FrontLayer);
    hidden->setVisible(false);
    view->addObject(front, Viewport3DLayered::FrontLayer);  // a second entry
    EXPECT_EQ(front->initializeCalls, 2);

    frame("object_lists");
    EXPECT_EQ(back->drawCalls, 1);
    EXPECT_EQ(front->drawCalls, 2) << "an object added twice is drawn twice";
    EXPECT_EQ(other->drawCalls, 0);
    EXPECT_EQ(hidden->drawCalls, 0);
    EXPECT_EQ(back->lastView, view->camera().viewMatrix());
    EXPECT_EQ(back->lastProjection, view->camera().projectionMatrix(kSide, kSide));
    EXPECT_EQ(back->lastSize, QSize(kSide, kSide));

    RecordingObject stranger;
    view->removeObject(&stranger);
    view->removeObject(front);  // the first entry only
    frame("object_lists_after_removal");
    EXPECT_EQ(front->drawCalls, 3);

    // With the cache on, the back pass runs only while the cache is invalid.
    view->setAlwaysRedrawBackLayer(false);
    frame("object_lists_cached");
    EXPECT_EQ(back->drawCalls, 2) << "the layer was valid from the earlier frames";
    view->removeObject(front);
}

TEST_F(LayeredViewTest, FittingFramesAllObjectsWithoutSignalling)
{
    QSignalSpy camera(view.get(), &Viewport3DLayered::cameraPositionChanged);
    view->camera().distance = 7;
    view->fitToView();  // no objects: nothing changes
    EXPECT_EQ(view->camera().distance, 7);

    add(std::make_unique<RecordingObject>(BoundingBox(QVector3D(-100, 0, 0), QVector3D(100, 0, 0))), 0);
    auto* hidden = add(std::make_unique<RecordingObject>(BoundingBox(QVector3D(0, 0, 0), QVector3D(100, 0, 0))), 1);
    hidden->setVisible(false);  // still counts
    view->fitToView();
    const Viewport3D::OrbitCamera& c = view->camera();
    EXPECT_EQ(c.target, QVector3D(0, 0, 0));
    EXPECT_NEAR(c.distance, 241.42, 0.01);
    EXPECT_NEAR(c.nearPlane, 0.24142, 1e-4);
    EXPECT_NEAR(c.farPlane, 724.26, 0.01);
    EXPECT_FLOAT_EQ(view->dollySpeed, 100.0f);
    EXPECT_EQ(camera.count(), 0);
}

TEST_F(LayeredViewTest, AltDragsAndWheelNavigateAndEverySignalCarriesNdc)
{
    QSignalSpy clicks(view.get(), &Viewport3DLayered::click);
    QSignalSpy presses(view.get(), &Viewport3DLayered::mousePress);
    QSignalSpy moves(view.get(), &Viewport3DLayered::mouseMove);
    QSignalSpy releases(view.get(), &Viewport3DLayered::mouseRelease);
    QSignalSpy wheels(view.get(), &Viewport3DLayered::mouseWheel);
    QSignalSpy camera(view.get(), &Viewport3DLayered::cameraPositionChanged);

    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, Qt::LeftButton,
                           Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, {150, 100}, Qt::NoButton, Qt::LeftButton, Qt::NoModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {150, 100}, Qt::LeftButton, Qt::NoButton,
                           Qt::NoModifier);
    QMatrix4x4 thirtyAboutY;
    thirtyAboutY.rotate(30, 0, 1, 0);
    for (int i = 0; i < 16; ++i)
        EXPECT_NEAR(view->camera().rotation.constData()[i], thirtyAboutY.constData()[i], 1e-5) << i;
    ASSERT_EQ(camera.count(), 1);
    EXPECT_EQ(camera[0][0].value<QMatrix4x4>(), view->camera().viewMatrix());

    ASSERT_EQ(clicks.count(), 1);
    EXPECT_EQ(clicks[0][0].toPoint(), QPoint(100, 100));
    ASSERT_EQ(presses.count(), 1);
    EXPECT_EQ(presses[0][0].toPointF(), QPointF(0, 0));
    EXPECT_EQ(presses[0][2].value<Qt::KeyboardModifiers>(), Qt::KeyboardModifiers(Qt::AltModifier));
    ASSERT_EQ(moves.count(), 1);
    EXPECT_EQ(moves[0][0].toPointF(), QPointF(0.5, 0));
    ASSERT_EQ(releases.count(), 1);
    EXPECT_EQ(releases[0][1].value<Qt::MouseButtons>(), Qt::MouseButtons(Qt::LeftButton));

    // Mouse tracking (turned on by the main window): moves without buttons signal too.
    view->setMouseTracking(true);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, {0, 200}, Qt::NoButton, Qt::NoButton, Qt::NoModifier);
    ASSERT_EQ(moves.count(), 2);
    EXPECT_EQ(moves[1][0].toPointF(), QPointF(-1, -1));

    TestSupport::sendWheel(view.get(), {100, 100}, 120);
    EXPECT_NEAR(view->camera().distance, 3.12, 1e-9);
    EXPECT_EQ(wheels.count(), 1);
    EXPECT_EQ(camera.count(), 2);

    // Right drag up by 0.5 in NDC dollies the eye away by half the dolly speed.
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, Qt::RightButton, Qt::RightButton,
                           Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseMove, {100, 50}, Qt::NoButton, Qt::RightButton, Qt::AltModifier);
    TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {100, 50}, Qt::RightButton, Qt::NoButton,
                           Qt::NoModifier);
    EXPECT_NEAR(view->camera().distance, 3.62, 1e-6);
}

TEST_F(LayeredViewTest, PressesThatStartNoNavigationStillSignal)
{
    struct Case {
        const char* name;
        Qt::MouseButtons buttons;
        Qt::KeyboardModifiers modifiers;
    };
    const Case cases[] = {
        {"alt_with_two_buttons", Qt::LeftButton | Qt::MiddleButton, Qt::AltModifier},
        {"alt_shift_left", Qt::LeftButton, Qt::AltModifier | Qt::ShiftModifier},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        QSignalSpy clicks(view.get(), &Viewport3DLayered::click);
        QSignalSpy presses(view.get(), &Viewport3DLayered::mousePress);
        QSignalSpy camera(view.get(), &Viewport3DLayered::cameraPositionChanged);
        const QMatrix4x4 before = view->camera().viewMatrix();
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonPress, {100, 100}, Qt::LeftButton, c.buttons,
                               c.modifiers);
        TestSupport::sendMouse(view.get(), QEvent::MouseMove, {150, 50}, Qt::NoButton, Qt::LeftButton, c.modifiers);
        TestSupport::sendMouse(view.get(), QEvent::MouseButtonRelease, {150, 50}, Qt::LeftButton, Qt::NoButton,
                               c.modifiers);
        EXPECT_EQ(clicks.count(), 1);
        EXPECT_EQ(presses.count(), 1);
        EXPECT_EQ(camera.count(), 0);
        EXPECT_EQ(view->camera().viewMatrix(), before);
    }
}

TEST_F(LayeredViewTest, KeyPressesAndDoubleClicksAreSignalled)
{
    QSignalSpy doubleClicks(view.get(), &Viewport3DLayered::mouseDoubleClick);
    int keys = 0, key = 0;
    QObject::connect(view.get(), &Viewport3DLayered::keyPress, [&](const QKeyEvent* event) {
        ++keys;
        key = event->key();
    });
    QKeyEvent press(QEvent::KeyPress, Qt::Key_Z, Qt::ControlModifier);
    QApplication::sendEvent(view.get(), &press);
    EXPECT_EQ(keys, 1);
    EXPECT_EQ(key, int(Qt::Key_Z));
    EXPECT_TRUE(press.isAccepted());

    TestSupport::sendMouse(view.get(), QEvent::MouseButtonDblClick, {200, 0}, Qt::LeftButton, Qt::LeftButton,
                           Qt::NoModifier);
    ASSERT_EQ(doubleClicks.count(), 1);
    EXPECT_EQ(doubleClicks[0][0].toPointF(), QPointF(1, 1));
}

TEST_F(LayeredViewTest, APendingGLErrorIsReportedAfterTheFrame)
{
    TestSupport::LogCapture log;
    view->makeCurrent();
    glEnable(GLenum(0xFFFF));  // GL_INVALID_ENUM = 1280
    frame("gl_error");
    EXPECT_TRUE(log.texts(QtCriticalMsg).contains("OpenGL Error: 1280 (After paintGL)"))
        << log.texts().join("\n").toStdString();
    log.clear();
    frame("gl_error_cleared");
    EXPECT_TRUE(log.texts(QtCriticalMsg).isEmpty());
}

TEST_F(LayeredViewTest, DestroyingTheViewReleasesOnlyItsOwnGLResources)
{
    // Another view with a textured quad; its texture and buffer names equal
    // names of the results view's layers in that other context.
    Viewport3D::Viewport3D2 modelView;
    ASSERT_TRUE(TestSupport::showGLView(&modelView, QSize(kSide, kSide), [&] { return modelView.isInitialized(); }));
    modelView.makeCurrent();
    ShadingGroup group = QuadScene::flatGroup(kRed);
    group.textured = true;
    auto quad = QuadScene::make(group);
    QImage green(8, 8, QImage::Format_ARGB32);
    green.fill(kGreen);
    quad->setTexture(green);
    modelView.addObject(quad.get());

    frame("before_destruction");
    TestSupport::LogCapture log;
    modelView.makeCurrent();  // the wrong context for the results view's resources
    view.reset();

    const QImage image = TestSupport::renderFrame(&modelView);
    TestSupport::saveFrame(image, "other_view_after_destruction");
    EXPECT_TRUE(TestSupport::colorNear(image.pixelColor(QuadScene::pixelOf(-0.5f, -0.5f, kSide)), kGreen, 2));
    EXPECT_TRUE(log.texts(QtCriticalMsg).isEmpty());

    modelView.makeCurrent();
    modelView.removeObject(quad.get());
    quad.reset();
}

TEST_F(LayeredViewTest, CompositionWithoutAProgramIsSkipped)
{
    view->makeCurrent();
    Viewport3D::GLRenderPlane plane;
    plane.initializeBuffer();  // no shaders: the program stays null
    ASSERT_EQ(plane.program(), nullptr);
    plane.draw();
    EXPECT_EQ(glGetError(), GLenum(GL_NO_ERROR));
    plane.destroy();
}

// Runs only in a child process whose GL offers version 3.0.
TEST(LayeredViewVersionCheck, DISABLED_ChildShowsTheView)
{
    Viewport3DLayered view;
    view.resize(64, 64);
    view.show();
    EXPECT_TRUE(QTest::qWaitForWindowExposed(&view, 5000));
    QTest::qWait(100);
}

TEST(LayeredViewVersionCheck, EndsTheProgramWhenOpenGL33IsMissing)
{
    const TestSupport::ChildRun run = TestSupport::runTestsInChild("LayeredViewVersionCheck.DISABLED_ChildShowsTheView",
                                                                   TestSupport::openGL30Environment());
    ASSERT_TRUE(run.finished);
    const QString errors = QString::fromLocal8Bit(run.standardError);
    EXPECT_TRUE(run.exitStatus == QProcess::CrashExit || run.exitCode != 0) << errors.toStdString();
    EXPECT_TRUE(errors.contains("Checking OpenGL version")) << errors.toStdString();
    const QRegularExpression fatal(
        "Sorry the software only supports OpenGL version 3\\.3 and higher\\.\\n"
        "The current OpenGL version is 3\\.0[^,\\n]*, GLSL version: 1\\.30\\n"
        "Please update your graphics driver!");
    EXPECT_TRUE(fatal.match(errors).hasMatch()) << errors.toStdString();
    EXPECT_FALSE(run.standardOutput.contains("[       OK ]")) << "the view must not come up";
}

TEST(LayeredViewVersionCheck, PassesQuietlyWithOpenGL33)
{
    TestSupport::LogCapture log;
    Viewport3DLayered view;
    ASSERT_TRUE(TestSupport::showGLView(&view, QSize(64, 64), [&] { return view.isInitialized(); }));
    EXPECT_TRUE(log.texts().contains("Checking OpenGL version"));
    EXPECT_FALSE(log.contains("Sorry"));
    EXPECT_EQ(view.focusPolicy(), Qt::ClickFocus);
}
