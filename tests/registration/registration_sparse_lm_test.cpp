// One registration level as a sparse Levenberg-Marquardt fit: sizes, fits, previews, interruption.
#include "registration/NonRigidRegistrationSparseLM.h"

#include "registration/EmbeddedDeformation.h"
#include "registration/EuclideanWeights.h"
#include "registration/NeighboursTable.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "registration/RegistrationEnergy.h"

#include "spatial/KDTree.h"
#include "support/LogCapture.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QCoreApplication>
#include <QMatrix4x4>
#include <QRegularExpression>
#include <QSignalSpy>
#include <QThread>

#include <cmath>
#include <memory>

using namespace NonRigidRegistration;

namespace {

using Table = QVector<QVector<double>>;
using Tree = std::unique_ptr<KDTree::NodeBase>;

void registerPreviewTypes()
{
    qRegisterMetaType<QVector<QVector3D>>("QVector<QVector3D>");
    qRegisterMetaType<QVector<QList<int>>>("QVector<QList<int> >");
}

// An uneven sheet (no symmetry for the fit to slide along) and its unit normal.
QVector3D sheetPoint(double x, double y)
{
    return QVector3D(float(x), float(y), float(0.2 * std::sin(2 * x) * std::cos(y) + 0.1 * x * y));
}
QVector3D sheetNormal(double x, double y)
{
    const double dzdx = 0.4 * std::cos(2 * x) * std::cos(y) + 0.1 * y;
    const double dzdy = -0.2 * std::sin(2 * x) * std::sin(y) + 0.1 * x;
    return QVector3D(float(-dzdx), float(-dzdy), 1.0f).normalized();
}

// The template is a rigidly moved and rotated copy of the target sheet; nine nodes sit on
// template vertices by hand, on a 3 × 3 pattern; the corners are control points.
struct PullBack {
    static const int kSide = 15;
    QVector<QVector3D> target, targetNormals, source, sourceNormals, nodes, dstControlVertices;
    Table weightsTable, rotations, translations;
    QVector<QList<int>> neighboursTable;
    QVector<int> srcFitIndices, srcControlIndices;
    QVector<bool> dstMask;
    QVector<double> eRegMultipliers;
    Tree tree;

    PullBack()
    {
        QMatrix4x4 motion;
        motion.translate(0.15f, -0.1f, 0.08f);
        motion.rotate(8.0f, QVector3D(1, 2, 3).normalized());
        for (int i = 0; i < kSide; ++i) {
            for (int j = 0; j < kSide; ++j) {
                const double x = -1 + 2.0 * i / (kSide - 1), y = -1 + 2.0 * j / (kSide - 1);
                target << sheetPoint(x, y);
                targetNormals << sheetNormal(x, y);
                source << motion.map(target.last());
                sourceNormals << motion.mapVector(targetNormals.last());
            }
        }
        for (int i : {2, 7, 12})
            for (int j : {2, 7, 12})
                nodes << source[i * kSide + j];
        weightsTable = buildWeightsTable(source, nodes, 4);
        neighboursTable = buildNeighboursTable(weightsTable);
        for (int n = 0; n < nodes.size(); ++n) {
            rotations << QVector<double>{1, 0, 0};
            translations << QVector<double>{0, 0, 0};
            eRegMultipliers << 1.0;
        }
        for (int v = 0; v < source.size(); ++v)
            srcFitIndices << v;
        srcControlIndices = {0, kSide - 1, kSide * (kSide - 1), kSide * kSide - 1};
        for (int v : srcControlIndices)
            dstControlVertices << target[v];
        dstMask = QVector<bool>(target.size(), false);
        tree.reset(KDTree::buildTree(target, 8));
    }

    int solve(Table& r, Table& t, double maxIterations, NonRigidRegistrationInteractiveUpdater* updater) const
    {
        return nonRigidRegistrationSparseLM(r, t, nodes, weightsTable, neighboursTable, source, sourceNormals, target,
                                            targetNormals, tree.get(), dstMask, srcFitIndices, srcControlIndices,
                                            dstControlVertices, 10.0, eRegMultipliers, 1.0, 0.1, 1.0, maxIterations,
                                            updater);
    }

    double residualNorm(const Table& r, const Table& t) const
    {
        return std::sqrt(squaredNorm(errorMetric(
            r, t, nodes, weightsTable, neighboursTable, source, sourceNormals, target, targetNormals, tree.get(),
            dstMask, srcFitIndices, srcControlIndices, dstControlVertices, 10.0, eRegMultipliers, 1.0, 0.1, 1.0)));
    }
};

// The number after a logged label such as "Jac calls:".
double loggedNumber(const TestSupport::LogCapture& log, const QString& label)
{
    for (const QString& line : log.texts())
        if (line.startsWith(label))
            return line.mid(label.size()).trimmed().section(' ', 0, 0).toDouble();
    ADD_FAILURE() << "no line starting with " << label.toStdString();
    return -1;
}

int linesStartingWith(const TestSupport::LogCapture& log, const QString& prefix)
{
    int count = 0;
    for (const QString& line : log.texts())
        count += line.startsWith(prefix) ? 1 : 0;
    return count;
}

}  // namespace

TEST(RegistrationSparseLM, FlatParameterArrays)
{
    double* p = paramsToFlatArray({{1, 2, 3}, {7, 8, 9}}, {{4, 5, 6}, {10, 11, 12}});
    for (int i = 0; i < 12; ++i)
        EXPECT_EQ(p[i], i + 1.0);
    delete[] p;

    const double flat[13] = {0, 1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 99};
    Table r{{5, 5, 5}, {5, 5, 5}, {5, 5, 5}}, t;
    parseFlatParamsVector(flat, 12, r, t);
    EXPECT_EQ(r, Table({{0, 1, 2}, {6, 7, 8}}));
    EXPECT_EQ(t, Table({{3, 4, 5}, {9, 10, 11}}));
    parseFlatParamsVector(flat, 13, r, t);  // the element beyond whole nodes is not read
    EXPECT_EQ(r.size(), 2);

    double* ones = initializeArray(3, 1.0);
    EXPECT_EQ(QVector<double>({ones[0], ones[1], ones[2]}), QVector<double>({1, 1, 1}));
    initializeArray(ones, 2, -2.0);
    EXPECT_EQ(QVector<double>({ones[0], ones[1], ones[2]}), QVector<double>({-2, -2, 1}));
    delete[] ones;

    EXPECT_EQ(squaredNorm({1, 2, 3, 4}), 30.0);
    EXPECT_EQ(squaredNorm({}), 0.0);
}

TEST(RegistrationSparseLM, ProblemSizeAndJacobianCapacity)
{
    // 2 nodes, 1 control pair, 3 neighbour entries, 5 fit vertices of two influence nodes each.
    const Table weights(5, QVector<double>{0.5, 0.5});
    const QVector<QList<int>> neighbours{{1, 1}, {0}};
    const SparseLMProblemSize size = sparseLMProblemSize(2, weights, neighbours, {0, 1, 2, 3, 4}, {2});
    EXPECT_EQ(size.nvars, 12);
    EXPECT_EQ(size.nobs, 9);
    EXPECT_EQ(size.jacobianCapacity, 396);

    // Eleven influence nodes per vertex need more room than ten: the actual count wins.
    const Table wide(3, QVector<double>(11, 1.0 / 11));
    const SparseLMProblemSize wideSize = sparseLMProblemSize(11, wide, {}, {0, 1}, {2});
    EXPECT_EQ(wideSize.jacobianCapacity, 3 * 66);
}

TEST(RegistrationSparseLM, PullsARigidlyMovedCopyBackOntoTheOriginal)
{
    const PullBack problem;
    Table r = problem.rotations, t = problem.translations;
    const double before = problem.residualNorm(r, t);

    TestSupport::LogCapture log;
    const int iterations = problem.solve(r, t, 50, nullptr);
    const double after = problem.residualNorm(r, t);

    EXPECT_GT(iterations, 0);
    EXPECT_GT(before / after, 100.0) << before << " -> " << after;
    const QVector<QVector3D> fitted = deformVerticesByGraph(problem.source, r, t, problem.nodes, problem.weightsTable);
    for (int v = 0; v < fitted.size(); ++v)
        EXPECT_LT((fitted[v] - problem.target[v]).length(), 0.01f) << "vertex " << v;

    // The statistics, in order, after the solver's own lines.
    QStringList statistics;
    for (const QString& line : log.texts())
        if (!line.startsWith('\t'))
            statistics << line;
    ASSERT_EQ(statistics.size(), 8) << statistics.join('\n').toStdString();
    const QStringList patterns{
        "^Optimization took \\d+ ms$", "^Optimization complete in " + QString::number(iterations) + " iterations$",
        "^Func calls: \\d+$",          "^Jac calls: \\d+$",
        "^System solved: \\d+$",       "^eConJac: [0-9.e-]+ sec$",
        "^eRegJac: [0-9.e-]+ sec$",    "^eIcpJac: [0-9.e-]+ sec$"};
    for (int i = 0; i < 8; ++i)
        EXPECT_TRUE(QRegularExpression(patterns[i]).match(statistics[i]).hasMatch()) << statistics[i].toStdString();
    // One "\tFunc call:" line per residual evaluation and one "\tJac call: " per Jacobian.
    EXPECT_EQ(linesStartingWith(log, "\tFunc call: "), int(loggedNumber(log, "Func calls:")));
    EXPECT_EQ(linesStartingWith(log, "\tJac call:  "), int(loggedNumber(log, "Jac calls:")));
}

TEST(RegistrationSparseLM, IterationLimitTruncatesAndFirstJacobianLineComparesWithOne)
{
    const PullBack problem;
    Table r = problem.rotations, t = problem.translations;
    TestSupport::LogCapture log;
    EXPECT_EQ(problem.solve(r, t, 2.9, nullptr), 2);
    EXPECT_TRUE(log.contains("Optimization complete in 2 iterations"));

    QStringList jacLines;
    for (const QString& line : log.texts())
        if (line.startsWith("\tJac call:  "))
            jacLines << line.mid(12);
    ASSERT_EQ(jacLines.size(), 2);
    const double E0 = jacLines[0].section(' ', 0, 0).toDouble(), change0 = jacLines[0].section(' ', 1, 1).toDouble();
    const double E1 = jacLines[1].section(' ', 0, 0).toDouble(), change1 = jacLines[1].section(' ', 1, 1).toDouble();
    EXPECT_NEAR(change0, std::fabs(E0 - 1.0), 1e-5 * std::fabs(E0 - 1.0));
    EXPECT_NEAR(change1, std::fabs(E1 - E0) / E0, 1e-4 * change1);
}

TEST(RegistrationSparseLM, PreviewAtEveryJacobianEvaluation)
{
    registerPreviewTypes();
    const PullBack problem;
    NonRigidRegistrationInteractiveUpdater updater;
    QSignalSpy spy(&updater, &NonRigidRegistrationInteractiveUpdater::updated);
    Table r = problem.rotations, t = problem.translations;
    TestSupport::LogCapture log;
    problem.solve(r, t, 50, &updater);

    ASSERT_GT(spy.count(), 1);
    EXPECT_EQ(spy.count(), int(loggedNumber(log, "Jac calls:")));
    // The first preview shows the start: the template as the start transforms place it.
    const QList<QVariant> first = spy.first();
    const QVector<QVector3D> start = deformVerticesByGraph(problem.source, problem.rotations, problem.translations,
                                                           problem.nodes, problem.weightsTable);
    EXPECT_EQ(first[0].value<QVector<QVector3D>>(), start);
    EXPECT_EQ(first[1].value<QVector<QVector3D>>(),
              deformNormalsByGraph(problem.sourceNormals, problem.rotations, problem.nodes, problem.weightsTable));
    EXPECT_EQ(first[2].value<QVector<QVector3D>>(), problem.nodes);
    EXPECT_EQ(first[3].value<QVector<QList<int>>>(), problem.neighboursTable);
    QVector<QVector3D> startControls;
    for (int v : problem.srcControlIndices)
        startControls << start[v];
    EXPECT_EQ(first[4].value<QVector<QVector3D>>(), startControls);
    EXPECT_EQ(first[5].value<QVector<QVector3D>>(), problem.dstControlVertices);
    // Later previews move towards the target.
    const QVector<QVector3D> last = spy.last()[0].value<QVector<QVector3D>>();
    EXPECT_LT((last[0] - problem.target[0]).length(), (start[0] - problem.target[0]).length());
}

TEST(RegistrationSparseLM, InterruptionBeforeTheSolveLeavesTheParametersUnchanged)
{
    registerPreviewTypes();
    const PullBack problem;
    NonRigidRegistrationInteractiveUpdater updater;
    QSignalSpy spy(&updater, &NonRigidRegistrationInteractiveUpdater::updated);
    updater.requestInterruption();
    Table r = problem.rotations, t = problem.translations;
    r[3] = {0.9, 0.1, -0.2};
    const Table startR = r, startT = t;

    TestSupport::LogCapture log;
    EXPECT_EQ(problem.solve(r, t, 50, &updater), 0);
    EXPECT_EQ(r, startR);
    EXPECT_EQ(t, startT);
    EXPECT_EQ(spy.count(), 0);
    EXPECT_EQ(linesStartingWith(log, "\tFunc call:"), 0);
    EXPECT_EQ(loggedNumber(log, "Jac calls:"), 0.0);
    EXPECT_TRUE(log.contains("Optimization complete in 0 iterations"));
    EXPECT_TRUE(log.contains("eIcpJac: 0 sec"));
}

TEST(RegistrationSparseLM, InterruptionDuringTheSolveEndsItAtTheNextResidualEvaluation)
{
    registerPreviewTypes();
    const PullBack problem;
    NonRigidRegistrationInteractiveUpdater updater;
    // Stop as soon as the first preview arrives (the worker's receiver runs at once here).
    QObject::connect(&updater, &NonRigidRegistrationInteractiveUpdater::updated, &updater,
                     &NonRigidRegistrationInteractiveUpdater::requestInterruption);
    Table r = problem.rotations, t = problem.translations;
    TestSupport::LogCapture log;
    // The trial point reads as a perfect fit: its step is taken, and the solve stops.
    EXPECT_EQ(problem.solve(r, t, 50, &updater), 1);
    EXPECT_EQ(loggedNumber(log, "Jac calls:"), 1.0);
    EXPECT_EQ(loggedNumber(log, "Func calls:"), 2.0);
    EXPECT_EQ(linesStartingWith(log, "\tFunc call:"), 1);
    EXPECT_NE(r, problem.rotations);
    EXPECT_LT(problem.residualNorm(r, t), problem.residualNorm(problem.rotations, problem.translations));
}

TEST(RegistrationSparseLM, NodesWithoutResidualsAreHeldFixed)
{
    // Node 9 influences no vertex and has no neighbour: its columns would be empty.
    const PullBack problem;
    QVector<QVector3D> nodes = problem.nodes;
    nodes << QVector3D(5, 5, 5);
    Table weights = problem.weightsTable;
    for (QVector<double>& row : weights)
        row << 0.0;
    Table r = problem.rotations, t = problem.translations;
    r << QVector<double>{0.5, 0.5, 0.5};
    t << QVector<double>{1, 2, 3};
    QVector<double> multipliers = problem.eRegMultipliers;
    multipliers << 1.0;

    TestSupport::LogCapture log;
    const int iterations = nonRigidRegistrationSparseLM(
        r, t, nodes, weights, buildNeighboursTable(weights), problem.source, problem.sourceNormals, problem.target,
        problem.targetNormals, problem.tree.get(), problem.dstMask, problem.srcFitIndices, problem.srcControlIndices,
        problem.dstControlVertices, 10.0, multipliers, 1.0, 0.1, 1.0, 20, nullptr);
    EXPECT_GT(iterations, 0);
    EXPECT_TRUE(log.contains("Holding 1 of 10 nodes fixed, no residual depends on them: 9"));
    EXPECT_EQ(r[9], QVector<double>({0.5, 0.5, 0.5}));
    EXPECT_EQ(t[9], QVector<double>({1, 2, 3}));

    // The other nodes end exactly where the same solve without the idle node leaves them.
    Table r0 = problem.rotations, t0 = problem.translations;
    problem.solve(r0, t0, 20, nullptr);
    EXPECT_EQ(r.mid(0, 9), r0);
    EXPECT_EQ(t.mid(0, 9), t0);
}

TEST(RegistrationSparseLM, MoreThanTenInfluenceNodesFitTheJacobian)
{
    // Every vertex weighs all twelve nodes: 72 entries per fit row, beyond the 60 of ten nodes.
    const PullBack problem;
    QVector<QVector3D> nodes;
    for (int v = 0; v < problem.source.size(); v += 19)
        nodes << problem.source[v];
    ASSERT_EQ(nodes.size(), 12);
    Table weights;
    for (int v = 0; v < problem.source.size(); ++v) {
        QVector<double> row;
        double sum = 0;
        for (const QVector3D& g : nodes) {
            row << 1.0 / (1.0 + (problem.source[v] - g).lengthSquared());
            sum += row.last();
        }
        for (double& w : row)
            w /= sum;
        weights << row;
    }
    Table r(12, QVector<double>{1, 0, 0}), t(12, QVector<double>{0, 0, 0});
    TestSupport::LogCapture log;
    const int iterations = nonRigidRegistrationSparseLM(
        r, t, nodes, weights, buildNeighboursTable(weights), problem.source, problem.sourceNormals, problem.target,
        problem.targetNormals, problem.tree.get(), problem.dstMask, problem.srcFitIndices, problem.srcControlIndices,
        problem.dstControlVertices, 10.0, QVector<double>(12, 1.0), 1.0, 0.1, 1.0, 3, nullptr);
    EXPECT_GT(iterations, 0);
}

TEST(RegistrationSparseLM, SingleWeightFormMatchesEqualMultipliersAndIgnoresTheFlag)
{
    const PullBack problem;
    Table r = problem.rotations, t = problem.translations;
    {
        TestSupport::LogCapture log;
        problem.solve(r, t, 5, nullptr);
    }
    NonRigidRegistrationInteractiveUpdater updater;
    updater.requestInterruption();
    Table r1 = problem.rotations, t1 = problem.translations;
    TestSupport::LogCapture log;
    nonRigidRegistrationSparseLM(r1, t1, problem.nodes, problem.weightsTable, problem.neighboursTable, problem.source,
                                 problem.sourceNormals, problem.target, problem.targetNormals, problem.tree.get(),
                                 problem.dstMask, problem.srcFitIndices, problem.srcControlIndices,
                                 problem.dstControlVertices, 10.0, 1.0, 1.0, 0.1, 1.0, 5, &updater);
    EXPECT_EQ(r1, r);
    EXPECT_EQ(t1, t);
    EXPECT_FALSE(log.contains("eConJac:"));
    EXPECT_EQ(log.texts().last().left(14), QString("System solved:"));
}

TEST(RegistrationSparseLM, UpdaterDeliversCopiesQueuedToItsThread)
{
    registerPreviewTypes();
    NonRigidRegistrationInteractiveUpdater updater;
    EXPECT_FALSE(updater.interrupted.load());
    QVector<QVector<QVector3D>> received;
    QObject::connect(&updater, &NonRigidRegistrationInteractiveUpdater::updated, &updater,
                     [&](QVector<QVector3D> vertices) { received << vertices; });

    QVector<QVector3D> vertices{QVector3D(1, 2, 3)};
    QThread* worker = QThread::create([&] {
        updater.publishUpdate(vertices, {}, {}, {}, {}, {});
        vertices[0] = QVector3D(7, 7, 7);  // changed after publishing: the queued copy keeps (1, 2, 3)
        updater.publishUpdate(vertices, {}, {}, {}, {}, {});
    });
    worker->start();
    worker->wait();
    delete worker;
    EXPECT_TRUE(received.isEmpty());  // queued: nothing arrives before the event loop runs
    QCoreApplication::processEvents();
    ASSERT_EQ(received.size(), 2);
    EXPECT_EQ(received[0], QVector<QVector3D>({QVector3D(1, 2, 3)}));
    EXPECT_EQ(received[1], QVector<QVector3D>({QVector3D(7, 7, 7)}));

    updater.requestInterruption();
    EXPECT_TRUE(updater.interrupted.load());
    updater.requestInterruption();
    EXPECT_TRUE(updater.interrupted.load());

    // The meta-object lists the two signals and then the slot.
    const QMetaObject& meta = NonRigidRegistrationInteractiveUpdater::staticMetaObject;
    ASSERT_EQ(meta.methodCount() - meta.methodOffset(), 3);
    EXPECT_EQ(meta.method(meta.methodOffset()).methodSignature(),
              QByteArray("updated(QVector<QVector3D>,QVector<QVector3D>,QVector<QVector3D>,QVector<QList<int> >,"
                         "QVector<QVector3D>,QVector<QVector3D>)"));
    EXPECT_EQ(meta.method(meta.methodOffset() + 1).methodSignature(), QByteArray("levelChanged(int,int)"));
    EXPECT_EQ(meta.method(meta.methodOffset() + 2).methodSignature(), QByteArray("requestInterruption()"));
}
