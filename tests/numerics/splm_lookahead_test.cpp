// The factorisations prepared ahead for failed damped trials against the plain route, which
// raises the diagonal in place and factorises trial after trial: the same outcome and the same
// step, bit for bit, including trials whose matrix is not positive definite.
#include "numerics/SparseSolver/splm_lookahead.h"
#include "numerics/SparseSolver/splm_cholmod.h"
#include "numerics/SparseSolver/splm_supernodal.h"

#include "grid_operator.h"

#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <vector>

namespace {

struct Trial {
    int factorised = 0;
    std::vector<double> step;
};

// The damping schedule of the solver's failure branch: trial 0 adds mu, each later one the rise
// from mu to mu * nu, with nu doubling.
std::vector<double> raisesFrom(double mu, int count)
{
    std::vector<double> raises{mu};
    double nu = 2.0;
    for (int t = 1; t < count; ++t) {
        const double muNew = mu * nu;
        raises.push_back(muNew - mu);
        mu = muNew;
        nu *= 2.0;
    }
    return raises;
}

// The grid operator shifted down so that the first trials' matrices are indefinite.
splm_ccsm indefiniteOperator(std::vector<double*>* diagonal)
{
    splm_ccsm A = TestMatrices::gridOperator(16);
    diagonal->resize(size_t(A.nc));
    for (int j = 0; j < A.nc; ++j) {
        (*diagonal)[size_t(j)] = A.val + A.colptr[j];
        *(*diagonal)[size_t(j)] -= 9.0;
    }
    return A;
}

std::vector<double> rightHandSide(int n)
{
    std::vector<double> B(static_cast<size_t>(n));
    for (int i = 0; i < n; ++i)
        B[size_t(i)] = std::cos(0.05 * double(i));
    return B;
}

Trial solveWith(splm_cholmod_state* state, int factorised, const std::vector<double>& B)
{
    Trial trial;
    trial.factorised = factorised;
    if (factorised) {
        trial.step.resize(B.size());
        EXPECT_EQ(splm_cholmod_solve(state, B.data(), trial.step.data()), 1);
    }
    return trial;
}

std::vector<Trial> plainTrials(const std::vector<double>& raises)
{
    std::vector<double*> diagonal;
    splm_ccsm A = indefiniteOperator(&diagonal);
    const std::vector<double> B = rightHandSide(A.nr);
    splm_cholmod_state* state = nullptr;
    splm_cholmod_analyze(&A, &state);
    std::vector<Trial> trials;
    for (double raise : raises) {
        for (double* entry : diagonal)
            *entry += raise;
        trials.push_back(solveWith(state, splm_cholmod_factorize(&A, state), B));
    }
    splm_cholmod_release(&state);
    splm_ccsm_free(&A);
    return trials;
}

TEST(FactorLookahead, PreparedTrialsEqualPlainTrialsBitForBit)
{
    const std::vector<double> raises = raisesFrom(0.01, 12);
    const std::vector<Trial> plain = plainTrials(raises);
    int indefinite = 0;
    for (const Trial& trial : plain)
        indefinite += trial.factorised == 0;
    ASSERT_GE(indefinite, 3);               // the first trials fail in the factorisation,
    ASSERT_EQ(plain.back().factorised, 1);  // the last ones solve

    for (int depth : {1, 2, 3}) {
        std::vector<double*> diagonal;
        splm_ccsm A = indefiniteOperator(&diagonal);
        const std::vector<double> B = rightHandSide(A.nr);
        splm_cholmod_state* state = nullptr;
        splm_cholmod_analyze(&A, &state);
        ASSERT_NE(state->plan, nullptr);
        EXPECT_FALSE(splm_lookahead_worthwhile(*state));  // its factorisations use the whole pool
        splm_supernodal_plan_release(&state->plan);       // as an analysis too small to share out
        ASSERT_TRUE(splm_lookahead_worthwhile(*state));
        ASSERT_NE(state->permuted, nullptr);  // the factorisations write into a kept copy of their own
        {
            splm_lookahead lookahead(depth);
            for (int t = 0; t < int(raises.size()); ++t) {
                for (double* entry : diagonal)
                    *entry += raises[size_t(t)];
                int factorised = 0;
                const bool prepared = lookahead.take(t, &state, &factorised);
                EXPECT_EQ(prepared, t > 0) << "depth " << depth << ", trial " << t;
                const int ahead = int(raises.size()) - 1 - t;
                lookahead.prepare(t, A, diagonal.data(), raises.data() + t + 1, ahead, *state);
                if (!prepared)
                    factorised = splm_cholmod_factorize(&A, state);
                const Trial trial = solveWith(state, factorised, B);
                ASSERT_EQ(trial.factorised, plain[size_t(t)].factorised) << "depth " << depth << ", trial " << t;
                ASSERT_EQ(trial.step.size(), plain[size_t(t)].step.size());
                EXPECT_EQ(
                    std::memcmp(trial.step.data(), plain[size_t(t)].step.data(), sizeof(double) * trial.step.size()), 0)
                    << "depth " << depth << ", trial " << t;
            }
            // New equations: nothing prepared for the old ones is handed out.
            lookahead.prepare(0, A, diagonal.data(), raises.data(), 2, *state);
            lookahead.drop();
            int factorised = 0;
            EXPECT_FALSE(lookahead.take(1, &state, &factorised));
        }
        splm_cholmod_release(&state);
        splm_ccsm_free(&A);
    }
}

}  // namespace
