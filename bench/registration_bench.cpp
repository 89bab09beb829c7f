// One whole registration run at the default parameters, as the registration controller starts
// it: a sphere of about 10,000 vertices (a subdivided icosahedron) onto a stretched and bent
// latitude-longitude sphere of about 100,000 vertices, both scaled so that the template's
// largest extent is 1.
//
// Reported per run: the total wall time (graph build on the calling thread plus the threaded
// level loop) and, per level L, the time of the level's weights table (table_L: measured on a
// separate walk down the same graph, since the loop logs none), of its solve (solve_L) and of
// the Jacobian blocks within that solve (jac_L), both from the solver driver's log lines.
// The argument is the size of the global thread pool (0: Qt's default, one per core); for a
// 2-core figure also pin the process, e.g. taskset -c 0,1.
#include "bench/bench_support.h"
#include "bench/registration_run.h"
#include "numerics/Random.h"
#include "registration/GraphGeodesic.h"
#include "registration/NearestPointHelpers.h"
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "spatial/KDTree.h"
#include "tests/support/TestMeshes.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEventLoop>
#include <QMatrix4x4>
#include <QMutex>
#include <QStringList>
#include <QThreadPool>

#include <cmath>
#include <memory>

namespace {

using TestMeshes::Mesh;

QMutex logMutex;
QStringList logLines;

void collectLog(QtMsgType, const QMessageLogContext&, const QString& text)
{
    QMutexLocker lock(&logMutex);
    logLines << text;
}

QVector3D stretchAndBend(const QVector3D& p)
{
    const float x = 1.2f * p.x();
    return QVector3D(x, p.y() + 0.25f * x * x, p.z());
}

// The template, the target and the control pairs of the run.
struct Scene : TestMeshes::RegistrationPair {
    Scene()
    {
        const Mesh sphere = TestMeshes::icosphere(5);  // 10,242 vertices
        QMatrix4x4 turn;                               // so that the two lat-long grids do not line up
        turn.rotate(37.0f, QVector3D(1, 1, 0).normalized());
        const Mesh fine =
            TestMeshes::mapped(TestMeshes::latLongSphere(224, 448), [&](const QVector3D& p) { return turn.map(p); });
        static_cast<TestMeshes::RegistrationPair&>(
            *this) = TestMeshes::registrationPair(sphere, fine, stretchAndBend, [](const Mesh& source) {
            QVector<int> controls;
            for (const QVector3D& d : {QVector3D(1, 0, 0), QVector3D(-1, 0, 0), QVector3D(0, 0, 1), QVector3D(0, 1, 0)})
                controls << NonRigidRegistration::findNearestPoint(d * 0.5f, source.vertices);
            return controls;
        });
    }
};

const Scene& scene()
{
    static const Scene s;
    return s;
}

// The number after `label` in each log line that starts with it, in order.
QVector<double> loggedValues(const QStringList& lines, const QString& label)
{
    QVector<double> values;
    for (const QString& line : lines)
        if (line.startsWith(label))
            values << line.mid(label.size()).trimmed().section(' ', 0, 0).toDouble();
    return values;
}

void BM_RegistrationRun(benchmark::State& state)
{
    const int poolSize = int(state.range(0));
    QThreadPool::globalInstance()->setMaxThreadCount(poolSize > 0 ? poolSize : QThread::idealThreadCount());
    const Scene& s = scene();
    HE::HalfEdgeGeom mesh(s.source.vertices, s.source.triangles);
    std::unique_ptr<KDTree::NodeBase> tree(KDTree::buildTree(s.target.vertices, 10));
    const QtMessageHandler previous = qInstallMessageHandler(collectLog);

    for (auto _ : state) {
        logLines.clear();
        QElapsedTimer total;
        total.start();
        Random::seed(1);
        const double radius = NonRigidRegistration::computeMedianNearestNeighbourDistance(s.source.vertices, 1.0);
        int levels = 0;
        DynamicGraph::GraphGeodesic graph(&mesh, radius, 2.0, &levels, 10, 4, 0.0001);
        const double buildSeconds = total.elapsed() / 1000.0;

        NonRigidRegistration::NonRigidRegistrationInteractiveUpdater updater;
        NonRigidRegistration::NonRigidRegistrationAutoLevelsParams params =
            RegistrationBench::defaultParams(s.source.vertices, s.sourceNormals, s.target.vertices, s.targetNormals,
                                             &graph, tree.get(), std::pow(3.0 / 0.2, 1.0 / (levels - 1)), &updater);
        params.srcControlIndices = s.srcControls;
        params.dstControlVertices = s.dstControls;

        NonRigidRegistration::NonRigidRegistrationAutoLevelsThreaded thread(&params);
        RegistrationBench::runToEnd(thread);
        const double totalSeconds = total.elapsed() / 1000.0;
        state.SetIterationTime(totalSeconds);

        QStringList lines;
        {
            QMutexLocker lock(&logMutex);
            lines = logLines;
        }
        const QVector<double> solveMs = loggedValues(lines, "Optimization took");
        const QVector<double> con = loggedValues(lines, "eConJac:");
        const QVector<double> reg = loggedValues(lines, "eRegJac:");
        const QVector<double> icp = loggedValues(lines, "eIcpJac:");
        state.counters["levels"] = levels;
        state.counters["build_s"] = buildSeconds;
        for (int L = 0; L < solveMs.size(); ++L) {
            state.counters[QString("solve_%1").arg(L).toStdString()] = solveMs[L] / 1000.0;
            state.counters[QString("jac_%1").arg(L).toStdString()] = con.value(L) + reg.value(L) + icp.value(L);
        }

        // The tables of the same levels, on a walk of their own.
        std::unique_ptr<DynamicGraph::Graph> walk(graph.clone());
        for (int L = 0; L < qMax(levels, 1); ++L) {
            if (L > 0)
                walk->subdivide();
            QElapsedTimer table;
            table.start();
            const QVector<QVector<double>> weights = walk->weightsTable();
            benchmark::DoNotOptimize(weights.size());
            state.counters[QString("table_%1").arg(L).toStdString()] = table.elapsed() / 1000.0;
        }
    }
    qInstallMessageHandler(previous);
}

BENCHMARK(BM_RegistrationRun)->Arg(0)->Arg(2)->UseManualTime()->Unit(benchmark::kSecond)->Iterations(1);

}  // namespace

int main(int argc, char** argv)
{
    return BenchSupport::runWithCoreApplication(argc, argv);
}
