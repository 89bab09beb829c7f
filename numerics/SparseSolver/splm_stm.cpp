// Functions of the triplet record.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_compressed_lines.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>

using splm_lines::allocate;

namespace {

void allocateTriplets(splm_stm* m, int nr, int nc, int maxnnz, bool values, const char* function)
{
    m->nr = nr;
    m->nc = nc;
    m->nnz = 0;
    m->maxnnz = maxnnz;
    m->rowidx = allocate<int>(maxnnz);
    m->colidx = allocate<int>(maxnnz);
    m->val = values ? allocate<double>(maxnnz) : nullptr;
    if (!m->rowidx || !m->colidx || (values && !m->val)) {
        std::fprintf(stderr, "memory allocation request failed in %s() [nr=%d, nc=%d, maxnnz=%d]\n", function, nr, nc,
                     maxnnz);
        std::exit(1);
    }
}

// Compresses distinct triplets along `line` (the pointer dimension). The
// entries are first ordered by their other index, then appended to their line
// in that order, so every line's indices come out ascending.
void compress(const int* line, const int* other, const double* vals, int nlines, int nother, int nnz, int* ptr,
              int* idx, double* dstVal, const char* function, int nr, int nc)
{
    int* count = allocate<int>((long long)std::max(nlines, nother) + 1);
    if (!count) {
        std::fprintf(stderr, "memory allocation request failed in %s() [nr=%d, nc=%d, nnz=%d]\n", function, nr, nc,
                     nnz);
        std::exit(1);
    }
    int* order = allocate<int>(nnz);
    if (!order) {
        std::fprintf(stderr, "memory allocation request failed in %s()\n", function);
        std::exit(1);
    }
    // Order by the other index (counting sort).
    std::fill(count, count + nother + 1, 0);
    for (int k = 0; k < nnz; ++k)
        ++count[other[k] + 1];
    for (int j = 0; j < nother; ++j)
        count[j + 1] += count[j];
    for (int k = 0; k < nnz; ++k)
        order[count[other[k]]++] = k;
    // Append to the lines in that order.
    std::fill(count, count + nlines, 0);
    for (int k = 0; k < nnz; ++k)
        ++count[line[k]];
    int sum = 0;
    for (int j = 0; j < nlines; ++j) {
        ptr[j] = sum;
        sum += count[j];
        count[j] = ptr[j];
    }
    ptr[nlines] = nnz;
    for (int o = 0; o < nnz; ++o) {
        const int k = order[o];
        const int at = count[line[k]]++;
        idx[at] = other[k];
        if (dstVal)
            dstVal[at] = vals ? vals[k] : 0.0;
    }
    std::free(order);
    std::free(count);
}

// Compresses the triplets into a compressed-row or compressed-column record;
// a record without values first gets fresh storage for all of them.
void compressInto(const splm_stm* t, const splm_lines::Record& A, const char* allocFunction, const char* function)
{
    if (!A.val)
        splm_lines::allocateAfresh(A, t->nr, t->nc, t->nnz, allocFunction);
    A.nr = t->nr;
    A.nc = t->nc;
    A.nnz = t->nnz;
    if (A.byColumns)
        compress(t->colidx, t->rowidx, t->val, t->nc, t->nr, t->nnz, A.ptr, A.idx, A.val, function, t->nr, t->nc);
    else
        compress(t->rowidx, t->colidx, t->val, t->nr, t->nc, t->nnz, A.ptr, A.idx, A.val, function, t->nr, t->nc);
}

}  // namespace

void splm_stm_alloc(splm_stm* m, int nr, int nc, int maxnnz)
{
    allocateTriplets(m, nr, nc, maxnnz, false, "splm_stm_alloc");
}

void splm_stm_allocval(splm_stm* m, int nr, int nc, int maxnnz)
{
    allocateTriplets(m, nr, nc, maxnnz, true, "splm_stm_allocval");
}

void splm_stm_free(splm_stm* m)
{
    std::free(m->rowidx);
    std::free(m->colidx);
    std::free(m->val);
    m->rowidx = m->colidx = nullptr;
    m->val = nullptr;
    m->nr = m->nc = m->nnz = m->maxnnz = -1;
}

int splm_stm_add(splm_stm* m, int row, int col)
{
    if (m->nnz == m->maxnnz || row >= m->nr || col >= m->nc)
        return 0;
    m->rowidx[m->nnz] = row;
    m->colidx[m->nnz] = col;
    ++m->nnz;
    return 1;
}

int splm_stm_add_value(splm_stm* m, int row, int col, double value)
{
    if (m->nnz == m->maxnnz || row >= m->nr || col >= m->nc)
        return 0;
    m->rowidx[m->nnz] = row;
    m->colidx[m->nnz] = col;
    m->val[m->nnz] = value;
    ++m->nnz;
    return 1;
}

void splm_stm2ccsm(const splm_stm* t, splm_ccsm* A)
{
    compressInto(t, splm_lines::fieldsOf(A), "splm_ccsm_alloc", "splm_stm2ccsm");
}

void splm_stm2crsm(const splm_stm* t, splm_crsm* A)
{
    compressInto(t, splm_lines::fieldsOf(A), "splm_crsm_alloc", "splm_stm2crsm");
}

void splm_stm2ccsm_arrays(int* rows, int* cols, double* vals, int nr, int nc, int nnz, splm_ccsm* A)
{
    splm_stm t;
    t.nr = nr;
    t.nc = nc;
    t.nnz = t.maxnnz = nnz;
    t.rowidx = rows;
    t.colidx = cols;
    t.val = vals;
    splm_stm2ccsm(&t, A);
}

void splm_stm2crsm_arrays(int* rows, int* cols, double* vals, int nr, int nc, int nnz, splm_crsm* A)
{
    splm_stm t;
    t.nr = nr;
    t.nc = nc;
    t.nnz = t.maxnnz = nnz;
    t.rowidx = rows;
    t.colidx = cols;
    t.val = vals;
    splm_stm2crsm(&t, A);
}
