// The sample scenes as a user meets them: the program's start until the
// sample-scene dialog is on screen (the first window of the process, from the
// entry of main, and again for later windows), each scene's load from the
// click on its button (template, scan, registration mode, control points), and
// the head scene's registration from the click on Register to
// optimizationComplete. Needs a display: run under xvfb-run.
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/widgetparamsnonrigidregistration.h"
#include "mesh/GeomStack.h"

#include <benchmark/benchmark.h>
#include <QAbstractButton>
#include <QApplication>
#include <QCoreApplication>
#include <QElapsedTimer>
#include <QFile>
#include <QList>
#include <QMetaType>
#include <QTemporaryDir>
#include <QTest>
#include <QThread>
#include <QTimer>
#include <QToolButton>
#include <QVector3D>
#include <QVector>
#include <cstdio>
#include <functional>
#include <memory>

namespace {

QElapsedTimer sinceMain;  // started on entry to main
const char* const kButtons[] = {"btnLoadDemoHand", "btnLoadDemoTorso", "btnLoadDemoHead"};

// Runs the event loop until the condition holds, without the sleeps of
// QTest::qWaitFor, so the time it ends at is the time the condition came true
// (a 1 ms timer keeps the loop turning when nothing else arrives).
bool runUntil(const std::function<bool()>& condition, int timeoutMs)
{
    QTimer tick;
    tick.start(1);
    QElapsedTimer clock;
    clock.start();
    while (!condition()) {
        if (clock.elapsed() > timeoutMs)
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    }
    return true;
}

// A shown main window until its sample-scene dialog is exposed; null on failure.
std::unique_ptr<MainWindow> startUntilDialogShown()
{
    auto window = std::make_unique<MainWindow>();
    window->show();
    if (!runUntil([&] { return window->demoDialog() && window->demoDialog()->isVisible(); }, 60000) ||
        !QTest::qWaitForWindowExposed(window->demoDialog(), 10000))
        return nullptr;
    return window;
}

std::unique_ptr<MainWindow> shared;  // the window the scene benchmarks work in

// The first window of the process, timed from the entry of main: the
// application object, the first GL contexts and the controllers included.
void BM_ProcessStartToDialogShown(benchmark::State& state)
{
    if (shared) {
        state.SkipWithError("measured once per process (the first window): run the program again");
        return;
    }
    for (auto _ : state) {
        shared = startUntilDialogShown();
        state.SetIterationTime(sinceMain.nsecsElapsed() * 1e-9);
        if (!shared)
            state.SkipWithError("no sample-scene dialog: run under xvfb-run");
    }
}
BENCHMARK(BM_ProcessStartToDialogShown)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(1);

// A further window in the running process, from its construction.
void BM_WindowToDialogShown(benchmark::State& state)
{
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        std::unique_ptr<MainWindow> window = startUntilDialogShown();
        state.SetIterationTime(clock.nsecsElapsed() * 1e-9);
        if (!window) {
            state.SkipWithError("no sample-scene dialog");
            break;
        }
        window.reset();
        QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    }
}
BENCHMARK(BM_WindowToDialogShown)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(5);

// The shared window, started here when the first benchmark was filtered out.
bool haveShared()
{
    if (!shared)
        shared = startUntilDialogShown();
    return shared != nullptr;
}

Tools::ToolNonRigidRegistration* registrationTool()
{
    return qobject_cast<Tools::ToolNonRigidRegistration*>(shared->toolsController()->tool(1));
}

// The click on a scene's button returns when the scene is loaded and the
// registration mode holds its control points; the mode is cancelled between runs.
void BM_LoadScene(benchmark::State& state)
{
    if (!haveShared()) {
        state.SkipWithError("no sample-scene dialog: run under xvfb-run");
        return;
    }
    QAbstractButton* button = shared->demoDialog()->findChild<QToolButton*>(kButtons[state.range(0)]);
    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(button, Qt::LeftButton);
        state.SetIterationTime(clock.nsecsElapsed() * 1e-9);
        if (shared->toolsController()->currentToolIndex() != 1) {
            state.SkipWithError("the scene did not load");
            break;
        }
        shared->toolsController()->releaseTool(1, Tools::Cancel);
        QCoreApplication::processEvents();
    }
    state.counters["template_vertices"] = shared->controllerMain()->geomStackTemplate->vertices.size();
    state.counters["scan_vertices"] = shared->controllerMain()->geomStackTarget->vertices.size();
}
BENCHMARK(BM_LoadScene)
    ->ArgName("scene")
    ->Arg(0)
    ->Arg(1)
    ->Arg(2)
    ->Unit(benchmark::kMillisecond)
    ->UseManualTime()
    ->Iterations(3);

// The head scene registered from the click on Register to optimizationComplete,
// with the part the GUI thread spends before the worker starts as a counter.
void BM_HeadRegisterToComplete(benchmark::State& state)
{
    if (!haveShared()) {
        state.SkipWithError("no sample-scene dialog: run under xvfb-run");
        return;
    }
    QAbstractButton* head = shared->demoDialog()->findChild<QToolButton*>(kButtons[2]);
    for (auto _ : state) {
        QTest::mouseClick(head, Qt::LeftButton);
        Tools::ToolNonRigidRegistration* tool = registrationTool();
        if (shared->toolsController()->currentToolIndex() != 1 || !tool->controller()) {
            state.SkipWithError("the head scene did not load");
            break;
        }
        ControllerNonRigidRegistration* controller = tool->controller();
        bool complete = false;
        QObject::connect(controller, &ControllerNonRigidRegistration::optimizationComplete, controller,
                         [&complete] { complete = true; });
        QAbstractButton* registerButton = tool->getPanel()->findChild<QAbstractButton*>("btnRestart");
        QElapsedTimer clock;
        clock.start();
        QTest::mouseClick(registerButton, Qt::LeftButton);
        const bool ended = runUntil([&complete] { return complete; }, 1800000);
        state.SetIterationTime(clock.nsecsElapsed() * 1e-9);
        state.counters["gui_s"] = controller->lastStartSeconds();
        std::fprintf(stderr, "head: %.2f s to optimizationComplete, %.2f s of it on the GUI thread\n",
                     clock.nsecsElapsed() * 1e-9, controller->lastStartSeconds());
        if (!ended) {
            controller->interruptAndWait();
            state.SkipWithError("no optimizationComplete within 30 minutes");
        }
        shared->toolsController()->releaseTool(1, Tools::Cancel);
        QCoreApplication::processEvents();
        if (!ended)
            break;
    }
    state.counters["threads"] = QThread::idealThreadCount();
}
BENCHMARK(BM_HeadRegisterToComplete)->Unit(benchmark::kSecond)->UseManualTime()->Iterations(3);

}  // namespace

int main(int argc, char** argv)
{
    sinceMain.start();
    // Settings of our own, so that the dialog shows at start and nothing of the user's changes.
    QTemporaryDir config;
    qputenv("XDG_CONFIG_HOME", config.path().toLocal8Bit());
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
    // The controllers log every load and every level; keep the table readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    if (!QFile::exists(QCoreApplication::applicationDirPath() + "/DemoModels/HeadScan.obj")) {
        std::fprintf(stderr, "no sample scenes beside the benchmark (the build links them)\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    shared.reset();
    benchmark::Shutdown();
    return 0;
}
