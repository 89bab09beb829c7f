#pragma once
// Ground for tests of OpenGL views: they run on a real context (under Xvfb
// with Mesa's software renderer), show the view, wait until it is exposed and
// initialised, read back its pixels and keep the checked frames as PNG files
// in the build tree.
#include <gtest/gtest.h>
#include <QColor>
#include <QEvent>
#include <QImage>
#include <QProcess>
#include <QProcessEnvironment>
#include <QSize>
#include <QString>
#include <QStringList>
#include <functional>

class QGLWidget;
class QWidget;

namespace TestSupport {

// Resizes and shows the widget, waits until it is exposed, checks that it has a
// valid GL context (offscreen platforms give none, and GL calls then crash) and
// waits for `initialised` (when given) to become true.
::testing::AssertionResult showGLView(QGLWidget* view, const QSize& size,
                                      const std::function<bool()>& initialised = {});

// Repaints the view and reads its back buffer (RGB32; the alpha is not kept).
QImage renderFrame(QGLWidget* view);

// Writes the image as <working directory>/frames/<name>.png and returns the path.
QString saveFrame(const QImage& frame, const QString& name);

// Each channel (red, green, blue) within tolerance of the expected one.
::testing::AssertionResult colorNear(const QColor& actual, const QColor& expected, int tolerance);

// Registers the argument types of the views' mouse signals (QSignalSpy needs them).
void registerMouseSignalTypes();

// Mouse and wheel events as a window system would deliver them (buttons() is
// the state after the press, during a move, or after a release).
void sendMouse(QWidget* widget, QEvent::Type type, const QPoint& pos, Qt::MouseButton button, Qt::MouseButtons buttons,
               Qt::KeyboardModifiers modifiers);
void sendWheel(QWidget* widget, const QPoint& pos, int angleDelta, Qt::KeyboardModifiers modifiers = {});

// Runs tests of this very program in a child process (for process-ending paths
// and for a forced GL version, which has to be set before the first context).
struct ChildRun {
    bool finished = false;
    QProcess::ExitStatus exitStatus = QProcess::NormalExit;
    int exitCode = -1;
    QByteArray standardOutput;
    QByteArray standardError;
};
ChildRun runTestsInChild(const QString& gtestFilter, const QProcessEnvironment& extraEnvironment,
                         int timeoutMs = 60000);

// Environment that makes Mesa offer OpenGL 3.0 with GLSL 1.30 only.
QProcessEnvironment openGL30Environment();

}  // namespace TestSupport
