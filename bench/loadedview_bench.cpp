// The view of a loaded mesh of about a million triangles (three polygroups) on
// the GL of this machine, step by step: the triangle hierarchy, the point tree,
// the per-corner arrays and group masks, both drawn geometries, then the whole
// record; and the latency of a pick, from the mouse release to the
// "Selected vertex:" line, before the markers are rebuilt and the view
// repainted. Needs a display: run under xvfb-run.
#include "bvh_bench_mesh.h"
#include "editing/pointselectioncontroller.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "rendering/labelfontatlas.h"
#include "spatial/BVH.h"
#include "spatial/KDTree.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QElapsedTimer>
#include <QMouseEvent>
#include <QTest>
#include <memory>

namespace {

const int kTriangles = 1000000;

struct Scene {
    GeometryStack::GeomStack mesh;
    std::unique_ptr<Viewport3D::Viewport3D2> view;
    std::unique_ptr<Viewport3D::Viewport3DLayered> results;
};

Scene* scene = nullptr;

// The torus as a polygon mesh in three polygroups (thirds along the tube).
GeometryStack::GeomStack makeMesh()
{
    const SpatialBench::Mesh torus = SpatialBench::bumpyTorus(kTriangles);
    GeometryStack::GeomStack mesh(torus.vertices, torus.triangles, {}, {}, {});
    mesh.polygroupNames = {"a", "b", "c"};
    mesh.polygonIndToPolygroupInd.resize(mesh.polygons.size());
    for (int p = 0; p < mesh.polygons.size(); ++p)
        mesh.polygonIndToPolygroupInd[p] = 3 * p / mesh.polygons.size();
    return mesh;
}

// The build as the view makes it (top levels on the pool), and the same tree
// built on one thread, side by side.
void hierarchyBenchmark(benchmark::State& state, bool oneThread)
{
    const GeometryStack::GeomStack& mesh = scene->mesh;
    QList<int> faces;
    for (int f = 0; f < mesh.triangles.size(); ++f)
        faces.append(f);
    for (auto _ : state) {
        BVH2::BvhNodeBase* root = oneThread ? BVH2::buildTreeOnOneThread(faces, mesh.vertices, mesh.triangles, 10)
                                            : BVH2::buildTree(faces, mesh.vertices, mesh.triangles, 10);
        state.PauseTiming();
        delete root;
        state.ResumeTiming();
    }
    state.counters["triangles"] = mesh.triangles.size();
}

void BM_TriangleHierarchy(benchmark::State& state)
{
    hierarchyBenchmark(state, false);
}
void BM_TriangleHierarchyOneThread(benchmark::State& state)
{
    hierarchyBenchmark(state, true);
}

void BM_PointTree(benchmark::State& state)
{
    for (auto _ : state) {
        KDTree::NodeBase* root = KDTree::buildTree(scene->mesh.vertices, 10);
        state.PauseTiming();
        delete root;
        state.ResumeTiming();
    }
}

// The per-corner arrays both drawn geometries take from the mesh, and the
// three polygroup masks.
void BM_CornerArraysAndMasks(benchmark::State& state)
{
    const GeometryStack::GeomStack& mesh = scene->mesh;
    for (auto _ : state) {
        benchmark::DoNotOptimize(GeometryStack::cornerPositions(mesh));
        benchmark::DoNotOptimize(GeometryStack::cornerNormals(mesh));
        benchmark::DoNotOptimize(GeometryStack::cornerTextureCoordinates(mesh));
        benchmark::DoNotOptimize(GeometryStack::edgeFlagsPerCorner(mesh));
        for (int group = 0; group < 3; ++group)
            benchmark::DoNotOptimize(
                GeometryStack::polygonMaskToCornerMask(mesh, GeometryStack::polygonMaskOfPolygroup(mesh, group)));
    }
}

// One drawn geometry, arrays and upload, finished on the GL side.
void geometryBenchmark(benchmark::State& state, bool byPolygroups)
{
    scene->view->makeCurrent();
    for (auto _ : state) {
        Viewport3D::GLGeometrySplitted* geometry =
            byPolygroups
                ? makeGLGeometrySplittedByPolygroups(&scene->mesh, QColor(200, 120, 60), true, false, Qt::black, 1.0)
                : makeGLGeometrySplitted(&scene->mesh, QColor(200, 120, 60), true, false, Qt::black, 0.5);
        glFinish();
        state.PauseTiming();
        delete geometry;
        glFinish();
        state.ResumeTiming();
    }
}

void BM_ViewGeometryByPolygroups(benchmark::State& state)
{
    geometryBenchmark(state, true);
}
void BM_ResultsGeometry(benchmark::State& state)
{
    geometryBenchmark(state, false);
}

// Adding the own view's geometry, which initialises it and repaints the view
// (the mesh drawn once by the GL of this machine).
void BM_AddToModelView(benchmark::State& state)
{
    Viewport3D::Viewport3D2* view = scene->view.get();
    view->makeCurrent();
    std::unique_ptr<Viewport3D::GLGeometrySplitted> geometry(
        makeGLGeometrySplittedByPolygroups(&scene->mesh, QColor(200, 120, 60), true, false, Qt::black, 1.0));
    for (auto _ : state) {
        view->addObject(geometry.get());
        view->makeCurrent();
        glFinish();
        state.PauseTiming();
        view->removeObject(geometry.get());
        state.ResumeTiming();
    }
    view->makeCurrent();
}

// The whole record as the main controller builds it, including the repaint of
// the own view that adding its geometry starts.
void BM_WholeView(benchmark::State& state)
{
    for (auto _ : state) {
        auto record = std::make_unique<GeomStackView>(&scene->mesh, scene->view.get(), scene->results.get(),
                                                      QColor(200, 120, 60), true, false, Qt::black, true);
        scene->view->makeCurrent();
        glFinish();
        state.PauseTiming();
        record.reset();
        state.ResumeTiming();
    }
}

// Time of the last "Selected vertex:" line.
QElapsedTimer* pickClock = nullptr;
qint64 selectedAt = -1;
QtMessageHandler previousHandler = nullptr;

void recordSelection(QtMsgType type, const QMessageLogContext& context, const QString& text)
{
    if (text.startsWith("Selected vertex:"))
        selectedAt = pickClock->nsecsElapsed();
    else if (previousHandler)
        previousHandler(type, context, text);
}

// From the release event's delivery to the log line; each release lands on a
// different pixel of a fitted view so that every pick appends a new vertex.
void BM_PickLatency(benchmark::State& state)
{
    auto record = std::make_unique<GeomStackView>(&scene->mesh, scene->view.get(), scene->results.get(),
                                                  QColor(200, 120, 60), true, false, Qt::black, true);
    LabelFontAtlas atlas(QFont("Arial", 12, QFont::Bold), 4, Qt::yellow, Qt::black, 2, printableAsciiChars());
    auto controller =
        std::make_unique<PointSelectionController>(&scene->mesh.vertices, &scene->mesh.triangles, record->bvh,
                                                   record->kdTree, &atlas, scene->view.get(), Qt::yellow);
    controller->setSelectedPoints({});
    scene->view->fitToView();

    QElapsedTimer timer;
    timer.start();
    pickClock = &timer;
    previousHandler = qInstallMessageHandler(recordSelection);
    const int width = scene->view->width(), height = scene->view->height();
    int k = 0, missed = 0;
    for (auto _ : state) {
        // Pixels on a ring around the view centre, where the torus is.
        const double angle = 0.61803398875 * 6.283185307 * k++;
        const QPoint pixel(int(width / 2 + 0.3 * height * std::cos(angle)),
                           int(height / 2 + 0.3 * height * std::sin(angle)));
        QMouseEvent release(QEvent::MouseButtonRelease, QPointF(pixel), Qt::LeftButton, Qt::NoButton, Qt::NoModifier);
        selectedAt = -1;
        const qint64 start = timer.nsecsElapsed();
        QApplication::sendEvent(scene->view.get(), &release);
        if (selectedAt < 0) {
            ++missed;
            state.SetIterationTime(0);
        } else {
            state.SetIterationTime(double(selectedAt - start) * 1e-9);
        }
        if (controller->pointsCount() > 30) {
            state.PauseTiming();
            controller->clearAll();
            state.ResumeTiming();
        }
    }
    qInstallMessageHandler(previousHandler);
    state.counters["missed"] = missed;
    controller.reset();
    record.reset();
}

}  // namespace

BENCHMARK(BM_TriangleHierarchy)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_TriangleHierarchyOneThread)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PointTree)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_CornerArraysAndMasks)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ViewGeometryByPolygroups)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ResultsGeometry)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_AddToModelView)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_WholeView)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_PickLatency)->Unit(benchmark::kMicrosecond)->UseManualTime()->Iterations(200);

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Scene s;
    scene = &s;
    s.mesh = makeMesh();
    s.view = std::make_unique<Viewport3D::Viewport3D2>();
    s.results = std::make_unique<Viewport3D::Viewport3DLayered>();
    for (QGLWidget* view : {static_cast<QGLWidget*>(s.view.get()), static_cast<QGLWidget*>(s.results.get())}) {
        view->resize(800, 600);
        view->show();
        if (!QTest::qWaitForWindowExposed(view, 5000) || !view->isValid()) {
            fprintf(stderr, "No GL view: run under xvfb-run with a display.\n");
            return 1;
        }
    }
    if (!QTest::qWaitFor([&] { return s.view->isInitialized() && s.results->isInitialized(); }, 5000)) {
        fprintf(stderr, "The views did not initialise.\n");
        return 1;
    }

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s.view->makeCurrent();
    s.view.reset();
    s.results.reset();
    return 0;
}
