// Functions of the compressed-row record.
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

void allocatePattern(splm_crsm* m, int nr, int nc, int nnz, const char* function)
{
    m->nr = nr;
    m->nc = nc;
    m->nnz = nnz;
    m->val = nullptr;
    m->colidx = allocate<int>(nnz);
    m->rowptr = allocate<int>((long long)nr + 1);
    if (!m->colidx || !m->rowptr)
        failed(function, nr, nc, nnz);
}

}  // namespace

void splm_crsm_alloc(splm_crsm* m, int nr, int nc, int nnz)
{
    allocatePattern(m, nr, nc, nnz, "splm_crsm_alloc");
    m->val = allocate<double>(nnz);
    if (!m->val)
        failed("splm_crsm_alloc", nr, nc, nnz);
}

void splm_crsm_alloc_novalues(splm_crsm* m, int nr, int nc, int nnz)
{
    allocatePattern(m, nr, nc, nnz, "splm_crsm_alloc_novalues");
}

void splm_crsm_alloc_values(splm_crsm* m)
{
    m->val = allocate<double>(m->nnz);
    if (!m->val)
        failed("splm_crsm_alloc_values", m->nr, m->nc, m->nnz);
}

void splm_crsm_realloc_novalues(splm_crsm* m, int nr, int nc, int nnz)
{
    m->nnz = nnz;
    m->nc = nc;
    int* colidx = reallocate(m->colidx, nnz);
    if (!colidx)
        failed("splm_crsm_realloc_novalues", nr, nc, nnz);
    m->colidx = colidx;
    if (nr != m->nr) {
        m->nr = nr;
        int* rowptr = reallocate(m->rowptr, (long long)nr + 1);
        if (!rowptr)
            failed("splm_crsm_realloc", nr, nc, nnz);
        m->rowptr = rowptr;
    }
}

void splm_crsm_free(splm_crsm* m)
{
    std::free(m->val);
    std::free(m->colidx);
    std::free(m->rowptr);
    m->val = nullptr;
    m->colidx = nullptr;
    m->rowptr = nullptr;
    m->nr = m->nc = m->nnz = -1;
}

int splm_crsm_find(const splm_crsm* m, int row, int col)
{
    const int first = m->rowptr[row];
    const int last = m->rowptr[row + 1] - 1;
    if (last < first || col < m->colidx[first] || col > m->colidx[last])
        return -1;
    return splm_lines::find(m->rowptr, m->colidx, row, col);
}

int splm_crsm_row_entries(const splm_crsm* m, int row, int* positions, int* cols)
{
    int count = 0;
    for (int k = m->rowptr[row]; k < m->rowptr[row + 1]; ++k, ++count) {
        positions[count] = k;
        cols[count] = m->colidx[k];
    }
    return count;
}

int splm_crsm_column_entries(const splm_crsm* m, int col, int* positions, int* rows)
{
    int count = 0;
    for (int row = 0; row < m->nr; ++row) {
        const int pos = splm_crsm_find(m, row, col);
        if (pos >= 0) {
            positions[count] = pos;
            rows[count] = row;
            ++count;
        }
    }
    return count;
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
    const int count = A->rowptr[A->nr];
    if (A->val && !B->val) {
        if (B->rowidx || B->colptr)
            splm_ccsm_free(B);
        splm_ccsm_alloc(B, A->nr, A->nc, count);
    }
    B->nr = A->nr;
    B->nc = A->nc;
    B->nnz = count;
    if (!splm_lines::transpose(A->rowptr, A->colidx, A->val, A->nr, A->nc, B->colptr, B->rowidx,
                               A->val ? B->val : nullptr))
        failed("splm_crsm2ccsm", A->nr, A->nc, count);
}
