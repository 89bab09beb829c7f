#pragma once
// The CHOLMOD solve of the damped normal equations, split into its stages so
// that they can be timed one by one. splm_Axb_CHOLMOD composes them.

#include "numerics/SparseSolver/splm.h"

#include <cholmod.h>

struct splm_supernodal_plan;

// Plain data: allocated with the checked allocator and cleared.
struct splm_cholmod_state {
    int n;
    cholmod_common common;
    cholmod_sparse A;  // header over the caller's lower triangle
    cholmod_dense B;   // header over the caller's right-hand side
    cholmod_factor* L;
    // For a supernodal factor of a permuted matrix: the lower triangle of A(p,p) as
    // cholmod_factorize hands it to cholmod_super_numeric, kept from the analysis (its
    // pattern is that of every later A), and where each of its entries sits in A.
    cholmod_sparse* permuted;
    int* permutedFrom;
    // For a factorisation large enough to share out: the plan that factorises the kept permuted
    // copy's independent branches side by side (splm_supernodal.h).
    splm_supernodal_plan* plan;
};

// Creates the state, limits the BLAS to one thread and CHOLMOD's OpenMP loops
// on the calling thread to that thread, and analyses the pattern
// of A (ordering and symbolic factorisation). Exits on a failed analysis.
void splm_cholmod_analyze(splm_ccsm* A, splm_cholmod_state** state);
// Numeric factorisation of A's current values with the kept analysis:
// 1 on success, 0 when it failed or A is not positive definite. With a kept
// permuted copy, A's values are gathered into it and factorised by
// cholmod_super_numeric, the very call cholmod_factorize makes after permuting
// A afresh: the same factor without the two transposes and their memory.
int splm_cholmod_factorize(splm_ccsm* A, splm_cholmod_state* state);
// Drops the kept permuted copy: later factorisations go through cholmod_factorize.
void splm_cholmod_factorize_through_cholmod_factorize(splm_cholmod_state* state);
// Solves with the current factor: 1 when x holds the solution, else 0.
int splm_cholmod_solve(splm_cholmod_state* state, const double* B, double* x);
// Frees the factor and the state and nulls the caller's pointer.
void splm_cholmod_release(splm_cholmod_state** state);

// The BLAS thread count that the solver sets before factorising (see the
// comment in splm_cholmod.cpp).
int splm_cholmod_blas_threads();
