// Functions of the compressed-column record.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_compressed_lines.h"

#include <cstdio>
#include <cstdlib>

using splm_lines::fieldsOf;

void splm_ccsm_alloc(splm_ccsm* m, int nr, int nc, int nnz)
{
    splm_lines::allocatePattern(fieldsOf(m), nr, nc, nnz, "splm_ccsm_alloc");
    splm_lines::allocateValues(fieldsOf(m), "splm_ccsm_alloc");
}

void splm_ccsm_alloc_novalues(splm_ccsm* m, int nr, int nc, int nnz)
{
    splm_lines::allocatePattern(fieldsOf(m), nr, nc, nnz, "splm_ccsm_alloc_novalues");
}

void splm_ccsm_alloc_values(splm_ccsm* m)
{
    splm_lines::allocateValues(fieldsOf(m), "splm_ccsm_alloc_values");
}

void splm_ccsm_realloc_novalues(splm_ccsm* m, int nr, int nc, int nnz)
{
    splm_lines::reallocatePattern(fieldsOf(m), nr, nc, nnz, "splm_ccsm_realloc_novalues", "splm_ccsm_realloc");
}

void splm_ccsm_free(splm_ccsm* m)
{
    splm_lines::release(fieldsOf(m));
}

int splm_ccsm_find(const splm_ccsm* m, int row, int col)
{
    return splm_lines::find(m->colptr, m->rowidx, col, row);
}

int splm_ccsm_row_entries(const splm_ccsm* m, int row, int* positions, int* cols)
{
    return splm_lines::crossEntries(m->colptr, m->rowidx, m->nc, row, positions, cols);
}

int splm_ccsm_column_entries(const splm_ccsm* m, int col, int* positions, int* rows)
{
    return splm_lines::lineEntries(m->colptr, m->rowidx, col, positions, rows);
}

int splm_ccsm_entry_column(const splm_ccsm* m, int pos)
{
    return splm_lines::owner(m->colptr, m->nc, pos);
}

int splm_ccsm_longest_column(const splm_ccsm* m)
{
    return splm_lines::longest(m->colptr, m->nc);
}

void splm_ccsm_col_sort(splm_ccsm* m)
{
    if (!splm_lines::sortLines(m->colptr, m->rowidx, m->val, m->nc, m->nr)) {
        std::fprintf(stderr, "memory allocation request failed in splm_ccsm_col_sort()\n");
        std::exit(1);
    }
}

int splm_ccsm_drop_leading_columns(splm_ccsm* A, int k)
{
    if (k <= 0)
        return 0;
    const int hidden = A->colptr[k];
    for (int j = k; j <= A->nc; ++j)
        A->colptr[j] -= hidden;
    A->rowidx += hidden;
    if (A->val)
        A->val += hidden;
    A->colptr += k;
    A->nnz -= hidden;
    A->nc -= k;
    return hidden;
}

void splm_ccsm_restore_leading_columns(splm_ccsm* A, int k, int hidden)
{
    if (k <= 0)
        return;
    A->nc += k;
    A->nnz += hidden;
    A->colptr -= k;
    if (A->val)
        A->val -= hidden;
    A->rowidx -= hidden;
    for (int j = k; j <= A->nc; ++j)
        A->colptr[j] += hidden;
}

void splm_ccsm2crsm(const splm_ccsm* A, splm_crsm* B)
{
    splm_lines::transposeInto(A->colptr, A->rowidx, A->val, A->nr, A->nc, fieldsOf(B), "splm_crsm_alloc",
                              "splm_ccsm2crsm");
}
