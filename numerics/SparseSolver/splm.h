#pragma once
// Sparse Levenberg-Marquardt solver: plain records and free functions.
//
// Messages are printf-formatted lines on stderr (not the Qt log). Rejected
// arguments return -1; failed allocations and a few fatal set-up errors end
// the process with exit status 1 after their message.

#include <cstddef>

// ---------------------------------------------------------------------------
// Records. Each owns its arrays through its own allocation and free functions.

// Compressed rows: the entries of row i are at rowptr[i] .. rowptr[i+1]-1,
// column indices strictly ascending within a row.
struct splm_crsm {
    int nr = 0;
    int nc = 0;
    int nnz = 0;            // capacity when allocated, the count once filled
    double* val = nullptr;  // null in a pattern-only record
    int* colidx = nullptr;
    int* rowptr = nullptr;  // nr + 1
};

// Compressed columns: the entries of column j are at colptr[j] .. colptr[j+1]-1,
// row indices strictly ascending within a column.
struct splm_ccsm {
    int nr = 0;
    int nc = 0;
    int nnz = 0;
    double* val = nullptr;
    int* rowidx = nullptr;
    int* colptr = nullptr;  // nc + 1
};

// Triplets.
struct splm_stm {
    int nr = 0;
    int nc = 0;
    int nnz = 0;     // stored so far
    int maxnnz = 0;  // capacity
    int* rowidx = nullptr;
    int* colidx = nullptr;
    double* val = nullptr;  // null for a pattern
};

// CHOLMOD's state kept from one solve to the next (see splm_cholmod.h).
struct splm_cholmod_state;

// ---------------------------------------------------------------------------
// Callbacks.

// Writes the nobs predicted measurements f(p) into hx.
typedef void (*splm_model_callback)(double* p, double* hx, int nvars, int nobs, void* adata);
// Fill the Jacobian of f at p into the solver's preallocated record and set
// nr, nc and nnz; never replace the record's arrays.
typedef void (*splm_crsm_jacobian_callback)(double* p, splm_crsm* J, int nvars, int nobs, void* adata);
typedef void (*splm_ccsm_jacobian_callback)(double* p, splm_ccsm* J, int nvars, int nobs, void* adata);

struct splm_jacobian_functions {
    splm_ccsm_jacobian_callback ccs = nullptr;
    splm_crsm_jacobian_callback crs = nullptr;
};

enum splm_jacobian_kind {
    SPLM_ANALYTIC_JACOBIAN = 0,
    SPLM_FINITE_DIFFERENCE_GIVEN_PATTERN = 1,
    SPLM_FINITE_DIFFERENCE_DISCOVERED_PATTERN = 2,
};

// Sizes of the option and info arrays, and the option defaults.
enum { SPLM_OPTS_SZ = 6, SPLM_INFO_SZ = 10 };
constexpr double SPLM_INIT_MU = 1e-3;
constexpr double SPLM_STOP_THRESH = 1e-12;
constexpr double SPLM_DIFF_DELTA = 1e-6;
constexpr int SPLM_CHOLMOD = 1;

// ---------------------------------------------------------------------------
// Solver entries. Each returns the iteration count, or -1 on failure.
// opts: tau, eps1, eps2, eps3, delta, solver code (null: defaults).
// info: E start, E end, max |J^T e|, |dp|^2, mu/max diag, iterations,
//       stop reason (1..7), model evaluations, Jacobian evaluations, linear solves.

int splm_crs_analytic(splm_model_callback func, splm_crsm_jacobian_callback fjac, double* p, double* x, int nvars,
                      int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
                      double info[SPLM_INFO_SZ], void* adata);
int splm_ccs_analytic(splm_model_callback func, splm_ccsm_jacobian_callback fjac, double* p, double* x, int nvars,
                      int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
                      double info[SPLM_INFO_SZ], void* adata);
// pattern (may be null: the pattern is then discovered) supplies only the
// Jacobian's nonzero pattern, once.
int splm_crs_finite_difference(splm_model_callback func, splm_crsm_jacobian_callback pattern, double* p, double* x,
                               int nvars, int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax,
                               const double opts[SPLM_OPTS_SZ], double info[SPLM_INFO_SZ], void* adata);
int splm_ccs_finite_difference(splm_model_callback func, splm_ccsm_jacobian_callback pattern, double* p, double* x,
                               int nvars, int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax,
                               const double opts[SPLM_OPTS_SZ], double info[SPLM_INFO_SZ], void* adata);
int splm_core(splm_model_callback func, splm_jacobian_functions jacobian, int kind, double* p, double* x, int nvars,
              int nconvars, int nobs, int Jnnz, int JtJnnz, int itmax, const double opts[SPLM_OPTS_SZ],
              double info[SPLM_INFO_SZ], void* adata);

// e = x - hx, returns the squared norm of e.
double splm_residual(double* e, const double* x, const double* hx, int nobs);
// e = -hx (x ignored), returns the squared norm of e.
double splm_residual_negated(double* e, const double* x, const double* hx, int nobs);

// Finite-difference Jacobian values on a fixed compressed-column pattern.
struct splm_finite_difference_data {
    double delta = 0.0;      // positive
    double* hx = nullptr;    // f(p), nobs
    double* work = nullptr;  // nobs
    splm_model_callback func = nullptr;
    int forward = 1;      // 1: forward differences, 0: central
    int evaluations = 0;  // model evaluations made through this record
    void* adata = nullptr;
};
// A splm_ccsm_jacobian_callback; adata is a splm_finite_difference_data*.
void splm_finite_difference_jacobian(double* p, splm_ccsm* J, int nvars, int nobs, void* adata);
// Discovers the pattern of the Jacobian at p by perturbing one parameter at a
// time (nvars + 1 model evaluations); J receives the pattern with values.
void splm_discover_pattern(splm_model_callback func, double* p, int nvars, int nobs, int Jnnz, double delta,
                           splm_ccsm* J, void* adata);

// Scores every measurement's derivatives from 0 (wrong) to 1 (right) against a
// forward difference of func.
void splm_check_jacobian(splm_model_callback func, const splm_ccsm* J, const double* p, int nvars, int nobs,
                         void* adata, double* err);
void splm_check_jacobian_ccs(splm_model_callback func, splm_ccsm_jacobian_callback fjac, const double* p, int nvars,
                             int nobs, int Jnnz, void* adata, double* err);
void splm_check_jacobian_crs(splm_model_callback func, splm_crsm_jacobian_callback fjac, const double* p, int nvars,
                             int nobs, int Jnnz, void* adata, double* err);

// Encapsulated PostScript picture of a nonzero pattern. blocks holds nblocks
// rectangles as (first row, first column, last row, last column), colours
// nblocks RGB triples in 0..1; with nblocks 0 every entry is drawn in black.
void splm_crsm_pattern_eps(const splm_crsm* m, const int* blocks, const double* colours, int nblocks, const char* path);
void splm_ccsm_pattern_eps(const splm_ccsm* m, const int* blocks, const double* colours, int nblocks, const char* path);

// Processor time used so far, in seconds.
double splm_clock_seconds();

// ---------------------------------------------------------------------------
// Checked allocation: prints its message and exits with status 1 on failure.
void* splm_checked_malloc(const char* label, int line, size_t size);
void* splm_checked_realloc(const char* label, int line, void* block, size_t size);

// ---------------------------------------------------------------------------
// Compressed-row record.
void splm_crsm_alloc(splm_crsm* m, int nr, int nc, int nnz);
void splm_crsm_alloc_novalues(splm_crsm* m, int nr, int nc, int nnz);
void splm_crsm_alloc_values(splm_crsm* m);
void splm_crsm_realloc_novalues(splm_crsm* m, int nr, int nc, int nnz);
void splm_crsm_free(splm_crsm* m);
int splm_crsm_find(const splm_crsm* m, int row, int col);
int splm_crsm_row_entries(const splm_crsm* m, int row, int* positions, int* cols);
int splm_crsm_column_entries(const splm_crsm* m, int col, int* positions, int* rows);
int splm_crsm_entry_row(const splm_crsm* m, int pos);
int splm_crsm_longest_row(const splm_crsm* m);
void splm_crsm_row_sort(splm_crsm* m);

// Compressed-column record.
void splm_ccsm_alloc(splm_ccsm* m, int nr, int nc, int nnz);
void splm_ccsm_alloc_novalues(splm_ccsm* m, int nr, int nc, int nnz);
void splm_ccsm_alloc_values(splm_ccsm* m);
void splm_ccsm_realloc_novalues(splm_ccsm* m, int nr, int nc, int nnz);
void splm_ccsm_free(splm_ccsm* m);
int splm_ccsm_find(const splm_ccsm* m, int row, int col);
int splm_ccsm_row_entries(const splm_ccsm* m, int row, int* positions, int* cols);
int splm_ccsm_column_entries(const splm_ccsm* m, int col, int* positions, int* rows);
int splm_ccsm_entry_column(const splm_ccsm* m, int pos);
int splm_ccsm_longest_column(const splm_ccsm* m);
void splm_ccsm_col_sort(splm_ccsm* m);
// Hides the first k columns in place; returns what restoring needs.
int splm_ccsm_drop_leading_columns(splm_ccsm* A, int k);
void splm_ccsm_restore_leading_columns(splm_ccsm* A, int k, int hidden);

// Conversions between the two orders (counting sort).
void splm_crsm2ccsm(const splm_crsm* A, splm_ccsm* B);
void splm_ccsm2crsm(const splm_ccsm* A, splm_crsm* B);

// Index of the first element >= key in the ascending a[0..n-1] (n >= 1), or -1.
int splm_lower_bound(const int* a, int n, int key);

// Triplet record.
void splm_stm_alloc(splm_stm* m, int nr, int nc, int maxnnz);
void splm_stm_allocval(splm_stm* m, int nr, int nc, int maxnnz);
void splm_stm_free(splm_stm* m);
int splm_stm_add(splm_stm* m, int row, int col);
int splm_stm_add_value(splm_stm* m, int row, int col, double value);
void splm_stm2ccsm(const splm_stm* t, splm_ccsm* A);
void splm_stm2crsm(const splm_stm* t, splm_crsm* A);
void splm_stm2ccsm_arrays(int* rows, int* cols, double* vals, int nr, int nc, int nnz, splm_ccsm* A);
void splm_stm2crsm_arrays(int* rows, int* cols, double* vals, int nr, int nc, int nnz, splm_crsm* A);

// ---------------------------------------------------------------------------
// Normal equations. mode 1: lower triangle of A^T A only; mode 2: both.

// Pattern of A^T A over the columns ncon.. of the compressed-row A. AtA with
// nnz <= 0 is allocated here and sized to fit; a preallocated one is checked.
void splm_setup_AtA_crsA(const splm_crsm* A, int ncon, splm_ccsm* AtA, int mode);
void splm_setup_AtA_ccsA(const splm_ccsm* A, splm_ccsm* AtA, int mode);
// Values of AtA (pattern in place) and Atb = A^T b over the columns ncon..;
// Atb has nc - ncon entries.
void splm_calc_AtA_Atb_crsA(const splm_crsm* A, int ncon, splm_ccsm* AtA, int mode, const double* b, double* Atb);
void splm_calc_AtA_ccsA(const splm_ccsm* A, splm_ccsm* AtA, int mode);
void splm_calc_Atb_ccsA(const splm_ccsm* A, const double* b, double* Atb);

// The position of every product of splm_calc_AtA_Atb_crsA (mode 1) in AtA,
// found once for a Jacobian pattern so that later passes over Jacobians of the
// same pattern need no searches. Gives the same sums in the same order.
//
// The value pass goes by AtA's columns rather than by A's rows: every entry of
// column c of AtA (and Atb[c]) sums the products of A's column c with the later
// entries of the same rows, and taking those rows from the last up adds them in
// the order of the row-by-row pass. Columns are then independent, and chunks of
// them run on the global thread pool.
struct splm_AtA_positions {
    // One free entry of A in its AtA column's pass: the entry, where its row ends, the row.
    struct Step {
        int entry;
        int rowEnd;
        int row;
    };
    int ncon = 0;
    int nr = 0;
    int nnz = 0;
    int* rowptr = nullptr;  // the pattern the table was built for
    int* colidx = nullptr;
    int* pos = nullptr;  // in pass order, chunk by chunk
    long long count = 0;
    int* columnptr = nullptr;  // per free column plus one: where its steps start
    Step* steps = nullptr;     // column by column, rows descending within each
    int chunks = 0;
    int* chunkColumns = nullptr;          // chunks + 1: chunk i holds columns chunkColumns[i] .. [i+1]-1
    long long* chunkPositions = nullptr;  // chunks + 1: where each chunk's positions start in pos
};
// Returns 1 when the table was built, 0 when it would exceed maxEntriesPerJacobianEntry
// times the Jacobian's entry count (the table is then left empty).
int splm_AtA_positions_setup(const splm_crsm* A, int ncon, const splm_ccsm* AtA, splm_AtA_positions* table,
                             int maxEntriesPerJacobianEntry);
// 1 when A has exactly the pattern the table was built for.
int splm_AtA_positions_match(const splm_AtA_positions* table, const splm_crsm* A);
// Runs the column chunks on the global thread pool (the first on the calling thread).
void splm_calc_AtA_Atb_crsA_positions(const splm_crsm* A, const splm_AtA_positions* table, splm_ccsm* AtA,
                                      const double* b, double* Atb);
void splm_AtA_positions_free(splm_AtA_positions* table);

// ---------------------------------------------------------------------------
// Solves A x = B with CHOLMOD (A: lower triangle of a symmetric matrix).
// mode 0: analyse, factorise, solve, release; 1: the same but keep the state;
// 2: factorise with the kept analysis and solve; 3: release (returns 1).
// Returns 1 when x holds the solution, 0 when the factorisation failed or A is
// not positive definite.
int splm_Axb_CHOLMOD(splm_ccsm* A, double* B, splm_cholmod_state** state, int mode, double* x);
