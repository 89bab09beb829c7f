// The texture-transfer mode in the running window at the panel's default size (2048 x 2048): a 100k-vertex
// textured scan onto a 10k-vertex template, from the click on Transfer to transferFinished with padding 0, and
// with hole filling from the click to "Transfer finished" (the transfer and both previews) and to the end of the
// filling. Compare with texture_bench for the engine's own share. And a request refused for its size: from the
// click on Transfer to the warning box on screen, once at the panel's largest size (more texels than one transfer
// has work items for) and once at 10000 x 10000 under an address-space limit that leaves it too little memory.
#include <benchmark/benchmark.h>
#include <sys/resource.h>
#include <unistd.h>
#include <QAbstractButton>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QEvent>
#include <QFile>
#include <QMessageBox>
#include <QPushButton>
#include <QSpinBox>
#include <QTemporaryDir>
#include <QTest>
#include <algorithm>
#include <cmath>
#include <cstdio>
#include <memory>

#include "Tarnwick/Tools/ToolTextureTransfer.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/mainwindow.h"
#include "mesh/GeomStack.h"
#include "tests/texture/TransferScenes.h"
#include "texture/ControllerTextureTransfer.h"
#include "texture/TransferMemory.h"
#include "texture/WidgetParamsTextureTransfer.h"

namespace {

MainWindow* window = nullptr;
QElapsedTimer runClock;
qint64 transferLogged = -1;  // ms from the click to "Transfer finished"

Tools::ToolTextureTransfer* tool()
{
    Tools::ToolsController* tools = window->toolsController();
    for (int i = 0; i < tools->toolCount(); ++i)
        if (auto* t = qobject_cast<Tools::ToolTextureTransfer*>(tools->tool(i)))
            return t;
    return nullptr;
}

// One click on Transfer; returns the ms to transferFinished.
double runOnce(bool fillHoles)
{
    WidgetParamsTextureTransfer* panel = tool()->getPanel();
    panel->findChild<QSpinBox*>("spinPadding")->setValue(0);
    // On the indicator: a radio button stretched by its layout takes no click beyond its label.
    QAbstractButton* choice = panel->findChild<QAbstractButton*>(fillHoles ? "radioBtnFillHoles" : "radioBtnPadding");
    QTest::mouseClick(choice, Qt::LeftButton, Qt::NoModifier, QPoint(6, choice->height() / 2));
    bool finished = false, padded = false;
    ControllerTextureTransfer* controller = tool()->getController();
    const auto c1 =
        QObject::connect(controller, &ControllerTextureTransfer::transferFinished, [&finished] { finished = true; });
    const auto c2 =
        QObject::connect(controller, &ControllerTextureTransfer::paddingFinished, [&padded] { padded = true; });
    transferLogged = -1;
    runClock.start();
    QTest::mouseClick(panel->findChild<QAbstractButton*>("btnTransfer"), Qt::LeftButton);
    while (!finished)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    const double ms = runClock.nsecsElapsed() * 1e-6;
    while (!fillHoles && !padded)
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents, 5);
    QObject::disconnect(c1);
    QObject::disconnect(c2);
    return ms;
}

void BM_TransferToFinished(benchmark::State& state)
{
    for (auto _ : state)
        state.SetIterationTime(runOnce(false) * 1e-3);
}

void BM_TransferAndHoleFilling(benchmark::State& state)
{
    double transfer = 0;
    for (auto _ : state) {
        state.SetIterationTime(runOnce(true) * 1e-3);
        transfer += double(transferLogged);
    }
    state.counters["toTransferFinished_ms"] = transfer / double(state.iterations());
}

// Notes when the refusal's box is shown and when it is first painted, and answers it then.
class BoxWatcher : public QObject {
public:
    qint64 shownNs = -1;
    qint64 paintedNs = -1;

protected:
    bool eventFilter(QObject* watched, QEvent* event) override
    {
        if (event->type() == QEvent::Show && shownNs < 0 && qobject_cast<QMessageBox*>(watched))
            shownNs = runClock.nsecsElapsed();
        if (event->type() != QEvent::Paint || paintedNs >= 0)
            return false;
        auto* widget = qobject_cast<QWidget*>(watched);
        auto* box = widget ? qobject_cast<QMessageBox*>(widget->window()) : nullptr;
        if (!box)
            return false;
        paintedNs = runClock.nsecsElapsed();
        QMetaObject::invokeMethod(
            box, [box] { box->button(QMessageBox::Ok)->click(); }, Qt::QueuedConnection);
        return false;
    }
};

// One click on Transfer with a request that is refused; the ms to the box's show, to its first paint, and to the
// click's return (the box answered at its first paint, the window repainted where it was).
bool refuseOnce(int side, double& toShown, double& toBox, double& toReturn)
{
    WidgetParamsTextureTransfer* panel = tool()->getPanel();
    panel->findChild<QSpinBox*>("spinWidth")->setValue(side);
    panel->findChild<QSpinBox*>("spinHeight")->setValue(side);
    BoxWatcher watcher;
    qApp->installEventFilter(&watcher);
    runClock.start();
    QTest::mouseClick(panel->findChild<QAbstractButton*>("btnTransfer"), Qt::LeftButton);
    toReturn = runClock.nsecsElapsed() * 1e-6;
    qApp->removeEventFilter(&watcher);
    toShown = watcher.shownNs * 1e-6;
    toBox = watcher.paintedNs * 1e-6;
    return watcher.shownNs >= 0 && watcher.paintedNs >= 0 && !tool()->isComputing();
}

// The time per iteration is the click to the box's first paint; the slowest is the first box of the process when
// this benchmark runs first.
void refusals(benchmark::State& state, int side)
{
    double shown = 0, returned = 0, slowest = 0;
    for (auto _ : state) {
        double toShown = 0, toBox = 0, toReturn = 0;
        if (!refuseOnce(side, toShown, toBox, toReturn)) {
            state.SkipWithError("the request was not refused");
            return;
        }
        state.SetIterationTime(toBox * 1e-3);
        shown += toShown;
        returned += toReturn;
        slowest = std::max(slowest, toBox);
    }
    state.counters["toShown_ms"] = shown / double(state.iterations());
    state.counters["toClickReturned_ms"] = returned / double(state.iterations());
    state.counters["slowestPaint_ms"] = slowest;
}

void BM_RefusedAtThePanelsLargestSize(benchmark::State& state)
{
    refusals(state, 30000);
}

void BM_RefusedForMemoryUnderAnAddressSpaceLimit(benchmark::State& state)
{
    rlimit kept;
    getrlimit(RLIMIT_AS, &kept);
    QFile status("/proc/self/statm");
    qint64 pages = 0;
    if (status.open(QIODevice::ReadOnly))
        pages = status.readLine().split(' ').first().toLongLong();
    rlimit lowered = kept;
    lowered.rlim_cur = rlim_t(pages * sysconf(_SC_PAGESIZE) + (qint64(1) << 30));
    setrlimit(RLIMIT_AS, &lowered);
    if (TextureTransfer::checkTransferSize(10000, 10000, 1, 0, TextureTransfer::memoryLeftForProcess()).fits)
        state.SkipWithError("10000 x 10000 fits in the memory left");
    else
        refusals(state, 10000);
    setrlimit(RLIMIT_AS, &kept);
}

}  // namespace

BENCHMARK(BM_TransferToFinished)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_TransferAndHoleFilling)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(3);
BENCHMARK(BM_RefusedAtThePanelsLargestSize)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);
BENCHMARK(BM_RefusedForMemoryUnderAnAddressSpaceLimit)->Unit(benchmark::kMillisecond)->UseManualTime()->Iterations(20);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    // Only the controller's end of transfer line is kept, with its time.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString& text) {
        if (text == QLatin1String("Transfer finished") && runClock.isValid())
            transferLogged = runClock.elapsed();
    });
    QTemporaryDir dir;
    const QString templatePath = QDir(dir.path()).filePath("template.obj");
    const QString targetPath = QDir(dir.path()).filePath("target.obj");
    const QString texturePath = QDir(dir.path()).filePath("target.png");
    const int size = 2048;
    QImage texture(size, size, QImage::Format_ARGB32);
    for (int y = 0; y < size; ++y)
        for (int x = 0; x < size; ++x)
            texture.setPixel(x, y, qRgb(x / 8, y / 8, ((x / 64 + y / 64) % 2) * 255));
    if (!TransferScenes::bumpySphere(100, 100, 48, 0.0f, 0.01f)
             .saveToObj(templatePath, true, false) ||                                               // 10,201 vertices
        !TransferScenes::bumpySphere(250, 400, 50, 0.03f, 0).saveToObj(targetPath, true, false) ||  // 100,651 vertices
        !texture.save(texturePath)) {
        std::fprintf(stderr, "cannot write the scene\n");
        return 1;
    }
    MainWindow mainWindow;
    window = &mainWindow;
    mainWindow.show();
    if (!QTest::qWaitForWindowExposed(&mainWindow) ||
        !QTest::qWaitFor([&] { return mainWindow.controllerMain() != nullptr; }, 20000)) {
        std::fprintf(stderr, "no GL window: run under xvfb-run\n");
        return 1;
    }
    ControllerMain* main = mainWindow.controllerMain();
    if (!main->loadTemplate(templatePath).isEmpty() || !main->loadTarget(targetPath).isEmpty() ||
        !main->loadTextureTarget(texturePath) || !tool()) {
        std::fprintf(stderr, "cannot load the scene\n");
        return 1;
    }
    Tools::ToolsController* tools = mainWindow.toolsController();
    for (int i = 0; i < tools->toolCount(); ++i)
        if (tools->tool(i) == tool())
            tools->initializeTool(i);
    benchmark::RunSpecifiedBenchmarks();
    tools->releaseTool(tools->currentToolIndex(), Tools::Cancel);
    return 0;
}
