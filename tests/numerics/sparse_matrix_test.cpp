// List-of-lists Jacobians, their compressed-row copy and the copy into the
// solver's record; and a solve whose Jacobian takes that road.
#include "numerics/SparseMatrix.h"
#include "support/QtPrinters.h"

#include <gtest/gtest.h>

#include <QColor>

#include <cfloat>
#include <cmath>
#include <vector>

using SparseMatrix::LILEntry;
using SparseMatrix::SparseMatrixCRS;
using SparseMatrix::SparseMatrixLIL;

namespace {

SparseMatrixLIL matrix(int rows, int cols, const std::vector<std::tuple<int, int, double>>& entries)
{
    SparseMatrixLIL m(rows, cols);
    for (const auto& e : entries)
        m.append(std::get<0>(e), std::get<1>(e), std::get<2>(e));
    return m;
}

std::vector<std::pair<int, double>> rowOf(const SparseMatrixLIL& m, int i)
{
    std::vector<std::pair<int, double>> row;
    for (const LILEntry& e : m.row(i))
        row.push_back({e.col, e.value});
    return row;
}

TEST(SparseMatrixLIL, Equality)
{
    const SparseMatrixLIL empty23(2, 3);
    const SparseMatrixLIL a = matrix(2, 3, {{0, 0, 1.0}, {1, 2, 2.0}});
    const SparseMatrixLIL copy = a;

    EXPECT_FALSE(empty23 == SparseMatrixLIL(1, 3));
    EXPECT_FALSE(empty23 == SparseMatrixLIL(2, 4));
    EXPECT_FALSE(a == empty23);
    EXPECT_FALSE(a == matrix(2, 3, {{0, 0, 1.0}, {1, 2, 1.0}}));
    EXPECT_FALSE(a == matrix(2, 3, {{0, 0, 1.0}, {1, 1, 2.0}}));
    EXPECT_TRUE(a == copy);
    EXPECT_TRUE(a == a);
    // A stored zero is an entry.
    EXPECT_FALSE(empty23 == matrix(2, 3, {{0, 0, 0.0}}));
    // NaN never equals itself.
    const SparseMatrixLIL withNan = matrix(1, 1, {{0, 0, std::nan("")}});
    EXPECT_FALSE(withNan == withNan);
    EXPECT_EQ(SparseMatrixLIL().nCols, 0);
    EXPECT_EQ(SparseMatrixLIL().rows.size(), 0);
}

TEST(SparseMatrixLIL, AppendKeepsRowsSortedAndDuplicates)
{
    SparseMatrixLIL m(1, 3);
    m.append(0, 2, 5.0);
    m.append(0, 0, 7.0);
    EXPECT_EQ(rowOf(m, 0), (std::vector<std::pair<int, double>>{{0, 7.0}, {2, 5.0}}));
    EXPECT_EQ(m.at(0, 2), 5.0);
    EXPECT_EQ(m.at(0, 1), 0.0);

    // The same (row, column) twice: both kept, the dense copy holds the later one.
    SparseMatrixLIL twice(1, 2);
    twice.append(0, 1, 3.0);
    twice.append(0, 1, 4.0);
    EXPECT_EQ(twice.nonZeroCount(), 2);
    EXPECT_EQ(twice.row(0).size(), 2);
    const QVector<QVector<double>> dense = twice.toDense();
    const double later = twice.row(0).at(1).value;
    EXPECT_EQ(dense[0][1], later);
    EXPECT_EQ(dense[0][0], 0.0);

    // A column beyond nCols is stored as given; the dense copy has no place for it.
    SparseMatrixLIL wide(1, 2);
    wide.append(0, 5, 1.0);
    EXPECT_EQ(wide.row(0).at(0).col, 5);
    EXPECT_EQ(wide.toDense(), (QVector<QVector<double>>{{0.0, 0.0}}));

    // A copy does not see later appends to the original.
    SparseMatrixLIL copy = m;
    m.append(0, 1, 1.0);
    EXPECT_EQ(copy.nonZeroCount(), 2);
    EXPECT_EQ(m.nonZeroCount(), 3);

    // Many appends in arbitrary order end sorted.
    SparseMatrixLIL big(1, 100);
    for (int k = 0; k < 100; ++k)
        big.append(0, (k * 37) % 100, k);
    for (int k = 1; k < 100; ++k)
        EXPECT_LT(big.row(0).at(k - 1).col, big.row(0).at(k).col);
}

TEST(SparseMatrixLIL, ValueRange)
{
    double min = 0, max = 0;
    matrix(2, 2, {{0, 0, -3.0}, {1, 1, -1.0}}).valueRange(&min, &max);
    EXPECT_EQ(min, -3.0);
    EXPECT_EQ(max, -1.0);
    SparseMatrixLIL(3, 3).valueRange(&min, &max);
    EXPECT_EQ(min, DBL_MAX);
    EXPECT_EQ(max, -DBL_MAX);
}

TEST(SparseMatrixLIL, Image)
{
    const QImage image = matrix(2, 3, {{0, 0, 1.0}, {1, 1, 2.0}}).toImage();
    ASSERT_EQ(image.width(), 3);
    ASSERT_EQ(image.height(), 2);
    EXPECT_EQ(image.format(), QImage::Format_RGB32);
    EXPECT_EQ(image.pixel(0, 0), qRgb(0, 0, 0));
    for (int y = 0; y < 2; ++y) {
        for (int x = 0; x < 3; ++x) {
            if (x != 0 || y != 0) {
                EXPECT_EQ(image.pixel(x, y), qRgb(255, 255, 255)) << x << "," << y;
            }
        }
    }

    // A middle value gets its truncated grey level; a column outside draws nothing.
    const QImage grey = matrix(1, 3, {{0, 0, 0.0}, {0, 1, 1.0}, {0, 2, 4.0}, {0, 7, 2.0}}).toImage();
    EXPECT_EQ(grey.pixel(1, 0), qRgb(63, 63, 63));
    EXPECT_EQ(grey.width(), 3);

    // All values equal: every entry at level 0.
    const QImage flat = matrix(2, 2, {{0, 1, 5.0}, {1, 0, 5.0}}).toImage();
    EXPECT_EQ(flat.pixel(1, 0), qRgb(0, 0, 0));
    EXPECT_EQ(flat.pixel(0, 1), qRgb(0, 0, 0));
    EXPECT_EQ(flat.pixel(0, 0), qRgb(255, 255, 255));
}

TEST(SparseMatrixLIL, StackVertically)
{
    const SparseMatrixLIL stacked =
        SparseMatrix::stackVertically(matrix(2, 3, {{1, 2, 4.0}}), matrix(1, 5, {{0, 4, 6.0}}));
    EXPECT_EQ(stacked, matrix(3, 3, {{1, 2, 4.0}, {2, 4, 6.0}}));
    EXPECT_EQ(stacked.nCols, 3);
}

TEST(SparseMatrixCRS, CompressedCopyTextAndFill)
{
    splm_crsm target;
    {
        const SparseMatrixCRS crs(matrix(2, 3, {{0, 0, 1.0}, {1, 1, 2.0}}));
        EXPECT_EQ(crs.nr, 2);
        EXPECT_EQ(crs.nc, 3);
        EXPECT_EQ(crs.nnz, 2);
        EXPECT_EQ(std::vector<double>(crs.val, crs.val + 2), (std::vector<double>{1.0, 2.0}));
        EXPECT_EQ(std::vector<int>(crs.colidx, crs.colidx + 2), (std::vector<int>{0, 1}));
        EXPECT_EQ(std::vector<int>(crs.rowptr, crs.rowptr + 3), (std::vector<int>{0, 1, 2}));
        EXPECT_EQ(crs.toString(), QString("values: 1 2\ncolInd: 0 1\nrowPtr: 0 1 2\n"));

        splm_crsm_alloc(&target, crs.nr, crs.nc, crs.nnz);
        double* const val = target.val;
        SparseMatrix::fillSparseLmCRS(crs, &target);
        EXPECT_EQ(target.val, val);  // arrays stay in place
    }
    // The copy outlives the compressed-row matrix.
    EXPECT_EQ(target.nr, 2);
    EXPECT_EQ(target.nc, 3);
    EXPECT_EQ(target.nnz, 2);
    EXPECT_EQ(std::vector<double>(target.val, target.val + 2), (std::vector<double>{1.0, 2.0}));
    EXPECT_EQ(std::vector<int>(target.colidx, target.colidx + 2), (std::vector<int>{0, 1}));
    EXPECT_EQ(std::vector<int>(target.rowptr, target.rowptr + 3), (std::vector<int>{0, 1, 2}));
    splm_crsm_free(&target);

    // Numbers in the text: %g with six significant digits, empty rows kept.
    const SparseMatrixCRS text(matrix(3, 4, {{0, 3, 1.0 / 3.0}, {2, 0, -12345678.0}, {2, 1, 1e-7}}));
    EXPECT_EQ(text.toString(), QString("values: 0.333333 -1.23457e+07 1e-07\ncolInd: 3 0 1\nrowPtr: 0 1 1 3\n"));
    const SparseMatrixCRS none((SparseMatrixLIL()));
    EXPECT_EQ(none.toString(), QString("values: \ncolInd: \nrowPtr: 0\n"));
}

void fillInto(int rows, int entries)
{
    const SparseMatrixCRS crs(matrix(3, 3, {{0, 0, 1.0}, {1, 1, 1.0}, {2, 2, 1.0}}));
    splm_crsm target;
    splm_crsm_alloc(&target, rows, 3, entries);
    SparseMatrix::fillSparseLmCRS(crs, &target);
}

TEST(SparseMatrixCRSDeathTest, FillRefusesAMatrixLargerThanTheTarget)
{
    EXPECT_DEATH(fillInto(3, 2), "does not fit the solver's arrays of 3 rows and 2 entries");
    EXPECT_DEATH(fillInto(2, 8), "a Jacobian of 3 rows and 3 entries does not fit");
}

TEST(SparseMatrixCRS, FillIntoLargerTargetKeepsItsArrays)
{
    const SparseMatrixCRS crs(matrix(2, 2, {{0, 1, 3.0}}));
    splm_crsm target;
    splm_crsm_alloc(&target, 5, 2, 10);
    SparseMatrix::fillSparseLmCRS(crs, &target);
    EXPECT_EQ(target.nr, 2);
    EXPECT_EQ(target.nnz, 1);
    EXPECT_EQ(target.rowptr[2], 1);
    splm_crsm_free(&target);
}

// A chain of points on a line, pulled to their targets and held at unit
// spacing; its Jacobian is assembled as a list-of-lists matrix in two stacked
// blocks, as the registration does.
struct Chain {
    int count;
    std::vector<double> targets;

    void residuals(const double* p, double* hx) const
    {
        for (int i = 0; i < count; ++i)
            hx[i] = p[i] - targets[i];
        for (int i = 0; i + 1 < count; ++i)
            hx[count + i] = 3.0 * ((p[i + 1] - p[i]) * (p[i + 1] - p[i]) - 1.0);
    }

    SparseMatrixLIL jacobian(const double* p) const
    {
        SparseMatrixLIL pull(count, count), spacing(count - 1, count);
        for (int i = 0; i < count; ++i)
            pull.append(i, i, 1.0);
        for (int i = 0; i + 1 < count; ++i) {
            const double d = p[i + 1] - p[i];
            spacing.append(i, i + 1, 6.0 * d);  // appended out of order on purpose
            spacing.append(i, i, -6.0 * d);
        }
        return SparseMatrix::stackVertically(pull, spacing);
    }
};

void chainResiduals(double* p, double* hx, int, int, void* adata)
{
    static_cast<const Chain*>(adata)->residuals(p, hx);
}

void chainJacobian(double* p, splm_crsm* J, int, int, void* adata)
{
    const SparseMatrixCRS crs(static_cast<const Chain*>(adata)->jacobian(p));
    SparseMatrix::fillSparseLmCRS(crs, J);
}

TEST(SparseMatrixCRS, SolverSolvesAChainThroughTheListOfListsRoad)
{
    Chain chain;
    chain.count = 200;
    for (int i = 0; i < chain.count; ++i)
        chain.targets.push_back(i + 0.3 * std::sin(0.5 * i));
    std::vector<double> p(chain.count, 0.0);
    for (int i = 0; i < chain.count; ++i)
        p[i] = 0.9 * i;
    const int nobs = 2 * chain.count - 1;
    const int Jnnz = chain.count + 2 * (chain.count - 1);
    double info[SPLM_INFO_SZ];
    const int iterations = splm_crs_analytic(chainResiduals, chainJacobian, p.data(), nullptr, chain.count, 0, nobs,
                                             Jnnz, -1, 100, nullptr, info, &chain);
    ASSERT_GE(iterations, 1);

    // At the minimum the gradient J^T e vanishes.
    std::vector<double> hx(nobs);
    chain.residuals(p.data(), hx.data());
    const SparseMatrixCRS J(chain.jacobian(p.data()));
    std::vector<double> gradient(chain.count, 0.0);
    for (int r = 0; r < J.nr; ++r)
        for (int k = J.rowptr[r]; k < J.rowptr[r + 1]; ++k)
            gradient[J.colidx[k]] += J.val[k] * hx[r];
    for (int i = 0; i < chain.count; ++i)
        EXPECT_NEAR(gradient[i], 0.0, 1e-6) << i;
    // Spacing wins over the targets: neighbours end close to one apart.
    for (int i = 0; i + 1 < chain.count; ++i)
        EXPECT_NEAR(p[i + 1] - p[i], 1.0, 0.05) << i;
    EXPECT_LT(info[1], info[0]);
}

}  // namespace
