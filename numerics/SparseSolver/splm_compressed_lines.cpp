#include "numerics/SparseSolver/splm_compressed_lines.h"

#include <algorithm>

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

bool transpose(const int* ptr, const int* idx, const double* val, int nlines, int otherDim, int* dstPtr,
               int* dstIdx, double* dstVal)
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

}  // namespace splm_lines
