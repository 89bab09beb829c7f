#pragma once
// Operations shared by the compressed-row and compressed-column records: both
// are a list of "lines" (rows or columns), each an ascending run of indices
// into the other dimension. Internal to the solver's record functions.

#include <cstdlib>

namespace splm_lines {

// malloc that never asks for zero bytes, so that null always means failure.
template <typename T>
T* allocate(long long count)
{
    return static_cast<T*>(std::malloc(sizeof(T) * size_t(count > 0 ? count : 1)));
}

template <typename T>
T* reallocate(T* block, long long count)
{
    return static_cast<T*>(std::realloc(block, sizeof(T) * size_t(count > 0 ? count : 1)));
}

// Position of index `key` within line `line`, or -1 (binary search).
inline int find(const int* ptr, const int* idx, int line, int key)
{
    int lo = ptr[line];
    int hi = ptr[line + 1] - 1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        if (idx[mid] == key)
            return mid;
        if (idx[mid] < key)
            lo = mid + 1;
        else
            hi = mid - 1;
    }
    return -1;
}

// The line that holds entry `pos`: the last line whose pointer is <= pos
// (empty lines before it own nothing).
inline int owner(const int* ptr, int nlines, int pos)
{
    int lo = 0;
    int hi = nlines - 1;
    int found = -1;
    while (lo <= hi) {
        const int mid = lo + (hi - lo) / 2;
        if (ptr[mid] <= pos) {
            found = mid;
            lo = mid + 1;
        } else {
            hi = mid - 1;
        }
    }
    return found;
}

inline int longest(const int* ptr, int nlines)
{
    int best = -1;
    for (int i = 0; i < nlines; ++i) {
        const int count = ptr[i + 1] - ptr[i];
        if (count > best)
            best = count;
    }
    return best;
}

// Sorts every line's indices ascending, values carried along: the line is
// scattered into a dense vector indexed by the other dimension and gathered
// back in index order. Lines are processed from the last to the first.
// Returns false when the work vector cannot be allocated.
bool sortLines(const int* ptr, int* idx, double* val, int nlines, int otherDim);

// Transposes the storage order by counting sort: source lines become
// destination indices. dstPtr has otherDim + 1 entries; dstVal may be null.
// Returns false when the count array cannot be allocated.
bool transpose(const int* ptr, const int* idx, const double* val, int nlines, int otherDim, int* dstPtr,
               int* dstIdx, double* dstVal);

}  // namespace splm_lines
