// Normal equations (pattern and values of J^T J, J^T e) and the CHOLMOD solve.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_cholmod.h"

#include "grid_operator.h"
#include "support/OutputCapture.h"

#include <gtest/gtest.h>
#include <omp.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <functional>
#include <random>
#include <string>
#include <thread>
#include <vector>

namespace {

using Dense = std::vector<std::vector<double>>;

// Compressed-row record of the entries of a dense matrix that are not zero.
splm_crsm rowsOf(const Dense& a)
{
    int count = 0;
    for (const auto& row : a)
        count += int(std::count_if(row.begin(), row.end(), [](double v) { return v != 0.0; }));
    splm_crsm m;
    splm_crsm_alloc(&m, int(a.size()), int(a[0].size()), count);
    int k = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        m.rowptr[i] = k;
        for (size_t j = 0; j < a[i].size(); ++j) {
            if (a[i][j] != 0.0) {
                m.colidx[k] = int(j);
                m.val[k++] = a[i][j];
            }
        }
    }
    m.rowptr[a.size()] = k;
    return m;
}

struct Lower {
    std::vector<int> colptr, rowidx;
    std::vector<double> val;
};

Lower contents(const splm_ccsm& m)
{
    Lower l;
    l.colptr.assign(m.colptr, m.colptr + m.nc + 1);
    l.rowidx.assign(m.rowidx, m.rowidx + m.colptr[m.nc]);
    l.val.assign(m.val, m.val + m.colptr[m.nc]);
    return l;
}

TEST(NormalEquations, SmallExampleWithAndWithoutAConstantColumn)
{
    splm_crsm J = rowsOf({{1.0, 2.0}, {0.0, 3.0}});
    const double b[2] = {1.0, 1.0};

    splm_ccsm AtA;
    AtA.nnz = -1;
    splm_setup_AtA_crsA(&J, 0, &AtA, 1);
    double Atb[2];
    splm_calc_AtA_Atb_crsA(&J, 0, &AtA, 1, b, Atb);
    const Lower full = contents(AtA);
    EXPECT_EQ(full.colptr, (std::vector<int>{0, 2, 3}));
    EXPECT_EQ(full.rowidx, (std::vector<int>{0, 1, 1}));
    EXPECT_EQ(full.val, (std::vector<double>{1.0, 2.0, 13.0}));
    EXPECT_EQ(AtA.nnz, 3);
    EXPECT_EQ(Atb[0], 1.0);
    EXPECT_EQ(Atb[1], 5.0);
    splm_ccsm_free(&AtA);

    AtA.nnz = -1;
    splm_setup_AtA_crsA(&J, 1, &AtA, 1);
    double Atb1[1];
    splm_calc_AtA_Atb_crsA(&J, 1, &AtA, 1, b, Atb1);
    EXPECT_EQ(AtA.nr, 1);
    EXPECT_EQ(AtA.nc, 1);
    EXPECT_EQ(contents(AtA).val, (std::vector<double>{13.0}));
    EXPECT_EQ(Atb1[0], 5.0);
    splm_ccsm_free(&AtA);
    splm_crsm_free(&J);
}

TEST(NormalEquations, PatternFollowsSharedRowsOnly)
{
    // Columns 0 and 1 share row 0, column 2 shares no row, column 3 is empty.
    splm_crsm J = rowsOf({{1.0, 1.0, 0.0, 0.0}, {0.0, 0.0, 2.0, 0.0}, {3.0, 0.0, 0.0, 0.0}});
    splm_ccsm AtA;
    AtA.nnz = -1;
    splm_setup_AtA_crsA(&J, 0, &AtA, 1);
    EXPECT_EQ(std::vector<int>(AtA.colptr, AtA.colptr + 5), (std::vector<int>{0, 2, 3, 4, 4}));
    EXPECT_EQ(std::vector<int>(AtA.rowidx, AtA.rowidx + 4), (std::vector<int>{0, 1, 1, 2}));
    splm_ccsm_free(&AtA);

    AtA.nnz = -1;
    splm_setup_AtA_crsA(&J, 0, &AtA, 2);  // both triangles
    EXPECT_EQ(std::vector<int>(AtA.colptr, AtA.colptr + 5), (std::vector<int>{0, 2, 4, 5, 5}));
    EXPECT_EQ(std::vector<int>(AtA.rowidx, AtA.rowidx + 5), (std::vector<int>{0, 1, 0, 1, 2}));
    splm_ccsm_free(&AtA);
    splm_crsm_free(&J);
}

// Random Jacobians shaped like the registration's (runs of 6 columns per
// node, rows touching a few nodes) or scattered, with empty rows and columns.
Dense randomJacobian(int nr, int nodes, int nodesPerRow, bool blocked, unsigned seed)
{
    std::mt19937 random(seed);
    const int nc = 6 * nodes;
    Dense a(nr, std::vector<double>(nc, 0.0));
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    for (int r = 0; r < nr; ++r) {
        if (r % 17 == 5)
            continue;  // an empty row
        for (int t = 0; t < nodesPerRow; ++t) {
            const int node = int(random() % unsigned(nodes - 1));  // the last node stays empty
            if (blocked) {
                for (int c = 0; c < 6; ++c)
                    a[r][6 * node + c] = value(random);
            } else {
                a[r][random() % unsigned(nc - 6)] = value(random);
            }
        }
    }
    return a;
}

// A Jacobian shaped like the registration's, in compressed rows without a dense detour: every
// row holds the 6-column runs of a few distinct nodes (row r always node r mod nodes, so no
// column is empty), some rows a single node, every 17th row none. One node in `farEvery`
// (none for 0) is picked anywhere, the others near node r mod nodes.
splm_crsm blockedJacobian(int nr, int nodes, int nodesPerRow, int farEvery, unsigned seed)
{
    std::mt19937 random(seed);
    std::uniform_real_distribution<double> value(-2.0, 2.0);
    std::vector<std::vector<int>> rows{size_t(nr)};
    long long entries = 0;
    for (int r = 0; r < nr; ++r) {
        if (r % 17 == 5)
            continue;
        std::vector<int>& picked = rows[size_t(r)];
        picked.push_back(r % nodes);
        const int wanted = r % 11 == 3 ? 1 : nodesPerRow;
        while (int(picked.size()) < wanted) {
            const int near = (r % nodes) + int(random() % 9) - 4;
            const bool far = farEvery > 0 && random() % unsigned(farEvery) == 0;
            const int node = far ? int(random() % unsigned(nodes)) : (near + nodes) % nodes;
            if (std::find(picked.begin(), picked.end(), node) == picked.end())
                picked.push_back(node);
        }
        std::sort(picked.begin(), picked.end());
        entries += 6 * (long long)picked.size();
    }
    splm_crsm J;
    splm_crsm_alloc(&J, nr, 6 * nodes, int(entries));
    int k = 0;
    for (int r = 0; r < nr; ++r) {
        J.rowptr[r] = k;
        for (int node : rows[size_t(r)]) {
            for (int c = 0; c < 6; ++c) {
                J.colidx[k] = 6 * node + c;
                J.val[k++] = value(random);
            }
        }
    }
    J.rowptr[nr] = k;
    return J;
}

TEST(NormalEquations, PatternAndValuesMatchTheDenseProduct)
{
    struct Case {
        int nr, nodes, nodesPerRow;
        bool blocked;
        int ncon;
        int mode;
    };
    const std::vector<Case> cases = {
        {60, 12, 3, true, 0, 1},  {60, 12, 3, true, 7, 1}, {90, 20, 5, false, 0, 1},
        {90, 20, 5, false, 3, 2}, {40, 8, 2, true, 0, 2},  {30, 25, 1, false, 0, 1},
    };
    unsigned seed = 1;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rows " << c.nr << " ncon " << c.ncon << " mode " << c.mode
                                          << (c.blocked ? " blocked" : " scattered"));
        const Dense a = randomJacobian(c.nr, c.nodes, c.nodesPerRow, c.blocked, seed++);
        const int nc = int(a[0].size());
        const int n = nc - c.ncon;
        std::vector<double> b(c.nr);
        for (int r = 0; r < c.nr; ++r)
            b[r] = std::sin(1.0 + r);

        splm_crsm J = rowsOf(a);
        splm_ccsm AtA;
        AtA.nnz = -1;
        splm_setup_AtA_crsA(&J, c.ncon, &AtA, c.mode);
        std::vector<double> Atb(n);
        splm_calc_AtA_Atb_crsA(&J, c.ncon, &AtA, c.mode, b.data(), Atb.data());

        // Dense reference over the free columns.
        Lower expected;
        expected.colptr.push_back(0);
        for (int j = 0; j < n; ++j) {
            for (int i = c.mode == 1 ? j : 0; i < n; ++i) {
                bool shared = false;
                double sum = 0.0;
                for (int r = 0; r < c.nr; ++r) {
                    const double x = a[r][c.ncon + i], y = a[r][c.ncon + j];
                    if (x != 0.0 && y != 0.0) {
                        shared = true;
                        sum += x * y;
                    }
                }
                if (shared) {
                    expected.rowidx.push_back(i);
                    expected.val.push_back(sum);
                }
            }
            expected.colptr.push_back(int(expected.rowidx.size()));
        }
        const Lower got = contents(AtA);
        ASSERT_EQ(got.colptr, expected.colptr);
        ASSERT_EQ(got.rowidx, expected.rowidx);
        for (size_t k = 0; k < got.val.size(); ++k)
            EXPECT_NEAR(got.val[k], expected.val[k], 1e-12 * (1.0 + std::fabs(expected.val[k])));
        for (int j = 0; j < n; ++j) {
            double sum = 0.0;
            for (int r = 0; r < c.nr; ++r)
                sum += a[r][c.ncon + j] * b[r];
            EXPECT_NEAR(Atb[j], sum, 1e-12);
        }

        if (c.mode == 1) {
            // The precomputed-position pass gives the very same bits.
            splm_AtA_positions table;
            ASSERT_EQ(splm_AtA_positions_setup(&J, c.ncon, &AtA, &table, 1000), 1);
            EXPECT_EQ(splm_AtA_positions_match(&table, &J), 1);
            std::vector<double> searched(AtA.val, AtA.val + AtA.nnz);
            std::vector<double> Atb2(n);
            std::fill(AtA.val, AtA.val + AtA.nnz, 99.0);
            splm_calc_AtA_Atb_crsA_positions(&J, &table, &AtA, b.data(), Atb2.data());
            EXPECT_EQ(std::memcmp(searched.data(), AtA.val, sizeof(double) * searched.size()), 0);
            EXPECT_EQ(std::memcmp(Atb.data(), Atb2.data(), sizeof(double) * size_t(n)), 0);
            splm_AtA_positions_free(&table);
        }

        // The compressed-column route gives the same products.
        splm_ccsm Jc;
        splm_crsm2ccsm(&J, &Jc);
        const int hidden = splm_ccsm_drop_leading_columns(&Jc, c.ncon);
        splm_ccsm AtA2;
        AtA2.nnz = -1;
        splm_setup_AtA_ccsA(&Jc, &AtA2, c.mode);
        splm_calc_AtA_ccsA(&Jc, &AtA2, c.mode);
        std::vector<double> Atb3(n);
        splm_calc_Atb_ccsA(&Jc, b.data(), Atb3.data());
        splm_ccsm_restore_leading_columns(&Jc, c.ncon, hidden);
        const Lower viaColumns = contents(AtA2);
        EXPECT_EQ(viaColumns.rowidx, expected.rowidx);
        for (size_t k = 0; k < viaColumns.val.size(); ++k)
            EXPECT_NEAR(viaColumns.val[k], expected.val[k], 1e-12 * (1.0 + std::fabs(expected.val[k])));
        for (int j = 0; j < n; ++j)
            EXPECT_NEAR(Atb3[j], Atb[j], 1e-12);

        splm_ccsm_free(&AtA2);
        splm_ccsm_free(&Jc);
        splm_ccsm_free(&AtA);
        splm_crsm_free(&J);
    }
}

// The position table's pass runs AtA's columns in chunks on the global thread pool. On
// Jacobians large enough for many chunks (registration-like runs of six columns, scattered
// far nodes, empty rows, leading constant columns) it gives the plain searched pass's bits,
// also for new values on the same pattern and with room to spare in AtA.
TEST(NormalEquations, ChunkedPositionPassGivesThePlainPassBits)
{
    struct Case {
        int nr, nodes, nodesPerRow, farEvery, ncon, spare;
    };
    const std::vector<Case> cases = {{20000, 2000, 4, 5, 0, 0}, {12000, 900, 6, 0, 13, 0}, {9000, 1500, 3, 2, 6, 40}};
    unsigned seed = 100;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rows " << c.nr << " ncon " << c.ncon << " spare " << c.spare);
        splm_crsm J = blockedJacobian(c.nr, c.nodes, c.nodesPerRow, c.farEvery, seed++);
        const int n = J.nc - c.ncon;
        splm_ccsm AtA;
        AtA.nnz = -1;
        splm_setup_AtA_crsA(&J, c.ncon, &AtA, 1);
        if (c.spare > 0) {
            // The same pattern in a record with room to spare, as a preallocated one has.
            splm_ccsm roomy;
            splm_ccsm_alloc(&roomy, n, n, AtA.nnz + c.spare);
            std::copy(AtA.colptr, AtA.colptr + n + 1, roomy.colptr);
            std::copy(AtA.rowidx, AtA.rowidx + AtA.nnz, roomy.rowidx);
            splm_ccsm_free(&AtA);
            AtA = roomy;
        }
        splm_AtA_positions table;
        ASSERT_EQ(splm_AtA_positions_setup(&J, c.ncon, &AtA, &table, 16), 1);
        EXPECT_GT(table.chunks, 4);

        std::mt19937 random(seed);
        std::uniform_real_distribution<double> value(-3.0, 3.0);
        std::vector<double> b(size_t(J.nr));
        for (int round = 0; round < 2; ++round) {
            for (double& x : b)
                x = value(random);
            std::vector<double> plainAtb(n, 0.0), chunkedAtb(n, 7.0);
            splm_calc_AtA_Atb_crsA(&J, c.ncon, &AtA, 1, b.data(), plainAtb.data());
            const std::vector<double> plain(AtA.val, AtA.val + AtA.nnz);
            std::fill(AtA.val, AtA.val + AtA.nnz, 99.0);
            splm_calc_AtA_Atb_crsA_positions(&J, &table, &AtA, b.data(), chunkedAtb.data());
            EXPECT_EQ(std::memcmp(plain.data(), AtA.val, sizeof(double) * plain.size()), 0);
            EXPECT_EQ(std::memcmp(plainAtb.data(), chunkedAtb.data(), sizeof(double) * size_t(n)), 0);
            for (int k = 0; k < J.rowptr[J.nr]; ++k)
                J.val[k] = value(random);  // the next round: new values, same pattern
        }
        splm_AtA_positions_free(&table);
        splm_ccsm_free(&AtA);
        splm_crsm_free(&J);
    }
}

// Large patterns are collected in pieces of columns on the pool: the same colptr and rowidx as
// every pair of free columns sharing a row gives, for few columns (a coarse level: one column per
// piece) and many, both triangles or the lower one, into a growing record or a preallocated one.
TEST(NormalEquations, LargePatternCollectedInPiecesMatchesColumnPairs)
{
    struct Case {
        int nr, nodes, nodesPerRow, farEvery, ncon, mode, spare;
    };
    const std::vector<Case> cases = {{30000, 10, 5, 0, 0, 1, -1},
                                     {20000, 2000, 4, 5, 0, 1, -1},
                                     {12000, 900, 6, 3, 13, 2, -1},
                                     {15000, 1200, 4, 0, 6, 1, 0},
                                     {15000, 1200, 4, 0, 0, 1, 7}};
    unsigned seed = 300;
    for (const Case& c : cases) {
        SCOPED_TRACE(::testing::Message() << "rows " << c.nr << " nodes " << c.nodes << " ncon " << c.ncon << " mode "
                                          << c.mode << " spare " << c.spare);
        splm_crsm J = blockedJacobian(c.nr, c.nodes, c.nodesPerRow, c.farEvery, seed++);
        ASSERT_GE(J.rowptr[J.nr], 100000);  // large enough to be shared out
        const int n = J.nc - c.ncon;
        std::vector<std::vector<int>> rowsOfColumn(static_cast<size_t>(n));
        for (int r = 0; r < J.nr; ++r)
            for (int p = J.rowptr[r]; p < J.rowptr[r + 1]; ++p)
                for (int q = J.rowptr[r]; q < J.rowptr[r + 1]; ++q) {
                    const int i = J.colidx[q] - c.ncon, j = J.colidx[p] - c.ncon;
                    if (i >= 0 && j >= 0 && (c.mode != 1 || i >= j))
                        rowsOfColumn[size_t(j)].push_back(i);
                }
        Lower expected;
        expected.colptr.push_back(0);
        for (std::vector<int>& column : rowsOfColumn) {
            std::sort(column.begin(), column.end());
            column.erase(std::unique(column.begin(), column.end()), column.end());
            expected.rowidx.insert(expected.rowidx.end(), column.begin(), column.end());
            expected.colptr.push_back(int(expected.rowidx.size()));
        }

        splm_ccsm AtA;
        AtA.nnz = -1;
        QByteArray text;
        if (c.spare >= 0) {
            splm_ccsm_alloc(&AtA, n, n, int(expected.rowidx.size()) + c.spare);
            text = TestSupport::captureStderr([&] { splm_setup_AtA_crsA(&J, c.ncon, &AtA, c.mode); });
        } else {
            splm_setup_AtA_crsA(&J, c.ncon, &AtA, c.mode);
        }
        EXPECT_EQ(std::vector<int>(AtA.colptr, AtA.colptr + n + 1), expected.colptr);
        EXPECT_EQ(std::vector<int>(AtA.rowidx, AtA.rowidx + AtA.colptr[n]), expected.rowidx);
        if (c.spare > 0)
            EXPECT_NE(text.indexOf("Warning: preallocated size of array A^T*A does not match"), -1);
        else
            EXPECT_TRUE(text.isEmpty());
        splm_ccsm_free(&AtA);
        splm_crsm_free(&J);
    }
}

TEST(NormalEquations, PositionTableRefusesOtherPatternsAndOversizedTables)
{
    splm_crsm J = rowsOf({{1.0, 2.0, 0.0, 4.0}, {0.0, 3.0, 1.0, 0.0}});
    splm_ccsm AtA;
    AtA.nnz = -1;
    splm_setup_AtA_crsA(&J, 0, &AtA, 1);
    splm_AtA_positions table;
    EXPECT_EQ(splm_AtA_positions_setup(&J, 0, &AtA, &table, 0), 0);
    EXPECT_EQ(splm_AtA_positions_match(&table, &J), 0);
    ASSERT_EQ(splm_AtA_positions_setup(&J, 0, &AtA, &table, 16), 1);

    // A later Jacobian with fewer entries (still within the first pattern).
    splm_crsm subset = rowsOf({{1.0, 2.0, 0.0, 0.0}, {0.0, 3.0, 1.0, 0.0}});
    EXPECT_EQ(splm_AtA_positions_match(&table, &subset), 0);
    const double b[2] = {1.0, 2.0};
    double Atb[4];
    splm_calc_AtA_Atb_crsA(&subset, 0, &AtA, 1, b, Atb);
    // Entries that the subset no longer produces stay 0.
    EXPECT_EQ(AtA.val[splm_ccsm_find(&AtA, 3, 0)], 0.0);
    EXPECT_EQ(AtA.val[splm_ccsm_find(&AtA, 3, 3)], 0.0);
    EXPECT_EQ(AtA.val[splm_ccsm_find(&AtA, 1, 1)], 13.0);

    splm_AtA_positions_free(&table);
    splm_crsm_free(&subset);
    splm_ccsm_free(&AtA);
    splm_crsm_free(&J);
}

TEST(NormalEquations, PreallocatedNormalMatrixLargerThanNeededWarns)
{
    splm_crsm J = rowsOf({{1.0, 2.0}, {0.0, 3.0}});
    splm_ccsm AtA;
    splm_ccsm_alloc(&AtA, 2, 2, 5);
    const QByteArray text = TestSupport::captureStderr([&] { splm_setup_AtA_crsA(&J, 0, &AtA, 1); });
    EXPECT_EQ(text.toStdString(),
              "Warning: preallocated size of array A^T*A does not match the number of detected nonzeros in "
              "splm_setup_AtA_ccsA()! [5 != 3]\n");
    EXPECT_EQ(AtA.nnz, 5);
    EXPECT_EQ(AtA.colptr[2], 3);
    double Atb[2];
    const double b[2] = {1.0, 1.0};
    splm_calc_AtA_Atb_crsA(&J, 0, &AtA, 1, b, Atb);
    EXPECT_EQ(std::vector<double>(AtA.val, AtA.val + 3), (std::vector<double>{1.0, 2.0, 13.0}));
    splm_ccsm_free(&AtA);
    splm_crsm_free(&J);
}

void setupIntoTooSmallMatrix()
{
    splm_crsm J = rowsOf({{1.0, 2.0}, {0.0, 3.0}});
    splm_ccsm AtA;
    splm_ccsm_alloc(&AtA, 2, 2, 2);
    splm_setup_AtA_crsA(&J, 0, &AtA, 1);
}

void productWithoutPreallocation()
{
    splm_crsm J = rowsOf({{1.0}});
    splm_ccsm Jc, AtA;
    splm_crsm2ccsm(&J, &Jc);
    AtA.nnz = -1;
    splm_calc_AtA_ccsA(&Jc, &AtA, 1);
}

TEST(NormalEquationsDeathTest, MissingRoomEndsTheProcess)
{
    EXPECT_EXIT(setupIntoTooSmallMatrix(), ::testing::ExitedWithCode(1),
                "^Preallocated size of array A\\^T\\*A does not match the number of detected nonzeros in "
                "splm_setup_AtA_ccsA\\(\\)! \\[2 != 3\\]\n$");
    EXPECT_EXIT(productWithoutPreallocation(), ::testing::ExitedWithCode(1),
                "^product matrix must have been preallocated in splm_calc_AtA_ccsA\\(\\)!\n$");
}

TEST(NormalEquations, LowerBound)
{
    const int a[] = {1, 3, 3, 7};
    const std::vector<std::pair<int, int>> cases = {{0, 0}, {1, 0}, {2, 1}, {3, 1}, {4, 3}, {7, 3}, {8, -1}};
    for (const auto& c : cases)
        EXPECT_EQ(splm_lower_bound(a, 4, c.first), c.second) << "key " << c.first;

    std::vector<int> big(200);
    std::mt19937 random(7);
    int v = 0;
    for (int& x : big)
        x = v += int(random() % 3);
    for (int key = -1; key <= big.back() + 1; ++key) {
        const int linear = int(std::find_if(big.begin(), big.end(), [&](int x) { return x >= key; }) - big.begin());
        EXPECT_EQ(splm_lower_bound(big.data(), 200, key), linear == 200 ? -1 : linear) << "key " << key;
    }
}

TEST(NormalEquations, DroppingAndRestoringLeadingColumnsGivesTheSameRecord)
{
    splm_crsm J = rowsOf({{1.0, 2.0, 0.0}, {4.0, 0.0, 3.0}, {0.0, 5.0, 6.0}});
    splm_ccsm A;
    splm_crsm2ccsm(&J, &A);
    const splm_ccsm before = A;
    const Lower contentsBefore = contents(A);

    const int hidden = splm_ccsm_drop_leading_columns(&A, 2);
    EXPECT_EQ(hidden, 4);
    EXPECT_EQ(A.nc, 1);
    EXPECT_EQ(A.nnz, 2);
    EXPECT_EQ(A.rowidx[0], 1);
    EXPECT_EQ(A.val[1], 6.0);
    EXPECT_EQ(A.colptr[0], 0);
    splm_ccsm_restore_leading_columns(&A, 2, hidden);

    EXPECT_EQ(A.nr, before.nr);
    EXPECT_EQ(A.nc, before.nc);
    EXPECT_EQ(A.nnz, before.nnz);
    EXPECT_EQ(A.val, before.val);
    EXPECT_EQ(A.rowidx, before.rowidx);
    EXPECT_EQ(A.colptr, before.colptr);
    EXPECT_EQ(contents(A).colptr, contentsBefore.colptr);
    EXPECT_EQ(splm_ccsm_drop_leading_columns(&A, 0), 0);
    EXPECT_EQ(A.colptr, before.colptr);
    splm_ccsm_free(&A);
    splm_crsm_free(&J);
}

// ---------------------------------------------------------------------------
// CHOLMOD.

// Lower triangle of the symmetric matrix given in full.
splm_ccsm lowerOf(const Dense& a)
{
    Dense lower = a;
    for (size_t i = 0; i < a.size(); ++i)
        for (size_t j = i + 1; j < a.size(); ++j)
            lower[i][j] = 0.0;
    splm_crsm rows = rowsOf(lower);
    splm_ccsm m;
    splm_crsm2ccsm(&rows, &m);
    splm_crsm_free(&rows);
    return m;
}

TEST(CholmodSolve, SolvesAndKeepsTheAnalysisBetweenModes)
{
    const Dense a = {{4.0, 1.0, 0.0}, {1.0, 3.0, 1.0}, {0.0, 1.0, 2.0}};
    splm_ccsm A = lowerOf(a);
    const std::vector<double> truth = {1.0, -2.0, 0.5};
    std::vector<double> B(3, 0.0);
    for (int i = 0; i < 3; ++i)
        for (int j = 0; j < 3; ++j)
            B[i] += a[i][j] * truth[j];
    const std::vector<double> Bcopy = B;

    splm_cholmod_state* state = nullptr;
    double x[3];
    EXPECT_EQ(splm_Axb_CHOLMOD(&A, B.data(), &state, 0, x), 1);
    EXPECT_EQ(state, nullptr);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(x[i], truth[i], 1e-14);
    EXPECT_EQ(B, Bcopy);

    ASSERT_EQ(splm_Axb_CHOLMOD(&A, B.data(), &state, 1, x), 1);
    ASSERT_NE(state, nullptr);
    // New values on the same pattern: twice the matrix halves the solution.
    for (int k = 0; k < A.nnz; ++k)
        A.val[k] *= 2.0;
    EXPECT_EQ(splm_Axb_CHOLMOD(&A, B.data(), &state, 2, x), 1);
    for (int i = 0; i < 3; ++i)
        EXPECT_NEAR(x[i], truth[i] / 2.0, 1e-14);
    EXPECT_EQ(splm_Axb_CHOLMOD(nullptr, nullptr, &state, 3, nullptr), 1);
    EXPECT_EQ(state, nullptr);
    splm_ccsm_free(&A);
}

TEST(CholmodSolve, ZeroPivotIsNotPositiveDefiniteAndKeepsTheState)
{
    splm_ccsm A;
    splm_ccsm_alloc(&A, 1, 1, 1);
    A.colptr[0] = 0;
    A.colptr[1] = 1;
    A.rowidx[0] = 0;
    A.val[0] = 0.0;
    double B = 1.0, x = 42.0;
    splm_cholmod_state* state = nullptr;
    int result = -1;
    QByteArray errors;
    const QByteArray output = TestSupport::captureStdout(
        [&] { errors = TestSupport::captureStderr([&] { result = splm_Axb_CHOLMOD(&A, &B, &state, 1, &x); }); });
    EXPECT_EQ(result, 0);
    EXPECT_EQ(errors, QByteArray());  // nothing of the solver's own
    EXPECT_TRUE(output.contains("not positive definite")) << output.constData();
    EXPECT_NE(state, nullptr);
    EXPECT_EQ(x, 42.0);

    // The kept analysis serves a repaired matrix.
    A.val[0] = 4.0;
    EXPECT_EQ(splm_Axb_CHOLMOD(&A, &B, &state, 2, &x), 1);
    EXPECT_EQ(x, 0.25);
    EXPECT_EQ(splm_Axb_CHOLMOD(nullptr, nullptr, &state, 3, nullptr), 1);
    EXPECT_EQ(state, nullptr);
    splm_ccsm_free(&A);
}

struct Factorised {
    std::vector<double> factor, solution;
};

Factorised factoriseAndSolve(splm_ccsm* A, splm_cholmod_state* state, const std::vector<double>& B)
{
    Factorised f;
    EXPECT_EQ(splm_cholmod_factorize(A, state), 1);
    const double* x = static_cast<const double*>(state->L->x);
    f.factor.assign(x, x + state->L->xsize);
    f.solution.resize(B.size());
    EXPECT_EQ(splm_cholmod_solve(state, B.data(), f.solution.data()), 1);
    return f;
}

// CHOLMOD opens teams of four for its larger loops; the solver keeps them on its own thread.
// The factor and the solution are the same bit for bit either way.
TEST(CholmodSolve, ParallelLoopsStayOnTheSolverThreadWithTheSameFactor)
{
    // A thread starts with the default; this one may have analysed a matrix in an earlier test.
    int levelsBefore = -1;
    std::thread([&] { levelsBefore = omp_get_max_active_levels(); }).join();
    ASSERT_GE(levelsBefore, 1);  // teams form by default
    omp_set_max_active_levels(levelsBefore);
    splm_ccsm A = TestMatrices::gridOperator(12);
    std::vector<double> B(size_t(A.nr));
    for (size_t i = 0; i < B.size(); ++i)
        B[i] = std::cos(0.05 * double(i));

    splm_cholmod_state* state = nullptr;
    splm_cholmod_analyze(&A, &state);
    EXPECT_EQ(omp_get_max_active_levels(), 0);
    int levelsElsewhere = -1;  // another thread keeps its own setting
    std::thread([&] { levelsElsewhere = omp_get_max_active_levels(); }).join();
    EXPECT_EQ(levelsElsewhere, levelsBefore);
    ASSERT_EQ(state->L->is_super, 1);  // the supernodal route, where the teams are
    const Factorised onOneThread = factoriseAndSolve(&A, state, B);

    omp_set_max_active_levels(levelsBefore);
    const Factorised withTeams = factoriseAndSolve(&A, state, B);
    EXPECT_EQ(std::memcmp(onOneThread.factor.data(), withTeams.factor.data(), sizeof(double) * withTeams.factor.size()),
              0);
    EXPECT_EQ(
        std::memcmp(onOneThread.solution.data(), withTeams.solution.data(), sizeof(double) * withTeams.solution.size()),
        0);
    double largest = 0.0;
    for (int i = 0; i < A.nr; ++i)
        largest = std::max(largest, std::fabs(withTeams.solution[size_t(i)]));
    EXPECT_GT(largest, 0.0);
    splm_cholmod_release(&state);
    splm_ccsm_free(&A);
}

// The lower triangle of J^T J plus damping, as the solver forms it.
splm_ccsm dampedNormalMatrix(const splm_crsm& J, double damping)
{
    splm_ccsm AtA;
    AtA.nnz = -1;
    splm_setup_AtA_crsA(&J, 0, &AtA, 1);
    std::vector<double> b(size_t(J.nr), 1.0), Atb(size_t(J.nc));
    splm_calc_AtA_Atb_crsA(&J, 0, &AtA, 1, b.data(), Atb.data());
    for (int j = 0; j < AtA.nc; ++j)
        AtA.val[splm_ccsm_find(&AtA, j, j)] += damping;
    return AtA;
}

// Factorising the kept permuted copy with cholmod_super_numeric gives the factor that
// cholmod_factorize gives, bit for bit, through a damping sequence like the solver's: new
// values, more damping, a matrix that is not positive definite (the same failing column and
// the same partial factor) and a repaired one.
TEST(CholmodSolve, KeptPermutedCopyGivesCholmodFactorizesFactor)
{
    struct Case {
        const char* name;
        splm_ccsm matrix;
    };
    splm_crsm J = blockedJacobian(5000, 700, 4, 0, 11);
    std::vector<Case> cases = {{"grid", TestMatrices::gridOperator(12)},
                               {"normal matrix", dampedNormalMatrix(J, 1e-3)}};
    splm_crsm_free(&J);
    for (Case& c : cases) {
        SCOPED_TRACE(c.name);
        splm_ccsm& A = c.matrix;
        std::vector<double> B(size_t(A.nr));
        for (size_t i = 0; i < B.size(); ++i)
            B[i] = std::cos(0.05 * double(i));
        std::vector<double*> diagonal;
        for (int j = 0; j < A.nc; ++j)
            diagonal.push_back(A.val + splm_ccsm_find(&A, j, j));

        splm_cholmod_state* kept = nullptr;
        splm_cholmod_state* plain = nullptr;
        splm_cholmod_analyze(&A, &kept);
        splm_cholmod_analyze(&A, &plain);
        ASSERT_EQ(kept->L->is_super, 1);
        ASSERT_NE(kept->permuted, nullptr);  // the route under test is taken
        splm_cholmod_factorize_through_cholmod_factorize(plain);
        ASSERT_EQ(plain->permuted, nullptr);

        const std::vector<std::function<void()>> steps = {
            [] {},
            [&] { *diagonal[0] += 0.5; },
            [&] {
                for (double* d : diagonal)
                    *d *= 1.0 + 1e-9;
            },
            [&] { *diagonal[diagonal.size() / 2] = -50.0; },  // not positive definite
            [&] { *diagonal[diagonal.size() / 2] = 40.0; },
        };
        for (size_t step = 0; step < steps.size(); ++step) {
            SCOPED_TRACE(::testing::Message() << "step " << step);
            steps[step]();
            const int keptResult = splm_cholmod_factorize(&A, kept);
            const int plainResult = splm_cholmod_factorize(&A, plain);
            EXPECT_EQ(keptResult, step == 3 ? 0 : 1);
            EXPECT_EQ(keptResult, plainResult);
            EXPECT_EQ(kept->L->minor, plain->L->minor);
            ASSERT_EQ(kept->L->xsize, plain->L->xsize);
            EXPECT_EQ(std::memcmp(kept->L->x, plain->L->x, sizeof(double) * kept->L->xsize), 0);
            if (keptResult != 1)
                continue;
            std::vector<double> x1(B.size()), x2(B.size());
            ASSERT_EQ(splm_cholmod_solve(kept, B.data(), x1.data()), 1);
            ASSERT_EQ(splm_cholmod_solve(plain, B.data(), x2.data()), 1);
            EXPECT_EQ(std::memcmp(x1.data(), x2.data(), sizeof(double) * x1.size()), 0);
        }
        splm_cholmod_release(&kept);
        splm_cholmod_release(&plain);
        splm_ccsm_free(&A);
    }
}

void solveNonSquare()
{
    splm_ccsm A;
    splm_ccsm_alloc(&A, 2, 1, 1);
    double B[2] = {1, 1}, x[2];
    splm_cholmod_state* state = nullptr;
    splm_Axb_CHOLMOD(&A, B, &state, 0, x);
}

void solveInMode(int mode)
{
    splm_ccsm A;
    splm_ccsm_alloc(&A, 1, 1, 1);
    double B = 1, x;
    splm_cholmod_state* state = nullptr;
    splm_Axb_CHOLMOD(&A, &B, &state, mode, &x);
}

TEST(CholmodSolveDeathTest, ProgrammingFaultsEndTheProcess)
{
    EXPECT_EXIT(solveNonSquare(), ::testing::ExitedWithCode(1),
                "^Non-square matrix passed to splm_Axb_CHOLMOD\\(\\)!\n$");
    EXPECT_EXIT(solveInMode(4), ::testing::ExitedWithCode(1), "^Unknown mode 4 in splm_Axb_CHOLMOD\\(\\)!\n$");
    EXPECT_EXIT(solveInMode(-1), ::testing::ExitedWithCode(1), "^Unknown mode -1 in splm_Axb_CHOLMOD\\(\\)!\n$");
}

}  // namespace
