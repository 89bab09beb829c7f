// One brush step of the brush mode (the relax brush with the default radius:
// apply, fan normals, stroke record, octree update and the drawn geometry's
// update) on templates of 100k and 1M triangles over a target of the same
// size, and the undo of the last of 50 strokes. The drawn geometry is not in
// the view, so the repaints draw only the cursor: no frame of the mesh is
// timed. Needs a display: run under xvfb-run.
#include "bench/bench_gl_view.h"
#include "editing/BrushController.h"
#include "editing/Sculpting/Brush.h"
#include "mesh/GeomStack.h"
#include "mesh/HalfEdge.h"
#include "mesh/MeshSelections.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "spatial/BVH.h"

#include <benchmark/benchmark.h>
#include <QApplication>
#include <QTest>
#include <cmath>
#include <map>
#include <memory>

namespace {

// A wavy height field over [-50, 50]^2, two triangles per cell.
GeometryStack::GeomStack makeGrid(int n, float height, float phase)
{
    QVector<QVector3D> vertices;
    vertices.reserve((n + 1) * (n + 1));
    for (int j = 0; j <= n; ++j)
        for (int i = 0; i <= n; ++i) {
            const float u = float(i) / n, v = float(j) / n;
            vertices.append(
                QVector3D(u * 100 - 50, v * 100 - 50, height + 3 * std::sin(u * 12 + phase) * std::cos(v * 9)));
        }
    QVector<QList<int>> triangles;
    triangles.reserve(2 * n * n);
    for (int j = 0; j < n; ++j)
        for (int i = 0; i < n; ++i) {
            const int a = j * (n + 1) + i, b = a + 1, c = a + n + 2, d = a + n + 1;
            triangles.append({a, b, c});
            triangles.append({a, c, d});
        }
    return GeometryStack::GeomStack(vertices, triangles, {}, {}, {});
}

Viewport3D::Viewport3DLayered* view = nullptr;

struct Scene {
    explicit Scene(int n) : templateMesh(makeGrid(n, 0, 0)), target(makeGrid(n, -0.5f, 0.3f))
    {
        targetBvh.reset(BVH2::buildTree(target.vertices, target.triangles, 10));
        const HE::HalfEdgeGeom halfEdges(templateMesh.vertices, templateMesh.triangles);
        neighbours = halfEdges.buildVertexNeighboursFan();
        boundary = halfEdges.boundaryVerticesMask();
        relax = std::make_unique<Sculpting::BrushRelax>(&templateMesh.triangles, &neighbours, &target,
                                                        &target.triangles, targetBvh.get());
        view->makeCurrent();
        Viewport3D::ShadingGroup group;
        group.wireVisible = true;
        drawn = std::make_unique<Viewport3D::GLGeometrySplitted>(
            GeometryStack::cornerPositions(templateMesh), QVector<QVector2D>(),
            GeometryStack::cornerNormals(templateMesh), GeometryStack::edgeFlagsPerCorner(templateMesh),
            templateMesh.boundingBox, QList<Viewport3D::ShadingGroup>{group},
            QList<QVector<bool>>{QVector<bool>(3 * templateMesh.triangles.size(), true)});
        controller = std::make_unique<BrushController>(&templateMesh, &neighbours, &boundary, drawn.get(), view);
        controller->addBrush(relax.get(), "Relax brush");
        controller->setCurrentBrush(0);
        controller->setRecomputeNormals(true);
    }
    ~Scene()
    {
        controller.reset();
        view->makeCurrent();
        drawn.reset();
    }

    // Brush points along a circle over the template, one per step.
    QVector3D pointAt(int k) const
    {
        const double angle = k * 0.05;
        const float x = float(20 * std::cos(angle)), y = float(20 * std::sin(angle));
        return QVector3D(x, y, 3 * std::sin((x + 50) / 100 * 12) * std::cos((y + 50) / 100 * 9));
    }

    GeometryStack::GeomStack templateMesh, target;
    std::unique_ptr<BVH2::BvhNodeBase> targetBvh;
    QVector<QList<int>> neighbours;
    QVector<bool> boundary;
    std::unique_ptr<Sculpting::Brush> relax;
    std::unique_ptr<Viewport3D::GLGeometrySplitted> drawn;
    std::unique_ptr<BrushController> controller;
};

std::map<int, std::unique_ptr<Scene>> scenes;

Scene& sceneFor(int n)
{
    auto& scene = scenes[n];
    if (!scene)
        scene = std::make_unique<Scene>(n);
    return *scene;
}

// 2 x 224^2 = 100,352 and 2 x 708^2 = 1,002,528 triangles.
void BM_BrushStep(benchmark::State& state)
{
    Scene& scene = sceneFor(int(state.range(0)));
    BrushController& controller = *scene.controller;
    controller.startStroke();
    int k = 0;
    int moved = 0;
    for (auto _ : state) {
        controller.applyBrush(scene.pointAt(k), scene.pointAt(k + 1));
        ++k;
    }
    controller.endStroke();
    moved = controller.history().strokes().last().positions.size();
    state.counters["triangles"] = scene.templateMesh.triangles.size();
    state.counters["radius"] = controller.brushRadius();
    state.counters["strokeVertices"] = moved;
}

void BM_UndoLastOf50Strokes(benchmark::State& state)
{
    Scene& scene = sceneFor(int(state.range(0)));
    BrushController& controller = *scene.controller;
    while (controller.history().currentIndex() < 49) {
        const int s = controller.history().currentIndex() + 1;
        controller.startStroke();
        for (int k = 0; k < 10; ++k)
            controller.applyBrush(scene.pointAt(40 * s + k), scene.pointAt(40 * s + k + 1));
        controller.endStroke();
    }
    for (auto _ : state) {
        controller.undo();
        state.PauseTiming();
        controller.redo();
        state.ResumeTiming();
    }
    state.counters["strokes"] = controller.history().strokes().size();
}

// For comparison: rewriting every corner of the drawn geometry, as a step
// would without limiting the update to the touched triangles.
void BM_FullGeometryRewrite(benchmark::State& state)
{
    Scene& scene = sceneFor(int(state.range(0)));
    const QVector<QVector3D> vertices = scene.controller->vertices();
    const QVector<QVector3D> normals = scene.controller->normals();
    for (auto _ : state) {
        const auto positions = GeometryStack::takeByIndexLists(scene.templateMesh.triangles, vertices);
        const auto cornerNormals = GeometryStack::takeByIndexLists(scene.templateMesh.triangles, normals);
        view->makeCurrent();
        scene.drawn->updatePositions(positions);
        scene.drawn->updateNormals(cornerNormals);
    }
}

}  // namespace

BENCHMARK(BM_FullGeometryRewrite)->Arg(224)->Arg(708)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_BrushStep)->Arg(224)->Arg(708)->Unit(benchmark::kMillisecond)->UseRealTime();
BENCHMARK(BM_UndoLastOf50Strokes)->Arg(224)->Arg(708)->Unit(benchmark::kMillisecond)->UseRealTime();

int main(int argc, char** argv)
{
    benchmark::Initialize(&argc, argv);
    QApplication app(argc, argv);
    auto results = std::make_unique<Viewport3D::Viewport3DLayered>();
    if (!GLBench::showGLView(*results, 64, 64))
        return 1;
    view = results.get();
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    scenes.clear();
    results->makeCurrent();
    results.reset();
    return 0;
}
