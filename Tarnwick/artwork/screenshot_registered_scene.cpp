// Takes the README's screenshot: starts the main window with fresh settings,
// loads the hand sample scene from the dialog, presses Register, waits for the
// run to complete, presses Done and grabs the screen where the window is.
// Needs a display and the sample scenes beside it (it is built beside the
// program): scripts/make-readme-screenshot runs it under xvfb-run.
// Usage: plyform_screenshot <png file>
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/widgetparamsnonrigidregistration.h"

#include <QAbstractButton>
#include <QApplication>
#include <QList>
#include <QMetaType>
#include <QPixmap>
#include <QScreen>
#include <QSignalSpy>
#include <QTemporaryDir>
#include <QTest>
#include <QToolButton>
#include <QVector3D>
#include <QVector>
#include <cstdio>
#include <memory>

namespace {

int fail(const char* what)
{
    std::fprintf(stderr, "screenshot: %s\n", what);
    return 1;
}

}  // namespace

int main(int argc, char** argv)
{
    // Settings of our own: the dialog shows at start and nothing of the user's is read or written.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    QApplication app(argc, argv);
    if (argc != 2)
        return fail("usage: plyform_screenshot <png file>");
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
    qInstallMessageHandler([](QtMsgType type, const QMessageLogContext&, const QString& text) {
        if (type != QtDebugMsg && type != QtInfoMsg)
            std::fprintf(stderr, "%s\n", qPrintable(text));
    });

    auto window = std::make_unique<MainWindow>();
    window->move(0, 0);
    window->show();
    if (!QTest::qWaitForWindowExposed(window.get(), 10000) ||
        !QTest::qWaitFor([&] { return window->demoDialog() != nullptr; }, 20000))
        return fail("no window or no sample-scene dialog (run under xvfb-run)");
    DemoDialog* dialog = window->demoDialog();
    // It is shown from the event loop once the main window is on screen.
    if (!QTest::qWaitFor([&] { return dialog->isVisible(); }, 5000) || !QTest::qWaitForWindowExposed(dialog, 5000))
        return fail("the sample-scene dialog was not shown");

    QTest::mouseClick(dialog->findChild<QToolButton*>("btnLoadDemoHand"), Qt::LeftButton);
    auto* tool = qobject_cast<Tools::ToolNonRigidRegistration*>(window->toolsController()->tool(1));
    if (window->toolsController()->currentToolIndex() != 1 || !tool || !tool->controller())
        return fail("the hand scene did not start the registration mode (are DemoModels beside the program?)");
    QSignalSpy complete(tool->controller(), &ControllerNonRigidRegistration::optimizationComplete);
    QTest::mouseClick(tool->getPanel()->findChild<QAbstractButton*>("btnRestart"), Qt::LeftButton);
    if (!complete.wait(600000) && complete.isEmpty())
        return fail("the registration did not complete within 10 minutes");
    QTest::mouseClick(tool->getPanel()->findChild<QAbstractButton*>("btnDone"), Qt::LeftButton);

    // The dialog over the empty parameters area, where it hides no view.
    const QPoint params = window->controllerMain()->paramsPlaceholder->mapToGlobal(QPoint(12, 12));
    dialog->move(params);
    QTest::qWait(500);
    const QRect frame = window->frameGeometry();
    const QPixmap shot = window->screen()->grabWindow(0, frame.x(), frame.y(), frame.width(), frame.height());
    if (shot.isNull() || !shot.save(QString::fromLocal8Bit(argv[1])))
        return fail("cannot grab or write the screenshot");
    window->close();
    return 0;
}
