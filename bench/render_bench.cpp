// A textured, wired mesh of about a million triangles in the model view on the
// GL of this machine (the software renderer under Xvfb): building its
// per-corner arrays, uploading it, drawing a frame, and rewriting positions as
// a deformation preview does. Needs a display: run under xvfb-run.
#include "bench/bench_gl_view.h"
#include "mesh/GeomStack.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/Viewport3D2.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QImage>
#include <QTest>
#include <cmath>
#include <memory>

namespace {

const int kGridQuads = 708;  // 2 x 708^2 = 1,002,528 triangles

struct Scene {
    GeometryStack::GeomStack mesh;
    QVector<QVector3D> positions, normals;
    QVector<QVector2D> textureCoordinates;
    QVector<float> edgeFlags;
    QVector<bool> allCorners;
    QImage texture;
    std::unique_ptr<Viewport3D::Viewport3D2> view;
};

Scene* scene = nullptr;

Viewport3D::ShadingGroup texturedWiredGroup()
{
    Viewport3D::ShadingGroup group;
    group.textured = true;
    group.shaded = true;
    group.wireVisible = true;
    return group;
}

std::unique_ptr<Viewport3D::GLGeometrySplitted> upload(bool wired)
{
    Viewport3D::ShadingGroup group = texturedWiredGroup();
    group.wireVisible = wired;
    auto object = std::make_unique<Viewport3D::GLGeometrySplitted>(
        scene->positions, scene->textureCoordinates, scene->normals, scene->edgeFlags, scene->mesh.boundingBox,
        QList<Viewport3D::ShadingGroup>{group}, QList<QVector<bool>>{scene->allCorners});
    object->setTexture(scene->texture);
    return object;
}

void BM_BuildCornerArrays(benchmark::State& state)
{
    for (auto _ : state) {
        benchmark::DoNotOptimize(GeometryStack::cornerPositions(scene->mesh));
        benchmark::DoNotOptimize(GeometryStack::cornerNormals(scene->mesh));
        benchmark::DoNotOptimize(GeometryStack::cornerTextureCoordinates(scene->mesh));
        benchmark::DoNotOptimize(GeometryStack::edgeFlagsPerCorner(scene->mesh));
        benchmark::DoNotOptimize(
            GeometryStack::polygonMaskToCornerMask(scene->mesh, QVector<bool>(scene->mesh.polygons.size(), true)));
    }
    state.counters["triangles"] = scene->mesh.triangles.size();
}

// Buffer, programs and a 1024 x 1024 texture, finished on the GL side.
void BM_Upload(benchmark::State& state)
{
    scene->view->makeCurrent();
    for (auto _ : state) {
        auto object = upload(true);
        glFinish();
        state.PauseTiming();
        object.reset();
        glFinish();
        state.ResumeTiming();
    }
}

// One repaint of the view (clear, axis triad, the mesh) until GL is done.
void frameBenchmark(benchmark::State& state, bool wired)
{
    Viewport3D::Viewport3D2* view = scene->view.get();
    view->makeCurrent();
    auto object = upload(wired);
    view->addObject(object.get());
    view->fitToView();
    for (auto _ : state) {
        view->updateGL();
        view->makeCurrent();
        glFinish();
    }
    view->makeCurrent();
    view->removeObject(object.get());
}

void BM_FrameTexturedWired(benchmark::State& state)
{
    frameBenchmark(state, true);
}
void BM_FrameTexturedNoWire(benchmark::State& state)
{
    frameBenchmark(state, false);
}

// Rewriting all corner positions in place (registration preview, brush stroke).
void BM_UpdatePositions(benchmark::State& state)
{
    scene->view->makeCurrent();
    auto object = upload(true);
    for (auto _ : state) {
        object->updatePositions(scene->positions);
        glFinish();
    }
}

}  // namespace

BENCHMARK(BM_BuildCornerArrays)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_Upload)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameTexturedWired)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_FrameTexturedNoWire)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UpdatePositions)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);

    Scene s;
    scene = &s;
    s.mesh = GLBench::wavyGrid(kGridQuads, 0.05f, true);
    s.positions = GeometryStack::cornerPositions(s.mesh);
    s.normals = GeometryStack::cornerNormals(s.mesh);
    s.textureCoordinates = GeometryStack::cornerTextureCoordinates(s.mesh);
    s.edgeFlags = GeometryStack::edgeFlagsPerCorner(s.mesh);
    s.allCorners = QVector<bool>(s.positions.size(), true);
    s.texture = QImage(1024, 1024, QImage::Format_ARGB32);
    for (int y = 0; y < s.texture.height(); ++y)
        for (int x = 0; x < s.texture.width(); ++x)
            s.texture.setPixel(x, y, qRgb(x / 4, y / 4, ((x / 64 + y / 64) % 2) * 255));

    s.view = std::make_unique<Viewport3D::Viewport3D2>();
    if (!GLBench::showGLView(*s.view, 800, 600))
        return 1;

    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    s.view->makeCurrent();
    s.view.reset();
    return 0;
}
