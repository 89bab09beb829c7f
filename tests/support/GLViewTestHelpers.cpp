#include "support/GLViewTestHelpers.h"

#include <QApplication>
#include <QDir>
#include <QGLWidget>
#include <QMouseEvent>
#include <QTest>
#include <QWheelEvent>

namespace TestSupport {

::testing::AssertionResult showGLView(QGLWidget* view, const QSize& size, const std::function<bool()>& initialised)
{
    view->resize(size);
    view->show();
    if (!QTest::qWaitForWindowExposed(view, 5000))
        return ::testing::AssertionFailure() << "the view was not exposed within 5 s";
    if (!view->isValid() || !view->context() || !view->context()->isValid())
        return ::testing::AssertionFailure()
               << "the view has no valid GL context (run GL tests under xvfb-run, not offscreen)";
    if (initialised && !QTest::qWaitFor(initialised, 5000))
        return ::testing::AssertionFailure() << "the view did not initialise within 5 s";
    if (view->size() != size)
        return ::testing::AssertionFailure() << "the view has size " << view->width() << "x" << view->height()
                                             << " instead of " << size.width() << "x" << size.height();
    return ::testing::AssertionSuccess();
}

namespace {

// Reaches QGLWidget's protected buffer-swap switch for any view.
struct BufferSwapSwitch : QGLWidget {
    static void set(QGLWidget* view, bool on) { (view->*(&BufferSwapSwitch::setAutoBufferSwap))(on); }
    static bool get(const QGLWidget* view) { return (view->*(&BufferSwapSwitch::autoBufferSwap))(); }
};

}  // namespace

QImage renderFrame(QGLWidget* view)
{
    // Paint without swapping, so that the back buffer read below is the frame
    // just painted (after a swap its contents would be undefined).
    const bool swapping = BufferSwapSwitch::get(view);
    BufferSwapSwitch::set(view, false);
    view->updateGL();
    view->makeCurrent();
    glFinish();
    const QImage frame = view->grabFrameBuffer(false).convertToFormat(QImage::Format_RGB32);
    BufferSwapSwitch::set(view, swapping);
    return frame;
}

QString saveFrame(const QImage& frame, const QString& name)
{
    QDir().mkpath("frames");
    const QString path = QDir("frames").absoluteFilePath(name + ".png");
    frame.save(path);
    return path;
}

::testing::AssertionResult colorNear(const QColor& actual, const QColor& expected, int tolerance)
{
    const bool near = std::abs(actual.red() - expected.red()) <= tolerance &&
                      std::abs(actual.green() - expected.green()) <= tolerance &&
                      std::abs(actual.blue() - expected.blue()) <= tolerance;
    if (near)
        return ::testing::AssertionSuccess();
    return ::testing::AssertionFailure() << "colour (" << actual.red() << ", " << actual.green() << ", "
                                         << actual.blue() << ") is not within " << tolerance << " of ("
                                         << expected.red() << ", " << expected.green() << ", " << expected.blue()
                                         << ")";
}

void registerMouseSignalTypes()
{
    qRegisterMetaType<Qt::MouseButtons>("Qt::MouseButtons");
    qRegisterMetaType<Qt::KeyboardModifiers>("Qt::KeyboardModifiers");
}

void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers)
{
    QMouseEvent event(type, QPointF(pos), QPointF(widget->mapToGlobal(pos)), button, buttons, modifiers);
    QApplication::sendEvent(widget, &event);
}

void sendWheel(QWidget* widget, const QPoint& pos, int angleDelta, Qt::KeyboardModifiers modifiers)
{
    QWheelEvent event(QPointF(pos), QPointF(widget->mapToGlobal(pos)), QPoint(), QPoint(0, angleDelta), Qt::NoButton,
                      modifiers, Qt::NoScrollPhase, false);
    QApplication::sendEvent(widget, &event);
}

ChildRun runTestsInChild(const QString& gtestFilter, const QProcessEnvironment& extraEnvironment, int timeoutMs)
{
    QProcessEnvironment environment = QProcessEnvironment::systemEnvironment();
    environment.insert(extraEnvironment);
    QProcess child;
    child.setProcessEnvironment(environment);
    child.start(QCoreApplication::applicationFilePath(),
                {"--gtest_filter=" + gtestFilter, "--gtest_also_run_disabled_tests"});
    ChildRun run;
    run.finished = child.waitForStarted(10000) && child.waitForFinished(timeoutMs);
    if (!run.finished) {
        child.kill();
        child.waitForFinished(5000);
    }
    run.exitStatus = child.exitStatus();
    run.exitCode = child.exitCode();
    run.standardOutput = child.readAllStandardOutput();
    run.standardError = child.readAllStandardError();
    return run;
}

QProcessEnvironment openGL30Environment()
{
    QProcessEnvironment environment;
    environment.insert("MESA_GL_VERSION_OVERRIDE", "3.0");
    environment.insert("MESA_GLSL_VERSION_OVERRIDE", "130");
    return environment;
}

}  // namespace TestSupport
