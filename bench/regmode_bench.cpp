// The registration mode's Register, from the click to optimizationComplete,
// for a 10k-vertex template on a 100k-vertex target, split into the part that
// holds the GUI thread (median neighbour distance, graph build, run record)
// and the worker's part (the level loop, previews delivered as in the program).
// Needs a display: run under xvfb-run.
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "bench/bench_gl_view.h"
#include "mesh/GeomStack.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QElapsedTimer>
#include <QTemporaryDir>
#include <QTest>
#include <QVBoxLayout>
#include <cmath>
#include <cstdio>
#include <memory>

#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"

namespace {

struct Bench {
    std::unique_ptr<Viewport3D::Viewport3D2> templateView, targetView;
    std::unique_ptr<Viewport3D::Viewport3DLayered> resultsView;
    std::unique_ptr<QWidget> templateArea, targetArea;
    std::unique_ptr<ControllerMain> controller;
    int templateSide = 0, targetSide = 0;
};

Bench* bench = nullptr;

// n x n vertices of a bumpy sheet; bent and stretched for the target.
GeometryStack::GeomStack makeSheet(int n, bool bent)
{
    QVector<QVector3D> vertices;
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const float x = 2.0f * i / (n - 1), y = 1.5f * j / (n - 1);
            float z = 0.3f * std::sin(2 * x) * std::cos(1.5f * y) + 0.15f * x * y;
            float px = x;
            if (bent) {
                z += 0.35f * (x - 1) * (x - 1);
                px *= 1.2f;
            }
            vertices.append(QVector3D(px, y, z));
        }
    QVector<QList<int>> quads;
    for (int j = 0; j + 1 < n; ++j)
        for (int i = 0; i + 1 < n; ++i) {
            const int a = j * n + i;
            quads.append({a, a + 1, a + n + 1, a + n});
        }
    return GeometryStack::GeomStack(vertices, quads, {}, {}, {});
}

QList<int> corners(int n)
{
    return {0, n - 1, n * (n - 1), n * n - 1, (n / 2) * n + n / 2};
}

void BM_RegisterToComplete(benchmark::State& state)
{
    Bench& b = *bench;
    for (auto _ : state) {
        state.PauseTiming();
        auto* c =
            new ControllerNonRigidRegistration(b.controller->geomStackViewTemplate, b.controller->geomStackViewTarget,
                                               b.templateArea.get(), b.targetArea.get(), nullptr);
        c->setSrcControlPoints(corners(b.templateSide));
        c->setDstControlPoints(corners(b.targetSide));
        state.ResumeTiming();
        QElapsedTimer clock;
        clock.start();
        c->evaluate();
        // Printed at once: on a loaded machine the worker's part can take long.
        std::fprintf(stderr, "GUI-thread part: %.3f s\n", c->lastStartSeconds());
        if (!QTest::qWaitFor([c] { return !c->isRunning(); }, 1800000)) {
            c->interruptAndWait();
            delete c;
            state.SkipWithError("the run did not end within 30 minutes");
            break;
        }
        const double total = clock.nsecsElapsed() * 1e-9;
        state.PauseTiming();
        state.counters["gui_s"] = c->lastStartSeconds();
        state.counters["worker_s"] = total - c->lastStartSeconds();
        std::fprintf(stderr, "worker part: %.3f s\n", total - c->lastStartSeconds());
        delete c;
        state.ResumeTiming();
    }
}
BENCHMARK(BM_RegisterToComplete)->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    Bench b;
    bench = &b;
    b.templateSide = 100;  // 10,000 vertices
    b.targetSide = 316;    // 99,856 vertices
    QTemporaryDir dir;
    const QString templatePath = QDir(dir.path()).filePath("template.obj");
    const QString targetPath = QDir(dir.path()).filePath("target.obj");
    if (!makeSheet(b.templateSide, false).saveToObj(templatePath, false, false) ||
        !makeSheet(b.targetSide, true).saveToObj(targetPath, false, false)) {
        std::fprintf(stderr, "cannot write the meshes\n");
        return 1;
    }
    b.templateView = std::make_unique<Viewport3D::Viewport3D2>();
    b.targetView = std::make_unique<Viewport3D::Viewport3D2>();
    b.resultsView = std::make_unique<Viewport3D::Viewport3DLayered>();
    if (!GLBench::showViewsSideBySide({b.templateView.get(), b.targetView.get(), b.resultsView.get()}))
        return 1;
    b.templateArea = std::make_unique<QWidget>();
    new QVBoxLayout(b.templateArea.get());
    b.targetArea = std::make_unique<QWidget>();
    new QVBoxLayout(b.targetArea.get());
    b.controller = std::make_unique<ControllerMain>(b.templateView.get(), b.targetView.get(), b.resultsView.get(),
                                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    if (!b.controller->loadTemplate(templatePath).isEmpty() || !b.controller->loadTarget(targetPath).isEmpty()) {
        std::fprintf(stderr, "cannot load the meshes\n");
        return 1;
    }
    benchmark::RunSpecifiedBenchmarks();
    b.controller.reset();
    benchmark::Shutdown();
    return 0;
}
