#include "numerics/SparseSolver/splm_cholmod.h"

#include "numerics/SparseSolver/splm_supernodal.h"

#include <QThreadPool>

#include <omp.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>

// The one OpenBLAS function we need; declared here rather than through cblas.h,
// whose location differs between distributions.
extern "C" void openblas_set_num_threads(int numThreads);

namespace {

// CHOLMOD's supernodal factorisation hands its dense blocks to the BLAS. The
// supernodes of these normal matrices are small, and OpenBLAS's worker threads
// (one per core by default) cost far more in start-up and synchronisation than
// they save: on 8 cores, factorising a 60,000-unknown matrix shaped like the
// registration's took a median 1.27 s on one thread and 12.8 s on OpenBLAS's
// default 8 (bench/splm_bench). The triangular solves gain a little from
// threads (56 ms against 33 ms), far less than the factorisation loses. So the
// solver runs the BLAS on the calling thread. This is a process-wide setting of
// OpenBLAS; nothing else in the program uses the BLAS.
constexpr int kBlasThreads = 1;

// CHOLMOD's supernodal factorisation also opens OpenMP teams of four threads
// for its larger scatter, clear and assembly loops, once or more per
// supernode. The loops are short, so waking the team costs more than the
// loops, and when the machine is busy a team waits for its slowest,
// descheduled member: on the registration's finest levels that cost most of
// the solve's time. Each of those loops writes disjoint entries, so the factor
// is the same for any team size. The solver therefore allows no active
// parallel region on its own thread (an OpenMP setting of the calling thread
// only; nothing else in the program uses OpenMP).
constexpr int kOpenMPActiveLevels = 0;

// Below this many floating-point operations a factorisation is over before the pool's threads
// would have woken up.
constexpr double kSharedOutFlops = 1e7;

void pointHeaderAt(splm_cholmod_state* s, splm_ccsm* A)
{
    s->A.p = A->colptr;
    s->A.i = A->rowidx;
    s->A.x = A->val;
}

// For a supernodal factor of a permuted matrix, cholmod_factorize forms the lower triangle
// of A(p,p) by two transposes (A(p,p)' first) before every cholmod_super_numeric. The pattern
// and the places the values land are the same every time, so the analysis forms it once,
// with every entry's position in A standing in for its value: the transposes move values
// without arithmetic, so afterwards each entry holds where its value comes from. When
// CHOLMOD cannot form the copy, the factorisations take cholmod_factorize's own path.
void keepPermutedCopy(splm_cholmod_state* s, int count)
{
    cholmod_factor* L = s->L;
    if (!L->is_super || L->ordering == CHOLMOD_NATURAL)
        return;
    double* positions = static_cast<double*>(
        splm_checked_malloc("splm_cholmod", __LINE__, sizeof(double) * size_t(count > 0 ? count : 1)));
    for (int k = 0; k < count; ++k)
        positions[k] = double(k);
    cholmod_sparse header = s->A;
    header.x = positions;
    cholmod_sparse* upper = cholmod_ptranspose(&header, 2, static_cast<int*>(L->Perm), nullptr, 0, &s->common);
    cholmod_sparse* lower = upper ? cholmod_ptranspose(upper, 2, nullptr, nullptr, 0, &s->common) : nullptr;
    cholmod_free_sparse(&upper, &s->common);
    std::free(positions);
    if (!lower)
        return;
    const int entries = static_cast<const int*>(lower->p)[lower->ncol];
    const double* from = static_cast<const double*>(lower->x);
    s->permutedFrom = static_cast<int*>(
        splm_checked_malloc("splm_cholmod", __LINE__, sizeof(int) * size_t(entries > 0 ? entries : 1)));
    for (int k = 0; k < entries; ++k)
        s->permutedFrom[k] = int(from[k]);
    s->permuted = lower;
}

// 1 when factorised (L->minor tells whether A is positive definite), 0 when CHOLMOD failed.
int factorizeKeptCopy(splm_ccsm* A, splm_cholmod_state* s)
{
    cholmod_sparse* S = s->permuted;
    double* values = static_cast<double*>(S->x);
    const int entries = static_cast<const int*>(S->p)[S->ncol];
    const int* from = s->permutedFrom;
    const double* source = A->val;
    for (int k = 0; k < entries; ++k)
        values[k] = source[from[k]];
    // The plan writes the factor's values anew, into room made as cholmod_super_numeric makes it
    // for a factor that holds none yet; a matrix it finds not positive definite goes through
    // CHOLMOD again, which leaves the factor as CHOLMOD would.
    if (s->plan && s->L->xtype == CHOLMOD_PATTERN &&
        cholmod_change_factor(CHOLMOD_REAL, /*to_ll*/ 1, /*to_super*/ 1, /*to_packed*/ 1, /*to_monotonic*/ 1, s->L,
                              &s->common))
        s->L->is_ll = 1;
    if (s->plan && s->L->x && s->L->xtype == CHOLMOD_REAL && splm_supernodal_factorize(S, s->L, *s->plan))
        return 1;
    double beta[2] = {0.0, 0.0};  // what cholmod_factorize passes
    s->common.status = CHOLMOD_OK;
    return cholmod_super_numeric(S, nullptr, beta, s->L, &s->common);
}

}  // namespace

int splm_cholmod_blas_threads()
{
    return kBlasThreads;
}

void splm_cholmod_analyze(splm_ccsm* A, splm_cholmod_state** state)
{
    splm_cholmod_state* s =
        static_cast<splm_cholmod_state*>(splm_checked_malloc("splm_cholmod", __LINE__, sizeof(splm_cholmod_state)));
    std::memset(static_cast<void*>(s), 0, sizeof(splm_cholmod_state));
    *state = s;
    const int n = A->nr;
    s->n = n;

    openblas_set_num_threads(kBlasThreads);
    omp_set_max_active_levels(kOpenMPActiveLevels);
    cholmod_start(&s->common);  // default settings stay as they are

    s->A.nrow = size_t(n);
    s->A.ncol = size_t(n);
    s->A.nzmax = size_t(A->nnz);
    s->A.nz = nullptr;
    s->A.z = nullptr;
    s->A.stype = -1;  // only the lower triangle is stored and used
    s->A.itype = CHOLMOD_INT;
    s->A.xtype = CHOLMOD_REAL;
    s->A.dtype = CHOLMOD_DOUBLE;
    s->A.sorted = 1;
    s->A.packed = 1;
    pointHeaderAt(s, A);

    s->L = cholmod_analyze(&s->A, &s->common);
    if (!s->L) {
        std::fprintf(stderr, "Unsuccessful termination of cholmod_analyze()\n");
        std::exit(1);
    }
    keepPermutedCopy(s, std::max(A->nnz, A->colptr[n]));
    if (s->permuted && s->common.fl >= kSharedOutFlops)
        s->plan = splm_supernodal_plan_create(s->L, QThreadPool::globalInstance()->maxThreadCount());

    s->B.nrow = size_t(n);
    s->B.ncol = 1;
    s->B.nzmax = size_t(n);
    s->B.d = size_t(n);
    s->B.z = nullptr;
    s->B.xtype = CHOLMOD_REAL;
    s->B.dtype = CHOLMOD_DOUBLE;
}

int splm_cholmod_factorize(splm_ccsm* A, splm_cholmod_state* s)
{
    // Size and pattern stay those of the analysis; only the arrays may move.
    pointHeaderAt(s, A);
    const int factorised = s->permuted ? factorizeKeptCopy(A, s) : cholmod_factorize(&s->A, s->L, &s->common);
    if (!factorised) {
        std::fprintf(stderr, "Unsuccessful termination of cholmod_factorize()\n");
        return 0;
    }
    if (s->L->minor < size_t(s->n))
        return 0;  // not positive definite: the caller raises the damping
    return 1;
}

int splm_cholmod_solve(splm_cholmod_state* s, const double* B, double* x)
{
    s->B.x = const_cast<double*>(B);  // read only by cholmod_solve
    cholmod_dense* solution = cholmod_solve(CHOLMOD_A, s->L, &s->B, &s->common);
    if (!solution)
        return 0;  // out of memory or inconsistent input: counts as a failed solve
    std::memcpy(x, solution->x, sizeof(double) * size_t(s->n));
    cholmod_free_dense(&solution, &s->common);
    return 1;
}

void splm_cholmod_factorize_through_cholmod_factorize(splm_cholmod_state* s)
{
    splm_supernodal_plan_release(&s->plan);
    cholmod_free_sparse(&s->permuted, &s->common);
    std::free(s->permutedFrom);
    s->permutedFrom = nullptr;
}

void splm_cholmod_release(splm_cholmod_state** state)
{
    splm_cholmod_state* s = *state;
    if (s) {
        splm_cholmod_factorize_through_cholmod_factorize(s);
        cholmod_free_factor(&s->L, &s->common);
        cholmod_finish(&s->common);
        std::free(s);
    }
    *state = nullptr;
}

int splm_Axb_CHOLMOD(splm_ccsm* A, double* B, splm_cholmod_state** state, int mode, double* x)
{
    if (A && A->nr != A->nc) {
        std::fprintf(stderr, "Non-square matrix passed to splm_Axb_CHOLMOD()!\n");
        std::exit(1);
    }
    if (mode == 3) {
        splm_cholmod_release(state);
        return 1;
    }
    if (mode < 0 || mode > 3) {
        std::fprintf(stderr, "Unknown mode %d in splm_Axb_CHOLMOD()!\n", mode);
        std::exit(1);
    }
    if (mode == 0 || mode == 1)
        splm_cholmod_analyze(A, state);

    int result = splm_cholmod_factorize(A, *state);
    if (result)
        result = splm_cholmod_solve(*state, B, x);

    if (mode == 0)
        splm_cholmod_release(state);
    return result;
}
