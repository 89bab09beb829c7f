// Geodesic queries on wavy, irregularly triangulated grids, single-threaded:
// - the whole distance field from one vertex of a mesh of about 100k vertices;
// - one weights-table row: the 5 nearest of about 10 enabled vertices on a 10k-vertex mesh, over
//   the mesh itself and over a march geometry taken once (and that geometry's building);
// - the finest level of node sampling over all vertices of a 10k-vertex mesh;
// - weights-table rows on the scan-shaped template with few nodes, as at a registration's first
//   level, where every march covers most of the mesh.
#include "numerics/Random.h"
#include "spatial/Decimation.h"
#include "spatial/FastMarching.h"
#include "tests/support/BodyMeshes.h"
#include "tests/support/TestMeshes.h"

#include <benchmark/benchmark.h>

#include <QList>
#include <QVector3D>
#include <QVector>

#include <cmath>
#include <random>

namespace {

// side x side points on a gently waving sheet, jittered by up to a third of a cell, each cell cut
// along a random diagonal.
HE::HalfEdgeGeom wavyGrid(int side)
{
    std::uniform_real_distribution<float> jitter(-0.33f, 0.33f);
    const TestMeshes::Mesh grid = TestMeshes::jitteredGrid(side, 7, [&](int x, int y, std::mt19937& random) {
        const float px = x + jitter(random), py = y + jitter(random);
        return QVector3D(px, py, 3.0f * std::sin(px * 0.05f) * std::cos(py * 0.07f));
    });
    return HE::HalfEdgeGeom(grid.vertices, grid.triangles);
}

void BM_DistancesWholeMesh(benchmark::State& state)
{
    const HE::HalfEdgeGeom mesh = wavyGrid(int(state.range(0)));
    const int n = mesh.vertexHalfEdges.size();
    int source = 0;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FastMarching::computeDistancesFromVertex(source, mesh));
        source = (source + 7919) % n;
    }
    state.counters["vertices"] = n;
}
BENCHMARK(BM_DistancesWholeMesh)->Arg(316)->Unit(benchmark::kMillisecond);

// One k-nearest row after another over a 10k-vertex mesh with the given number of enabled nodes,
// marching over `source`: the mesh itself, or a march geometry taken once (its one-off cost not
// included).
template <typename Source>
void kNearestRows(benchmark::State& state, const HE::HalfEdgeGeom& mesh, const Source& source)
{
    const int n = mesh.vertexHalfEdges.size();
    QVector<bool> nodes(n, false);
    std::mt19937 random(3);
    for (int i = 0; i < int(state.range(0)); ++i)
        nodes[int(random() % unsigned(n))] = true;
    int row = 0;
    QList<double> distances;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FastMarching::findKNearestEnabledVertices(row, source, 5, nodes, &distances));
        row = (row + 104729) % n;
    }
}

void BM_KNearestRow(benchmark::State& state)
{
    const HE::HalfEdgeGeom mesh = wavyGrid(100);
    kNearestRows(state, mesh, mesh);
}
BENCHMARK(BM_KNearestRow)->Arg(10)->Arg(200)->Unit(benchmark::kMillisecond);

void BM_KNearestRowOverGeometry(benchmark::State& state)
{
    const HE::HalfEdgeGeom mesh = wavyGrid(100);
    const FastMarching::MarchGeometry geometry(mesh);
    kNearestRows(state, mesh, geometry);
}
BENCHMARK(BM_KNearestRowOverGeometry)->Arg(10)->Arg(200)->Unit(benchmark::kMillisecond);

// One row after another, k + 1 = 5 nearest of the given number of nodes, over the scan-shaped
// template's geometry with its reach, sources spread over the whole template.
void BM_ScanRowsOverGeometry(benchmark::State& state)
{
    static const TestMeshes::ScanPair pair;
    const HE::HalfEdgeGeom mesh(pair.source.vertices, pair.source.triangles);
    const FastMarching::MarchGeometry geometry(mesh);
    const int n = mesh.vertexHalfEdges.size();
    QVector<bool> nodes(n, false);
    std::mt19937 random(11);
    for (int i = 0; i < int(state.range(0)); ++i)
        nodes[int(random() % unsigned(n))] = true;
    const FastMarching::MarchReach reach(geometry, nodes);
    int row = 0;
    QList<double> distances;
    for (auto _ : state) {
        benchmark::DoNotOptimize(FastMarching::findKNearestEnabledVertices(row, geometry, 5, nodes, reach, &distances));
        row = (row + 7919) % n;
    }
    state.counters["vertices"] = n;
}
BENCHMARK(BM_ScanRowsOverGeometry)->Arg(12)->Unit(benchmark::kMillisecond);
// The same twenty rows every run, for instruction counts under callgrind.
BENCHMARK(BM_ScanRowsOverGeometry)->Arg(12)->Iterations(20)->Unit(benchmark::kMillisecond);

// Taking the march geometry of a 10k-vertex mesh.
void BM_MarchGeometryBuild(benchmark::State& state)
{
    const HE::HalfEdgeGeom mesh = wavyGrid(100);
    for (auto _ : state) {
        const FastMarching::MarchGeometry geometry(mesh);
        benchmark::DoNotOptimize(geometry.vertexCount());
    }
}
BENCHMARK(BM_MarchGeometryBuild)->Unit(benchmark::kMillisecond);

void BM_SubsampleFinestLevel(benchmark::State& state)
{
    const HE::HalfEdgeGeom mesh = wavyGrid(100);
    QList<int> candidates;
    for (int v = 0; v < mesh.vertexHalfEdges.size(); ++v)
        candidates.append(v);
    QList<QList<int>> aggregated;
    for (auto _ : state) {
        Random::seed(2000);
        benchmark::DoNotOptimize(
            Decimation::subsampleNodesGeodesic(mesh, double(state.range(0)), candidates, &aggregated));
    }
    state.counters["samples"] = aggregated.size();
}
BENCHMARK(BM_SubsampleFinestLevel)->Arg(2)->Arg(8)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
