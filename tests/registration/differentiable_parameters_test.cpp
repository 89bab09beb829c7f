// Influence nodes, seeding and stripping derivatives, and filling the sparse Jacobian rows.
#include "registration/DifferentiableParameters.h"
#include "registration/RegistrationEnergy.h"

#include <gtest/gtest.h>

#include <cmath>
#include <limits>

using namespace NonRigidRegistration;
using SparseMatrix::SparseMatrixLIL;

namespace {

// The plain route the fast row building must reproduce: append every entry, sorting each time.
SparseMatrixLIL appendedJacobian(const QVector<DerVal>& residuals, const QVector<QList<int>>& table, int nNodes)
{
    SparseMatrixLIL m(residuals.size(), 6 * nNodes);
    for (int i = 0; i < residuals.size(); ++i)
        for (int p = 0; p < table[i].size(); ++p)
            for (int c = 0; c < 6; ++c)
                m.append(i, 6 * table[i][p] + c, residuals[i].derivatives[6 * p + c]);
    return m;
}

DerVal withOnes(int slotCount, const QList<int>& ones)
{
    DerVal x(0.5, slotCount);
    for (int k : ones)
        x.derivatives[k] = 1.0;
    return x;
}

}  // namespace

TEST(DifferentiableParameters, NonZeroIndicesAndSubsets)
{
    EXPECT_EQ(getNonZeroElementIndices({0, 0, -5, 10, 0}), QList<int>({2, 3}));
    EXPECT_EQ(getNonZeroElementIndices({}), QList<int>());
    // -0.0 is zero; NaN is not.
    EXPECT_EQ(getNonZeroElementIndices({-0.0, std::numeric_limits<double>::quiet_NaN(), 0.0}), QList<int>({1}));

    EXPECT_EQ(subset(QVector<double>{0, 1, 2, 3}, {1, 2}), QVector<double>({1, 2}));
    EXPECT_EQ(subset(QVector<double>{0, 1, 2, 3}, {3, 3, 0}), QVector<double>({3, 3, 0}));
    EXPECT_EQ(subset(QVector<QVector3D>{QVector3D(1, 0, 0), QVector3D(0, 2, 0)}, {1}),
              QVector<QVector3D>({QVector3D(0, 2, 0)}));
    EXPECT_EQ(subset(QVector<QVector<double>>{{1, 2, 3}, {4, 5, 6}}, {1, 0}),
              (QVector<QVector<double>>{{4, 5, 6}, {1, 2, 3}}));
}

TEST(DifferentiableParameters, SeedingAndStripping)
{
    const QVector<DerVal> v = makeVectorDifferentiable({1, 2}, 3, 1);
    ASSERT_EQ(v.size(), 2);
    EXPECT_EQ(v[0], DerVal(1, QVector<double>({0, 1, 0})));
    EXPECT_EQ(v[1], DerVal(2, QVector<double>({0, 0, 1})));

    QVector<QVector<DerVal>> rs, ts;
    makeParamsDifferentiable({{1, 2, 3}, {4, 5, 6}}, {{7, 8, 9}, {10, 11, 12}}, rs, ts);
    ASSERT_EQ(rs.size(), 2);
    ASSERT_EQ(ts.size(), 2);
    // Node p owns slots 6p .. 6p+2 (rotation) and 6p+3 .. 6p+5 (translation).
    for (int p = 0; p < 2; ++p) {
        for (int c = 0; c < 3; ++c) {
            QVector<double> r(12, 0.0), t(12, 0.0);
            r[6 * p + c] = 1.0;
            t[6 * p + 3 + c] = 1.0;
            EXPECT_EQ(rs[p][c], DerVal(1 + 3 * p + c, r)) << p << c;
            EXPECT_EQ(ts[p][c], DerVal(7 + 3 * p + c, t)) << p << c;
        }
    }
    // No node: nothing to seed, and any earlier content is gone.
    makeParamsDifferentiable({}, {}, rs, ts);
    EXPECT_TRUE(rs.isEmpty());
    EXPECT_TRUE(ts.isEmpty());

    const QVector<DerVal> pair{DerVal(1, QVector<double>{1, 0}), DerVal(2, QVector<double>{0, 1})};
    EXPECT_EQ(undifContainer(pair), QVector<double>({1, 2}));
    EXPECT_EQ(undifContainer(Vec<DerVal>(pair)), Vec<double>(QVector<double>{1, 2}));
}

TEST(DifferentiableParameters, FillJacobianStoresEveryEntryOfTheInfluenceNodes)
{
    const QVector<DerVal> residuals{withOnes(18, {0, 6}), withOnes(18, {0, 7, 13}), withOnes(18, {1})};
    const QVector<QList<int>> table{{0, 1}, {0, 1, 2}, {2}};
    const SparseMatrixLIL m = fillJacobian(residuals, table, 3);

    SparseMatrixLIL expected(3, 18);
    for (int c = 0; c < 12; ++c)
        expected.append(0, c, c == 0 || c == 6 ? 1.0 : 0.0);
    for (int c = 0; c < 18; ++c)
        expected.append(1, c, c == 0 || c == 7 || c == 13 ? 1.0 : 0.0);
    for (int c = 12; c < 18; ++c)
        expected.append(2, c, c == 13 ? 1.0 : 0.0);
    EXPECT_EQ(m, expected);
    EXPECT_EQ(m.nonZeroCount(), 12 + 18 + 6);
}

TEST(DifferentiableParameters, FillJacobianRowsRunInColumnOrderWhateverTheListOrder)
{
    // List {2, 0}: local slots 6..11 (node 0) land before local slots 0..5 (node 2).
    DerVal r(0.0, 12);
    for (int k = 0; k < 12; ++k)
        r.derivatives[k] = 100 + k;
    const SparseMatrixLIL m = fillJacobian({r}, {{2, 0}}, 3);
    ASSERT_EQ(m.row(0).size(), 12);
    for (int q = 0; q < 12; ++q) {
        const int col = q < 6 ? q : 12 + (q - 6);
        const double value = q < 6 ? 106 + q : 100 + (q - 6);
        EXPECT_EQ(m.row(0).at(q).col, col);
        EXPECT_EQ(m.row(0).at(q).value, value);
    }
    // An all-zero (or constant) residual keeps its full pattern.
    const SparseMatrixLIL zeros = fillJacobian({DerVal(3.0, 12), DerVal(3.0)}, {{1, 0}, {1}}, 2);
    EXPECT_EQ(zeros.row(0).size(), 12);
    EXPECT_EQ(zeros.row(1).size(), 6);
    EXPECT_EQ(zeros.toDense(), QVector<QVector<double>>(2, QVector<double>(12, 0.0)));
}

TEST(DifferentiableParameters, FillJacobianMatchesEntryByEntryAppending)
{
    // Lists in every order, of every length up to ten nodes, a repeated node included.
    QVector<DerVal> residuals;
    QVector<QList<int>> table;
    const QList<QList<int>> lists{{}, {4}, {3, 1}, {0, 5, 2}, {9, 8, 7, 6, 5, 4, 3, 2, 1, 0}, {2, 7, 2}};
    for (const QList<int>& list : lists) {
        DerVal r(1.0, 6 * list.size());
        for (int k = 0; k < r.derivatives.size(); ++k)
            r.derivatives[k] = std::sin(1.0 + k * list.size());
        residuals << r;
        table << list;
    }
    EXPECT_EQ(fillJacobian(residuals, table, 10), appendedJacobian(residuals, table, 10));
}

TEST(DifferentiableParameters, StackingSortedRowsEqualsStackVertically)
{
    const QVector<DerVal> a{withOnes(12, {1, 8}), withOnes(6, {5})};
    const QVector<DerVal> b{withOnes(18, {0, 17})};
    const SparseMatrixLIL top = fillJacobian(a, {{3, 1}, {0}}, 4);
    const SparseMatrixLIL bottom = fillJacobian(b, {{2, 0, 3}}, 4);
    EXPECT_EQ(stackSortedRows(top, bottom), SparseMatrix::stackVertically(top, bottom));
    EXPECT_EQ(stackSortedRows(SparseMatrixLIL(0, 24), bottom),
              SparseMatrix::stackVertically(SparseMatrixLIL(0, 24), bottom));
    // A row with a repeated column goes the plain way.
    SparseMatrixLIL repeated(1, 24);
    repeated.append(0, 5, 1.0);
    repeated.append(0, 5, 2.0);
    EXPECT_EQ(stackSortedRows(repeated, bottom), SparseMatrix::stackVertically(repeated, bottom));
}

TEST(DifferentiableParameters, SmallNumericFunctions)
{
    const Vec<double> x(QVector3D(1, 0, 0)), y(QVector3D(0, 1, 0));
    EXPECT_EQ(angleBetweenVectors(x, y), 1.5707963267948966);
    EXPECT_EQ(angleBetweenVectors(x, x), 0.0);
    EXPECT_NEAR(angleBetweenVectors(x, Vec<double>(QVector3D(-1, 1, 0))), 3 * M_PI / 4, 1e-15);
    EXPECT_TRUE(std::isnan(angleBetweenVectors(x, Vec<double>(QVector3D(0, 0, 0)))));

    EXPECT_EQ(degToRad(90), M_PI / 2);
    EXPECT_EQ(degToRad(0), 0.0);

    EXPECT_EQ(map3DTo1DIndex(0, 0, 0, 2, 3, 4), 0);
    EXPECT_EQ(map3DTo1DIndex(1, 0, 3, 2, 3, 4), 15);
    EXPECT_EQ(map3DTo1DIndex(0, 0, 0, 1, 1, 1), 0);
}
