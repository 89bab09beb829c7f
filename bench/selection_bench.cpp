// Polygon selection on a mesh of about a million triangles in a shown model
// view: a lasso over the left half of it, timed from the release that closes
// the lasso until the selection mask and the selection group are set, and a
// click selection. The view's repaints are switched off, so no frame is drawn
// inside the timings. Needs a display: run under xvfb-run.
#include "bench/bench_gl_view.h"
#include "editing/polygonselectioncontroller.h"
#include "editing/polygonselectiontools.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/LassoSelectionController.h"
#include "rendering/Viewport3D2.h"
#include "spatial/BVH.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QMouseEvent>
#include <QTest>
#include <cmath>
#include <memory>

namespace {

const int kGridQuads = 708;  // 2 x 708^2 = 1,002,528 triangles
const int kViewWidth = 800, kViewHeight = 600;

struct Scene {
    GeometryStack::GeomStack mesh;
    std::unique_ptr<BVH2::BvhNodeBase> bvh;
    std::unique_ptr<Viewport3D::Viewport3D2> view;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<Viewport3D::LassoSelectionController> lasso;
    std::unique_ptr<PolygonSelectionController> controller;
};

Scene* scene = nullptr;

void sendMouse(QEvent::Type type, const QPoint& pixel, Qt::MouseButton button, Qt::MouseButtons buttons)
{
    QWidget* view = scene->view.get();
    QMouseEvent event(type, QPointF(pixel), QPointF(view->mapToGlobal(pixel)), button, buttons, Qt::NoModifier);
    QApplication::sendEvent(view, &event);
}

// Corners of a lasso whose closing edge runs down the middle of the view and
// whose arc of 24 points bulges left beyond the mesh: it covers the mesh's left half.
QVector<QPoint> halfLasso()
{
    QVector<QPoint> corners;
    const double pi = 3.141592653589793;
    for (int k = 0; k <= 24; ++k) {
        const double angle = pi / 2 + pi * k / 24;
        const double x = kViewWidth / 2 + 0.49 * kViewWidth * std::cos(angle);
        const double y = kViewHeight / 2 - 0.49 * kViewHeight * std::sin(angle);
        corners.append(QPoint(int(std::lround(x)), int(std::lround(y))));
    }
    return corners;
}

// Everything of a lasso but the release that closes it.
void drawLassoUpToClosingRelease(const QVector<QPoint>& corners)
{
    sendMouse(QEvent::MouseButtonPress, corners[0], Qt::LeftButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, corners[0], Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseMove, corners[1], Qt::NoButton, Qt::LeftButton);
    sendMouse(QEvent::MouseButtonRelease, corners[1], Qt::LeftButton, Qt::NoButton);
    for (int i = 2; i < corners.size(); ++i) {
        sendMouse(QEvent::MouseMove, corners[i], Qt::NoButton, Qt::NoButton);
        sendMouse(QEvent::MouseButtonPress, corners[i], Qt::LeftButton, Qt::LeftButton);
        sendMouse(QEvent::MouseButtonRelease, corners[i], Qt::LeftButton, Qt::NoButton);
    }
    sendMouse(QEvent::MouseMove, corners[0], Qt::NoButton, Qt::NoButton);
    sendMouse(QEvent::MouseButtonPress, corners[0], Qt::LeftButton, Qt::LeftButton);
}

void BM_LassoHalfMesh(benchmark::State& state)
{
    const QVector<QPoint> corners = halfLasso();
    const QVector<bool> none(scene->mesh.polygons.size(), false);
    int selected = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene->controller->setSelection(none);
        drawLassoUpToClosingRelease(corners);
        state.ResumeTiming();
        sendMouse(QEvent::MouseButtonRelease, corners[0], Qt::LeftButton, Qt::NoButton);
        state.PauseTiming();
        selected = scene->controller->selection().count(true);
        state.ResumeTiming();
    }
    state.counters["selected"] = selected;
    state.counters["polygons"] = scene->mesh.polygons.size();
}

// The parts of the lasso: the hierarchy's volume queries alone, and setting the resulting selection.
QVector<QPointF> halfLassoNdc()
{
    QVector<QPointF> points;
    for (const QPoint& p : halfLasso())
        points.append(scene->view->screenToNdc(p));
    return points;
}

void BM_LassoQueriesOnly(benchmark::State& state)
{
    scene->view->makeCurrent();
    const QVector<BVH2::ConvexPolyhedron> volumes = PolygonSelectionTools::screenPolygonToSelectionPolyhedrons(
        halfLassoNdc(), scene->view->projectionMatrix(), scene->view->viewMatrix());
    for (auto _ : state) {
        QVector<bool> touched(scene->mesh.triangles.size(), false);
        for (const BVH2::ConvexPolyhedron& volume : volumes)
            scene->bvh->selectIntersectedTriangles(scene->mesh.vertices, scene->mesh.triangles, volume, touched);
        benchmark::DoNotOptimize(touched.data());
    }
    state.counters["volumes"] = volumes.size();
}

void BM_SetHalfSelection(benchmark::State& state)
{
    QVector<bool> half(scene->mesh.polygons.size(), false);
    for (int p = 0; p < half.size(); p += 2)
        half[p] = true;
    for (auto _ : state)
        scene->controller->setSelection(half);
}

void BM_SetOnePolygonSelection(benchmark::State& state)
{
    QVector<bool> one(scene->mesh.polygons.size(), false);
    one[one.size() / 3] = true;
    for (auto _ : state)
        scene->controller->setSelection(one);
}

void BM_ClickSelection(benchmark::State& state)
{
    const QPoint pixel(kViewWidth * 3 / 5, kViewHeight * 2 / 5);
    const QVector<bool> none(scene->mesh.polygons.size(), false);
    int selected = 0;
    for (auto _ : state) {
        state.PauseTiming();
        scene->controller->setSelection(none);
        sendMouse(QEvent::MouseButtonPress, pixel, Qt::LeftButton, Qt::LeftButton);
        state.ResumeTiming();
        sendMouse(QEvent::MouseButtonRelease, pixel, Qt::LeftButton, Qt::NoButton);
        state.PauseTiming();
        selected = scene->controller->selection().count(true);
        state.ResumeTiming();
    }
    state.counters["selected"] = selected;
}

}  // namespace

BENCHMARK(BM_LassoHalfMesh)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_LassoQueriesOnly)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetHalfSelection)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_SetOnePolygonSelection)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_ClickSelection)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Scene s;
    scene = &s;
    s.mesh = GLBench::wavyGrid(kGridQuads, 0.05f, false);
    s.bvh.reset(BVH2::buildTree(s.mesh.vertices, s.mesh.triangles, 10));

    s.view = std::make_unique<Viewport3D::Viewport3D2>();
    if (!GLBench::showGLView(*s.view, kViewWidth, kViewHeight))
        return 1;
    s.view->makeCurrent();
    Viewport3D::ShadingGroup group;
    s.drawn = std::make_unique<Viewport3D::GLGeometrySplitted>(
        GeometryStack::cornerPositions(s.mesh), QVector<QVector2D>(), GeometryStack::cornerNormals(s.mesh),
        GeometryStack::edgeFlagsPerCorner(s.mesh), s.mesh.boundingBox, QList<Viewport3D::ShadingGroup>{group},
        QList<QVector<bool>>{QVector<bool>(3 * s.mesh.triangles.size(), true)});
    s.view->addObject(s.drawn.get());
    s.view->fitToView();
    s.lasso = std::make_unique<Viewport3D::LassoSelectionController>(s.view.get());
    s.controller =
        std::make_unique<PolygonSelectionController>(&s.mesh, s.bvh.get(), s.drawn.get(), s.view.get(), s.lasso.get());
    // No frames inside the timings.
    s.view->setUpdatesEnabled(false);

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();

    s.view->setUpdatesEnabled(true);
    s.controller.reset();
    s.lasso.reset();
    s.view->makeCurrent();
    s.view->removeObject(s.drawn.get());
    s.drawn.reset();
    s.view.reset();
    return 0;
}
