#include "numerics/SparseSolver/splm_lookahead.h"

#include "numerics/SparseSolver/splm_memory.h"

#include <omp.h>

#include <cstdlib>
#include <cstring>
#include <thread>

namespace {

// Below this many floating-point operations a factorisation takes about as long as starting a
// thread and copying the matrix.
constexpr double kWorthwhileFlops = 1e7;

// A state with its own common, a copy of the analysed factor and its own copy of what the
// analysis keeps for the factorisations (they write into it); null when out of memory.
splm_cholmod_state* copyOf(const splm_cholmod_state& analysed)
{
    splm_cholmod_state* s =
        static_cast<splm_cholmod_state*>(splm_checked_malloc("splm_lookahead", __LINE__, sizeof(splm_cholmod_state)));
    std::memcpy(static_cast<void*>(s), static_cast<const void*>(&analysed), sizeof(splm_cholmod_state));
    cholmod_start(&s->common);
    s->L = cholmod_copy_factor(analysed.L, &s->common);
    s->permuted = nullptr;
    s->permutedFrom = nullptr;
    s->plan = nullptr;  // a lookahead runs only for analyses without one (splm_lookahead_worthwhile)
    if (s->L && analysed.permuted) {
        s->permuted = cholmod_copy_sparse(analysed.permuted, &s->common);
        const int entries = static_cast<const int*>(analysed.permuted->p)[analysed.permuted->ncol];
        s->permutedFrom = static_cast<int*>(
            splm_checked_malloc("splm_lookahead", __LINE__, sizeof(int) * size_t(entries > 0 ? entries : 1)));
        std::memcpy(s->permutedFrom, analysed.permutedFrom, sizeof(int) * size_t(entries));
    }
    if (!s->L || (analysed.permuted && !s->permuted)) {
        splm_cholmod_release(&s);
        return nullptr;
    }
    return s;
}

}  // namespace

struct splm_lookahead::Job {
    int trial = -1;  // the trial being prepared; -1: free
    splm_cholmod_state* state = nullptr;
    std::vector<double> values;
    splm_ccsm matrix;  // A's pattern over `values`
    int factorised = 0;
    std::thread worker;

    void wait()
    {
        if (worker.joinable())
            worker.join();
    }

    ~Job()
    {
        wait();
        splm_cholmod_release(&state);
    }
};

splm_lookahead::splm_lookahead(int depth) : depth_(depth) {}

splm_lookahead::~splm_lookahead() = default;

void splm_lookahead::drop()
{
    for (const std::unique_ptr<Job>& job : jobs_) {
        job->wait();
        job->trial = -1;
    }
}

bool splm_lookahead::take(int trial, splm_cholmod_state** state, int* factorised)
{
    for (const std::unique_ptr<Job>& job : jobs_) {
        if (job->trial != trial)
            continue;
        job->wait();
        job->trial = -1;
        std::swap(job->state, *state);
        *factorised = job->factorised;
        return true;
    }
    return false;
}

void splm_lookahead::prepare(int trial, const splm_ccsm& A, double* const* diagonal, const double* raises, int count,
                             const splm_cholmod_state& analysed)
{
    for (int ahead = 1; ahead <= depth_ && ahead <= count; ++ahead) {
        const int target = trial + ahead;
        bool underWay = false;
        for (const std::unique_ptr<Job>& job : jobs_)
            underWay = underWay || job->trial == target;
        if (underWay)
            continue;

        Job* job = nullptr;
        for (const std::unique_ptr<Job>& candidate : jobs_)
            if (candidate->trial < 0 && !job)
                job = candidate.get();
        if (!job) {
            jobs_.push_back(std::make_unique<Job>());
            job = jobs_.back().get();
        }
        job->wait();
        if (!job->state)
            job->state = copyOf(analysed);
        if (!job->state)
            return;  // out of memory: those trials factorise in the plain way

        // The same additions, in the same order, as the failed trials make to A in place.
        job->values.assign(A.val, A.val + A.nnz);
        for (int j = 0; j < A.nc; ++j) {
            double& entry = job->values[size_t(diagonal[j] - A.val)];
            for (int r = 0; r < ahead; ++r)
                entry += raises[r];
        }
        job->matrix = A;
        job->matrix.val = job->values.data();
        job->trial = target;
        job->worker = std::thread([job] {
            // As on the solver's own thread: CHOLMOD's loops stay on this one.
            omp_set_max_active_levels(splm_cholmod_openmp_active_levels());
            job->factorised = splm_cholmod_factorize(&job->matrix, job->state);
        });
    }
}

bool splm_lookahead_worthwhile(const splm_cholmod_state& analysed)
{
    // A factorisation shared out over the pool leaves no cores for a second one beside it: on the
    // scan-shaped registration a lookahead then saved no time, took the pool from the residuals
    // computed meanwhile and cost a second of processor time.
    return analysed.common.fl >= kWorthwhileFlops && !analysed.plan;
}
