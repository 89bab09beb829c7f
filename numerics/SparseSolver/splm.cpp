// The Levenberg-Marquardt iteration, its entries, the residual and the
// checked allocator.
#include "numerics/SparseSolver/splm.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <ctime>

namespace {

const char* const kSolverNames[] = {"**unused**", "CHOLMOD", "CSPARSE", "LDL",     "UMFPACK",
                                    "MA77",       "MA57",    "MA47",    "MA27",    "PARDISO",
                                    "DSS",        "SuperLU", "TAUCS",   "SPOOLES", "MUMPS"};
constexpr int kSolverNameCount = int(sizeof(kSolverNames) / sizeof(kSolverNames[0]));

// Linear solves one iteration may make before it gives up (stop reason 5).
constexpr int kMaxTrialsPerIteration = 30;
// The fast value pass keeps one position per run of consecutive columns; beyond
// this many positions per Jacobian entry it falls back to searching.
constexpr int kMaxPositionsPerJacobianEntry = 16;

template <typename T>
T* work(int line, long long count)
{
    return static_cast<T*>(splm_checked_malloc("splm", line, sizeof(T) * size_t(count > 0 ? count : 1)));
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
        std::fprintf(stderr, "\n*** unknown sparse direct solver \"%d\" specified to splm_core(), exiting!\n\n",
                     code);
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

void* splm_checked_malloc(const char* label, int line, size_t size)
{
    void* block = std::malloc(size ? size : 1);
    if (!block) {
        std::fprintf(stderr, "memory allocation request for %u bytes failed in file %s, line %d, exiting",
                     unsigned(size), label, line);
        std::exit(1);
    }
    return block;
}

void* splm_checked_realloc(const char* label, int line, void* block, size_t size)
{
    void* grown = std::realloc(block, size ? size : 1);
    if (!grown) {
        std::fprintf(stderr, "memory re-allocation request for %u bytes failed in file %s, line %d, exiting\n",
                     unsigned(size), label, line);
        std::exit(1);
    }
    return grown;
}

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

int splm_core(splm_model_callback func, splm_jacobian_functions jacobian, int kind, double* p, double* x,
              int nvars, int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
              double info[SPLM_INFO_SZ], void* adata)
{
    // Argument checks: these returns leave info untouched and call nothing.
    if (nobs < nvars) {
        std::fprintf(stderr, "splm_core(): cannot solve a problem with fewer measurements [%d] than unknowns [%d]\n",
                     nobs, nvars);
        return -1;
    }
    if (nconvars < 0) {
        std::fprintf(stderr, "splm_core(): number of variables to be kept constant must be non negative ([%d])\n",
                     nconvars);
        return -1;
    }
    if (!jacobian.ccs && !jacobian.crs) {
        if (kind == SPLM_ANALYTIC_JACOBIAN) {
            std::fprintf(stderr, "splm_core(): a function computing the Jacobian should be supplied!\n");
            return -1;
        }
        std::fprintf(stderr, "\n*** warning: requested attempt to discover the Jacobian's nonzero pattern might "
                             "fail quietly in splm_core()!\n");
    } else if (Jnnz < 1) {
        std::fprintf(stderr, "splm_core(): invalid Jacobian size speficied, number of nonzero elements must be "
                             "positive! [%d]\n",
                     Jnnz);
        return -1;
    }

    // Set-up.
    const Options o = readOptions(opts);
    const int n = nvars - nconvars;
    double* e = work<double>(__LINE__, nobs);
    double* hx = work<double>(__LINE__, nobs);
    double* Jte = work<double>(__LINE__, nvars);
    double* dp = work<double>(__LINE__, nvars);
    double* pdp = work<double>(__LINE__, nvars);
    double** diagonal = work<double*>(__LINE__, n);

    const bool rowJacobian = kind == SPLM_ANALYTIC_JACOBIAN && jacobian.crs;
    splm_crsm Jr;
    splm_ccsm Jc;
    if (rowJacobian)
        splm_crsm_alloc(&Jr, nobs, nvars, Jnnz);
    else if (kind == SPLM_ANALYTIC_JACOBIAN)
        splm_ccsm_alloc(&Jc, nobs, nvars, Jnnz);

    if (o.solver != SPLM_CHOLMOD)
        rejectSolver(o.solver);

    splm_ccsm AtA;
    AtA.nnz = -1;
    if (kind == SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN)
        JtJnnz = -1;
    if (JtJnnz >= 1)
        splm_ccsm_alloc(&AtA, n, n, n + floorHalf(JtJnnz - n));

    splm_finite_difference_data differences;
    splm_ccsm_jacobian_callback columnCallback = jacobian.ccs;
    void* columnData = adata;
    if (kind != SPLM_ANALYTIC_JACOBIAN) {
        std::fprintf(stderr,
                     "\n*** warning: no analytic Jacobian function supplied to splm_core(), performance will suffer!\n\n");
        if (kind == SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN) {
            splm_discover_pattern(func, p, nvars, nobs, Jnnz, o.delta, &Jc, adata);
        } else if (jacobian.crs) {
            splm_crsm pattern;
            splm_crsm_alloc_novalues(&pattern, nobs, nvars, Jnnz);
            jacobian.crs(p, &pattern, nvars, nobs, adata);
            splm_ccsm_alloc(&Jc, nobs, nvars, pattern.rowptr[pattern.nr]);
            splm_crsm2ccsm(&pattern, &Jc);
            splm_crsm_free(&pattern);
        } else {
            splm_ccsm_alloc(&Jc, nobs, nvars, Jnnz);
            jacobian.ccs(p, &Jc, nvars, nobs, adata);
            Jc.nnz = Jc.colptr[Jc.nc];
        }
        differences.delta = std::fabs(o.delta);
        differences.forward = o.delta > 0.0 ? 1 : 0;
        differences.hx = hx;
        differences.work = work<double>(__LINE__, nobs);
        differences.func = func;
        differences.evaluations = kind == SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN ? nvars + 1 : 0;
        differences.adata = adata;
        columnCallback = splm_finite_difference_jacobian;
        columnData = &differences;
    }

    double (*residual)(double*, const double*, const double*, int) = x ? splm_residual : splm_residual_negated;

    // Iteration.
    func(p, hx, nvars, nobs, adata);
    int modelEvaluations = 1;
    double E = residual(e, x, hx, nobs);
    const double E0 = E;

    double g = 0.0;
    double D = DBL_MAX;
    double mu = 0.0;
    double largestDiagonal = DBL_MIN;
    int k = 0;
    int reason = 0;
    int jacobianEvaluations = 0;
    int linearSolves = 0;
    bool failed = false;
    splm_cholmod_state* cholmod = nullptr;
    splm_AtA_positions positions;
    bool havePositions = false;

    if (itmax <= 0)
        reason = 3;
    else if (E <= o.eps3)
        reason = 6;

    for (int it = 1; reason == 0; ++it) {
        // Jacobian, then J^T J and J^T e over the free parameters.
        jacobianEvaluations = it;
        if (rowJacobian) {
            // The callback may fill up to the full capacity every time.
            Jr.nr = nobs;
            Jr.nc = nvars;
            Jr.nnz = Jnnz;
            jacobian.crs(p, &Jr, nvars, nobs, adata);
            if (it == 1) {
                splm_setup_AtA_crsA(&Jr, nconvars, &AtA, 1);
                havePositions =
                    splm_AtA_positions_setup(&Jr, nconvars, &AtA, &positions, kMaxPositionsPerJacobianEntry) == 1;
            }
            if (havePositions && splm_AtA_positions_match(&positions, &Jr))
                splm_calc_AtA_Atb_crsA_positions(&Jr, &positions, &AtA, e, Jte + nconvars);
            else
                splm_calc_AtA_Atb_crsA(&Jr, nconvars, &AtA, 1, e, Jte + nconvars);
        } else {
            if (kind == SPLM_ANALYTIC_JACOBIAN) {
                Jc.nr = nobs;
                Jc.nc = nvars;
                Jc.nnz = Jnnz;
            }
            columnCallback(p, &Jc, nvars, nobs, columnData);
            const int hidden = splm_ccsm_drop_leading_columns(&Jc, nconvars);
            if (it == 1)
                splm_setup_AtA_ccsA(&Jc, &AtA, 1);
            if (AtA.nnz > 0)
                splm_calc_AtA_ccsA(&Jc, &AtA, 1);
            splm_calc_Atb_ccsA(&Jc, e, Jte + nconvars);
            splm_ccsm_restore_leading_columns(&Jc, nconvars, hidden);
        }

        g = 0.0;
        for (int i = nconvars; i < nvars; ++i)
            g = std::max(g, std::fabs(Jte[i]));
        const double P = sumOfSquares(p, nconvars, nvars);
        if (it > 1) {
            largestDiagonal = DBL_MIN;
            for (int j = 0; j < n; ++j)
                largestDiagonal = std::max(largestDiagonal, *diagonal[j]);
        }

        if (g <= o.eps1) {
            reason = 1;
            k = it - 1;
            break;
        }

        if (it == 1) {
            std::fill(Jte, Jte + nconvars, 0.0);
            for (int j = 0; j < n && !failed; ++j) {
                const int at = splm_ccsm_find(&AtA, j, j);
                if (at < 0) {
                    // A parameter that no measurement depends on: the system is
                    // singular whatever the damping. Give up without a step.
                    std::fprintf(stderr,
                                 "splm_core(): Hessian's column %d is empty, the corresponding Jacobian column is "
                                 "also empty?\n",
                                 nconvars + j);
                    failed = true;
                    reason = 4;
                    k = 0;
                    break;
                }
                diagonal[j] = AtA.val + at;
                largestDiagonal = std::max(largestDiagonal, AtA.val[at]);
            }
            if (failed)
                break;
            mu = o.tau * largestDiagonal;
        }

        double nu = 2.0;
        const int solvesBefore = linearSolves;
        double amount = mu;
        for (;;) {
            for (int j = 0; j < n; ++j)
                *diagonal[j] += amount;
            const int solved =
                splm_Axb_CHOLMOD(&AtA, Jte + nconvars, &cholmod, linearSolves == 0 ? 1 : 2, dp + nconvars);
            ++linearSolves;

            if (solved) {
                std::fill(dp, dp + nconvars, 0.0);
                for (int i = 0; i < nvars; ++i)
                    pdp[i] = p[i] + dp[i];
                D = sumOfSquares(dp, 0, nvars);
                if (D <= o.eps2Squared * P) {
                    reason = 2;
                    break;
                }
                if (D >= (P + o.eps2) / 1e-24) {
                    reason = 4;
                    break;
                }
                func(pdp, hx, nvars, nobs, adata);
                ++modelEvaluations;
                const double trialE = residual(e, x, hx, nobs);
                if (!std::isfinite(trialE)) {
                    reason = 7;
                    break;
                }
                double dL = 0.0;
                for (int i = 0; i < nvars; ++i)
                    dL += dp[i] * (mu * dp[i] + Jte[i]);
                const double dF = E - trialE;
                if (dL > 0.0 && dF > 0.0) {
                    const double t = 2.0 * dF / dL - 1.0;
                    mu *= std::max(0.3333333334, 1.0 - t * t * t);
                    std::memcpy(p, pdp, sizeof(double) * size_t(nvars));
                    k = it;
                    E = trialE;
                    if (it == itmax)
                        reason = 3;
                    else if (trialE <= o.eps3)
                        reason = 6;
                    break;
                }
            }
            const double muNew = mu * nu;
            amount = muNew - mu;
            mu = muNew;
            nu *= 2.0;
            if (linearSolves - solvesBefore == kMaxTrialsPerIteration) {
                reason = 5;
                break;
            }
        }
        if (reason == 2 || reason == 4 || reason == 5 || reason == 7) {
            k = it;
            if (it >= itmax)
                reason = 3;
        }
    }

    // Finish.
    if (info) {
        info[0] = E0;
        info[1] = E;
        info[2] = g;
        info[3] = D;
        info[4] = jacobianEvaluations > 0 ? mu / largestDiagonal : 0.0;
        info[5] = k;
        info[6] = reason;
        info[7] = modelEvaluations + (kind != SPLM_ANALYTIC_JACOBIAN ? differences.evaluations : 0);
        info[8] = jacobianEvaluations;
        info[9] = linearSolves;
    }
    std::free(e);
    std::free(hx);
    std::free(Jte);
    std::free(dp);
    std::free(pdp);
    std::free(diagonal);
    std::free(differences.work);
    if (rowJacobian)
        splm_crsm_free(&Jr);
    else
        splm_ccsm_free(&Jc);
    splm_ccsm_free(&AtA);
    splm_AtA_positions_free(&positions);
    if (cholmod)
        splm_Axb_CHOLMOD(nullptr, nullptr, &cholmod, 3, nullptr);

    if (failed || reason == 4 || reason == 7)
        return -1;
    return k;
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
