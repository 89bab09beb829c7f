// The weights tables and subdivisions of a registration run on the scan-shaped template
// (tests/support/BodyMeshes.h), without the solves: the graph is built as the run
// builds it, then level after level the table is taken on the global thread pool and the graph
// subdivided. The nodes keep their rest transforms, so the subdivisions do the run's work on other
// numbers while the tables are exactly the run's.
//
// Reported per level, wall and CPU time of the table (table_L) and of the subdivision before it
// (subdiv_L), and a hash of every table's bits and of the subdivided nodes, which must not change
// when the code gets faster. The argument is the size of the global thread pool (0: one per core).
#include "bench/bench_support.h"
#include "numerics/Random.h"
#include "registration/GraphGeodesic.h"
#include "registration/NearestPointHelpers.h"
#include "tests/support/BodyMeshes.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QThreadPool>

#include <cstdio>
#include <ctime>
#include <memory>

namespace {

using BenchSupport::cpuSeconds;
using BenchSupport::fnv1a;

void quietLog(QtMsgType, const QMessageLogContext&, const QString&) {}

void BM_ScanTables(benchmark::State& state)
{
    const int poolSize = int(state.range(0));
    QThreadPool::globalInstance()->setMaxThreadCount(poolSize > 0 ? poolSize : QThread::idealThreadCount());
    const QtMessageHandler previous = qInstallMessageHandler(quietLog);
    static const TestMeshes::ScanPair pair;
    const HE::HalfEdgeGeom mesh(pair.source.vertices, pair.source.triangles);

    for (auto _ : state) {
        QElapsedTimer clock;
        clock.start();
        const double cpuStart = cpuSeconds();
        Random::seed(1);
        const double radius = NonRigidRegistration::computeMedianNearestNeighbourDistance(pair.source.vertices, 1.0);
        int levels = 0;
        std::unique_ptr<DynamicGraph::Graph> graph(
            new DynamicGraph::GraphGeodesic(&mesh, radius, 2.0, &levels, 10, 4, 0.0001));
        std::printf("\n%d template vertices, %d levels, pool of %d threads\n", pair.source.vertices.size(), levels,
                    QThreadPool::globalInstance()->maxThreadCount());
        std::printf("%-10s %7s %9s %9s\n", "stage", "nodes", "wall_s", "cpu_s");
        std::printf("%-10s %7d %9.3f %9.3f\n", "graph", graph->graphNodes.size(), clock.nsecsElapsed() * 1e-9,
                    cpuSeconds() - cpuStart);
        quint32 hash = 2166136261u;
        double tablesWall = 0.0, tablesCpu = 0.0, subdivWall = 0.0, subdivCpu = 0.0;
        for (int level = 0; level < std::max(levels, 1); ++level) {
            if (level > 0) {
                const qint64 wall = clock.nsecsElapsed();
                const double cpu = cpuSeconds();
                graph->subdivide();
                const double w = (clock.nsecsElapsed() - wall) * 1e-9, c = cpuSeconds() - cpu;
                subdivWall += w;
                subdivCpu += c;
                std::printf("%-10s %7d %9.3f %9.3f\n", qPrintable(QString("subdiv_%1").arg(level)),
                            graph->graphNodes.size(), w, c);
                for (const DynamicGraph::Node& node : graph->graphNodes) {
                    hash = fnv1a(node.r.constData(), sizeof(double) * size_t(node.r.size()), hash);
                    hash = fnv1a(node.t.constData(), sizeof(double) * size_t(node.t.size()), hash);
                    hash = fnv1a(&node.vertexInd, sizeof(int), hash);
                }
            }
            const qint64 wall = clock.nsecsElapsed();
            const double cpu = cpuSeconds();
            const QVector<QVector<double>> table = graph->weightsTable();
            const double w = (clock.nsecsElapsed() - wall) * 1e-9, c = cpuSeconds() - cpu;
            tablesWall += w;
            tablesCpu += c;
            std::printf("%-10s %7d %9.3f %9.3f\n", qPrintable(QString("table_%1").arg(level)), graph->graphNodes.size(),
                        w, c);
            for (const QVector<double>& row : table)
                hash = fnv1a(row.constData(), sizeof(double) * size_t(row.size()), hash);
        }
        std::printf("tables %.3f s wall, %.3f s cpu; subdivisions %.3f s wall, %.3f s cpu; hash %08x\n", tablesWall,
                    tablesCpu, subdivWall, subdivCpu, hash);
        std::fflush(stdout);
        state.SetIterationTime(tablesWall + subdivWall);
        state.counters["tables_cpu_s"] = tablesCpu;
        state.counters["subdiv_cpu_s"] = subdivCpu;
        state.counters["hash"] = double(hash);
    }
    qInstallMessageHandler(previous);
}

BENCHMARK(BM_ScanTables)->Arg(0)->Arg(1)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runWithCoreApplication(argc, argv);
}
