#pragma once
// Ground of the window tests: a private settings folder for the whole process,
// a started main window, test meshes and images written by code, and a driver
// that answers modal dialogs and message boxes from a timer.
#include <gtest/gtest.h>
#include <QList>
#include <QPointer>
#include <QString>
#include <QStringList>
#include <QTemporaryDir>
#include <QWidget>
#include <functional>
#include <memory>

class ControllerMain;
class DemoDialog;
class MainWindow;
class QTimer;

namespace TestSupport {

// The process's configuration folder (XDG_CONFIG_HOME), set before any store is opened.
QString configHome();
// The settings file of the main window, inside configHome().
QString settingsFile();
// Empties the settings store.
void clearSettings();

// Shows a new main window and waits until it has built its controllers.
::testing::AssertionResult startWindow(std::unique_ptr<MainWindow>& window);
// Empties the settings store, then starts a window, which therefore shows its sample-scene dialog; waits until it does.
::testing::AssertionResult startWindowWithDemoDialog(std::unique_ptr<MainWindow>& window, DemoDialog*& dialog);

// A started main window over an empty settings store, with a temporary folder for the files a test writes.
struct WindowTest : ::testing::Test {
    std::unique_ptr<MainWindow> window;
    ControllerMain* main = nullptr;
    QTemporaryDir dir;

    ~WindowTest() override;
    void SetUp() override;
};

// Writes an OBJ file of a box with the given size at the given corner: 8
// vertices, 6 quads in two polygroups, texture coordinates on every corner.
QString writeBoxObj(const QString& path, double sx, double sy, double sz, double ox = 0.1234567, double oy = -2.345678,
                    double oz = 0.5);

// Answers each modal window that appears (a file dialog, a message box) with the next handler, in order.
class ModalDriver {
public:
    using Handler = std::function<void(QWidget* modal)>;
    explicit ModalDriver(QList<Handler> handlers);
    ~ModalDriver();
    int answered() const { return answered_; }

private:
    void poll();
    QList<Handler> handlers_;
    int answered_ = 0;
    QPointer<QWidget> last_;  // a pointer alone could match a new dialog at the same address
    QTimer* timer_;
};

// What a message box showed.
struct BoxSeen {
    QString title;
    QString text;
    bool warning = false;
    bool singleOk = false;
    bool parentIsWindow = false;
};
// A handler that records the box and presses OK.
ModalDriver::Handler answerBox(BoxSeen* seen, QWidget* expectedParent);

// What a file dialog offered.
struct DialogSeen {
    QString caption;
    QString directory;
    QStringList filters;
    bool save = false;
};
// Handlers that record the dialog, then cancel it or choose the given file.
ModalDriver::Handler cancelDialog(DialogSeen* seen);
ModalDriver::Handler chooseFile(const QString& path, DialogSeen* seen = nullptr);

}  // namespace TestSupport
