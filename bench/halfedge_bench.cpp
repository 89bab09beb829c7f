// Half-edge construction and vertex-fan building on a generated grid of about a million
// triangles, with a plain hash-map construction of the same records as the baseline.
#include "mesh/HalfEdge.h"

#include <benchmark/benchmark.h>
#include <QHash>
#include <QPair>

namespace {

struct GridMesh {
    QVector<QVector3D> vertices;
    QVector<QList<int>> triangles;
};

// side x side vertices, two triangles per cell: 2 (side - 1)^2 triangles.
const GridMesh& grid(int side)
{
    static QHash<int, GridMesh> cache;
    if (!cache.contains(side)) {
        GridMesh& mesh = cache[side];
        mesh.vertices.reserve(side * side);
        for (int y = 0; y < side; ++y)
            for (int x = 0; x < side; ++x)
                mesh.vertices.append(QVector3D(x, y, 0.1f * ((x * 7 + y * 3) % 5)));
        for (int y = 0; y + 1 < side; ++y) {
            for (int x = 0; x + 1 < side; ++x) {
                const int a = y * side + x;
                mesh.triangles.append({a, a + 1, a + side + 1});
                mesh.triangles.append({a, a + side + 1, a + side});
            }
        }
    }
    return cache[side];
}

// The twin search written with one hash of directed edges, as the records' plain definition reads.
QList<HE::HalfEdge> plainHalfEdges(const GridMesh& mesh)
{
    QVector<HE::HalfEdge> edges;
    QHash<QPair<int, int>, int> map;
    for (int f = 0; f < mesh.triangles.size(); ++f) {
        const QList<int>& c = mesh.triangles[f];
        const int first = edges.size();
        for (int j = 0; j < c.size(); ++j) {
            const int a = c[j], b = c[(j + 1) % c.size()];
            const int h = edges.size();
            edges.append(HE::HalfEdge(first + (j + 1) % c.size(), first + (j + c.size() - 1) % c.size(), -1, b, f));
            map.insert(qMakePair(a, b), h);
            const auto twin = map.constFind(qMakePair(b, a));
            if (twin != map.constEnd()) {
                edges[h].opposite = twin.value();
                edges[twin.value()].opposite = h;
            }
        }
    }
    QList<HE::HalfEdge> list;
    list.reserve(edges.size());
    for (const HE::HalfEdge& e : edges)
        list.append(e);
    return list;
}

void BM_HalfEdgeConstruction(benchmark::State& state)
{
    const GridMesh& mesh = grid(int(state.range(0)));
    for (auto _ : state) {
        HE::HalfEdgeGeom halfEdges(mesh.vertices, mesh.triangles);
        benchmark::DoNotOptimize(halfEdges.halfEdges.size());
    }
    state.counters["triangles"] = mesh.triangles.size();
    state.SetItemsProcessed(state.iterations() * mesh.triangles.size());
}

void BM_PlainHashTwins(benchmark::State& state)
{
    const GridMesh& mesh = grid(int(state.range(0)));
    for (auto _ : state)
        benchmark::DoNotOptimize(plainHalfEdges(mesh).size());
    state.counters["triangles"] = mesh.triangles.size();
    state.SetItemsProcessed(state.iterations() * mesh.triangles.size());
}

void BM_BuildVertexNeighboursFan(benchmark::State& state)
{
    const GridMesh& mesh = grid(int(state.range(0)));
    const HE::HalfEdgeGeom halfEdges(mesh.vertices, mesh.triangles);
    for (auto _ : state)
        benchmark::DoNotOptimize(halfEdges.buildVertexNeighboursFan().size());
    state.counters["vertices"] = mesh.vertices.size();
    state.SetItemsProcessed(state.iterations() * mesh.vertices.size());
}

void BM_VertexNeighboursIterator(benchmark::State& state)
{
    const GridMesh& mesh = grid(int(state.range(0)));
    const HE::HalfEdgeGeom halfEdges(mesh.vertices, mesh.triangles);
    for (auto _ : state) {
        long long sum = 0;
        for (int v = 0; v < halfEdges.vertexHalfEdges.size(); ++v)
            for (HE::VertexNeighboursIterator it(halfEdges, v); !it.atEnd(); it.advance())
                sum += it.vertex();
        benchmark::DoNotOptimize(sum);
    }
    state.SetItemsProcessed(state.iterations() * mesh.vertices.size());
}

// 708 x 708 vertices: 1,000,002 triangles.
constexpr int millionTriangles = 708;

}  // namespace

BENCHMARK(BM_HalfEdgeConstruction)->Arg(millionTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PlainHashTwins)->Arg(millionTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_BuildVertexNeighboursFan)->Arg(millionTriangles)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_VertexNeighboursIterator)->Arg(millionTriangles)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
