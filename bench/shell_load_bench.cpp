// Loading a template of about a million triangles and then a target of the
// same size, as the models' controller does it: each step on its own (OBJ
// parse, normals, half-edge form, both trees, both drawn geometries with their
// upload) and the two whole loads. Needs a display: run under xvfb-run.
#include "Tarnwick/controllermain.h"
#include "bench/bench_gl_view.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QDir>
#include <QOpenGLContext>
#include <QOpenGLFunctions>
#include <QTemporaryDir>
#include <QTest>
#include <cmath>
#include <cstdio>
#include <memory>

namespace {

const int kGridQuads = 708;  // 2 x 708^2 = 1,002,528 triangles

struct Bench {
    QTemporaryDir dir;
    QString templatePath, targetPath;
    GeometryStack::GeomStack parsed;  // the template as read and scaled, normals computed
    std::unique_ptr<Viewport3D::Viewport3D2> templateView, targetView;
    std::unique_ptr<Viewport3D::Viewport3DLayered> resultsView;
    std::unique_ptr<ControllerMain> controller;
};

Bench* bench = nullptr;

// A wavy height field of quads in four polygroups, with a texture layout over the unit square.
GeometryStack::GeomStack makeGrid(int n, float height)
{
    GeometryStack::GeomStack mesh = GLBench::wavyGrid(n, height, true);
    mesh.polygroupNames = {"a", "b", "c", "d"};
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i)
            mesh.polygonIndToPolygroupInd.append((j * 2 / n) * 2 + i * 2 / n);
    return mesh;
}

void BM_ParseObj(benchmark::State& state)
{
    for (auto _ : state) {
        QString error;
        GeometryStack::GeomStack mesh(bench->templatePath, &error, true, false);
        benchmark::DoNotOptimize(mesh.triangles.size());
    }
}

void BM_Normals(benchmark::State& state)
{
    for (auto _ : state) {
        state.PauseTiming();
        GeometryStack::GeomStack mesh = bench->parsed;
        state.ResumeTiming();
        mesh.computeNormals();
        benchmark::DoNotOptimize(mesh.normals.size());
    }
}

void BM_HalfEdgeForm(benchmark::State& state)
{
    for (auto _ : state) {
        HE::HalfEdgeGeom halfEdge(bench->parsed.vertices, bench->parsed.polygons);
        benchmark::DoNotOptimize(halfEdge.halfEdges.size());
    }
}

void BM_TriangleTree(benchmark::State& state)
{
    for (auto _ : state) {
        std::unique_ptr<BVH2::BvhNodeBase> tree(BVH2::buildTree(bench->parsed.vertices, bench->parsed.triangles, 10));
        benchmark::DoNotOptimize(tree.get());
    }
}

void BM_PointTree(benchmark::State& state)
{
    for (auto _ : state) {
        std::unique_ptr<KDTree::NodeBase> tree(KDTree::buildTree(bench->parsed.vertices, 10));
        benchmark::DoNotOptimize(tree.get());
    }
}

// The per-polygroup geometry of the model's own view, built and uploaded.
void BM_ViewGeometry(benchmark::State& state)
{
    bench->templateView->makeCurrent();
    for (auto _ : state) {
        std::unique_ptr<Viewport3D::GLGeometrySplitted> geometry(makeGLGeometrySplittedByPolygroups(
            &bench->parsed, QColor(97, 150, 220), true, true, QColor(36, 53, 67), 1.0));
        QOpenGLContext::currentContext()->functions()->glFinish();
    }
}

// The single-colour geometry of the results view, built and uploaded.
void BM_ResultsGeometry(benchmark::State& state)
{
    bench->resultsView->makeCurrent();
    for (auto _ : state) {
        std::unique_ptr<Viewport3D::GLGeometrySplitted> geometry(
            makeGLGeometrySplitted(&bench->parsed, QColor(97, 150, 220), true, true, QColor(36, 53, 67), 0.5));
        QOpenGLContext::currentContext()->functions()->glFinish();
    }
}

void BM_LoadTemplate(benchmark::State& state)
{
    bench->controller->removeTarget();
    for (auto _ : state) {
        const QString error = bench->controller->loadTemplate(bench->templatePath);
        if (!error.isEmpty())
            state.SkipWithError(qPrintable(error));
    }
}

// With the template loaded: the target, the common scale and the template rebuilt at that scale.
void BM_LoadTargetAfterTemplate(benchmark::State& state)
{
    if (!bench->controller->isTemplateLoaded())
        bench->controller->loadTemplate(bench->templatePath);
    for (auto _ : state) {
        const QString error = bench->controller->loadTarget(bench->targetPath);
        if (!error.isEmpty())
            state.SkipWithError(qPrintable(error));
    }
}

}  // namespace

BENCHMARK(BM_ParseObj)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_Normals)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_HalfEdgeForm)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_TriangleTree)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_PointTree)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ViewGeometry)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_ResultsGeometry)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadTemplate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);
BENCHMARK(BM_LoadTargetAfterTemplate)->Unit(benchmark::kMillisecond)->UseRealTime()->Iterations(3);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    // The controller logs every load; keep the benchmark's table readable.
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    Bench b;
    bench = &b;
    b.templatePath = QDir(b.dir.path()).filePath("template.obj");
    b.targetPath = QDir(b.dir.path()).filePath("target.obj");
    if (!makeGrid(kGridQuads, 0.05f).saveToObj(b.templatePath, true, false) ||
        !makeGrid(kGridQuads, 0.2f).saveToObj(b.targetPath, true, false)) {
        std::fprintf(stderr, "cannot write the meshes\n");
        return 1;
    }
    QString error;
    b.parsed = GeometryStack::GeomStack(b.templatePath, &error, true, false);
    b.parsed.computeNormals();

    b.templateView = std::make_unique<Viewport3D::Viewport3D2>();
    b.targetView = std::make_unique<Viewport3D::Viewport3D2>();
    b.resultsView = std::make_unique<Viewport3D::Viewport3DLayered>();
    if (!GLBench::showViewsSideBySide({b.templateView.get(), b.targetView.get(), b.resultsView.get()}))
        return 1;
    b.controller = std::make_unique<ControllerMain>(b.templateView.get(), b.targetView.get(), b.resultsView.get(),
                                                    nullptr, nullptr, nullptr, nullptr, nullptr, nullptr, nullptr);
    benchmark::RunSpecifiedBenchmarks();
    b.controller.reset();
    benchmark::Shutdown();
    return 0;
}
