// The Levenberg-Marquardt iteration and its entries, and the residual. The iteration's pieces:
// argument checks, the set-up and release of one solve's work memory, the normal equations at
// the current parameters, the damped step with its stop tests, and the information record.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_memory.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const char* const kSolverNames[] = {"**unused**", "CHOLMOD", "CSPARSE", "LDL",     "UMFPACK", "MA77",    "MA57", "MA47",
                                    "MA27",       "PARDISO", "DSS",     "SuperLU", "TAUCS",   "SPOOLES", "MUMPS"};
constexpr int kSolverNameCount = int(sizeof(kSolverNames) / sizeof(kSolverNames[0]));

// Linear solves one iteration may make before it gives up (stop reason 5).
constexpr int kMaxTrialsPerIteration = 30;
// The fast value pass keeps one position per run of consecutive columns; beyond
// this many positions per Jacobian entry it falls back to searching.
constexpr int kMaxPositionsPerJacobianEntry = 16;

template <typename T>
T* work(int line, long long count)
{
    return splm_work_array<T>("splm", line, count);
}

// Floor of a / 2 for any sign.
int floorHalf(int a)
{
    return a >= 0 ? a / 2 : -((-a + 1) / 2);
}

struct Options {
    double tau = SPLM_INIT_MU;
    double eps1 = SPLM_STOP_THRESH;
    double eps2 = SPLM_STOP_THRESH;
    double eps2Squared = SPLM_STOP_THRESH * SPLM_STOP_THRESH;
    double eps3 = SPLM_STOP_THRESH;
    double delta = SPLM_DIFF_DELTA;
    int solver = SPLM_CHOLMOD;
};

Options readOptions(const double* opts)
{
    Options o;
    if (!opts)
        return o;
    o.tau = std::fabs(opts[0]);
    o.eps1 = std::fabs(opts[1]);
    o.eps2 = std::fabs(opts[2]);
    o.eps2Squared = opts[2] * opts[2];
    o.eps3 = std::fabs(opts[3]);
    o.delta = opts[4];
    o.solver = int(opts[5]);
    return o;
}

[[noreturn]] void rejectSolver(int code)
{
    if (code >= 2 && code < kSolverNameCount)
        std::fprintf(stderr, "\n*** unsupported sparse direct solver \"%s\" specified to splm_core(), exiting!\n\n",
                     kSolverNames[code]);
    else
        std::fprintf(stderr, "\n*** unknown sparse direct solver \"%d\" specified to splm_core(), exiting!\n\n", code);
    std::exit(1);
}

double sumOfSquares(const double* a, int from, int to)
{
    double sum = 0.0;
    for (int i = from; i < to; ++i)
        sum += a[i] * a[i];
    return sum;
}

}  // namespace

double splm_residual(double* e, const double* x, const double* hx, int nobs)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int i = 0;
    for (; i + 8 <= nobs; i += 8) {
        e[i] = x[i] - hx[i];
        s0 += e[i] * e[i];
        e[i + 1] = x[i + 1] - hx[i + 1];
        s1 += e[i + 1] * e[i + 1];
        e[i + 2] = x[i + 2] - hx[i + 2];
        s2 += e[i + 2] * e[i + 2];
        e[i + 3] = x[i + 3] - hx[i + 3];
        s3 += e[i + 3] * e[i + 3];
        e[i + 4] = x[i + 4] - hx[i + 4];
        s0 += e[i + 4] * e[i + 4];
        e[i + 5] = x[i + 5] - hx[i + 5];
        s1 += e[i + 5] * e[i + 5];
        e[i + 6] = x[i + 6] - hx[i + 6];
        s2 += e[i + 6] * e[i + 6];
        e[i + 7] = x[i + 7] - hx[i + 7];
        s3 += e[i + 7] * e[i + 7];
    }
    for (; i < nobs; ++i) {
        e[i] = x[i] - hx[i];
        s0 += e[i] * e[i];
    }
    return s0 + s1 + s2 + s3;
}

double splm_residual_negated(double* e, const double*, const double* hx, int nobs)
{
    double s0 = 0.0, s1 = 0.0, s2 = 0.0, s3 = 0.0;
    int i = 0;
    for (; i + 8 <= nobs; i += 8) {
        e[i] = -hx[i];
        s0 += e[i] * e[i];
        e[i + 1] = -hx[i + 1];
        s1 += e[i + 1] * e[i + 1];
        e[i + 2] = -hx[i + 2];
        s2 += e[i + 2] * e[i + 2];
        e[i + 3] = -hx[i + 3];
        s3 += e[i + 3] * e[i + 3];
        e[i + 4] = -hx[i + 4];
        s0 += e[i + 4] * e[i + 4];
        e[i + 5] = -hx[i + 5];
        s1 += e[i + 5] * e[i + 5];
        e[i + 6] = -hx[i + 6];
        s2 += e[i + 6] * e[i + 6];
        e[i + 7] = -hx[i + 7];
        s3 += e[i + 7] * e[i + 7];
    }
    for (; i < nobs; ++i) {
        e[i] = -hx[i];
        s0 += e[i] * e[i];
    }
    return s0 + s1 + s2 + s3;
}

namespace {

// The sizes and callbacks of one solve, as splm_core receives them.
struct Problem {
    splm_model_callback func;
    splm_jacobian_functions jacobian;
    int kind;
    double* x;
    int nvars;
    int nconvars;
    int nobs;
    int Jnnz;
    void* adata;
    int n() const { return nvars - nconvars; }
};

// Argument checks: a rejected call returns -1 before anything is allocated or called.
bool argumentsAccepted(const Problem& q)
{
    if (q.nobs < q.nvars) {
        std::fprintf(stderr, "splm_core(): cannot solve a problem with fewer measurements [%d] than unknowns [%d]\n",
                     q.nobs, q.nvars);
        return false;
    }
    if (q.nconvars < 0) {
        std::fprintf(stderr, "splm_core(): number of variables to be kept constant must be non negative ([%d])\n",
                     q.nconvars);
        return false;
    }
    if (!q.jacobian.ccs && !q.jacobian.crs) {
        if (q.kind == SPLM_ANALYTIC_JACOBIAN) {
            std::fprintf(stderr, "splm_core(): a function computing the Jacobian should be supplied!\n");
            return false;
        }
        std::fprintf(stderr,
                     "\n*** warning: requested attempt to discover the Jacobian's nonzero pattern might "
                     "fail quietly in splm_core()!\n");
    } else if (q.Jnnz < 1) {
        std::fprintf(stderr,
                     "splm_core(): invalid Jacobian size speficied, number of nonzero elements must be "
                     "positive! [%d]\n",
                     q.Jnnz);
        return false;
    }
    return true;
}

// The work memory and records of one solve.
struct Workspace {
    double* e = nullptr;
    double* hx = nullptr;
    double* Jte = nullptr;
    double* dp = nullptr;
    double* pdp = nullptr;
    double** diagonal = nullptr;  // per free parameter, its entry of AtA's diagonal
    bool rowJacobian = false;
    splm_crsm Jr;
    splm_ccsm Jc;
    splm_ccsm AtA;
    splm_finite_difference_data differences;
    splm_ccsm_jacobian_callback columnCallback = nullptr;
    void* columnData = nullptr;
    splm_cholmod_state* cholmod = nullptr;
    splm_AtA_positions positions;
    bool havePositions = false;
};

// Allocates the work memory and the Jacobian record, rejects solvers other than CHOLMOD, and
// for the finite-difference kinds finds the Jacobian's pattern and sets up the differences.
void setUp(Workspace& w, const Problem& q, const Options& o, double* p, int JtJnnz)
{
    const int n = q.n();
    w.e = work<double>(__LINE__, q.nobs);
    w.hx = work<double>(__LINE__, q.nobs);
    w.Jte = work<double>(__LINE__, q.nvars);
    w.dp = work<double>(__LINE__, q.nvars);
    w.pdp = work<double>(__LINE__, q.nvars);
    w.diagonal = work<double*>(__LINE__, n);

    w.rowJacobian = q.kind == SPLM_ANALYTIC_JACOBIAN && q.jacobian.crs;
    if (w.rowJacobian)
        splm_crsm_alloc(&w.Jr, q.nobs, q.nvars, q.Jnnz);
    else if (q.kind == SPLM_ANALYTIC_JACOBIAN)
        splm_ccsm_alloc(&w.Jc, q.nobs, q.nvars, q.Jnnz);

    if (o.solver != SPLM_CHOLMOD)
        rejectSolver(o.solver);

    w.AtA.nnz = -1;
    if (q.kind == SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN)
        JtJnnz = -1;
    if (JtJnnz >= 1)
        splm_ccsm_alloc(&w.AtA, n, n, n + floorHalf(JtJnnz - n));

    w.columnCallback = q.jacobian.ccs;
    w.columnData = q.adata;
    if (q.kind == SPLM_ANALYTIC_JACOBIAN)
        return;
    std::fprintf(stderr,
                 "\n*** warning: no analytic Jacobian function supplied to splm_core(), performance will suffer!\n\n");
    if (q.kind == SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN) {
        splm_discover_pattern(q.func, p, q.nvars, q.nobs, q.Jnnz, o.delta, &w.Jc, q.adata);
    } else if (q.jacobian.crs) {
        splm_crsm pattern;
        splm_crsm_alloc_novalues(&pattern, q.nobs, q.nvars, q.Jnnz);
        q.jacobian.crs(p, &pattern, q.nvars, q.nobs, q.adata);
        splm_ccsm_alloc(&w.Jc, q.nobs, q.nvars, pattern.rowptr[pattern.nr]);
        splm_crsm2ccsm(&pattern, &w.Jc);
        splm_crsm_free(&pattern);
    } else {
        splm_ccsm_alloc(&w.Jc, q.nobs, q.nvars, q.Jnnz);
        q.jacobian.ccs(p, &w.Jc, q.nvars, q.nobs, q.adata);
        w.Jc.nnz = w.Jc.colptr[w.Jc.nc];
    }
    splm_finite_difference_data& d = w.differences;
    d.delta = std::fabs(o.delta);
    d.forward = o.delta > 0.0 ? 1 : 0;
    d.hx = w.hx;
    d.work = work<double>(__LINE__, q.nobs);
    d.func = q.func;
    d.evaluations = q.kind == SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN ? q.nvars + 1 : 0;
    d.adata = q.adata;
    w.columnCallback = splm_finite_difference_jacobian;
    w.columnData = &d;
}

void release(Workspace& w)
{
    std::free(w.e);
    std::free(w.hx);
    std::free(w.Jte);
    std::free(w.dp);
    std::free(w.pdp);
    std::free(w.diagonal);
    std::free(w.differences.work);
    if (w.rowJacobian)
        splm_crsm_free(&w.Jr);
    else
        splm_ccsm_free(&w.Jc);
    splm_ccsm_free(&w.AtA);
    splm_AtA_positions_free(&w.positions);
    if (w.cholmod)
        splm_Axb_CHOLMOD(nullptr, nullptr, &w.cholmod, 3, nullptr);
}

// The Jacobian at p, then J^T J and J^T e over the free parameters. The normal matrix's
// pattern (and, for row Jacobians, the position table of the value pass) is set up at the
// first iteration.
void normalEquations(Workspace& w, const Problem& q, double* p, int it)
{
    if (w.rowJacobian) {
        // The callback may fill up to the full capacity every time.
        w.Jr.nr = q.nobs;
        w.Jr.nc = q.nvars;
        w.Jr.nnz = q.Jnnz;
        q.jacobian.crs(p, &w.Jr, q.nvars, q.nobs, q.adata);
        if (it == 1) {
            splm_setup_AtA_crsA(&w.Jr, q.nconvars, &w.AtA, 1);
            w.havePositions =
                splm_AtA_positions_setup(&w.Jr, q.nconvars, &w.AtA, &w.positions, kMaxPositionsPerJacobianEntry) == 1;
        }
        if (w.havePositions && splm_AtA_positions_match(&w.positions, &w.Jr))
            splm_calc_AtA_Atb_crsA_positions(&w.Jr, &w.positions, &w.AtA, w.e, w.Jte + q.nconvars);
        else
            splm_calc_AtA_Atb_crsA(&w.Jr, q.nconvars, &w.AtA, 1, w.e, w.Jte + q.nconvars);
        return;
    }
    if (q.kind == SPLM_ANALYTIC_JACOBIAN) {
        w.Jc.nr = q.nobs;
        w.Jc.nc = q.nvars;
        w.Jc.nnz = q.Jnnz;
    }
    w.columnCallback(p, &w.Jc, q.nvars, q.nobs, w.columnData);
    const int hidden = splm_ccsm_drop_leading_columns(&w.Jc, q.nconvars);
    if (it == 1)
        splm_setup_AtA_ccsA(&w.Jc, &w.AtA, 1);
    if (w.AtA.nnz > 0)
        splm_calc_AtA_ccsA(&w.Jc, &w.AtA, 1);
    splm_calc_Atb_ccsA(&w.Jc, w.e, w.Jte + q.nconvars);
    splm_ccsm_restore_leading_columns(&w.Jc, q.nconvars, hidden);
}

// Where the solve stands: the figures the information record reports and the stop reason.
struct Progress {
    double E = 0.0;
    double E0 = 0.0;
    double g = 0.0;
    double D = DBL_MAX;
    double mu = 0.0;
    double largestDiagonal = DBL_MIN;
    int k = 0;
    int reason = 0;
    int modelEvaluations = 0;
    int jacobianEvaluations = 0;
    int linearSolves = 0;
    bool failed = false;
};

// At the first iteration: finds every free parameter's diagonal entry and starts the damping
// from the largest. A missing entry (a parameter no measurement depends on) makes the system
// singular whatever the damping: the solve gives up without a step.
bool startDamping(Workspace& w, const Problem& q, const Options& o, Progress& s)
{
    std::fill(w.Jte, w.Jte + q.nconvars, 0.0);
    for (int j = 0; j < q.n(); ++j) {
        const int at = splm_ccsm_find(&w.AtA, j, j);
        if (at < 0) {
            std::fprintf(stderr,
                         "splm_core(): Hessian's column %d is empty, the corresponding Jacobian column is "
                         "also empty?\n",
                         q.nconvars + j);
            s.failed = true;
            s.reason = 4;
            s.k = 0;
            return false;
        }
        w.diagonal[j] = w.AtA.val + at;
        s.largestDiagonal = std::max(s.largestDiagonal, w.AtA.val[at]);
    }
    s.mu = o.tau * s.largestDiagonal;
    return true;
}

// The damping's growth after a failed trial: mu becomes mu * nu and nu doubles. Returns what
// the trial after it adds to the diagonal.
double raiseDamping(double& mu, double& nu)
{
    const double muNew = mu * nu;
    const double rise = muNew - mu;
    mu = muNew;
    nu *= 2.0;
    return rise;
}

// Damps the normal equations more and more until a step lowers the residual, or a stop test
// ends the iteration (s.reason). P is the squared norm of the free parameters.
void dampedStep(Workspace& w, const Problem& q, const Options& o, double* p, double P, int it, int itmax,
                double (*residual)(double*, const double*, const double*, int), Progress& s)
{
    double nu = 2.0;
    const int solvesBefore = s.linearSolves;
    double amount = s.mu;
    for (;;) {
        for (int j = 0; j < q.n(); ++j)
            *w.diagonal[j] += amount;
        const int solved =
            splm_Axb_CHOLMOD(&w.AtA, w.Jte + q.nconvars, &w.cholmod, s.linearSolves == 0 ? 1 : 2, w.dp + q.nconvars);
        ++s.linearSolves;

        if (solved) {
            std::fill(w.dp, w.dp + q.nconvars, 0.0);
            for (int i = 0; i < q.nvars; ++i)
                w.pdp[i] = p[i] + w.dp[i];
            s.D = sumOfSquares(w.dp, 0, q.nvars);
            if (s.D <= o.eps2Squared * P) {
                s.reason = 2;
                return;
            }
            if (s.D >= (P + o.eps2) / 1e-24) {
                s.reason = 4;
                return;
            }
            q.func(w.pdp, w.hx, q.nvars, q.nobs, q.adata);
            ++s.modelEvaluations;
            const double trialE = residual(w.e, q.x, w.hx, q.nobs);
            if (!std::isfinite(trialE)) {
                s.reason = 7;
                return;
            }
            double dL = 0.0;
            for (int i = 0; i < q.nvars; ++i)
                dL += w.dp[i] * (s.mu * w.dp[i] + w.Jte[i]);
            const double dF = s.E - trialE;
            if (dL > 0.0 && dF > 0.0) {
                const double t = 2.0 * dF / dL - 1.0;
                s.mu *= std::max(0.3333333334, 1.0 - t * t * t);
                std::memcpy(p, w.pdp, sizeof(double) * size_t(q.nvars));
                s.k = it;
                s.E = trialE;
                if (it == itmax)
                    s.reason = 3;
                else if (trialE <= o.eps3)
                    s.reason = 6;
                return;
            }
        }
        amount = raiseDamping(s.mu, nu);
        if (s.linearSolves - solvesBefore == kMaxTrialsPerIteration) {
            s.reason = 5;
            return;
        }
    }
}

void fillInformation(double info[SPLM_INFO_SZ], const Progress& s, const Workspace& w, const Problem& q)
{
    info[0] = s.E0;
    info[1] = s.E;
    info[2] = s.g;
    info[3] = s.D;
    info[4] = s.jacobianEvaluations > 0 ? s.mu / s.largestDiagonal : 0.0;
    info[5] = s.k;
    info[6] = s.reason;
    info[7] = s.modelEvaluations + (q.kind != SPLM_ANALYTIC_JACOBIAN ? w.differences.evaluations : 0);
    info[8] = s.jacobianEvaluations;
    info[9] = s.linearSolves;
}

}  // namespace

int splm_core(splm_model_callback func, splm_jacobian_functions jacobian, int kind, double* p, double* x, int nvars,
              int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
              double info[SPLM_INFO_SZ], void* adata)
{
    const Problem q{func, jacobian, kind, x, nvars, nconvars, nobs, Jnnz, adata};
    if (!argumentsAccepted(q))
        return -1;  // info untouched, nothing called

    const Options o = readOptions(opts);
    Workspace w;
    setUp(w, q, o, p, JtJnnz);
    double (*residual)(double*, const double*, const double*, int) = x ? splm_residual : splm_residual_negated;

    Progress s;
    func(p, w.hx, nvars, nobs, adata);
    s.modelEvaluations = 1;
    s.E = residual(w.e, x, w.hx, nobs);
    s.E0 = s.E;
    if (itmax <= 0)
        s.reason = 3;
    else if (s.E <= o.eps3)
        s.reason = 6;

    for (int it = 1; s.reason == 0; ++it) {
        s.jacobianEvaluations = it;
        normalEquations(w, q, p, it);

        s.g = 0.0;
        for (int i = nconvars; i < nvars; ++i)
            s.g = std::max(s.g, std::fabs(w.Jte[i]));
        const double P = sumOfSquares(p, nconvars, nvars);
        if (it > 1) {
            s.largestDiagonal = DBL_MIN;
            for (int j = 0; j < q.n(); ++j)
                s.largestDiagonal = std::max(s.largestDiagonal, *w.diagonal[j]);
        }
        if (s.g <= o.eps1) {
            s.reason = 1;
            s.k = it - 1;
            break;
        }
        if (it == 1 && !startDamping(w, q, o, s))
            break;

        dampedStep(w, q, o, p, P, it, itmax, residual, s);
        if (s.reason == 2 || s.reason == 4 || s.reason == 5 || s.reason == 7) {
            s.k = it;
            if (it >= itmax)
                s.reason = 3;
        }
    }

    if (info)
        fillInformation(info, s, w, q);
    release(w);
    if (s.failed || s.reason == 4 || s.reason == 7)
        return -1;
    return s.k;
}

int splm_crs_analytic(splm_model_callback func, splm_crsm_jacobian_callback fjac, double* p, double* x, int nvars,
                      int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
                      double info[SPLM_INFO_SZ], void* adata)
{
    splm_jacobian_functions jacobian;
    jacobian.crs = fjac;
    return splm_core(func, jacobian, SPLM_ANALYTIC_JACOBIAN, p, x, nvars, nconvars, nobs, Jnnz, JtJnnz, itmax, opts,
                     info, adata);
}

int splm_ccs_analytic(splm_model_callback func, splm_ccsm_jacobian_callback fjac, double* p, double* x, int nvars,
                      int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
                      double info[SPLM_INFO_SZ], void* adata)
{
    splm_jacobian_functions jacobian;
    jacobian.ccs = fjac;
    return splm_core(func, jacobian, SPLM_ANALYTIC_JACOBIAN, p, x, nvars, nconvars, nobs, Jnnz, JtJnnz, itmax, opts,
                     info, adata);
}

int splm_crs_finite_difference(splm_model_callback func, splm_crsm_jacobian_callback pattern, double* p, double* x,
                               int nvars, int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax,
                               const double opts[SPLM_OPTS_SZ], double info[SPLM_INFO_SZ], void* adata)
{
    splm_jacobian_functions jacobian;
    jacobian.crs = pattern;
    const int kind = pattern ? SPLM_FINITE_DIFFERENCE_GIVEN_PATTERN : SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN;
    return splm_core(func, jacobian, kind, p, x, nvars, nconvars, nobs, Jnnz, JtJnnz, itmax, opts, info, adata);
}

int splm_ccs_finite_difference(splm_model_callback func, splm_ccsm_jacobian_callback pattern, double* p, double* x,
                               int nvars, int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax,
                               const double opts[SPLM_OPTS_SZ], double info[SPLM_INFO_SZ], void* adata)
{
    splm_jacobian_functions jacobian;
    jacobian.ccs = pattern;
    const int kind = pattern ? SPLM_FINITE_DIFFERENCE_GIVEN_PATTERN : SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN;
    return splm_core(func, jacobian, kind, p, x, nvars, nconvars, nobs, Jnnz, JtJnnz, itmax, opts, info, adata);
}

double splm_clock_seconds()
{
    return double(std::clock()) / CLOCKS_PER_SEC;
}
