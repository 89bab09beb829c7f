// The three energy terms and their stacked residuals and Jacobian, against central differences.
#include "WavySheet.h"
#include "registration/ClosestPointTerm.h"
#include "registration/ControlPointTerm.h"
#include "registration/DifferentiableParameters.h"
#include "registration/EmbeddedDeformation.h"
#include "registration/EuclideanWeights.h"
#include "registration/NeighboursTable.h"
#include "registration/RegistrationEnergy.h"
#include "registration/RegularisationTerm.h"
#include "registration/SubsetDeformation.h"

#include "numerics/Random.h"
#include "spatial/KDTree.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <cmath>
#include <functional>
#include <memory>

using namespace NonRigidRegistration;
using SparseMatrix::SparseMatrixLIL;

namespace {

using Table = QVector<QVector<double>>;
using Tree = std::unique_ptr<KDTree::NodeBase>;

const QVector<double> kIdentity{1, 0, 0};

using WavySheet::sheetNormal;
using WavySheet::sheetPoint;
using WavySheet::uniform;

// A small random registration problem: template points on the sheet, six nodes among them,
// four-node weights, random node transforms near the identity, and a lifted target sheet. The
// inputs are the solver's record; the weights are given with each call.
struct SmallGraph : RegistrationInputs {
    Table rotations, translations;
    Tree tree;

    explicit SmallGraph(unsigned seed)
    {
        Random::seed(seed);
        for (int i = 0; i < 60; ++i) {
            const double x = uniform(-1, 1), y = uniform(-1, 1);
            srcVertices << sheetPoint(x, y, 0.0);
            srcNormals << sheetNormal(x, y);
        }
        for (int j = 0; j < 6; ++j)
            nodes << srcVertices[10 * j];
        weightsTable = buildWeightsTable(srcVertices, nodes, 4);
        neighboursTable = buildNeighboursTable(weightsTable);
        for (int j = 0; j < nodes.size(); ++j) {
            rotations << QVector<double>{1 + uniform(-0.15, 0.15), uniform(-0.15, 0.15), uniform(-0.15, 0.15)};
            translations << QVector<double>{uniform(-0.1, 0.1), uniform(-0.1, 0.1), uniform(-0.1, 0.1)};
            eRegMultipliers << uniform(0.5, 2.0);
        }
        for (int i = 0; i < 400; ++i) {
            const double x = uniform(-1.2, 1.2), y = uniform(-1.2, 1.2);
            dstVertices << sheetPoint(x, y, 0.05);
            dstNormals << sheetNormal(x, y);
            dstMask << (i % 7 == 0);
        }
        for (int i = 0; i < srcVertices.size(); i += 2)
            srcFitIndices << i;
        srcControlIndices = {3, 17, 42};
        dstControlVertices = {QVector3D(0.1f, 0.2f, 0.3f), QVector3D(-0.5f, 0.4f, 0.0f), QVector3D(0.7f, -0.6f, 0.2f)};
        tree.reset(KDTree::buildTree(dstVertices, 8));
        dstKdTree = tree.get();
    }

    QVector<double> icp(const Table& r, const Table& t) const
    {
        return eIcp(r, t, nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals,
                    tree.get(), dstMask, 0.1, 1.0, 3.0);
    }
    QVector<double> icpJac(const Table& r, const Table& t, SparseMatrixLIL& J) const
    {
        return eIcpJac(r, t, nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals,
                       tree.get(), dstMask, 0.1, 1.0, 3.0, J);
    }
    QVector<double> all(const Table& r, const Table& t) const
    {
        return errorMetric(r, t, nodes, weightsTable, neighboursTable, srcVertices, srcNormals, dstVertices, dstNormals,
                           tree.get(), dstMask, srcFitIndices, srcControlIndices, dstControlVertices, 10.0,
                           eRegMultipliers, 3.0, 0.1, 1.0);
    }
    QVector<double> allJac(const Table& r, const Table& t, SparseMatrixLIL& J, JacobianTimings* timings) const
    {
        return jacobian(r, t, nodes, weightsTable, neighboursTable, srcVertices, srcNormals, dstVertices, dstNormals,
                        tree.get(), dstMask, srcFitIndices, srcControlIndices, dstControlVertices, 10.0,
                        eRegMultipliers, 3.0, 0.1, 1.0, J, timings);
    }
};

using Residuals = std::function<QVector<double>(const Table&, const Table&)>;

// Every column of J against central differences of the residuals in that parameter.
void expectMatchesCentralDifferences(const Residuals& f, const Table& rotations, const Table& translations,
                                     const SparseMatrixLIL& J)
{
    const double h = 1e-6;
    const QVector<QVector<double>> dense = J.toDense();
    ASSERT_EQ(J.nCols, 6 * rotations.size());
    for (int col = 0; col < J.nCols; ++col) {
        const int node = col / 6, c = col % 6;
        Table rPlus = rotations, rMinus = rotations, tPlus = translations, tMinus = translations;
        if (c < 3) {
            rPlus[node][c] += h;
            rMinus[node][c] -= h;
        } else {
            tPlus[node][c - 3] += h;
            tMinus[node][c - 3] -= h;
        }
        const QVector<double> plus = f(rPlus, tPlus), minus = f(rMinus, tMinus);
        ASSERT_EQ(plus.size(), dense.size());
        for (int row = 0; row < dense.size(); ++row) {
            const double numeric = (plus[row] - minus[row]) / (2 * h);
            EXPECT_NEAR(dense[row][col], numeric, 1e-6 * (1 + std::fabs(numeric)))
                << "row " << row << ", column " << col;
        }
    }
}

int rowsWithDerivatives(const SparseMatrixLIL& J)
{
    int count = 0;
    for (const auto& row : J.rows)
        for (const auto& entry : row)
            if (entry.value != 0.0) {
                ++count;
                break;
            }
    return count;
}

}  // namespace

TEST(EnergyTerms, SubsetDeformationAgreesWithTheWholeGraph)
{
    const SmallGraph g(11);
    for (int v = 0; v < g.srcVertices.size(); v += 5) {
        const QList<int> L = getNonZeroElementIndices(g.weightsTable[v]);
        const Vec<double> subsetPosition =
            deformVertexSubset(subset(g.rotations, L), subset(g.translations, L), g.srcVertices[v], subset(g.nodes, L),
                               subset(g.weightsTable[v], L));
        const Vec<double> whole =
            deformVertexByGraph(g.rotations, g.translations, g.srcVertices[v], g.nodes, g.weightsTable[v]);
        QVector<QVector<DerVal>> rs, ts;
        makeParamsDifferentiable(subset(g.rotations, L), subset(g.translations, L), rs, ts);
        const Vec<DerVal> differentiable =
            deformVertexSubset(rs, ts, g.srcVertices[v], subset(g.nodes, L), subset(g.weightsTable[v], L));
        const Vec<double> normal = deformNormalSubset(subset(g.rotations, L), g.srcNormals[v], subset(g.nodes, L),
                                                      subset(g.weightsTable[v], L));
        const Vec<double> wholeNormal = deformNormalByGraph(g.rotations, g.srcNormals[v], g.nodes, g.weightsTable[v]);
        for (int k = 0; k < 3; ++k) {
            EXPECT_NEAR(subsetPosition[k], whole[k], 1e-12) << v;
            EXPECT_NEAR(differentiable[k].value, subsetPosition[k], 1e-12) << v;
            EXPECT_EQ(differentiable[k].derivatives.size(), 6 * L.size());
            EXPECT_NEAR(normal[k], wholeNormal[k], 1e-12) << v;
        }
    }
    // No influence node: the origin, and a normal that is not a number.
    EXPECT_EQ(deformVertexSubset(Table(), Table(), QVector3D(1, 2, 3), {}, {}), Vec<double>(3, 0.0));
    EXPECT_TRUE(std::isnan(deformNormalSubset(Table(), QVector3D(0, 1, 0), {}, {})[1]));
}

TEST(EnergyTerms, RegularisationOfThreeNodesInARow)
{
    // Nodes at x = -1, 0, 1; the middle one lifted by 1: every pair is 1 off its rigid place.
    const QVector<QVector3D> nodes{QVector3D(-1, 0, 0), QVector3D(0, 0, 0), QVector3D(1, 0, 0)};
    const Table r{kIdentity, kIdentity, kIdentity};
    const Table t{{0, 0, 0}, {0, 1, 0}, {0, 0, 0}};
    const QVector<QList<int>> neighbours{{1}, {0, 2}, {1}};

    EXPECT_EQ(eReg(r, t, nodes, neighbours, 10.0), QVector<double>({10, 10, 10, 10}));
    EXPECT_EQ(eReg(r, t, nodes, neighbours, QVector<double>{1, 10, 1}), QVector<double>({1, 10, 10, 1}));

    QVector<QList<int>> table;
    EXPECT_EQ(undifContainer(eRegDer(r, t, nodes, neighbours, 10.0, table)), QVector<double>({10, 10, 10, 10}));
    const QVector<QList<int>> pairs{{0, 1}, {1, 0}, {1, 2}, {2, 1}};
    EXPECT_EQ(table, pairs);
    const QVector<DerVal> weighted = eRegDer(r, t, nodes, neighbours, QVector<double>{1, 10, 1}, table);
    EXPECT_EQ(undifContainer(weighted), QVector<double>({1, 10, 10, 1}));
    EXPECT_EQ(table, pairs);
    for (const DerVal& residual : weighted) {
        ASSERT_EQ(residual.derivatives.size(), 12);
        for (int k = 6; k < 9; ++k)
            EXPECT_EQ(residual.derivatives[k], 0.0);  // k's rotation never enters
    }

    SparseMatrixLIL J;
    EXPECT_EQ(eRegJac(r, t, nodes, neighbours, 10.0, J), QVector<double>({10, 10, 10, 10}));
    ASSERT_EQ(J.rows.size(), 4);
    EXPECT_EQ(J.nCols, 18);
    for (const auto& row : J.rows)
        EXPECT_EQ(row.size(), 12);
    // Pair (1, 2): columns 6 .. 17, of which node 2's rotation columns hold zeros.
    EXPECT_EQ(J.row(2).first().col, 6);
    EXPECT_EQ(J.row(2).last().col, 17);
    for (int c = 12; c < 15; ++c)
        EXPECT_EQ(J.at(2, c), 0.0);
}

TEST(EnergyTerms, ControlPointBetweenTwoNodes)
{
    // The vertex halfway between two nodes rides 0.7 up with both; its target is 1 up.
    const QVector<QVector3D> nodes{QVector3D(-1, 0, 0), QVector3D(1, 0, 0)};
    const Table r{kIdentity, kIdentity}, t{{0, 0.7, 0}, {0, 0.7, 0}};
    const QVector<QVector3D> src{QVector3D(0, 0, 0)};
    const Table weights{{0.5, 0.5}};
    const QVector<QVector3D> dst{QVector3D(0, 1, 0)};

    const QVector<double> values = eCon(r, t, src, {0}, dst, nodes, weights, 10.0);
    ASSERT_EQ(values.size(), 1);
    EXPECT_NEAR(values[0], 3.0, 1e-12);

    QVector<QList<int>> table;
    const QVector<DerVal> der = eConDer(r, t, src, {0}, dst, nodes, weights, 10.0, table);
    ASSERT_EQ(der.size(), 1);
    EXPECT_NEAR(der[0].value, 3.0, 1e-12);
    EXPECT_EQ(der[0].derivatives.size(), 12);
    EXPECT_EQ(table, QVector<QList<int>>({{0, 1}}));
    // Lifting either node by dy raises the vertex by dy / 2: d(residual)/dy = -10 / 2.
    EXPECT_NEAR(der[0].derivatives[4], -5.0, 1e-12);
    EXPECT_NEAR(der[0].derivatives[10], -5.0, 1e-12);

    // On target: value 0 and zero derivatives, but the row keeps all its entries.
    SparseMatrixLIL J;
    const QVector<double> onTarget = eConJac(r, Table{{0, 1, 0}, {0, 1, 0}}, src, {0}, dst, nodes, weights, 10.0, J);
    EXPECT_EQ(onTarget, QVector<double>({0.0}));
    EXPECT_EQ(J.row(0).size(), 12);
    EXPECT_EQ(J.toDense(), QVector<QVector<double>>(1, QVector<double>(12, 0.0)));
}

TEST(EnergyTerms, ClosestPointGateMaskAndSign)
{
    // Two nodes at x = -1 and 1 lift the vertex at the origin (normal +y) to (0, 1, 0).
    const QVector<QVector3D> nodes{QVector3D(-1, 0, 0), QVector3D(1, 0, 0)};
    const Table r{kIdentity, kIdentity}, t{{0, 1, 0}, {0, 1, 0}};
    const QVector<QVector3D> src{QVector3D(0, 0, 0)}, srcNormals{QVector3D(0, 1, 0)};
    const Table weights{{0.5, 0.5}};

    struct Case {
        const char* name;
        QVector<QVector3D> dst, dstNormals;
        QVector<bool> mask;
        double weight;
        double expected;
        bool pulls;  // gate open and target not masked
    };
    const QVector3D up(0, 1, 0), down(0, -1, 0), side(1, 0, 0);
    const QList<Case> cases{
        {"90 degrees apart", {QVector3D(-1, 2, 0)}, {side}, {false}, 10, 0.0, false},
        {"opposite normals", {QVector3D(0, 2, 0)}, {down}, {false}, 1, 0.0, false},
        {"sideways normal", {QVector3D(0, 2, 0)}, {side}, {false}, 1, 0.0, false},
        {"masked", {QVector3D(-1, 2, 0)}, {side}, {true}, 1, 0.0, false},
        {"masked, gate open", {QVector3D(0, 2, 0)}, {up}, {true}, 1, 0.0, false},
        // On the target the residual is 0 but still pulls along the normal.
        {"coinciding nearest", {QVector3D(0, 2, 0), QVector3D(0, 1, 0)}, {up, up}, {false, false}, 1, 0.0, true},
        {"in front of the plane", {QVector3D(0, 2, 0)}, {up}, {false}, 1, 0.1 * 1 + 1 * -1, true},
        {"weighted", {QVector3D(0, 2, 0)}, {up}, {false}, 10, (0.1 * 1 + 1 * -1) * 10, true},
        {"behind the plane", {QVector3D(0, 0.5, 0)}, {up}, {false}, 1, 0.1 * 0.5 + 1 * 0.5, true},
    };
    for (const Case& c : cases) {
        const Tree tree(KDTree::buildTree(c.dst, 1));
        const QVector<double> values = eIcp(r, t, nodes, weights, src, srcNormals, {0}, c.dst, c.dstNormals, tree.get(),
                                            c.mask, 0.1, 1.0, c.weight);
        ASSERT_EQ(values.size(), 1) << c.name;
        EXPECT_NEAR(values[0], c.expected, 1e-12) << c.name;

        QVector<QList<int>> table;
        const QVector<DerVal> der = eIcpDer(r, t, nodes, weights, src, srcNormals, {0}, c.dst, c.dstNormals, tree.get(),
                                            c.mask, 0.1, 1.0, c.weight, table);
        ASSERT_EQ(der.size(), 1) << c.name;
        EXPECT_NEAR(der[0].value, values[0], 1e-12) << c.name;
        EXPECT_EQ(table, QVector<QList<int>>({{0, 1}})) << c.name;
        bool anyDerivative = false;
        for (double d : der[0].derivatives)
            anyDerivative = anyDerivative || d != 0.0;
        EXPECT_EQ(anyDerivative, c.pulls) << c.name;
    }
    // A tree over one point answers every query with it.
    const Tree single(KDTree::buildTree(QVector<QVector3D>{QVector3D(-1, 0, 0)}, 1));
    EXPECT_EQ(single->findNearestPointInd(QVector3D(0, 1, 0), {QVector3D(-1, 0, 0)}, nullptr), 0);
}

TEST(EnergyTerms, ClosestPointRowsWithoutNodesOrTargetAreZero)
{
    // A fit vertex with no influence node, and an empty target: no pull, no entries.
    const QVector<QVector3D> nodes{QVector3D(0, 0, 0)};
    const Table r{kIdentity}, t{{0, 0, 0}};
    const QVector<QVector3D> src{QVector3D(0, 0, 0)}, normals{QVector3D(0, 1, 0)};
    const QVector<QVector3D> dst{QVector3D(0, 1, 0)};
    const Tree tree(KDTree::buildTree(dst, 1));
    SparseMatrixLIL J;
    EXPECT_EQ(eIcpJac(r, t, nodes, Table{{0.0}}, src, normals, {0}, dst, normals, tree.get(), {false}, 0.1, 1, 1, J),
              QVector<double>({0.0}));
    EXPECT_EQ(J.row(0).size(), 0);
    EXPECT_EQ(eIcp(r, t, nodes, Table{{1.0}}, src, normals, {0}, {}, {}, nullptr, {}, 0.1, 1, 1),
              QVector<double>({0.0}));
    EXPECT_EQ(eIcpJac(r, t, nodes, Table{{1.0}}, src, normals, {0}, {}, {}, nullptr, {}, 0.1, 1, 1, J),
              QVector<double>({0.0}));
    EXPECT_EQ(J.row(0).size(), 6);
}

TEST(EnergyTerms, EveryJacobianBlockMatchesCentralDifferences)
{
    for (unsigned seed : {3u, 29u, 101u}) {
        SCOPED_TRACE(seed);
        const SmallGraph g(seed);
        SparseMatrixLIL J;

        const QVector<double> con = eConJac(g.rotations, g.translations, g.srcVertices, g.srcControlIndices,
                                            g.dstControlVertices, g.nodes, g.weightsTable, 10.0, J);
        const Residuals conF = [&](const Table& r, const Table& t) {
            return eCon(r, t, g.srcVertices, g.srcControlIndices, g.dstControlVertices, g.nodes, g.weightsTable, 10.0);
        };
        EXPECT_EQ(con, conF(g.rotations, g.translations));
        expectMatchesCentralDifferences(conF, g.rotations, g.translations, J);

        const QVector<double> reg =
            eRegJac(g.rotations, g.translations, g.nodes, g.neighboursTable, g.eRegMultipliers, J);
        const Residuals regF = [&](const Table& r, const Table& t) {
            return eReg(r, t, g.nodes, g.neighboursTable, g.eRegMultipliers);
        };
        ASSERT_EQ(reg.size(), getTotalNeighbours(g.neighboursTable));
        for (int i = 0; i < reg.size(); ++i)
            EXPECT_NEAR(reg[i], regF(g.rotations, g.translations)[i], 1e-12);
        expectMatchesCentralDifferences(regF, g.rotations, g.translations, J);

        const QVector<double> icp = g.icpJac(g.rotations, g.translations, J);
        const Residuals icpF = [&](const Table& r, const Table& t) { return g.icp(r, t); };
        const QVector<double> icpValues = icpF(g.rotations, g.translations);
        for (int i = 0; i < icp.size(); ++i)
            EXPECT_NEAR(icp[i], icpValues[i], 1e-12);
        // Most rows pull (gate open, target not masked); the check means something.
        EXPECT_GT(rowsWithDerivatives(J), g.srcFitIndices.size() / 2);
        expectMatchesCentralDifferences(icpF, g.rotations, g.translations, J);
    }
}

TEST(EnergyTerms, StackedResidualsAndJacobian)
{
    const SmallGraph g(57);
    SparseMatrixLIL J, con, reg, icp;
    JacobianTimings timings;
    const QVector<double> all = g.allJac(g.rotations, g.translations, J, &timings);
    EXPECT_EQ(all, g.all(g.rotations, g.translations));

    // Control rows, then regularisation rows, then closest-point rows.
    QVector<double> expected = eConJac(g.rotations, g.translations, g.srcVertices, g.srcControlIndices,
                                       g.dstControlVertices, g.nodes, g.weightsTable, 10.0, con);
    expected << eRegJac(g.rotations, g.translations, g.nodes, g.neighboursTable, g.eRegMultipliers, reg);
    expected << g.icpJac(g.rotations, g.translations, icp);
    EXPECT_EQ(all, expected);
    EXPECT_EQ(J, SparseMatrix::stackVertically(SparseMatrix::stackVertically(con, reg), icp));
    expectMatchesCentralDifferences([&](const Table& r, const Table& t) { return g.all(r, t); }, g.rotations,
                                    g.translations, J);

    // The pattern depends on the influence lists only: other parameters, same stored positions.
    Table moved = g.rotations;
    moved[2] = {0.3, -0.9, 0.4};
    SparseMatrixLIL J2;
    g.allJac(moved, g.translations, J2, nullptr);
    ASSERT_EQ(J2.rows.size(), J.rows.size());
    for (int i = 0; i < J.rows.size(); ++i) {
        ASSERT_EQ(J2.row(i).size(), J.row(i).size()) << i;
        for (int k = 0; k < J.row(i).size(); ++k)
            EXPECT_EQ(J2.row(i).at(k).col, J.row(i).at(k).col);
    }

    // Without control pairs the matrix starts with the regularisation rows, 6 × nodes wide.
    SparseMatrixLIL noControl;
    jacobian(g.rotations, g.translations, g.nodes, g.weightsTable, g.neighboursTable, g.srcVertices, g.srcNormals,
             g.dstVertices, g.dstNormals, g.tree.get(), g.dstMask, g.srcFitIndices, {}, {}, 10.0, 2.0, 3.0, 0.1, 1.0,
             noControl);
    EXPECT_EQ(noControl.nCols, 6 * g.nodes.size());
    EXPECT_EQ(noControl.rows.size(), getTotalNeighbours(g.neighboursTable) + g.srcFitIndices.size());
    SparseMatrixLIL regUniform;
    eRegJac(g.rotations, g.translations, g.nodes, g.neighboursTable, 2.0, regUniform);
    SparseMatrixLIL head = noControl;
    head.rows.resize(regUniform.rows.size());
    EXPECT_EQ(head, regUniform);
}

TEST(EnergyTerms, ParallelClosestPointRowsEqualTheSerialOnes)
{
    // Enough fit rows to be spread over the thread pool.
    SmallGraph g(77);
    g.srcFitIndices.clear();
    for (int i = 0; i < 5000; ++i)
        g.srcFitIndices << i % g.srcVertices.size();
    QVector<QList<int>> parallelTable, serialTable;
    const QVector<DerVal> parallel =
        eIcpDer(g.rotations, g.translations, g.nodes, g.weightsTable, g.srcVertices, g.srcNormals, g.srcFitIndices,
                g.dstVertices, g.dstNormals, g.tree.get(), g.dstMask, 0.1, 1.0, 3.0, parallelTable);
    const ClosestPointInputs inputs{g.nodes,
                                    g.weightsTable,
                                    g.srcVertices,
                                    g.srcNormals,
                                    g.srcFitIndices,
                                    g.dstVertices,
                                    g.dstNormals,
                                    g.tree.get(),
                                    g.dstMask,
                                    0.1,
                                    1.0,
                                    3.0};
    const QVector<DerVal> serial = eIcpDerSerial(g.rotations, g.translations, inputs, serialTable);
    EXPECT_TRUE(parallel == serial);
    EXPECT_EQ(parallelTable, serialTable);
    EXPECT_EQ(g.icp(g.rotations, g.translations), eIcpSerial(g.rotations, g.translations, inputs));
}
