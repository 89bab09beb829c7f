// One whole registration run at the default parameters on a pair shaped like real scans: a
// body-like template of about 15,000 vertices (torso with holes, long thin limbs, head, hands and
// feet joined by non-manifold vertices) onto a denser, differently triangulated and bent target
// of about 40,000 vertices (tests/support/BodyMeshes.h).
//
// Reported per run, wall and CPU time of each stage (graph: the building constructor; table_L:
// level L's weights table; solve_L: level L's solve; subdiv_L: the subdivision before level L),
// cut at the run's own log lines, and the process's peak resident memory. Also two fingerprints
// that must not change when the code gets faster: a hash of the final vertices and a hash of the
// log lines that carry no timing, with the mean distance of the result to the target.
// The argument is the size of the global thread pool (0: one per core).
#include "bench/bench_support.h"
#include "bench/registration_run.h"
#include "numerics/Random.h"
#include "registration/GraphGeodesic.h"
#include "registration/NearestPointHelpers.h"
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "spatial/KDTree.h"
#include "tests/support/BodyMeshes.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMutex>
#include <QStringList>
#include <QThreadPool>

#include <sys/resource.h>

#include <cmath>
#include <cstdio>
#include <ctime>
#include <memory>

namespace {

using BenchSupport::cpuSeconds;
using BenchSupport::fnv1a;

using TestMeshes::Mesh;

struct LoggedLine {
    QString text;
    double wall;
    double cpu;
};

QMutex logMutex;
QElapsedTimer runClock;
QList<LoggedLine> logLines;

void collectLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    const double wall = runClock.nsecsElapsed() * 1e-9;
    const double cpu = cpuSeconds();
    QMutexLocker lock(&logMutex);
    logLines << LoggedLine{text, wall, cpu};
}

struct Scene {
    TestMeshes::ScanPair pair;
    QVector<QVector3D> sourceNormals, targetNormals;

    Scene()
    {
        sourceNormals = TestMeshes::vertexNormals(pair.source);
        targetNormals = TestMeshes::vertexNormals(pair.target);
    }
};

const Scene& scene()
{
    static const Scene s;
    return s;
}

bool carriesTiming(const QString& line)
{
    return line.contains("took") || line.startsWith("eConJac:") || line.startsWith("eRegJac:") ||
           line.startsWith("eIcpJac:");
}

struct Stage {
    QString name;
    double wall;
    double cpu;
};

// Stages cut at the log lines: "Level:" opens a level, the subdivision's own line ends the
// subdivision, "Starting optimization" ends the weights table and starts the solve.
QList<Stage> stagesOf(const QList<LoggedLine>& lines, double endWall, double endCpu)
{
    QList<Stage> stages;
    int level = -1;
    double wall = 0.0, cpu = 0.0;
    bool solving = false;
    auto close = [&](const QString& name, const LoggedLine& at) {
        stages << Stage{name, at.wall - wall, at.cpu - cpu};
        wall = at.wall;
        cpu = at.cpu;
    };
    for (const LoggedLine& line : lines) {
        if (line.text.startsWith("Level:")) {
            if (solving)
                close(QString("solve_%1").arg(level), line);
            wall = line.wall;
            cpu = line.cpu;
            solving = false;
            ++level;
        } else if (line.text.startsWith("\t\tGraph subdivision took:")) {
            close(QString("subdiv_%1").arg(level), line);
        } else if (line.text.startsWith("Starting optimization")) {
            close(QString("table_%1").arg(level), line);
            solving = true;
        }
    }
    if (solving)
        stages << Stage{QString("solve_%1").arg(level), endWall - wall, endCpu - cpu};
    return stages;
}

// The Jacobian terms' own timings, as each level's solve logs them once: "eIcpJac: 0.16 sec".
void printJacobianTimes(const QList<LoggedLine>& lines)
{
    QStringList con, reg, icp;
    for (const LoggedLine& line : lines) {
        const QStringList words = line.text.split(' ', Qt::SkipEmptyParts);
        if (words.size() < 2)
            continue;
        if (words[0] == "eConJac:")
            con << words[1];
        else if (words[0] == "eRegJac:")
            reg << words[1];
        else if (words[0] == "eIcpJac:")
            icp << words[1];
    }
    std::printf("jacobian seconds per level: eConJac %s; eRegJac %s; eIcpJac %s\n", qPrintable(con.join('/')),
                qPrintable(reg.join('/')), qPrintable(icp.join('/')));
}

void BM_ScanRegistrationRun(benchmark::State& state)
{
    const int poolSize = int(state.range(0));
    QThreadPool::globalInstance()->setMaxThreadCount(poolSize > 0 ? poolSize : QThread::idealThreadCount());
    const Scene& s = scene();
    const QtMessageHandler previous = qInstallMessageHandler(collectLog);
    HE::HalfEdgeGeom mesh(s.pair.source.vertices, s.pair.source.triangles);
    std::unique_ptr<KDTree::NodeBase> tree(KDTree::buildTree(s.pair.target.vertices, 10));

    for (auto _ : state) {
        {
            QMutexLocker lock(&logMutex);
            logLines.clear();
        }
        runClock.start();
        const double cpuStart = cpuSeconds();
        Random::seed(1);
        const double radius = NonRigidRegistration::computeMedianNearestNeighbourDistance(s.pair.source.vertices, 1.0);
        int levels = 0;
        DynamicGraph::GraphGeodesic graph(&mesh, radius, 2.0, &levels, 10, 4, 0.0001);
        const double graphWall = runClock.nsecsElapsed() * 1e-9;
        const double graphCpu = cpuSeconds() - cpuStart;

        NonRigidRegistration::NonRigidRegistrationInteractiveUpdater updater;
        const NonRigidRegistration::NonRigidRegistrationAutoLevelsParams params = RegistrationBench::defaultParams(
            s.pair.source.vertices, s.sourceNormals, s.pair.target.vertices, s.targetNormals, &graph, tree.get(),
            levels > 1 ? std::pow(3.0 / 0.2, 1.0 / (levels - 1)) : 1.0, &updater);

        NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded thread(&params);
        RegistrationBench::runToEnd(thread);
        const double totalWall = runClock.nsecsElapsed() * 1e-9;
        const double totalCpu = cpuSeconds() - cpuStart;
        state.SetIterationTime(totalWall);

        QList<LoggedLine> lines;
        {
            QMutexLocker lock(&logMutex);
            lines = logLines;
        }
        quint32 logHash = 2166136261u;
        for (const LoggedLine& line : lines)
            if (!carriesTiming(line.text))
                logHash = fnv1a(line.text.constData(), size_t(line.text.size()) * sizeof(QChar), logHash);
        const QVector<QVector3D>& deformed = thread.getSrcVerticesDeformed();
        const quint32 vertexHash = fnv1a(deformed.constData(), size_t(deformed.size()) * sizeof(QVector3D));
        double sum = 0.0;
        for (const QVector3D& p : deformed) {
            float squared = 0.0f;
            tree->findNearestPointInd(p, s.pair.target.vertices, &squared);
            sum += std::sqrt(double(squared));
        }
        const double diagonal = std::sqrt(3.0) * 100.0;  // an upper bound, the same in every run
        rusage usage;
        getrusage(RUSAGE_SELF, &usage);

        state.counters["levels"] = levels;
        state.counters["cpu_s"] = totalCpu;
        state.counters["peak_MB"] = double(usage.ru_maxrss) / 1024.0;
        state.counters["vertex_hash"] = double(vertexHash);
        state.counters["log_hash"] = double(logHash);
        std::printf("\n%d template vertices, %d target vertices, %d levels, pool of %d threads\n",
                    s.pair.source.vertices.size(), s.pair.target.vertices.size(), levels,
                    QThreadPool::globalInstance()->maxThreadCount());
        std::printf("%-10s %9s %9s\n", "stage", "wall_s", "cpu_s");
        std::printf("%-10s %9.3f %9.3f\n", "graph", graphWall, graphCpu);
        for (const Stage& stage : stagesOf(lines, totalWall, cpuStart + totalCpu))
            std::printf("%-10s %9.3f %9.3f\n", qPrintable(stage.name), stage.wall, stage.cpu);
        std::printf("%-10s %9.3f %9.3f\n", "total", totalWall, totalCpu);
        printJacobianTimes(lines);
        std::printf(
            "peak memory %.1f MB; vertices hash %08x; log hash %08x; mean distance %.4f%% of the "
            "bounding diagonal\n",
            double(usage.ru_maxrss) / 1024.0, vertexHash, logHash, 100.0 * sum / deformed.size() / diagonal);
        // SCAN_BENCH_LOG=1 lists the run's own log lines with their wall and CPU clocks.
        if (qEnvironmentVariableIsSet("SCAN_BENCH_LOG"))
            for (const LoggedLine& line : lines)
                std::printf("%9.3f %9.3f  %s\n", line.wall, line.cpu, qPrintable(line.text));
        std::fflush(stdout);
    }
    qInstallMessageHandler(previous);
}

BENCHMARK(BM_ScanRegistrationRun)->Arg(0)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runWithCoreApplication(argc, argv);
}
