// The threaded coarse-to-fine registration run: level loop, signals and interruption.
#include "registration/NonRigidRegistrationAutoLevelsThreaded.h"

#include "numerics/Random.h"
#include "registration/GraphGeodesic.h"
#include "registration/NearestPointHelpers.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "support/SurfaceDistance.h"
#include "support/TestMeshes.h"

#include "spatial/KDTree.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QSignalSpy>
#include <QTimer>

#include <cmath>
#include <memory>

using namespace NonRigidRegistration;
using DynamicGraph::GraphGeodesic;
using TestMeshes::Mesh;

namespace {

void registerRunTypes()
{
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
}

// A small sphere fitted onto an ellipsoid made from it.
struct Problem {
    Mesh source = TestMeshes::icosphere(3);  // 642 vertices
    Mesh target;
    QVector<QVector3D> sourceNormals, targetNormals;
    std::unique_ptr<HE::HalfEdgeGeom> mesh;
    std::unique_ptr<KDTree::NodeBase> tree;
    std::unique_ptr<GraphGeodesic> built;
    NonRigidRegistrationAutoLevelsParams params;

    static QVector3D stretch(const QVector3D& p) { return QVector3D(1.15f * p.x(), 0.9f * p.y(), p.z()); }

    Problem()
    {
        target = TestMeshes::mapped(source, stretch);
        sourceNormals = TestMeshes::vertexNormals(source);
        targetNormals = TestMeshes::vertexNormals(target);
        mesh = std::make_unique<HE::HalfEdgeGeom>(source.vertices, source.triangles);
        tree.reset(KDTree::buildTree(target.vertices, 10));
        Random::seed(4);
        int levels = 0;
        const double radius = computeMedianNearestNeighbourDistance(source.vertices, 1.0);
        built = std::make_unique<GraphGeodesic>(mesh.get(), radius, 2.0, &levels, 10, 4, 0.0001);

        params.srcVertices = source.vertices;
        params.srcNormals = sourceNormals;
        params.dstVertices = target.vertices;
        params.dstNormals = targetNormals;
        params.dstKdTree = tree.get();
        params.dstMask = QVector<bool>(target.vertices.size(), false);
        params.srcFitMask = QVector<bool>(source.vertices.size(), true);
        for (int v : {0, 3, 6, 9}) {  // icosahedron corners, spread over the sphere
            params.srcControlIndices << v;
            params.dstControlVertices << target.vertices[v];
        }
        params.initialRigidness = 3.0;
        params.maxIterations = 10;
    }

    // A graph of exactly `levels` levels: the built hierarchy's top, solved `levels` layers deep.
    std::unique_ptr<GraphGeodesic> graphWithLevels(int levels) const
    {
        return std::make_unique<GraphGeodesic>(mesh.get(), 4, source.vertices, levels, built->graphNodes);
    }

    double meanControlError(const QVector<QVector3D>& deformed) const
    {
        double sum = 0;
        for (int i = 0; i < params.srcControlIndices.size(); ++i)
            sum += double((deformed[params.srcControlIndices[i]] - params.dstControlVertices[i]).length());
        return sum / params.srcControlIndices.size();
    }

    void useGraph(const DynamicGraph::Graph* graph)
    {
        params.graph = graph;
        const int n = qMax(graph->levelsCount(), 1);
        params.rigidnessDivisor = n > 1 ? std::pow(3.0 / 0.2, 1.0 / (n - 1)) : 1.0;
    }

    // Mean distance to the target surface.
    double meanError(const QVector<QVector3D>& deformed) const
    {
        return TestMeshes::SurfaceDistance(target).meanDistance(deformed);
    }
};

// Everything the GUI thread receives from one run, in arrival order.
class RunRecorder : public QObject {
    Q_OBJECT
public:
    QStringList events;
    QVector<QVector3D> result, resultNormals;

public slots:
    void onUpdated(QVector<QVector3D>, QVector<QVector3D>, QVector<QVector3D>, QVector<QList<int>>, QVector<QVector3D>,
                   QVector<QVector3D>)
    {
        if (events.isEmpty() || events.last() != "updated")
            events << "updated";
    }
    void onLevelChanged(int level, int nLevels) { events << QString("level %1/%2").arg(level).arg(nLevels); }
    void onComplete(QVector<QVector3D> vertices, QVector<QVector3D> normals)
    {
        events << "complete";
        result = vertices;
        resultNormals = normals;
    }
};

// Starts the run on its own thread, as the registration controller does, and runs an event
// loop until the thread has finished and every queued signal has arrived.
void runThreaded(const NonRigidRegistrationAutoLevelsParams& params, RunRecorder& recorder,
                 QSignalSpy* completeSpy = nullptr)
{
    auto thread = std::make_unique<NonRigidRegistrationAutoLevelsThreaded>(&params);
    if (params.updater) {
        QObject::connect(params.updater, &NonRigidRegistrationInteractiveUpdater::updated, &recorder,
                         &RunRecorder::onUpdated);
        QObject::connect(params.updater, &NonRigidRegistrationInteractiveUpdater::levelChanged, &recorder,
                         &RunRecorder::onLevelChanged);
    }
    QObject::connect(thread.get(), &NonRigidRegistrationAutoLevelsThreaded::optimizationComplete, &recorder,
                     &RunRecorder::onComplete);
    std::unique_ptr<QSignalSpy> spy;
    if (completeSpy == nullptr) {
        spy = std::make_unique<QSignalSpy>(thread.get(), &NonRigidRegistrationAutoLevelsThreaded::optimizationComplete);
        completeSpy = spy.get();
    }
    QEventLoop loop;
    QObject::connect(thread.get(), &QThread::finished, &loop, &QEventLoop::quit);
    QTimer::singleShot(120000, &loop, &QEventLoop::quit);
    thread->start(QThread::InheritPriority);
    loop.exec();
    ASSERT_TRUE(thread->isFinished()) << "the run did not end in time";
    QCoreApplication::processEvents();
    EXPECT_EQ(completeSpy->count(), 1);
    EXPECT_EQ(thread->getSrcVerticesDeformed(), recorder.result);
}

QStringList expectedLevelEvents(int levels)
{
    QStringList expected;
    for (int level = 0; level <= levels; ++level) {
        expected << QString("level %1/%2").arg(level).arg(levels);
        if (level < levels)
            expected << "updated";
    }
    return expected << "complete";
}

}  // namespace

TEST(RegistrationRun, SignalsOfRunsWithOneAndThreeLevels)
{
    registerRunTypes();
    for (int levels : {1, 3}) {
        SCOPED_TRACE(levels);
        Problem problem;
        ASSERT_GE(problem.built->levelsCount(), 3);
        const auto graph = problem.graphWithLevels(levels);
        problem.useGraph(graph.get());
        NonRigidRegistrationInteractiveUpdater updater;
        problem.params.updater = &updater;
        const QVector<DynamicGraph::Node> nodesBefore = graph->graphNodes;

        TestSupport::LogCapture log;
        RunRecorder recorder;
        QSignalSpy levelSpy(&updater, &NonRigidRegistrationInteractiveUpdater::levelChanged);
        QSignalSpy updateSpy(&updater, &NonRigidRegistrationInteractiveUpdater::updated);
        runThreaded(problem.params, recorder);

        EXPECT_EQ(recorder.events, expectedLevelEvents(levels));
        ASSERT_EQ(levelSpy.count(), levels + 1);
        for (int i = 0; i <= levels; ++i) {
            EXPECT_EQ(levelSpy[i][0].toInt(), i);
            EXPECT_EQ(levelSpy[i][1].toInt(), levels);
        }
        EXPECT_GE(updateSpy.count(), levels);  // at least the start of every solve

        // The result fits better than the template did (a single coarse level only roughly), and
        // the normals come back as given.
        const double start = problem.meanError(problem.source.vertices);
        EXPECT_LT(problem.meanError(recorder.result), levels > 1 ? 0.5 * start : start);
        EXPECT_EQ(recorder.resultNormals, problem.sourceNormals);

        // One "Level:" and one "Starting optimization" per level; the graph handed in is untouched.
        EXPECT_EQ(log.texts().filter(QRegExp("^Level: \\d+$")).size(), levels);
        EXPECT_EQ(log.texts().filter("Starting optimization").size(), levels);
        EXPECT_EQ(log.texts().filter("Thread finished computting").size(), 1);
        ASSERT_EQ(graph->graphNodes.size(), nodesBefore.size());
        for (int i = 0; i < nodesBefore.size(); ++i)
            EXPECT_EQ(graph->graphNodes[i].t, nodesBefore[i].t);
    }
}

// An interruption while level 1 of 3 is solved ends that solve, writes "Level:" 2, starts no
// further solve, and still delivers a result.
TEST(RegistrationRun, InterruptionInTheMiddleOfALevel)
{
    registerRunTypes();
    Problem problem;
    const auto graph = problem.graphWithLevels(3);
    problem.useGraph(graph.get());
    NonRigidRegistrationInteractiveUpdater updater;
    problem.params.updater = &updater;

    // On the worker thread itself, so the request lands inside level 1's solve.
    int currentLevel = -1;
    QObject::connect(
        &updater, &NonRigidRegistrationInteractiveUpdater::levelChanged, &updater,
        [&](int level, int) { currentLevel = level; }, Qt::DirectConnection);
    QObject::connect(
        &updater, &NonRigidRegistrationInteractiveUpdater::updated, &updater,
        [&] {
            if (currentLevel == 1)
                updater.requestInterruption();
        },
        Qt::DirectConnection);

    TestSupport::LogCapture log;
    RunRecorder recorder;
    runThreaded(problem.params, recorder);

    QStringList levelEvents = recorder.events.filter(QRegExp("^level|^complete"));
    EXPECT_EQ(levelEvents, (QStringList{"level 0/3", "level 1/3", "level 2/3", "complete"}));
    EXPECT_EQ(log.texts().filter("Starting optimization").size(), 2);
    EXPECT_TRUE(log.texts().contains("Level: 2"));
    EXPECT_FALSE(log.texts().contains("Level: 3"));
    // The state reached: the step under way when the solve was stopped is taken as it is.
    ASSERT_EQ(recorder.result.size(), problem.source.vertices.size());
    for (const QVector3D& v : recorder.result)
        ASSERT_TRUE(std::isfinite(v.x() + v.y() + v.z()));
}

// Interrupted before the first level, the run returns the template as it was given.
TEST(RegistrationRun, InterruptedBeforeTheFirstLevelReturnsTheTemplate)
{
    registerRunTypes();
    Problem problem;
    problem.useGraph(problem.built.get());
    NonRigidRegistrationInteractiveUpdater updater;
    updater.requestInterruption();
    problem.params.updater = &updater;

    TestSupport::LogCapture log;
    RunRecorder recorder;
    runThreaded(problem.params, recorder);
    EXPECT_EQ(recorder.events, QStringList{"complete"});
    EXPECT_EQ(recorder.result, problem.source.vertices);
    EXPECT_EQ(recorder.resultNormals, problem.sourceNormals);
    EXPECT_EQ(log.texts().filter("Starting optimization").size(), 0);
}

// Runs of the level loop without a thread or an updater, against truths of the setup.
TEST(RegistrationRun, LevelLoopCases)
{
    registerRunTypes();
    struct Case {
        const char* name;
        bool fitNothing;        // every fit-mask entry false
        bool translatedTarget;  // the target is the template moved by (0.3, -0.2, 0.1)
        int levels;             // -1: the graph as built; 0: a graph that needed no coarsening
    };
    const Case cases[] = {
        {"fit mask all true", false, false, -1},
        {"fit mask all false: control points alone move the template rigidly", true, true, 2},
        {"graph with no levels solves its own nodes", false, false, 0},
    };
    const QVector3D shift(0.3f, -0.2f, 0.1f);
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Problem problem;
        if (c.translatedTarget) {
            problem.target = TestMeshes::mapped(problem.source, [&](const QVector3D& p) { return p + shift; });
            problem.params.dstVertices = problem.target.vertices;
            problem.tree.reset(KDTree::buildTree(problem.target.vertices, 10));
            problem.params.dstKdTree = problem.tree.get();
            for (int i = 0; i < problem.params.srcControlIndices.size(); ++i)
                problem.params.dstControlVertices[i] = problem.target.vertices[problem.params.srcControlIndices[i]];
        }
        if (c.fitNothing)
            problem.params.srcFitMask.fill(false);
        std::unique_ptr<DynamicGraph::Graph> graph;
        if (c.levels == 0) {
            Random::seed(4);
            int levels = -1;
            const double radius = 2 * computeMedianNearestNeighbourDistance(problem.source.vertices, 1.0);
            graph = std::make_unique<GraphGeodesic>(problem.mesh.get(), radius, 1.0, &levels, 10, 4, 0.0001);
            ASSERT_EQ(levels, 0);
        } else if (c.levels > 0) {
            graph = problem.graphWithLevels(c.levels);
        } else {
            graph.reset(problem.built->clone());
        }
        problem.useGraph(graph.get());

        TestSupport::LogCapture log;
        QVector<QVector3D> deformed, normals;
        const NonRigidRegistrationAutoLevelsParams& p = problem.params;
        NonRigidRegistrationAutoLevels::nonRigidRegistrationAutoLevels(
            p.srcVertices, p.srcNormals, p.dstVertices, p.dstNormals, p.graph, p.dstKdTree, p.dstMask, p.srcFitMask,
            p.srcControlIndices, p.dstControlVertices, deformed, normals, p.initialRigidness, p.rigidnessDivisor,
            p.maxIterations, nullptr);

        ASSERT_EQ(deformed.size(), problem.source.vertices.size());
        EXPECT_EQ(normals, problem.sourceNormals);
        EXPECT_EQ(log.texts().filter("Starting optimization").size(), qMax(graph->levelsCount(), 1));
        // Coarse to fine halves the distances; one level on fine nodes only starts the fit.
        const double share = c.levels == 0 ? 1.0 : 0.5;
        EXPECT_LT(problem.meanControlError(deformed), share * problem.meanControlError(problem.source.vertices));
        EXPECT_LT(problem.meanError(deformed), share * problem.meanError(problem.source.vertices));
        if (c.fitNothing) {
            // No closest-point rows: only control and regularisation residuals.
            for (int v = 0; v < deformed.size(); ++v)
                ASSERT_LT((deformed[v] - (problem.source.vertices[v] + shift)).length(), 0.02f) << v;
        }
    }
}

// Deleting the thread object while it still runs waits for the run instead of tearing it down.
TEST(RegistrationRun, ThreadObjectWaitsForItsRunWhenDeleted)
{
    registerRunTypes();
    Problem problem;
    const auto graph = problem.graphWithLevels(1);
    problem.useGraph(graph.get());
    auto thread = std::make_unique<NonRigidRegistrationAutoLevelsThreaded>(&problem.params);
    thread->start();
    QThread* raw = thread.get();
    thread.reset();  // must not return before run() has
    SUCCEED() << raw;
}

#include "registration_run_test.moc"
