// The supernodal factorisation that shares independent branches out over the pool, against
// CHOLMOD's own cholmod_super_numeric on the same analysis: the same factor to the last bit, for
// any number of threads, with supernodes taken whole and taken apart; and an indefinite matrix
// reported as such, leaving the factor to CHOLMOD.
#include "numerics/SparseSolver/splm_supernodal.h"
#include "numerics/SparseSolver/splm_cholmod.h"

#include "grid_operator.h"

#include <QThreadPool>

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <random>
#include <vector>

namespace {

// Lower triangle of a block matrix shaped like the registration's normal equations: 6 by 6
// blocks on the diagonal and between neighbouring nodes of a width-by-height sheet of nodes (each
// linked to the next one along, the one beside and, at random, one diagonal), made diagonally
// dominant, with uneven values. Free with splm_ccsm_free.
splm_ccsm sheetOperator(int width, int height, unsigned seed)
{
    std::mt19937 random(seed);
    const int nodes = width * height;
    std::vector<std::vector<int>> below(static_cast<size_t>(nodes));  // linked nodes of higher number
    for (int a = 0; a < nodes; ++a) {
        const int x = a % width, y = a / width;
        if (x + 1 < width)
            below[size_t(a)].push_back(a + 1);
        if (y + 1 < height)
            below[size_t(a)].push_back(a + width);
        if (x + 1 < width && y + 1 < height && random() % 2)
            below[size_t(a)].push_back(a + width + 1);
    }
    const int n = 6 * nodes;
    splm_ccsm A;
    splm_ccsm_alloc(&A, n, n, 6 * n * 4);
    std::uniform_real_distribution<double> value(-1.0, 1.0);
    int k = 0;
    for (int column = 0; column < n; ++column) {
        A.colptr[column] = k;
        const int block = column / 6;
        std::vector<int> rows;
        for (int r = column; r < 6 * block + 6; ++r)
            rows.push_back(r);
        for (int other : below[size_t(block)])
            for (int r = 0; r < 6; ++r)
                rows.push_back(6 * other + r);
        for (int row : rows) {
            A.rowidx[k] = row;
            A.val[k++] = row == column ? 40.0 + value(random) : value(random);
        }
    }
    A.colptr[n] = k;
    A.nnz = k;
    return A;
}

// A's values as the kept permuted copy takes them.
void gather(const splm_cholmod_state& state, const splm_ccsm& A)
{
    double* values = static_cast<double*>(state.permuted->x);
    const int entries = static_cast<const int*>(state.permuted->p)[state.permuted->ncol];
    for (int k = 0; k < entries; ++k)
        values[k] = A.val[state.permutedFrom[k]];
}

struct Factors {
    cholmod_common common;
    cholmod_factor* reference = nullptr;  // by cholmod_super_numeric
    cholmod_factor* shared = nullptr;     // by the plan
    int sharedResult = -1;
};

// Factorises A both ways from copies of the state's analysis; the plan's copy first holds the
// factor of other values, as it does from the second trial of a solve on.
void factoriseBothWays(splm_cholmod_state& state, splm_ccsm& A, int planWorkers, Factors& f, int* splits)
{
    cholmod_start(&f.common);
    double beta[2] = {0.0, 0.0};
    f.reference = cholmod_copy_factor(state.L, &f.common);
    f.shared = cholmod_copy_factor(state.L, &f.common);

    std::vector<double> original(A.val, A.val + A.nnz);
    for (int j = 0; j < A.nc; ++j)
        A.val[A.colptr[j]] += 3.0;  // other values, same pattern
    gather(state, A);
    ASSERT_TRUE(cholmod_super_numeric(state.permuted, nullptr, beta, f.shared, &f.common));
    std::copy(original.begin(), original.end(), A.val);

    gather(state, A);
    ASSERT_TRUE(cholmod_super_numeric(state.permuted, nullptr, beta, f.reference, &f.common));
    splm_supernodal_plan* plan = splm_supernodal_plan_create(f.shared, planWorkers);
    ASSERT_NE(plan, nullptr);
    *splits = splm_supernodal_plan_split_count(*plan);
    f.sharedResult = splm_supernodal_factorize(state.permuted, f.shared, *plan);
    splm_supernodal_plan_release(&plan);
}

void release(Factors& f)
{
    cholmod_free_factor(&f.reference, &f.common);
    cholmod_free_factor(&f.shared, &f.common);
    cholmod_finish(&f.common);
}

class SupernodalFactor : public ::testing::TestWithParam<int> {
protected:
    void SetUp() override { QThreadPool::globalInstance()->setMaxThreadCount(GetParam()); }
    void TearDown() override { QThreadPool::globalInstance()->setMaxThreadCount(QThread::idealThreadCount()); }
};

TEST_P(SupernodalFactor, EqualsCholmodBitForBit)
{
    struct Case {
        const char* name;
        splm_ccsm matrix;
    };
    const Case cases[] = {{"grid 9^3", TestMatrices::gridOperator(9)},
                          {"grid 18^3", TestMatrices::gridOperator(18)},
                          {"sheet 30 by 30", sheetOperator(30, 30, 3)},
                          {"sheet 80 by 50", sheetOperator(80, 50, 8)}};
    for (Case c : cases) {
        SCOPED_TRACE(c.name);
        splm_cholmod_state* state = nullptr;
        splm_cholmod_analyze(&c.matrix, &state);
        ASSERT_NE(state->permuted, nullptr);
        for (int planWorkers : {1, 3, 8}) {
            SCOPED_TRACE(planWorkers);
            Factors f;
            int splits = 0;
            factoriseBothWays(*state, c.matrix, planWorkers, f, &splits);
            ASSERT_EQ(f.sharedResult, 1);
            ASSERT_EQ(f.shared->minor, f.reference->minor);
            ASSERT_EQ(f.shared->xsize, f.reference->xsize);
            EXPECT_EQ(std::memcmp(f.shared->x, f.reference->x, sizeof(double) * f.shared->xsize), 0);
            if (c.matrix.nc > 10000) {
                EXPECT_GT(splits, 0);  // the large supernodes were taken apart
            }
            release(f);
        }
        splm_cholmod_release(&state);
        splm_ccsm_free(&c.matrix);
    }
}

INSTANTIATE_TEST_SUITE_P(PoolSizes, SupernodalFactor, ::testing::Values(1, 2, 8));

// From the analysis on, the solver's factorisations through the plan (the first one included,
// into a factor that holds no values yet) give CHOLMOD's factors and solutions, bit for bit.
TEST(SupernodalFactorSolver, FirstAndLaterFactorisationsEqualCholmods)
{
    splm_ccsm shared = sheetOperator(60, 40, 5);
    splm_ccsm plain = sheetOperator(60, 40, 5);
    splm_cholmod_state* withPlan = nullptr;
    splm_cholmod_state* withoutPlan = nullptr;
    splm_cholmod_analyze(&shared, &withPlan);
    splm_cholmod_analyze(&plain, &withoutPlan);
    ASSERT_NE(withPlan->plan, nullptr);
    splm_supernodal_plan_release(&withoutPlan->plan);
    std::vector<double> B(static_cast<size_t>(shared.nr));
    for (size_t i = 0; i < B.size(); ++i)
        B[i] = std::sin(0.3 * double(i));
    for (int trial = 0; trial < 3; ++trial) {
        SCOPED_TRACE(trial);
        ASSERT_EQ(splm_cholmod_factorize(&shared, withPlan), 1);
        ASSERT_EQ(splm_cholmod_factorize(&plain, withoutPlan), 1);
        ASSERT_EQ(withPlan->L->xsize, withoutPlan->L->xsize);
        EXPECT_EQ(withPlan->L->is_ll, withoutPlan->L->is_ll);
        EXPECT_EQ(withPlan->L->minor, withoutPlan->L->minor);
        EXPECT_EQ(std::memcmp(withPlan->L->x, withoutPlan->L->x, sizeof(double) * withPlan->L->xsize), 0);
        std::vector<double> x1(B.size()), x2(B.size());
        ASSERT_EQ(splm_cholmod_solve(withPlan, B.data(), x1.data()), 1);
        ASSERT_EQ(splm_cholmod_solve(withoutPlan, B.data(), x2.data()), 1);
        EXPECT_EQ(std::memcmp(x1.data(), x2.data(), sizeof(double) * x1.size()), 0);
        for (int j = 0; j < shared.nc; ++j) {  // the damping of a failed trial
            shared.val[shared.colptr[j]] += 0.5;
            plain.val[plain.colptr[j]] += 0.5;
        }
    }
    splm_cholmod_release(&withPlan);
    splm_cholmod_release(&withoutPlan);
    splm_ccsm_free(&shared);
    splm_ccsm_free(&plain);
}

// Shifted down, the operator is indefinite: the plan says so, and the solver's factorisation
// then leaves the factor as CHOLMOD does, down to the column where it stopped.
TEST(SupernodalFactorIndefinite, ReportsFailureAndLeavesCholmodsMinor)
{
    splm_ccsm A = TestMatrices::gridOperator(18);
    splm_cholmod_state* state = nullptr;
    splm_cholmod_analyze(&A, &state);
    ASSERT_NE(state->plan, nullptr);
    ASSERT_EQ(splm_cholmod_factorize(&A, state), 1);  // the factor now holds values: the plan's route is open
    for (int j = 0; j < A.nc; ++j)
        A.val[A.colptr[j]] -= 9.0;

    splm_ccsm copy = TestMatrices::gridOperator(18);
    for (int j = 0; j < copy.nc; ++j)
        copy.val[copy.colptr[j]] -= 9.0;
    splm_cholmod_state* plain = nullptr;
    splm_cholmod_analyze(&copy, &plain);
    splm_cholmod_factorize_through_cholmod_factorize(plain);

    gather(*state, A);
    EXPECT_EQ(splm_supernodal_factorize(state->permuted, state->L, *state->plan), 0);
    EXPECT_EQ(splm_cholmod_factorize(&A, state), 0);
    EXPECT_EQ(splm_cholmod_factorize(&copy, plain), 0);
    EXPECT_EQ(state->L->minor, plain->L->minor);
    EXPECT_LT(state->L->minor, size_t(A.nc));

    splm_cholmod_release(&state);
    splm_cholmod_release(&plain);
    splm_ccsm_free(&A);
    splm_ccsm_free(&copy);
}

}  // namespace
