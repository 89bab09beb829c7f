// Functions of the compressed-column record.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_compressed_lines.h"

#include <cstdio>
#include <cstdlib>

using splm_lines::allocate;
using splm_lines::reallocate;

namespace {

[[noreturn]] void failed(const char* function, int nr, int nc, int nnz)
{
    std::fprintf(stderr, "memory allocation request failed in %s() [nr=%d, nc=%d, nnz=%d]\n", function, nr, nc,
                 nnz);
    std::exit(1);
}

void allocatePattern(splm_ccsm* m, int nr, int nc, int nnz, const char* function)
{
    m->nr = nr;
    m->nc = nc;
    m->nnz = nnz;
    m->val = nullptr;
    m->rowidx = allocate<int>(nnz);
    m->colptr = allocate<int>((long long)nc + 1);
    if (!m->rowidx || !m->colptr)
        failed(function, nr, nc, nnz);
}

}  // namespace

void splm_ccsm_alloc(splm_ccsm* m, int nr, int nc, int nnz)
{
    allocatePattern(m, nr, nc, nnz, "splm_ccsm_alloc");
    m->val = allocate<double>(nnz);
    if (!m->val)
        failed("splm_ccsm_alloc", nr, nc, nnz);
}

void splm_ccsm_alloc_novalues(splm_ccsm* m, int nr, int nc, int nnz)
{
    allocatePattern(m, nr, nc, nnz, "splm_ccsm_alloc_novalues");
}

void splm_ccsm_alloc_values(splm_ccsm* m)
{
    m->val = allocate<double>(m->nnz);
    if (!m->val)
        failed("splm_ccsm_alloc_values", m->nr, m->nc, m->nnz);
}

void splm_ccsm_realloc_novalues(splm_ccsm* m, int nr, int nc, int nnz)
{
    m->nnz = nnz;
    m->nr = nr;
    int* rowidx = reallocate(m->rowidx, nnz);
    if (!rowidx)
        failed("splm_ccsm_realloc_novalues", nr, nc, nnz);
    m->rowidx = rowidx;
    if (nc != m->nc) {
        m->nc = nc;
        int* colptr = reallocate(m->colptr, (long long)nc + 1);
        if (!colptr)
            failed("splm_ccsm_realloc", nr, nc, nnz);
        m->colptr = colptr;
    }
}

void splm_ccsm_free(splm_ccsm* m)
{
    std::free(m->val);
    std::free(m->rowidx);
    std::free(m->colptr);
    m->val = nullptr;
    m->rowidx = nullptr;
    m->colptr = nullptr;
    m->nr = m->nc = m->nnz = -1;
}

int splm_ccsm_find(const splm_ccsm* m, int row, int col)
{
    return splm_lines::find(m->colptr, m->rowidx, col, row);
}

int splm_ccsm_row_entries(const splm_ccsm* m, int row, int* positions, int* cols)
{
    int count = 0;
    for (int col = 0; col < m->nc; ++col) {
        const int pos = splm_ccsm_find(m, row, col);
        if (pos >= 0) {
            positions[count] = pos;
            cols[count] = col;
            ++count;
        }
    }
    return count;
}

int splm_ccsm_column_entries(const splm_ccsm* m, int col, int* positions, int* rows)
{
    int count = 0;
    for (int k = m->colptr[col]; k < m->colptr[col + 1]; ++k, ++count) {
        positions[count] = k;
        rows[count] = m->rowidx[k];
    }
    return count;
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
    const int count = A->colptr[A->nc];
    if (A->val && !B->val) {
        if (B->colidx || B->rowptr)
            splm_crsm_free(B);
        splm_crsm_alloc(B, A->nr, A->nc, count);
    }
    B->nr = A->nr;
    B->nc = A->nc;
    B->nnz = count;
    if (!splm_lines::transpose(A->colptr, A->rowidx, A->val, A->nc, A->nr, B->rowptr, B->colidx,
                               A->val ? B->val : nullptr))
        failed("splm_ccsm2crsm", A->nr, A->nc, count);
}
