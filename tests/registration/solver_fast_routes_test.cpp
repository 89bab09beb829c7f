// The registration solver's faster routes held bit for bit against the plain ones they replace.
#include "WavySheet.h"
#include "numerics/Random.h"
#include "numerics/SparseMatrix.h"
#include "registration/ClosestPointTerm.h"
#include "registration/DifferentiableParameters.h"
#include "registration/EmbeddedDeformation.h"
#include "registration/EuclideanWeights.h"
#include "registration/InfluenceTable.h"
#include "registration/NeighboursTable.h"
#include "registration/NonRigidRegistrationSparseLM.h"
#include "registration/RegistrationEnergy.h"
#include "registration/RegularisationTerm.h"
#include "registration/SubsetDeformation.h"
#include "spatial/KDTree.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <functional>
#include <memory>
#include <string>
#include <vector>

using namespace NonRigidRegistration;

namespace {

using Table = QVector<QVector<double>>;

using WavySheet::sheetNormal;
using WavySheet::sheetPoint;
using WavySheet::uniform;

// A random registration problem on a wavy sheet: nodes among the template points, k-node
// weights, transforms near the identity, a lifted target sheet with some masked vertices.
struct Problem {
    RegistrationInputs in;
    Table rotations, translations;
    std::unique_ptr<KDTree::NodeBase> tree;

    Problem(unsigned seed, int vertices, int nodeCount, int influence)
    {
        Random::seed(seed);
        for (int i = 0; i < vertices; ++i) {
            const double x = uniform(-1, 1), y = uniform(-1, 1);
            in.srcVertices << sheetPoint(x, y, 0.0);
            in.srcNormals << sheetNormal(x, y);
        }
        for (int j = 0; j < nodeCount; ++j)
            in.nodes << in.srcVertices[(vertices / nodeCount) * j];
        in.weightsTable = buildWeightsTable(in.srcVertices, in.nodes, influence);
        in.neighboursTable = buildNeighboursTable(in.weightsTable);
        for (int j = 0; j < nodeCount; ++j) {
            rotations << QVector<double>{1 + uniform(-0.15, 0.15), uniform(-0.15, 0.15), uniform(-0.15, 0.15)};
            translations << QVector<double>{uniform(-0.1, 0.1), uniform(-0.1, 0.1), uniform(-0.1, 0.1)};
            in.eRegMultipliers << uniform(0.5, 2.0);
        }
        for (int i = 0; i < 3 * vertices; ++i) {
            const double x = uniform(-1.2, 1.2), y = uniform(-1.2, 1.2);
            in.dstVertices << sheetPoint(x, y, 0.05);
            in.dstNormals << sheetNormal(x, y);
            in.dstMask << (i % 7 == 0);
        }
        for (int i = 0; i < vertices; i += 2)
            in.srcFitIndices << i;
        in.srcControlIndices = {3, 17, 42};
        in.dstControlVertices = {QVector3D(0.1f, 0.2f, 0.3f), QVector3D(-0.5f, 0.4f, 0.0f),
                                 QVector3D(0.7f, -0.6f, 0.2f)};
        tree.reset(KDTree::buildTree(in.dstVertices, 8));
        in.dstKdTree = tree.get();
        in.eConWeight = 10.0;
        in.eIcpWeight = 3.0;
        in.alphaPointToPoint = 0.1;
        in.alphaPointToPlane = 1.0;
    }
};

// The solver's Jacobian record, allocated as the solver allocates it.
struct Record {
    splm_crsm m;
    Record(int rows, int capacity)
    {
        splm_crsm_alloc(&m, rows, 1, capacity);
        m.nr = rows;
        m.nnz = capacity;
    }
    ~Record() { splm_crsm_free(&m); }
};

void expectSameRecord(const splm_crsm& a, const splm_crsm& b)
{
    ASSERT_EQ(a.nr, b.nr);
    EXPECT_EQ(a.nc, b.nc);
    ASSERT_EQ(a.nnz, b.nnz);
    EXPECT_EQ(std::memcmp(a.rowptr, b.rowptr, sizeof(int) * size_t(a.nr + 1)), 0);
    EXPECT_EQ(std::memcmp(a.colidx, b.colidx, sizeof(int) * size_t(a.nnz)), 0);
    EXPECT_EQ(std::memcmp(a.val, b.val, sizeof(double) * size_t(a.nnz)), 0);  // signs of zeros included
}

void expectSameBits(const QVector<double>& a, const QVector<double>& b)
{
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.constData(), b.constData(), sizeof(double) * size_t(a.size())), 0);
}

// The solver's former route: the list-of-lists matrix, its compressed-row copy, the columns of
// held nodes renumbered, the copy filled into the record.
QVector<double> plainJacobian(const Problem& p, const SolvedNodes& solved, splm_crsm* target)
{
    SparseMatrix::SparseMatrixLIL J;
    const QVector<double> residuals = jacobian(p.rotations, p.translations, p.in, J, nullptr);
    SparseMatrix::SparseMatrixCRS crs(J);
    if (!solved.all) {
        for (int k = 0; k < crs.nnz; ++k)
            crs.colidx[k] = solved.columnOf[crs.colidx[k]];
        crs.nc = 6 * solved.nodes.size();
    }
    SparseMatrix::fillSparseLmCRS(crs, target);
    return residuals;
}

struct Case {
    std::string name;
    std::function<void(Problem&)> change;
};

TEST(SolverFastRoutes, JacobianWrittenIntoTheSolverRowsEqualsTheListOfListsRoute)
{
    const std::vector<Case> cases = {
        {"per-node weights", [](Problem&) {}},
        {"one weight for every node",
         [](Problem& p) {
             p.in.perNode = false;
             p.in.eRegWeight = 1.7;
         }},
        {"nodes without residuals held",
         [](Problem& p) {
             // Two far nodes: no vertex weighs them and no pair ties them.
             p.in.nodes << QVector3D(50, 50, 50) << QVector3D(-50, 40, 30);
             p.rotations << QVector<double>{1, 0, 0} << QVector<double>{0.9, 0.1, 0};
             p.translations << QVector<double>{0, 0, 0} << QVector<double>{0.1, 0, 0};
             p.in.eRegMultipliers << 1.0 << 1.0;
             for (QVector<double>& row : p.in.weightsTable)
                 row << 0.0 << 0.0;
             p.in.neighboursTable << QList<int>() << QList<int>();
         }},
        {"a pair repeating its node (the entry-by-entry order)",
         [](Problem& p) { p.in.neighboursTable[1].prepend(1); }},
        {"a vertex without weights, no control pairs",
         [](Problem& p) {
             p.in.weightsTable[4].fill(0.0);
             p.in.srcControlIndices.clear();
             p.in.dstControlVertices.clear();
         }},
        {"a vertex weighing a node twice as NaN and negative",
         [](Problem& p) {
             p.in.weightsTable[6][0] = std::nan("");
             p.in.weightsTable[8][1] = -0.25;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Problem p(91, 240, 12, 4);
        c.change(p);
        const SolvedNodes solved = findSolvedNodes(p.rotations, p.translations, p.in.weightsTable, p.in.neighboursTable,
                                                   p.in.srcFitIndices, p.in.srcControlIndices);
        const SparseLMProblemSize size = sparseLMProblemSize(
            solved.nodes.size(), p.in.weightsTable, p.in.neighboursTable, p.in.srcFitIndices, p.in.srcControlIndices);
        Record plain(size.nobs, size.jacobianCapacity), fast(size.nobs, size.jacobianCapacity);
        const QVector<double> expected = plainJacobian(p, solved, &plain.m);
        JacobianTimings timings;
        const QVector<double> got = jacobianIntoSolverRows(p.rotations, p.translations, p.in, &fast.m,
                                                           solved.all ? nullptr : solved.columnOf.constData(),
                                                           6 * solved.nodes.size(), &timings);
        expectSameBits(got, expected);
        expectSameRecord(fast.m, plain.m);
        EXPECT_EQ(solved.all, c.name.find("held") == std::string::npos);
    }
}

TEST(SolverFastRoutes, LargeAndWideJacobiansEqualTheListOfListsRoute)
{
    // Thousands of fit rows, written on the thread pool; twenty influence nodes a row, beyond
    // the short path of the row order; thousands of pair rows, one of them late in the block
    // repeating its node (found on the pool, the whole Jacobian then takes the plain route).
    struct Size {
        int vertices, nodes, influence;
        bool repeat;
    };
    for (const Size& c : {Size{6000, 40, 4, false}, Size{400, 40, 20, false}, Size{6000, 700, 4, true}}) {
        SCOPED_TRACE(::testing::Message() << c.vertices << " vertices, " << c.nodes << " nodes, influence "
                                          << c.influence << (c.repeat ? ", a repeated node" : ""));
        Problem p(5, c.vertices, c.nodes, c.influence);
        if (c.repeat) {
            ASSERT_GE(getTotalNeighbours(p.in.neighboursTable), 2048);
            const int late = c.nodes - 30;
            ASSERT_FALSE(p.in.neighboursTable[late].isEmpty());
            p.in.neighboursTable[late].append(p.in.neighboursTable[late].first());
        }
        const SolvedNodes solved = findSolvedNodes(p.rotations, p.translations, p.in.weightsTable, p.in.neighboursTable,
                                                   p.in.srcFitIndices, p.in.srcControlIndices);
        ASSERT_TRUE(solved.all);
        const SparseLMProblemSize size = sparseLMProblemSize(
            solved.nodes.size(), p.in.weightsTable, p.in.neighboursTable, p.in.srcFitIndices, p.in.srcControlIndices);
        Record plain(size.nobs, size.jacobianCapacity), fast(size.nobs, size.jacobianCapacity);
        const QVector<double> expected = plainJacobian(p, solved, &plain.m);
        const QVector<double> got =
            jacobianIntoSolverRows(p.rotations, p.translations, p.in, &fast.m, nullptr, 0, nullptr);
        expectSameBits(got, expected);
        expectSameRecord(fast.m, plain.m);
    }
}

void expectSameDerivatives(const QVector<DerVal>& a, const QVector<DerVal>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i) {
        EXPECT_EQ(std::memcmp(&a[i].value, &b[i].value, sizeof(double)), 0) << i;
        ASSERT_EQ(a[i].derivatives.size(), b[i].derivatives.size()) << i;
        EXPECT_EQ(std::memcmp(a[i].derivatives.constData(), b[i].derivatives.constData(),
                              sizeof(double) * size_t(a[i].derivatives.size())),
                  0)
            << i;
    }
}

void expectSamePoints(const QVector<QVector3D>& a, const QVector<QVector3D>& b)
{
    ASSERT_EQ(a.size(), b.size());
    EXPECT_EQ(std::memcmp(a.constData(), b.constData(), sizeof(QVector3D) * size_t(a.size())), 0);
}

// Weights tables a scan can give: NaN and negative weights, rows of zeros, rows cut short,
// rows missing at the end, long rows of many nodes.
TEST(SolverFastRoutes, InfluenceTableGivesTheSameTermsPreviewAndSizes)
{
    const std::vector<Case> cases = {
        {"four nodes a vertex", [](Problem&) {}},
        {"NaN, negative and zero rows",
         [](Problem& p) {
             p.in.weightsTable[6][0] = std::nan("");
             p.in.weightsTable[8][1] = -0.25;
             p.in.weightsTable[10].fill(0.0);
             p.in.weightsTable[12][2] = -0.0;
         }},
        {"rows cut short and missing",
         [](Problem& p) {
             p.in.weightsTable[14].resize(3);
             p.in.weightsTable[15].clear();
             p.in.weightsTable.resize(p.in.weightsTable.size() - 5);
             QVector<int> kept;
             for (int v : p.in.srcFitIndices)
                 if (v < p.in.weightsTable.size())
                     kept << v;
             p.in.srcFitIndices = kept;
         }},
        {"twenty nodes a vertex",
         [](Problem& p) {
             p.in.weightsTable = buildWeightsTable(p.in.srcVertices, p.in.nodes, 20);
             p.in.neighboursTable = buildNeighboursTable(p.in.weightsTable);
         }},
        {"thousands of fit rows on the thread pool",
         [](Problem& p) {
             p.in.srcFitIndices.clear();
             for (int i = 0; i < 5000; ++i)
                 p.in.srcFitIndices << (7 * i) % p.in.srcVertices.size();
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Problem p(23, 300, 24, 4);
        c.change(p);
        RegistrationInputs cached = p.in;
        cached.influence = influenceTableOf(p.in.weightsTable, p.in.nodes);
        ASSERT_EQ(cached.influence.size(), p.in.weightsTable.size());

        expectSameBits(eIcp(p.rotations, p.translations, cached), eIcp(p.rotations, p.translations, p.in));
        QVector<QList<int>> cachedTable, plainTable;
        expectSameDerivatives(eIcpDer(p.rotations, p.translations, cached, cachedTable),
                              eIcpDer(p.rotations, p.translations, p.in, plainTable));
        EXPECT_EQ(cachedTable, plainTable);
        expectSameBits(errorMetric(p.rotations, p.translations, cached),
                       errorMetric(p.rotations, p.translations, p.in));

        QVector<QVector3D> vertices, normals, plainVertices, plainNormals;
        deformVerticesAndNormalsByInfluence(p.in.srcVertices, p.in.srcNormals, p.rotations, p.translations, p.in.nodes,
                                            cached.influence, &vertices, &normals);
        deformVerticesAndNormalsByGraph(p.in.srcVertices, p.in.srcNormals, p.rotations, p.translations, p.in.nodes,
                                        p.in.weightsTable, &plainVertices, &plainNormals);
        expectSamePoints(vertices, plainVertices);
        expectSamePoints(normals, plainNormals);

        const SolvedNodes solved = findSolvedNodes(p.rotations, p.translations, p.in.weightsTable, p.in.neighboursTable,
                                                   p.in.srcFitIndices, p.in.srcControlIndices);
        const SolvedNodes solvedCached =
            findSolvedNodes(p.rotations, p.translations, p.in.weightsTable, p.in.neighboursTable, p.in.srcFitIndices,
                            p.in.srcControlIndices, &cached.influence);
        EXPECT_EQ(solvedCached.nodes, solved.nodes);
        EXPECT_EQ(solvedCached.columnOf, solved.columnOf);
        const SparseLMProblemSize size = sparseLMProblemSize(
            solved.nodes.size(), p.in.weightsTable, p.in.neighboursTable, p.in.srcFitIndices, p.in.srcControlIndices);
        const SparseLMProblemSize sizeCached =
            sparseLMProblemSize(solved.nodes.size(), p.in.weightsTable, p.in.neighboursTable, p.in.srcFitIndices,
                                p.in.srcControlIndices, &cached.influence);
        EXPECT_EQ(sizeCached.jacobianCapacity, size.jacobianCapacity);
        EXPECT_EQ(sizeCached.nobs, size.nobs);
    }
}

TEST(SolverFastRoutes, InfluenceTableOfRowsNamingMissingNodesIsEmpty)
{
    Problem p(29, 60, 6, 4);
    const QVector<VertexInfluence> table = influenceTableOf(p.in.weightsTable, p.in.nodes);
    ASSERT_EQ(table.size(), 60);
    for (int v = 0; v < 60; ++v) {
        EXPECT_EQ(table[v].nodes, getNonZeroElementIndices(p.in.weightsTable[v]));
        EXPECT_EQ(table[v].positions, subset(p.in.nodes, table[v].nodes));
        EXPECT_EQ(table[v].weights, subset(p.in.weightsTable[v], table[v].nodes));
    }
    p.in.weightsTable[59] << 0.0 << 0.5;  // a weight for a seventh node of six
    EXPECT_TRUE(influenceTableOf(p.in.weightsTable, p.in.nodes).isEmpty());
}

// The closest-point rows as the term first formed them: every vertex's node subsets picked
// out of the table, its deformation through the per-vertex forms of SubsetDeformation.
struct PlainCorrespondence {
    bool found = false;
    Vec<double> b, n;
    double gateTimesMask = 0.0;
};

PlainCorrespondence plainCorrespondence(const Vec<double>& c, const Vec<double>& d, const ClosestPointInputs& in)
{
    PlainCorrespondence k;
    const int g =
        in.dstKdTree->findNearestPointInd(QVector3D{float(c[0]), float(c[1]), float(c[2])}, in.dstVertices, nullptr);
    if (g < 0)
        return k;
    k.found = true;
    k.b = Vec<double>(in.dstVertices[g]);
    k.n = Vec<double>(in.dstNormals[g]);
    const double gate = angleBetweenVectors(d, k.n) < 0.7853981633974483 ? 1.0 : 0.0;
    k.gateTimesMask = gate * (in.dstMask[g] ? 0.0 : 1.0);
    return k;
}

QVector<double> plainClosestPointValues(const Table& r, const Table& t, const ClosestPointInputs& in)
{
    QVector<double> values;
    for (int v : in.srcFitIndices) {
        const QList<int> nodes = getNonZeroElementIndices(in.weightsTable[v]);
        const Table rs = subset(r, nodes), ts = subset(t, nodes);
        const QVector<QVector3D> positions = subset(in.nodes, nodes);
        const QVector<double> weights = subset(in.weightsTable[v], nodes);
        const Vec<double> c = deformVertexSubset(rs, ts, in.srcVertices[v], positions, weights);
        const Vec<double> d = deformNormalSubset(rs, in.srcNormals[v], positions, weights);
        const PlainCorrespondence k = plainCorrespondence(c, d, in);
        if (!k.found) {
            values << 0.0;
            continue;
        }
        const double distance = (k.b - c).norm();
        const double plane = k.n[0] * (c[0] - k.b[0]) + k.n[1] * (c[1] - k.b[1]) + k.n[2] * (c[2] - k.b[2]);
        values << k.gateTimesMask * (in.alphaPointToPoint * distance + in.alphaPointToPlane * plane) * in.eIcpWeight;
    }
    return values;
}

QVector<DerVal> plainClosestPointDerivatives(const Table& r, const Table& t, const ClosestPointInputs& in)
{
    QVector<DerVal> values;
    for (int v : in.srcFitIndices) {
        const QList<int> nodes = getNonZeroElementIndices(in.weightsTable[v]);
        const Table rs = subset(r, nodes), ts = subset(t, nodes);
        const QVector<QVector3D> positions = subset(in.nodes, nodes);
        const QVector<double> weights = subset(in.weightsTable[v], nodes);
        const Vec<double> d = deformNormalSubset(rs, in.srcNormals[v], positions, weights);
        QVector<QVector<DerVal>> rsDer, tsDer;
        makeParamsDifferentiable(rs, ts, rsDer, tsDer);
        const Vec<DerVal> c = deformVertexSubset(rsDer, tsDer, in.srcVertices[v], positions, weights);
        const PlainCorrespondence k = plainCorrespondence(undifContainer(c), d, in);
        if (!k.found) {
            values << DerVal(0.0, 6 * nodes.size());
            continue;
        }
        const Vec<DerVal> b = k.b.convertTo<DerVal>();
        const Vec<DerVal> n = k.n.convertTo<DerVal>();
        const DerVal distance = (c - b).norm();
        DerVal plane = n[0] * (c[0] - b[0]);
        plane = std::move(plane) + n[1] * (c[1] - b[1]);
        plane = std::move(plane) + n[2] * (c[2] - b[2]);
        values << (DerVal(k.gateTimesMask) *
                   (DerVal(in.alphaPointToPoint) * distance + DerVal(in.alphaPointToPlane) * plane)) *
                      DerVal(in.eIcpWeight);
    }
    return values;
}

TEST(SolverFastRoutes, ClosestPointRowsEqualThePerVertexSubsetForms)
{
    // Transforms far from the identity close some gates; NaN and negative weights, a row of
    // zeros (NaN normal, closed gate) and twenty-node rows stress the sums.
    for (int influence : {4, 20}) {
        SCOPED_TRACE(influence);
        Problem p(41, 500, 30, influence);
        for (int j = 0; j < p.rotations.size(); j += 3)
            p.rotations[j] = {uniform(-2, 2), uniform(-2, 2), uniform(-2, 2)};
        p.in.weightsTable[6][0] = std::nan("");
        p.in.weightsTable[8][1] = -0.25;
        p.in.weightsTable[10].fill(0.0);
        for (int i = 0; i < 2500; ++i)  // enough rows for the thread pool
            p.in.srcFitIndices << (3 * i) % p.in.srcVertices.size();
        RegistrationInputs cached = p.in;
        cached.influence = influenceTableOf(p.in.weightsTable, p.in.nodes);
        const QVector<double> plain = plainClosestPointValues(p.rotations, p.translations, p.in);
        const QVector<DerVal> plainDer = plainClosestPointDerivatives(p.rotations, p.translations, p.in);
        int open = 0;
        for (double x : plain)
            open += x != 0.0;
        EXPECT_GT(open, 100);
        EXPECT_LT(open, plain.size() - 100);
        for (const RegistrationInputs* in : {&p.in, &cached}) {
            expectSameBits(eIcp(p.rotations, p.translations, *in), plain);
            expectSameBits(eIcpSerial(p.rotations, p.translations, *in), plain);
            QVector<QList<int>> table;
            expectSameDerivatives(eIcpDer(p.rotations, p.translations, *in, table), plainDer);
            expectSameDerivatives(eIcpDerSerial(p.rotations, p.translations, *in, table), plainDer);
        }
    }
}

TEST(SolverFastRoutes, RegularisationRowsOnThePoolEqualNodeByNodeRows)
{
    Problem p(17, 3000, 700, 4);
    const int total = getTotalNeighbours(p.in.neighboursTable);
    ASSERT_GE(total, 2048);  // spread over the thread pool
    // Node by node: a table holding one node's pairs is far too small for the pool.
    QVector<double> plain, plainUniform;
    QVector<DerVal> plainDer, plainDerUniform;
    QVector<QList<int>> plainPairs;
    for (int j = 0; j < p.in.nodes.size(); ++j) {
        QVector<QList<int>> one(p.in.nodes.size());
        one[j] = p.in.neighboursTable[j];
        QVector<QList<int>> pairs;
        plain << eReg(p.rotations, p.translations, p.in.nodes, one, p.in.eRegMultipliers);
        plainUniform << eReg(p.rotations, p.translations, p.in.nodes, one, 1.3);
        plainDer << eRegDer(p.rotations, p.translations, p.in.nodes, one, p.in.eRegMultipliers, pairs);
        plainPairs << pairs;
        plainDerUniform << eRegDer(p.rotations, p.translations, p.in.nodes, one, 1.3, pairs);
    }
    expectSameBits(eReg(p.rotations, p.translations, p.in.nodes, p.in.neighboursTable, p.in.eRegMultipliers), plain);
    expectSameBits(eReg(p.rotations, p.translations, p.in.nodes, p.in.neighboursTable, 1.3), plainUniform);
    QVector<QList<int>> pairs;
    expectSameDerivatives(
        eRegDer(p.rotations, p.translations, p.in.nodes, p.in.neighboursTable, p.in.eRegMultipliers, pairs), plainDer);
    EXPECT_EQ(pairs, plainPairs);
    expectSameDerivatives(eRegDer(p.rotations, p.translations, p.in.nodes, p.in.neighboursTable, 1.3, pairs),
                          plainDerUniform);
}

void writeIntoTooSmallRecord()
{
    Problem p(3, 120, 6, 4);
    Record small(10, 60);
    jacobianIntoSolverRows(p.rotations, p.translations, p.in, &small.m, nullptr, 0, nullptr);
}

TEST(SolverFastRoutesDeathTest, ARecordTooSmallEndsTheProcessAsTheCopyDoes)
{
    EXPECT_DEATH(writeIntoTooSmallRecord(),
                 "fillSparseLmCRS: a Jacobian of [0-9]+ rows and [0-9]+ entries does not "
                 "fit the solver's arrays of 10 rows and 60 entries");
}

}  // namespace
