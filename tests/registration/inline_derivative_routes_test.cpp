// The closest-point and regularisation terms' rows differentiated with inline derivative slots,
// held bit for bit against the DerVal route on a scan-like template: a body with holes, long thin
// limbs and non-manifold vertices, plus a separate second piece, fitted onto a bent, denser body.
#include "registration/ClosestPointTerm.h"

#include "numerics/Random.h"
#include "registration/DifferentiableParameters.h"
#include "registration/EuclideanWeights.h"
#include "registration/InfluenceTable.h"
#include "registration/NeighboursTable.h"
#include "registration/RegularisationTerm.h"
#include "spatial/KDTree.h"
#include "support/BodyMeshes.h"

#include "support/LogCapture.h"

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
using TestMeshes::bodyAndPebble;
using TestMeshes::Mesh;

double uniform(double low, double high)
{
    return low + (high - low) * double(Random::draw()) / Random::maxDraw;
}

struct Problem {
    ClosestPointInputs in;
    Table rotations, translations;
    std::unique_ptr<KDTree::NodeBase> tree;

    // A node on every nodeStep-th template vertex.
    explicit Problem(int influence, int nodeStep = 23)
    {
        const Mesh source = bodyAndPebble(0.3);
        const Mesh target = TestMeshes::mapped(TestMeshes::bodyShape(0.45), TestMeshes::bentPose);
        in.srcVertices = source.vertices;
        in.srcNormals = TestMeshes::vertexNormals(source);
        in.dstVertices = target.vertices;
        in.dstNormals = TestMeshes::vertexNormals(target);
        for (int v = 0; v < in.srcVertices.size(); v += nodeStep)
            in.nodes << in.srcVertices[v];
        in.weightsTable = buildWeightsTable(in.srcVertices, in.nodes, influence);
        Random::seed(11);
        for (int j = 0; j < in.nodes.size(); ++j) {
            // Every fifth node turned far: its vertices' normals leave the gate's cone.
            const double spread = j % 5 == 0 ? 2.0 : 0.15;
            rotations << QVector<double>{1 + uniform(-spread, spread), uniform(-spread, spread),
                                         uniform(-spread, spread)};
            translations << QVector<double>{uniform(-0.05, 0.05), uniform(-0.05, 0.05), uniform(-0.05, 0.05)};
        }
        for (int i = 0; i < in.dstVertices.size(); ++i)
            in.dstMask << (i % 9 == 0);
        // Every vertex, twice over: enough rows for the thread pool.
        for (int pass = 0; pass < 2; ++pass)
            for (int v = 0; v < in.srcVertices.size(); ++v)
                in.srcFitIndices << v;
        tree.reset(KDTree::buildTree(in.dstVertices, 8));
        in.dstKdTree = tree.get();
        in.alphaPointToPoint = 0.1;
        in.alphaPointToPlane = 1.0;
        in.eIcpWeight = 3.0;
    }
};

void expectSameRows(const QVector<DerVal>& a, const QVector<DerVal>& b)
{
    ASSERT_EQ(a.size(), b.size());
    for (int i = 0; i < a.size(); ++i) {
        ASSERT_EQ(std::memcmp(&a[i].value, &b[i].value, sizeof(double)), 0) << "row " << i;
        ASSERT_EQ(a[i].derivatives.size(), b[i].derivatives.size()) << "row " << i;
        ASSERT_EQ(std::memcmp(a[i].derivatives.constData(), b[i].derivatives.constData(),
                              sizeof(double) * size_t(a[i].derivatives.size())),
                  0)
            << "row " << i;
    }
}

void expectSameMatrix(const SparseMatrix::SparseMatrixLIL& a, const SparseMatrix::SparseMatrixLIL& b)
{
    ASSERT_EQ(a.nCols, b.nCols);
    ASSERT_EQ(a.rows.size(), b.rows.size());
    for (int i = 0; i < a.rows.size(); ++i) {
        ASSERT_EQ(a.rows[i].size(), b.rows[i].size()) << "row " << i;
        for (int k = 0; k < a.rows[i].size(); ++k) {
            ASSERT_EQ(a.rows[i][k].col, b.rows[i][k].col) << "row " << i;
            ASSERT_EQ(std::memcmp(&a.rows[i][k].value, &b.rows[i][k].value, sizeof(double)), 0) << "row " << i;
        }
    }
}

struct Case {
    std::string name;
    int influence;
    std::function<void(Problem&)> change;
};

TEST(ClosestPointInlineRoute, RowsAndJacobianEqualTheDerValRoute)
{
    TestSupport::LogCapture log;  // the non-manifold vertices may be reported
    const std::vector<Case> cases = {
        {"four nodes a vertex", 4, [](Problem&) {}},
        {"seven nodes a vertex: the wider slots", 7, [](Problem&) {}},
        {"twelve nodes a vertex: DerVal throughout", 12, [](Problem&) {}},
        {"rows of every width in one block, NaN and negative weights, a row of no node", 4,
         [](Problem& p) {
             for (int v = 0; v < 40; ++v)
                 for (int j = 0; j < 3 * v && j < p.in.nodes.size(); j += 3)
                     p.in.weightsTable[v][j] = 0.05;  // from four nodes to a score
             p.in.weightsTable[50][0] = std::nan("");
             p.in.weightsTable[51][1] = -0.25;
             p.in.weightsTable[52].fill(0.0);
         }},
        {"rotations of zeros, of huge and of NaN parameters, each node's matrix formed once", 4,
         [](Problem& p) {
             p.rotations[0] = {0.0, 0.0, 0.0};
             p.rotations[1] = {1e154, -3.0, 0.0};
             p.rotations[2] = {std::nan(""), 0.1, 0.2};
             p.rotations[3] = {-0.0, 1e-300, -1e-300};
         }},
        {"influence lists picked once for the solve", 4,
         [](Problem& p) { p.in.influence = influenceTableOf(p.in.weightsTable, p.in.nodes); }},
        {"translations of four numbers: DerVal throughout", 4,
         [](Problem& p) {
             for (QVector<double>& t : p.translations)
                 t << 0.5;
         }},
        {"an empty target", 4,
         [](Problem& p) {
             p.in.dstVertices.clear();
             p.in.dstNormals.clear();
             p.in.dstMask.clear();
             p.in.dstKdTree = nullptr;
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Problem p(c.influence);
        c.change(p);
        ASSERT_GT(p.in.srcFitIndices.size(), 2048);  // the block is spread over the thread pool

        QVector<QList<int>> plainTable;
        const QVector<DerVal> plain = eIcpDerSerialThroughDerVal(p.rotations, p.translations, p.in, plainTable);
        int open = 0;
        for (const DerVal& row : plain)
            open += row.value != 0.0;
        if (p.in.dstKdTree) {
            EXPECT_GT(open, plain.size() / 4);
            EXPECT_LT(open, plain.size() - 100);  // some gates closed, some targets masked
        }

        QVector<QList<int>> serialTable, poolTable;
        expectSameRows(eIcpDerSerial(p.rotations, p.translations, p.in, serialTable), plain);
        expectSameRows(eIcpDer(p.rotations, p.translations, p.in, poolTable), plain);
        EXPECT_EQ(serialTable, plainTable);
        EXPECT_EQ(poolTable, plainTable);

        SparseMatrix::SparseMatrixLIL J;
        const QVector<double> values = eIcpJac(p.rotations, p.translations, p.in, J);
        expectSameMatrix(J, fillJacobian(plain, plainTable, p.rotations.size()));
        const QVector<double> plainValues = undifContainer(plain);
        ASSERT_EQ(values.size(), plainValues.size());
        EXPECT_EQ(std::memcmp(values.constData(), plainValues.constData(), sizeof(double) * size_t(values.size())), 0);
    }
}

struct RegularisationCase {
    std::string name;
    std::function<void(Problem&, QVector<QList<int>>&, QVector<double>&)> change;
};

TEST(RegularisationInlineRoute, RowsAndJacobianEqualTheDerValRoute)
{
    TestSupport::LogCapture log;
    const std::vector<RegularisationCase> cases = {
        {"per-node multipliers", [](Problem&, QVector<QList<int>>&, QVector<double>&) {}},
        {"NaN, negative and zero multipliers, a node of no pair, a node paired with itself",
         [](Problem&, QVector<QList<int>>& neighbours, QVector<double>& multipliers) {
             multipliers[1] = std::nan("");
             multipliers[2] = -0.5;
             multipliers[3] = 0.0;
             neighbours[4].clear();
             neighbours[5] << 5;
         }},
        {"rotations of four numbers: DerVal throughout",
         [](Problem& p, QVector<QList<int>>&, QVector<double>&) {
             for (QVector<double>& r : p.rotations)
                 r << 0.5;
         }},
    };
    for (const RegularisationCase& c : cases) {
        SCOPED_TRACE(c.name);
        Problem p(4, 3);
        QVector<QList<int>> neighbours = buildNeighboursTable(p.in.weightsTable);
        QVector<double> multipliers;
        for (int j = 0; j < p.in.nodes.size(); ++j)
            multipliers << 0.5 + 0.01 * j;
        c.change(p, neighbours, multipliers);
        ASSERT_GT(getTotalNeighbours(neighbours), 2048);  // spread over the thread pool

        QVector<QList<int>> plainPairs, pairs;
        const QVector<DerVal> plain =
            eRegDerThroughDerVal(p.rotations, p.translations, p.in.nodes, neighbours, multipliers, plainPairs);
        expectSameRows(eRegDer(p.rotations, p.translations, p.in.nodes, neighbours, multipliers, pairs), plain);
        EXPECT_EQ(pairs, plainPairs);

        // One weight for every node reads as that multiplier everywhere.
        const QVector<double> uniform(multipliers.size(), 1.7);
        expectSameRows(eRegDer(p.rotations, p.translations, p.in.nodes, neighbours, 1.7, pairs),
                       eRegDerThroughDerVal(p.rotations, p.translations, p.in.nodes, neighbours, uniform, plainPairs));
        EXPECT_EQ(pairs, plainPairs);

        SparseMatrix::SparseMatrixLIL J;
        eRegJac(p.rotations, p.translations, p.in.nodes, neighbours, multipliers, J);
        expectSameMatrix(J, fillJacobian(plain, plainPairs, p.rotations.size()));
    }
}

}  // namespace
