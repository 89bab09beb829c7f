// Functions of the compressed-row record.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_compressed_lines.h"

#include <cstdio>
#include <cstdlib>

using splm_lines::fieldsOf;

void splm_crsm_alloc(splm_crsm* m, int nr, int nc, int nnz)
{
    splm_lines::allocatePattern(fieldsOf(m), nr, nc, nnz, "splm_crsm_alloc");
    splm_lines::allocateValues(fieldsOf(m), "splm_crsm_alloc");
}

void splm_crsm_alloc_novalues(splm_crsm* m, int nr, int nc, int nnz)
{
    splm_lines::allocatePattern(fieldsOf(m), nr, nc, nnz, "splm_crsm_alloc_novalues");
}

void splm_crsm_alloc_values(splm_crsm* m)
{
    splm_lines::allocateValues(fieldsOf(m), "splm_crsm_alloc_values");
}

void splm_crsm_realloc_novalues(splm_crsm* m, int nr, int nc, int nnz)
{
    splm_lines::reallocatePattern(fieldsOf(m), nr, nc, nnz, "splm_crsm_realloc_novalues", "splm_crsm_realloc");
}

void splm_crsm_free(splm_crsm* m)
{
    splm_lines::release(fieldsOf(m));
}

int splm_crsm_find(const splm_crsm* m, int row, int col)
{
    return splm_lines::find(m->rowptr, m->colidx, row, col);
}

int splm_crsm_row_entries(const splm_crsm* m, int row, int* positions, int* cols)
{
    return splm_lines::lineEntries(m->rowptr, m->colidx, row, positions, cols);
}

int splm_crsm_column_entries(const splm_crsm* m, int col, int* positions, int* rows)
{
    return splm_lines::crossEntries(m->rowptr, m->colidx, m->nr, col, positions, rows);
}

int splm_crsm_entry_row(const splm_crsm* m, int pos)
{
    return splm_lines::owner(m->rowptr, m->nr, pos);
}

int splm_crsm_longest_row(const splm_crsm* m)
{
    return splm_lines::longest(m->rowptr, m->nr);
}

void splm_crsm_row_sort(splm_crsm* m)
{
    if (!splm_lines::sortLines(m->rowptr, m->colidx, m->val, m->nr, m->nc)) {
        std::fprintf(stderr, "memory allocation request failed in splm_crsm_row_sort()\n");
        std::exit(1);
    }
}

void splm_crsm2ccsm(const splm_crsm* A, splm_ccsm* B)
{
    splm_lines::transposeInto(A->rowptr, A->colidx, A->val, A->nr, A->nc, fieldsOf(B), "splm_ccsm_alloc",
                              "splm_crsm2ccsm");
}
