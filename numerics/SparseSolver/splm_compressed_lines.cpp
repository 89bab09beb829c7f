#include "numerics/SparseSolver/splm_compressed_lines.h"

#include <algorithm>
#include <cstdio>

namespace splm_lines {

bool sortLines(const int* ptr, int* idx, double* val, int nlines, int otherDim)
{
    double* dense = allocate<double>(otherDim);
    if (!dense)
        return false;
    for (int line = nlines - 1; line >= 0; --line) {
        int* first = idx + ptr[line];
        int* last = idx + ptr[line + 1];
        if (last - first < 2)
            continue;
        for (int* it = first; it != last; ++it)
            dense[*it] = val[it - idx];
        std::sort(first, last);
        for (int* it = first; it != last; ++it)
            val[it - idx] = dense[*it];
    }
    std::free(dense);
    return true;
}

bool transpose(const int* ptr, const int* idx, const double* val, int nlines, int otherDim, int* dstPtr, int* dstIdx,
               double* dstVal)
{
    int* next = allocate<int>(otherDim);
    if (!next)
        return false;
    std::fill(next, next + otherDim, 0);
    const int count = ptr[nlines];
    for (int k = 0; k < count; ++k)
        ++next[idx[k]];
    int sum = 0;
    for (int j = 0; j < otherDim; ++j) {
        dstPtr[j] = sum;
        sum += next[j];
        next[j] = dstPtr[j];
    }
    dstPtr[otherDim] = count;
    for (int line = 0; line < nlines; ++line) {
        for (int k = ptr[line]; k < ptr[line + 1]; ++k) {
            const int at = next[idx[k]]++;
            dstIdx[at] = line;
            if (dstVal)
                dstVal[at] = val[k];
        }
    }
    std::free(next);
    return true;
}

void allocationFailed(const char* function, int nr, int nc, int nnz)
{
    std::fprintf(stderr, "memory allocation request failed in %s() [nr=%d, nc=%d, nnz=%d]\n", function, nr, nc, nnz);
    std::exit(1);
}

void allocatePattern(const Record& m, int nr, int nc, int nnz, const char* function)
{
    m.nr = nr;
    m.nc = nc;
    m.nnz = nnz;
    m.val = nullptr;
    m.idx = allocate<int>(nnz);
    m.ptr = allocate<int>((long long)m.lines() + 1);
    if (!m.idx || !m.ptr)
        allocationFailed(function, nr, nc, nnz);
}

void allocateValues(const Record& m, const char* function)
{
    m.val = allocate<double>(m.nnz);
    if (!m.val)
        allocationFailed(function, m.nr, m.nc, m.nnz);
}

void reallocatePattern(const Record& m, int nr, int nc, int nnz, const char* function, const char* pointerFunction)
{
    const int lines = m.byColumns ? nc : nr;
    m.nnz = nnz;
    m.others() = m.byColumns ? nr : nc;
    int* idx = reallocate(m.idx, nnz);
    if (!idx)
        allocationFailed(function, nr, nc, nnz);
    m.idx = idx;
    if (lines != m.lines()) {
        m.lines() = lines;
        int* ptr = reallocate(m.ptr, (long long)lines + 1);
        if (!ptr)
            allocationFailed(pointerFunction, nr, nc, nnz);
        m.ptr = ptr;
    }
}

void release(const Record& m)
{
    std::free(m.val);
    std::free(m.idx);
    std::free(m.ptr);
    m.val = nullptr;
    m.idx = nullptr;
    m.ptr = nullptr;
    m.nr = m.nc = m.nnz = -1;
}

void allocateAfresh(const Record& m, int nr, int nc, int nnz, const char* allocFunction)
{
    if (m.idx || m.ptr)
        release(m);
    allocatePattern(m, nr, nc, nnz, allocFunction);
    allocateValues(m, allocFunction);
}

void transposeInto(const int* ptr, const int* idx, const double* val, int nr, int nc, const Record& dst,
                   const char* allocFunction, const char* function)
{
    // The source's lines are the destination's other dimension.
    const int nlines = dst.byColumns ? nr : nc;
    const int nother = dst.byColumns ? nc : nr;
    const int count = ptr[nlines];
    if (val && !dst.val)
        allocateAfresh(dst, nr, nc, count, allocFunction);
    dst.nr = nr;
    dst.nc = nc;
    dst.nnz = count;
    if (!transpose(ptr, idx, val, nlines, nother, dst.ptr, dst.idx, val ? dst.val : nullptr))
        allocationFailed(function, nr, nc, count);
}

}  // namespace splm_lines
