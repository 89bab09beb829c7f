#pragma once
// CHOLMOD's supernodal numeric factorisation with the independent branches of the supernodal tree
// factorised side by side on the global thread pool.
//
// cholmod_super_numeric works through the supernodes one by one: each is cleared, takes its
// columns of A, subtracts the update of every descendant that reaches it (in the order in which
// its list of pending descendants happens to hold them), and is factorised by dpotrf and dtrsm.
// Which descendants reach a supernode, and in which order, follows from the pattern alone, so a
// plan taken once from the analysis lists them; a supernode is then ready as soon as its children
// are done, wherever it sits in the sequence. Every entry goes through the same BLAS and LAPACK
// calls with the same arguments and the same subtractions in the same order, so the factor is
// the one cholmod_super_numeric gives, to the last bit.
#include <cholmod.h>

struct splm_supernodal_plan;

// The plan of a supernodal factor (symbolic or numeric), for `workers` threads at most; null when
// the factor is not supernodal or its tree leaves nothing to do side by side. Freed by
// splm_supernodal_plan_release, which nulls the pointer.
splm_supernodal_plan* splm_supernodal_plan_create(const cholmod_factor* L, int workers);
void splm_supernodal_plan_release(splm_supernodal_plan** plan);
// How many supernodes the plan takes apart (their updates and columns shared out in chunks).
int splm_supernodal_plan_split_count(const splm_supernodal_plan& plan);

// cholmod_super_numeric(S, nullptr, beta = 0, L) for the lower triangle S (stype -1, sorted,
// packed, the pattern L was analysed for) into an L that already holds numeric values of that
// pattern. 1 when A is positive definite and L holds its factor (L->minor = n); 0 when some
// diagonal block is not positive definite, where L is left partly written and the caller must
// factorise through CHOLMOD to learn its state.
int splm_supernodal_factorize(const cholmod_sparse* S, cholmod_factor* L, splm_supernodal_plan& plan);
