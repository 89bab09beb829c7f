// The Levenberg-Marquardt iteration: worked examples, every stop reason, the
// argument checks, the fatal set-up errors, and a nonlinear problem of a few
// thousand unknowns solved against its known answer and a dense reference.
#include "numerics/SparseSolver/splm.h"
#include "support/OutputCapture.h"

#include <gtest/gtest.h>

#include <cfloat>
#include <cmath>
#include <functional>
#include <limits>
#include <string>
#include <vector>

extern "C" int openblas_get_num_threads(void);

namespace {

// A problem given by two closures; the solver's callbacks reach it via adata.
struct Problem {
    std::function<void(const double* p, double* hx)> model;
    std::function<void(const double* p, splm_crsm* J)> jacobian;
    int modelCalls = 0;
    int jacobianCalls = 0;
};

void modelCallback(double* p, double* hx, int, int, void* adata)
{
    Problem* problem = static_cast<Problem*>(adata);
    ++problem->modelCalls;
    problem->model(p, hx);
}

void jacobianCallback(double* p, splm_crsm* J, int, int, void* adata)
{
    Problem* problem = static_cast<Problem*>(adata);
    ++problem->jacobianCalls;
    problem->jacobian(p, J);
}

using Dense = std::vector<std::vector<double>>;

// Stores the nonzero entries of a dense matrix in the solver's record.
void fillFromDense(splm_crsm* J, const Dense& a)
{
    int k = 0;
    for (size_t i = 0; i < a.size(); ++i) {
        J->rowptr[i] = k;
        for (size_t j = 0; j < a[i].size(); ++j) {
            if (a[i][j] != 0.0) {
                J->val[k] = a[i][j];
                J->colidx[k] = int(j);
                ++k;
            }
        }
    }
    J->nr = int(a.size());
    J->nc = int(a[0].size());
    J->rowptr[J->nr] = k;
    J->nnz = k;
}

// f(p) = model p (a linear model); the Jacobian handed to the solver is
// jacobian (usually the same matrix).
Problem linearProblem(const Dense& model, const Dense& jacobian)
{
    Problem problem;
    problem.model = [model](const double* p, double* hx) {
        for (size_t i = 0; i < model.size(); ++i) {
            hx[i] = 0.0;
            for (size_t j = 0; j < model[i].size(); ++j)
                hx[i] += model[i][j] * p[j];
        }
    };
    problem.jacobian = [jacobian](const double*, splm_crsm* J) { fillFromDense(J, jacobian); };
    return problem;
}

struct Outcome {
    int result = 0;
    std::vector<double> p;
    double info[SPLM_INFO_SZ];
    std::string stderrText;
};

Outcome solve(Problem& problem, std::vector<double> p, std::vector<double> x, int nobs, int itmax,
              const double* opts = nullptr, int nconvars = 0, int Jnnz = 16)
{
    Outcome run;
    for (double& v : run.info)
        v = -12345.0;
    run.p = p;
    run.stderrText = TestSupport::captureStderr([&] {
                         run.result = splm_crs_analytic(modelCallback, jacobianCallback, run.p.data(),
                                                        x.empty() ? nullptr : x.data(), int(p.size()), nconvars, nobs,
                                                        Jnnz, -1, itmax, opts, run.info, &problem);
                     }).toStdString();
    return run;
}

TEST(SparseLevenbergMarquardt, IdentityModelReachesTheMeasurementInTwoIterations)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const Outcome run = solve(problem, {0.0}, {1.0}, 1, 100);

    EXPECT_EQ(run.result, 2);
    EXPECT_EQ(run.info[0], 1.0);
    EXPECT_LE(run.info[1], 1e-12);
    EXPECT_EQ(run.info[5], 2.0);
    EXPECT_EQ(run.info[6], 6.0);
    EXPECT_EQ(run.info[7], 3.0);
    EXPECT_EQ(run.info[8], 2.0);
    EXPECT_EQ(run.info[9], 2.0);
    EXPECT_LT(run.p[0], 1.0);
    EXPECT_GT(run.p[0], 1.0 - 4e-7);
    EXPECT_EQ(problem.modelCalls, 3);
    EXPECT_EQ(problem.jacobianCalls, 2);
    EXPECT_EQ(run.stderrText, "");
}

TEST(SparseLevenbergMarquardt, FirstStepOfTheIdentityModelUsesTheInitialDamping)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const Outcome run = solve(problem, {0.0}, {1.0}, 1, 1);

    EXPECT_EQ(run.result, 1);
    EXPECT_EQ(run.info[6], 3.0);
    EXPECT_DOUBLE_EQ(run.p[0], 1.0 / (1.0 + 1e-3));
    // mu after the step over the largest diagonal entry (1).
    EXPECT_NEAR(run.info[4], 1e-3 * 0.3333333334, 1e-18);
    EXPECT_DOUBLE_EQ(run.info[3], run.p[0] * run.p[0]);
}

TEST(SparseLevenbergMarquardt, ZeroIterationLimitStopsBeforeAnyJacobian)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const Outcome run = solve(problem, {0.0}, {1.0}, 1, 0);

    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.info[6], 3.0);
    EXPECT_EQ(run.info[2], 0.0);
    EXPECT_EQ(run.info[3], DBL_MAX);
    EXPECT_EQ(run.info[4], 0.0);
    EXPECT_EQ(run.info[7], 1.0);
    EXPECT_EQ(run.info[8], 0.0);
    EXPECT_EQ(run.info[9], 0.0);
    EXPECT_EQ(problem.jacobianCalls, 0);
}

// One scenario per stop reason, each with the count it returns.
struct StopCase {
    const char* name;
    Dense model;
    Dense jacobian;
    std::vector<double> x;
    double eps2;  // < 0: default options
    int itmax;
    bool nanAwayFromZero;
    int expectedResult;
    int expectedReason;
};

TEST(SparseLevenbergMarquardt, EveryStopReasonIsReached)
{
    const std::vector<StopCase> cases = {
        // Two measurements pulling p = 0 equally both ways: J^T e = 0 at once.
        {"gradient", {{1.0}, {1.0}}, {{1.0}, {1.0}}, {1.0, -1.0}, -1, 100, false, 0, 1},
        // Optimum 2 with error 2 left; the second step is below 1 % of |p|.
        {"small step", {{1.0}, {1.0}}, {{1.0}, {1.0}}, {1.0, 3.0}, 1e-2, 100, false, 2, 2},
        {"iteration limit", {{1.0}}, {{1.0}}, {1.0}, -1, 1, false, 1, 3},
        // J = 1e-9: the damped step is about 1e9, numerically singular.
        {"singular", {{1e-9}}, {{1e-9}}, {1.0}, -1, 100, false, -1, 4},
        // The Jacobian has the wrong sign: every step goes uphill.
        {"thirty trials", {{1.0}}, {{-1.0}}, {1.0}, -1, 100, false, 1, 5},
        {"small error", {{1.0}}, {{1.0}}, {1.0}, -1, 100, false, 2, 6},
        {"error not finite", {{1.0}}, {{1.0}}, {1.0}, -1, 100, true, -1, 7},
        // Reasons 2, 4, 5 and 7 arising in the last allowed iteration count as 3.
        {"singular at the limit", {{1e-9}}, {{1e-9}}, {1.0}, -1, 1, false, 1, 3},
        {"not finite at the limit", {{1.0}}, {{1.0}}, {1.0}, -1, 1, true, 1, 3},
        {"thirty trials at the limit", {{1.0}}, {{-1.0}}, {1.0}, -1, 1, false, 1, 3},
    };
    for (const StopCase& c : cases) {
        SCOPED_TRACE(c.name);
        Problem problem = linearProblem(c.model, c.jacobian);
        if (c.nanAwayFromZero) {
            problem.model = [](const double* p, double* hx) {
                hx[0] = p[0] == 0.0 ? 0.0 : std::numeric_limits<double>::quiet_NaN();
            };
        }
        double opts[SPLM_OPTS_SZ] = {1e-3, 1e-12, c.eps2, 1e-12, 1e-6, 1.0};
        const Outcome run = solve(problem, {0.0}, c.x, int(c.x.size()), c.itmax, c.eps2 < 0 ? nullptr : opts);
        EXPECT_EQ(run.result, c.expectedResult);
        EXPECT_EQ(run.info[6], double(c.expectedReason));
        EXPECT_EQ(run.stderrText, "");
    }
}

TEST(SparseLevenbergMarquardt, FailedStopsKeepTheLastAcceptedParameters)
{
    Problem problem = linearProblem({{1.0}}, {{-1.0}});
    const Outcome trials = solve(problem, {0.0}, {1.0}, 1, 100);
    EXPECT_EQ(trials.info[6], 5.0);
    EXPECT_EQ(trials.p[0], 0.0);
    EXPECT_EQ(trials.info[9], 30.0);
    EXPECT_EQ(trials.info[1], trials.info[0]);

    Problem nan = linearProblem({{1.0}}, {{1.0}});
    nan.model = [](const double* p, double* hx) { hx[0] = p[0] == 0.0 ? 0.0 : std::nan(""); };
    const Outcome notFinite = solve(nan, {0.0}, {1.0}, 1, 100);
    EXPECT_EQ(notFinite.result, -1);
    EXPECT_EQ(notFinite.p[0], 0.0);
    EXPECT_EQ(notFinite.info[1], 1.0);
    EXPECT_EQ(notFinite.info[9], 1.0);
}

TEST(SparseLevenbergMarquardt, StartingErrorBelowThresholdStopsAfterOneEvaluation)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const Outcome run = solve(problem, {0.5}, {0.5 + 1e-7}, 1, 100);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.info[6], 6.0);
    EXPECT_EQ(run.info[7], 1.0);
    EXPECT_EQ(run.info[8], 0.0);
    EXPECT_EQ(run.p[0], 0.5);
}

TEST(SparseLevenbergMarquardt, NullMeasurementsMeanZero)
{
    // f(p) = p - 3 as a residual: e = -f.
    Problem problem;
    problem.model = [](const double* p, double* hx) { hx[0] = p[0] - 3.0; };
    problem.jacobian = [](const double*, splm_crsm* J) { fillFromDense(J, {{1.0}}); };
    const Outcome run = solve(problem, {0.0}, {}, 1, 100);
    EXPECT_EQ(run.result, 2);
    EXPECT_NEAR(run.p[0], 3.0, 1e-6);
    EXPECT_EQ(run.info[0], 9.0);
}

TEST(SparseLevenbergMarquardt, RejectedArgumentsReturnWithoutCallingAnything)
{
    struct Case {
        const char* name;
        int nvars, nconvars, nobs, Jnnz;
        bool withJacobian;
        std::string message;
    };
    const std::vector<Case> cases = {
        {"fewer measurements", 2, 0, 1, 4, true,
         "splm_core(): cannot solve a problem with fewer measurements [1] than unknowns [2]\n"},
        {"negative constants", 1, -1, 1, 4, true,
         "splm_core(): number of variables to be kept constant must be non negative ([-1])\n"},
        {"no Jacobian", 1, 0, 1, 4, false, "splm_core(): a function computing the Jacobian should be supplied!\n"},
        {"no room", 1, 0, 1, 0, true,
         "splm_core(): invalid Jacobian size speficied, number of nonzero elements must be positive! [0]\n"},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        Problem problem = linearProblem({{1.0}, {1.0}}, {{1.0}, {1.0}});
        double p[2] = {0.25, 0.5};
        double x[2] = {1.0, 1.0};
        double info[SPLM_INFO_SZ];
        for (double& v : info)
            v = 7.0;
        int result = 0;
        const QByteArray text = TestSupport::captureStderr([&] {
            result = splm_crs_analytic(modelCallback, c.withJacobian ? jacobianCallback : nullptr, p, x, c.nvars,
                                       c.nconvars, c.nobs, c.Jnnz, -1, 10, nullptr, info, &problem);
        });
        EXPECT_EQ(result, -1);
        EXPECT_EQ(text.toStdString(), c.message);
        EXPECT_EQ(problem.modelCalls, 0);
        EXPECT_EQ(problem.jacobianCalls, 0);
        EXPECT_EQ(p[0], 0.25);
        for (double v : info)
            EXPECT_EQ(v, 7.0);
    }
}

TEST(SparseLevenbergMarquardt, SolverCodeIsTruncated)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const double opts[SPLM_OPTS_SZ] = {1e-3, 1e-12, 1e-12, 1e-12, 1e-6, 1.9};
    const Outcome run = solve(problem, {0.0}, {1.0}, 1, 100, opts);
    EXPECT_EQ(run.result, 2);
}

void solveWithSolverCode(double code)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const double opts[SPLM_OPTS_SZ] = {1e-3, 1e-12, 1e-12, 1e-12, 1e-6, code};
    double p = 0.0, x = 1.0;
    splm_crs_analytic(modelCallback, jacobianCallback, &p, &x, 1, 0, 1, 1, -1, 10, opts, nullptr, &problem);
}

TEST(SparseLevenbergMarquardtDeathTest, UnsupportedSolverCodesEndTheProcess)
{
    EXPECT_EXIT(solveWithSolverCode(2.0), ::testing::ExitedWithCode(1),
                "\n\\*\\*\\* unsupported sparse direct solver \"CSPARSE\" specified to splm_core\\(\\), exiting!\n\n");
    EXPECT_EXIT(solveWithSolverCode(14.0), ::testing::ExitedWithCode(1), "\"MUMPS\"");
    EXPECT_EXIT(solveWithSolverCode(0.5), ::testing::ExitedWithCode(1),
                "\n\\*\\*\\* unknown sparse direct solver \"0\" specified to splm_core\\(\\), exiting!\n\n");
    EXPECT_EXIT(solveWithSolverCode(15.0), ::testing::ExitedWithCode(1), "unknown sparse direct solver \"15\"");
}

TEST(SparseLevenbergMarquardt, ParameterWithoutMeasurementsFailsWithoutStep)
{
    // Two parameters, but no measurement depends on the second one.
    Problem problem = linearProblem({{1.0, 0.0}, {2.0, 0.0}}, {{1.0, 0.0}, {2.0, 0.0}});
    const Outcome run = solve(problem, {0.5, 0.25}, {1.0, 1.0}, 2, 100);

    EXPECT_EQ(run.result, -1);
    EXPECT_EQ(run.stderrText,
              "splm_core(): Hessian's column 1 is empty, the corresponding Jacobian column is also empty?\n");
    EXPECT_EQ(run.p, (std::vector<double>{0.5, 0.25}));
    EXPECT_EQ(run.info[6], 4.0);
    EXPECT_EQ(run.info[5], 0.0);
    EXPECT_EQ(run.info[8], 1.0);
    EXPECT_EQ(run.info[9], 0.0);
    EXPECT_EQ(run.info[3], DBL_MAX);
    EXPECT_EQ(run.info[0], run.info[1]);
}

TEST(SparseLevenbergMarquardt, ConstantParametersStayAndStayOutOfTheSystem)
{
    // hx = (p0 + p1, p1, 5 p0); with p0 held at 1 the best p1 is
    // argmin (3 - 1 - p1)^2 + (1 - p1)^2 = 1.5.
    Problem problem = linearProblem({{1.0, 1.0}, {0.0, 1.0}, {5.0, 0.0}}, {{1.0, 1.0}, {0.0, 1.0}, {5.0, 0.0}});
    const Outcome run = solve(problem, {1.0, 0.0}, {3.0, 1.0, 5.0}, 3, 100, nullptr, 1);
    EXPECT_GE(run.result, 1);
    EXPECT_EQ(run.p[0], 1.0);
    EXPECT_NEAR(run.p[1], 1.5, 1e-6);
    EXPECT_NEAR(run.info[1], 0.5, 1e-9);
    // The constant column does not enter the largest-gradient test either: at
    // the optimum only its own gradient (row 3) would be non-zero.
    EXPECT_LT(run.info[2], 1e-5);
}

TEST(SparseLevenbergMarquardt, AllParametersConstantStopsOnTheGradient)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    const Outcome run = solve(problem, {0.0}, {1.0}, 1, 100, nullptr, 1);
    EXPECT_EQ(run.result, 0);
    EXPECT_EQ(run.info[6], 1.0);
    EXPECT_EQ(run.info[2], 0.0);
    EXPECT_EQ(run.p[0], 0.0);
}

TEST(SparseLevenbergMarquardt, FactorisationRunsTheBlasOnOneThread)
{
    Problem problem = linearProblem({{1.0}}, {{1.0}});
    solve(problem, {0.0}, {1.0}, 1, 100);
    EXPECT_EQ(openblas_get_num_threads(), 1);
}

// ---------------------------------------------------------------------------
// A sheet of W x H points in space, pulled weakly towards targets and held by
// the lengths of its grid edges and diagonals. The targets and the lengths are
// taken from a known bent sheet, so that sheet is the exact minimum (error 0).

struct Sheet {
    int W = 0, H = 0;
    std::vector<double> truth;
    std::vector<std::pair<int, int>> edges;
    std::vector<double> lengths;
    double anchorWeight = 0.1;

    int points() const { return W * H; }
    int nvars() const { return 3 * points(); }
    int nobs() const { return 3 * points() + int(edges.size()); }
    int Jnnz() const { return 3 * points() + 6 * int(edges.size()); }

    Sheet(int w, int h) : W(w), H(h)
    {
        for (int j = 0; j < H; ++j) {
            for (int i = 0; i < W; ++i) {
                truth.push_back(i + 0.2 * std::sin(0.7 * j));
                truth.push_back(j + 0.1 * i * std::cos(0.3 * j));
                truth.push_back(1.5 * std::sin(0.35 * i) * std::cos(0.25 * j));
            }
        }
        for (int j = 0; j < H; ++j) {
            for (int i = 0; i < W; ++i) {
                const int a = j * W + i;
                if (i + 1 < W)
                    edges.push_back({a, a + 1});
                if (j + 1 < H)
                    edges.push_back({a, a + W});
                if (i + 1 < W && j + 1 < H)
                    edges.push_back({a, a + W + 1});
                if (i > 0 && j + 1 < H)
                    edges.push_back({a, a + W - 1});
            }
        }
        for (const auto& e : edges)
            lengths.push_back(distance(truth.data(), e.first, e.second));
    }

    static double distance(const double* p, int a, int b)
    {
        const double dx = p[3 * a] - p[3 * b], dy = p[3 * a + 1] - p[3 * b + 1], dz = p[3 * a + 2] - p[3 * b + 2];
        return std::sqrt(dx * dx + dy * dy + dz * dz);
    }

    // Residuals (the measurements are zero).
    void model(const double* p, double* hx) const
    {
        for (int k = 0; k < 3 * points(); ++k)
            hx[k] = anchorWeight * (p[k] - truth[k]);
        for (size_t e = 0; e < edges.size(); ++e)
            hx[3 * points() + e] = distance(p, edges[e].first, edges[e].second) - lengths[e];
    }

    void jacobian(const double* p, splm_crsm* J) const
    {
        int k = 0;
        int row = 0;
        for (; row < 3 * points(); ++row) {
            J->rowptr[row] = k;
            J->colidx[k] = row;
            J->val[k++] = anchorWeight;
        }
        for (size_t e = 0; e < edges.size(); ++e, ++row) {
            const int a = std::min(edges[e].first, edges[e].second);
            const int b = std::max(edges[e].first, edges[e].second);
            const double d = distance(p, a, b);
            J->rowptr[row] = k;
            for (int c = 0; c < 3; ++c) {
                J->colidx[k] = 3 * a + c;
                J->val[k++] = (p[3 * a + c] - p[3 * b + c]) / d;
            }
            for (int c = 0; c < 3; ++c) {
                J->colidx[k] = 3 * b + c;
                J->val[k++] = (p[3 * b + c] - p[3 * a + c]) / d;
            }
        }
        J->rowptr[row] = k;
        J->nr = nobs();
        J->nc = nvars();
        J->nnz = k;
    }

    // A start away from the truth: the flat sheet plus a deterministic wobble.
    std::vector<double> start() const
    {
        std::vector<double> p = truth;
        for (int k = 0; k < nvars(); ++k)
            p[k] = k % 3 == 2 ? 0.0 : truth[k] + 0.15 * std::sin(1.7 * k);
        return p;
    }

    Problem problem() const
    {
        Problem problem;
        problem.model = [this](const double* p, double* hx) { model(p, hx); };
        problem.jacobian = [this](const double* p, splm_crsm* J) { jacobian(p, J); };
        return problem;
    }
};

TEST(SparseLevenbergMarquardt, BentSheetOfThreeThousandUnknownsConvergesToTheTruth)
{
    const Sheet sheet(32, 32);  // 3072 unknowns
    Problem problem = sheet.problem();
    std::vector<double> p = sheet.start();
    double info[SPLM_INFO_SZ];
    const int iterations = splm_crs_analytic(modelCallback, jacobianCallback, p.data(), nullptr, sheet.nvars(), 0,
                                             sheet.nobs(), sheet.Jnnz(), -1, 200, nullptr, info, &problem);
    ASSERT_GE(iterations, 1);
    EXPECT_TRUE(info[6] == 6.0 || info[6] == 2.0) << info[6];
    EXPECT_LE(info[1], 1e-12);
    double worst = 0.0;
    for (int k = 0; k < sheet.nvars(); ++k)
        worst = std::max(worst, std::fabs(p[k] - sheet.truth[k]));
    EXPECT_LT(worst, 1e-5);
    EXPECT_EQ(info[8], double(iterations));
}

// Dense Cholesky solve of a symmetric positive definite system.
std::vector<double> denseSolve(std::vector<double> A, std::vector<double> b, int n)
{
    for (int j = 0; j < n; ++j) {
        double d = A[j * n + j];
        for (int k = 0; k < j; ++k)
            d -= A[j * n + k] * A[j * n + k];
        d = std::sqrt(d);
        A[j * n + j] = d;
        for (int i = j + 1; i < n; ++i) {
            double s = A[i * n + j];
            for (int k = 0; k < j; ++k)
                s -= A[i * n + k] * A[j * n + k];
            A[i * n + j] = s / d;
        }
    }
    for (int i = 0; i < n; ++i) {
        for (int k = 0; k < i; ++k)
            b[i] -= A[i * n + k] * b[k];
        b[i] /= A[i * n + i];
    }
    for (int i = n - 1; i >= 0; --i) {
        for (int k = i + 1; k < n; ++k)
            b[i] -= A[k * n + i] * b[k];
        b[i] /= A[i * n + i];
    }
    return b;
}

TEST(SparseLevenbergMarquardt, StepAgreesWithADenseSolveOfTheSameNormalEquations)
{
    const Sheet sheet(20, 20);  // 1200 unknowns
    const int n = sheet.nvars();
    const std::vector<double> p0 = sheet.start();

    // Dense J, J^T J + mu I and J^T e at the start.
    splm_crsm J;
    splm_crsm_alloc(&J, sheet.nobs(), n, sheet.Jnnz());
    sheet.jacobian(p0.data(), &J);
    std::vector<double> hx(sheet.nobs());
    sheet.model(p0.data(), hx.data());
    std::vector<double> A(size_t(n) * n, 0.0), Jte(n, 0.0);
    for (int r = 0; r < J.nr; ++r) {
        for (int a = J.rowptr[r]; a < J.rowptr[r + 1]; ++a) {
            Jte[J.colidx[a]] += J.val[a] * -hx[r];
            for (int b = J.rowptr[r]; b < J.rowptr[r + 1]; ++b)
                A[size_t(J.colidx[a]) * n + J.colidx[b]] += J.val[a] * J.val[b];
        }
    }
    splm_crsm_free(&J);
    double largest = 0.0;
    for (int i = 0; i < n; ++i)
        largest = std::max(largest, A[size_t(i) * n + i]);
    const double tau = 1e-2;
    for (int i = 0; i < n; ++i)
        A[size_t(i) * n + i] += tau * largest;
    const std::vector<double> dp = denseSolve(A, Jte, n);

    Problem problem = sheet.problem();
    std::vector<double> p = p0;
    const double opts[SPLM_OPTS_SZ] = {tau, 1e-12, 1e-12, 1e-12, 1e-6, 1.0};
    double info[SPLM_INFO_SZ];
    const int iterations = splm_crs_analytic(modelCallback, jacobianCallback, p.data(), nullptr, n, 0, sheet.nobs(),
                                             sheet.Jnnz(), -1, 1, opts, info, &problem);
    ASSERT_EQ(iterations, 1);
    ASSERT_EQ(info[9], 1.0);  // the first step was accepted
    double worst = 0.0, size = 0.0;
    for (int i = 0; i < n; ++i) {
        worst = std::max(worst, std::fabs(p[i] - (p0[i] + dp[i])));
        size = std::max(size, std::fabs(dp[i]));
    }
    EXPECT_GT(size, 1e-2);
    EXPECT_LT(worst, 1e-10 * std::max(1.0, size));
}

TEST(SparseLevenbergMarquardt, PreallocatedNormalMatrixSizeGivesTheSameSolve)
{
    // The sheet's J^T J: 3x3 blocks on the diagonal and one per edge, both triangles.
    const Sheet sheet(6, 5);
    const int JtJnnz = 9 * (sheet.points() + 2 * int(sheet.edges.size()));
    Problem first = sheet.problem(), second = sheet.problem();
    std::vector<double> a = sheet.start(), b = sheet.start();
    double infoA[SPLM_INFO_SZ], infoB[SPLM_INFO_SZ];
    const int ra = splm_crs_analytic(modelCallback, jacobianCallback, a.data(), nullptr, sheet.nvars(), 0, sheet.nobs(),
                                     sheet.Jnnz(), -1, 50, nullptr, infoA, &first);
    int rb = 0;
    const QByteArray text = TestSupport::captureStderr([&] {
        rb = splm_crs_analytic(modelCallback, jacobianCallback, b.data(), nullptr, sheet.nvars(), 0, sheet.nobs(),
                               sheet.Jnnz(), JtJnnz, 50, nullptr, infoB, &second);
    });
    EXPECT_EQ(text, QByteArray());
    EXPECT_EQ(ra, rb);
    EXPECT_EQ(a, b);
}

// ---------------------------------------------------------------------------
// Finite-difference entries and the Jacobian check, on a small nonlinear model:
// hx = (p0^2 + p1, sin(p1) * p2, p2^3, p0 - p2).

void smallModel(double* p, double* hx, int, int, void*)
{
    hx[0] = p[0] * p[0] + p[1];
    hx[1] = std::sin(p[1]) * p[2];
    hx[2] = p[2] * p[2] * p[2];
    hx[3] = p[0] - p[2];
}

void smallJacobian(double* p, splm_ccsm* J, int, int, void* wrong)
{
    // Columns 0: rows 0, 3; 1: rows 0, 1; 2: rows 1, 2, 3.
    const int colptr[] = {0, 2, 4, 7};
    const int rowidx[] = {0, 3, 0, 1, 1, 2, 3};
    const double val[] = {2 * p[0], 1.0, 1.0, std::cos(p[1]) * p[2], std::sin(p[1]), 3 * p[2] * p[2], -1.0};
    for (int j = 0; j <= 3; ++j)
        J->colptr[j] = colptr[j];
    for (int k = 0; k < 7; ++k) {
        J->rowidx[k] = rowidx[k];
        J->val[k] = val[k];
    }
    if (wrong)
        J->val[5] *= 1.5;  // row 2 wrong
    J->nr = 4;
    J->nc = 3;
    J->nnz = 7;
}

void smallJacobianRows(double* p, splm_crsm* J, int, int, void*)
{
    // Rows 0: columns 0, 1; 1: 1, 2; 2: 2; 3: 0, 2. Values only when asked for.
    const int rowptr[] = {0, 2, 4, 5, 7};
    const int colidx[] = {0, 1, 1, 2, 2, 0, 2};
    const double val[] = {2 * p[0], 1.0, std::cos(p[1]) * p[2], std::sin(p[1]), 3 * p[2] * p[2], 1.0, -1.0};
    for (int i = 0; i <= 4; ++i)
        J->rowptr[i] = rowptr[i];
    for (int k = 0; k < 7; ++k) {
        J->colidx[k] = colidx[k];
        if (J->val)
            J->val[k] = val[k];
    }
    J->nr = 4;
    J->nc = 3;
    J->nnz = 7;
}

TEST(SparseLevenbergMarquardt, OtherJacobianFormsReachTheSameMinimum)
{
    // Measurements of the model at (1, 0.5, 2).
    double truth[3] = {1.0, 0.5, 2.0};
    double x[4];
    smallModel(truth, x, 3, 4, nullptr);

    struct Case {
        const char* name;
        std::function<int(double* p, double* info)> run;
    };
    const std::vector<Case> cases = {
        {"column analytic",
         [&](double* p, double* info) {
             return splm_ccs_analytic(smallModel, smallJacobian, p, x, 3, 0, 4, 7, -1, 100, nullptr, info, nullptr);
         }},
        {"row finite differences with a pattern",
         [&](double* p, double* info) {
             return splm_crs_finite_difference(smallModel, smallJacobianRows, p, x, 3, 0, 4, 7, -1, 100, nullptr, info,
                                               nullptr);
         }},
        {"column finite differences with a pattern",
         [&](double* p, double* info) {
             return splm_ccs_finite_difference(smallModel, smallJacobian, p, x, 3, 0, 4, 7, -1, 100, nullptr, info,
                                               nullptr);
         }},
        {"discovered pattern",
         [&](double* p, double* info) {
             return splm_crs_finite_difference(smallModel, nullptr, p, x, 3, 0, 4, 0, -1, 100, nullptr, info, nullptr);
         }},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.name);
        double p[3] = {0.8, 0.4, 1.7};
        double info[SPLM_INFO_SZ];
        int result = 0;
        const std::string text = TestSupport::captureStderr([&] { result = c.run(p, info); }).toStdString();
        EXPECT_GE(result, 1);
        EXPECT_LE(info[1], 1e-10);
        for (int i = 0; i < 3; ++i)
            EXPECT_NEAR(p[i], truth[i], 1e-5);
        const bool differences = std::string(c.name).find("finite") != std::string::npos ||
                                 std::string(c.name).find("discovered") != std::string::npos;
        EXPECT_EQ(text.find("no analytic Jacobian function supplied") != std::string::npos, differences);
        if (differences) {
            EXPECT_GT(info[7], info[8] + 1);  // difference evaluations are counted too
        }
    }
}

TEST(SparseLevenbergMarquardt, JacobianCheckScoresRightAndWrongRows)
{
    double p[3] = {0.7, 0.3, 1.2};
    double right[4], wrong[4];
    splm_check_jacobian_ccs(smallModel, smallJacobian, p, 3, 4, 7, nullptr, right);
    int flag = 1;
    splm_check_jacobian_ccs(smallModel, smallJacobian, p, 3, 4, 7, &flag, wrong);
    for (int i = 0; i < 4; ++i)
        EXPECT_GT(right[i], 0.9) << i;
    EXPECT_LT(wrong[2], 0.1);
    EXPECT_GT(wrong[0], 0.9);

    double rows[4];
    splm_check_jacobian_crs(smallModel, smallJacobianRows, p, 3, 4, 7, nullptr, rows);
    for (int i = 0; i < 4; ++i)
        EXPECT_EQ(rows[i], right[i]);
}

}  // namespace
