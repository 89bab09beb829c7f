#pragma once
// The factorisations that failed damped trials ask for next, started beforehand on threads of
// their own. A trial that fails raises the diagonal of the normal matrix by a known amount and
// factorises again, on one thread, while the other cores wait; with the next few factorisations
// already running beside the present one, a failed trial costs little more than its solve.
//
// Each factor comes from the same analysis, the same values and the same CHOLMOD call as the
// plain route's, so it is the same to the last bit; a trial that succeeds wastes those prepared
// beyond it.

#include "numerics/SparseSolver/splm_cholmod.h"

#include <memory>
#include <vector>

class splm_lookahead {
public:
    // depth: how many trials ahead are prepared at once.
    explicit splm_lookahead(int depth);
    ~splm_lookahead();  // waits for the factorisations under way
    splm_lookahead(const splm_lookahead&) = delete;
    splm_lookahead& operator=(const splm_lookahead&) = delete;

    // Waits for every factorisation under way and drops them all (new normal equations).
    void drop();

    // When trial `trial` was prepared: waits for it, swaps its state for *state (the caller's old
    // state is kept for a later one), sets *factorised as splm_cholmod_factorize would return and
    // answers true; otherwise false.
    bool take(int trial, splm_cholmod_state** state, int* factorised);

    // A holds trial `trial`'s damped matrix; raises[j] is what trial trial + j + 1 adds to the
    // diagonal after the one before it failed (count of them known). Starts each of those trials
    // within the depth that is not under way yet, in a state with the analysis of `analysed`.
    // A's values are copied: they may change once this returns; its pattern must stay.
    void prepare(int trial, const splm_ccsm& A, double* const* diagonal, const double* raises, int count,
                 const splm_cholmod_state& analysed);

private:
    struct Job;
    int depth_;
    std::vector<std::unique_ptr<Job> > jobs_;
};

// Whether a factorisation of this analysis is long enough for a lookahead to pay for its copies,
// and runs on one thread.
bool splm_lookahead_worthwhile(const splm_cholmod_state& analysed);
