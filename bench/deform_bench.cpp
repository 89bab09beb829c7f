// Embedded deformation of a template by a deformation graph, as every solver step's
// preview does it: 100k vertices and normals, 500 nodes, 4 influence nodes per vertex.
#include "registration/EmbeddedDeformation.h"
#include "registration/NearestPointHelpers.h"

#include "numerics/Random.h"

#include <benchmark/benchmark.h>

#include <cmath>

namespace {

struct Scene {
    QVector<QVector3D> vertices;
    QVector<QVector3D> normals;
    QVector<QVector3D> nodes;
    QVector<QVector<double>> rotations;
    QVector<QVector<double>> translations;
    QVector<QVector<double>> weights;  // dense rows, as the registration stores them
};

double uniform(double lo, double hi)
{
    return lo + (hi - lo) * Random::draw() / 32767.0;
}

QVector3D onSphere()
{
    const double z = uniform(-1, 1), a = uniform(0, 6.283185307179586);
    const double r = std::sqrt(1 - z * z);
    return QVector3D(float(r * std::cos(a)), float(r * std::sin(a)), float(z));
}

const Scene& scene()
{
    static const Scene s = [] {
        Scene s;
        Random::seed(1);
        const int vertexCount = 100000, nodeCount = 500, influences = 4;
        for (int i = 0; i < nodeCount; ++i) {
            s.nodes.append(onSphere() * 50.0f);
            s.rotations.append({1.0 + uniform(-0.2, 0.2), uniform(-0.2, 0.2), uniform(-0.2, 0.2)});
            s.translations.append({uniform(-1, 1), uniform(-1, 1), uniform(-1, 1)});
        }
        s.weights.reserve(vertexCount);
        for (int v = 0; v < vertexCount; ++v) {
            const QVector3D p = onSphere();
            s.vertices.append(p * 50.0f);
            s.normals.append(p);
            QVector<double> row(nodeCount, 0.0);
            for (int j = 0; j < influences; ++j)
                row[(v * 13 + j * 127) % nodeCount] = 0.25;
            s.weights.append(row);
        }
        return s;
    }();
    return s;
}

void BM_DeformVertices(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            NonRigidRegistration::deformVerticesByGraph(s.vertices, s.rotations, s.translations, s.nodes, s.weights));
}

void BM_DeformNormals(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        benchmark::DoNotOptimize(
            NonRigidRegistration::deformNormalsByGraph(s.normals, s.rotations, s.nodes, s.weights));
}

// The preview of one solver step: both, one after the other.
void BM_DeformVerticesAndNormals(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        benchmark::DoNotOptimize(
            NonRigidRegistration::deformVerticesByGraph(s.vertices, s.rotations, s.translations, s.nodes, s.weights));
        benchmark::DoNotOptimize(
            NonRigidRegistration::deformNormalsByGraph(s.normals, s.rotations, s.nodes, s.weights));
    }
}

// The same preview in one pass over the weights table.
void BM_DeformVerticesAndNormalsOnePass(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        QVector<QVector3D> vertices, normals;
        NonRigidRegistration::deformVerticesAndNormalsByGraph(s.vertices, s.normals, s.rotations, s.translations,
                                                              s.nodes, s.weights, &vertices, &normals);
        benchmark::DoNotOptimize(vertices);
        benchmark::DoNotOptimize(normals);
    }
}

// The per-point formula, as the reference the whole-array forms are held against;
// over 1000 vertices only, it builds every node's rotation for every vertex.
void BM_DeformVertexPerPoint1k(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state)
        for (int v = 0; v < 1000; ++v)
            benchmark::DoNotOptimize(NonRigidRegistration::deformVertexByGraph(s.rotations, s.translations,
                                                                               s.vertices[v], s.nodes, s.weights[v]));
}

// Median nearest-neighbour distance of a template-sized point set (runs on the GUI
// thread when a registration starts).
void BM_MedianNearestNeighbourDistance(benchmark::State& state)
{
    Random::seed(2);
    QVector<QVector3D> points;
    for (int i = 0; i < state.range(0); ++i)
        points.append(onSphere() * 50.0f);
    for (auto _ : state)
        benchmark::DoNotOptimize(NonRigidRegistration::computeMedianNearestNeighbourDistance(points, 1.0));
}

}  // namespace

BENCHMARK(BM_DeformVertices)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeformNormals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeformVerticesAndNormals)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeformVerticesAndNormalsOnePass)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DeformVertexPerPoint1k)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_MedianNearestNeighbourDistance)->Arg(20000)->Arg(100000)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
