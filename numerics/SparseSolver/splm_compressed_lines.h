#pragma once
// Operations shared by the compressed-row and compressed-column records: both
// are a list of "lines" (rows or columns), each an ascending run of indices
// into the other dimension. Internal to the solver's record functions.

#include "numerics/SparseSolver/splm.h"

#include <cstdlib>

namespace splm_lines {

// Ends the process after an allocation failed, naming the record function
// and the sizes it was asked for.
[[noreturn]] void allocationFailed(const char* function, int nr, int nc, int nnz);

// The fields of a compressed-row or compressed-column record, so that both
// kinds share their bookkeeping. The lines are the rows or the columns.
struct Record {
    int& nr;
    int& nc;
    int& nnz;
    double*& val;
    int*& idx;  // per entry: its index in the other dimension
    int*& ptr;  // per line plus one: where the line starts
    bool byColumns;

    int& lines() const { return byColumns ? nc : nr; }
    int& others() const { return byColumns ? nr : nc; }
};

inline Record fieldsOf(splm_crsm* m)
{
    return {m->nr, m->nc, m->nnz, m->val, m->colidx, m->rowptr, false};
}

inline Record fieldsOf(splm_ccsm* m)
{
    return {m->nr, m->nc, m->nnz, m->val, m->rowidx, m->colptr, true};
}

// Sizes the record and allocates its index arrays, no values.
void allocatePattern(const Record& m, int nr, int nc, int nnz, const char* function);
void allocateValues(const Record& m, const char* function);
// Resizes the index arrays to nnz entries; the line pointers only when the
// line count changes (their failure is reported as `pointerFunction`).
void reallocatePattern(const Record& m, int nr, int nc, int nnz, const char* function, const char* pointerFunction);
void release(const Record& m);
// Gives a record fresh storage for nnz entries with values, releasing what it held
// (reported as `allocFunction`).
void allocateAfresh(const Record& m, int nr, int nc, int nnz, const char* allocFunction);
// Fills `dst` with the transpose of the storage order of a record of the
// other kind (sizes nr x nc). A destination without values gets fresh
// storage with values when the source has values (reported as `allocFunction`).
void transposeInto(const int* ptr, const int* idx, const double* val, int nr, int nc, const Record& dst,
                   const char* allocFunction, const char* function);

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

// Position of index `key` within line `line`, or -1 (binary search, after a
// quick look at the line's ends).
inline int find(const int* ptr, const int* idx, int line, int key)
{
    int lo = ptr[line];
    int hi = ptr[line + 1] - 1;
    if (hi < lo || key < idx[lo] || key > idx[hi])
        return -1;
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

// Copies the positions and indices of line `line`; returns their count.
inline int lineEntries(const int* ptr, const int* idx, int line, int* positions, int* others)
{
    int count = 0;
    for (int k = ptr[line]; k < ptr[line + 1]; ++k, ++count) {
        positions[count] = k;
        others[count] = idx[k];
    }
    return count;
}

// The entries with index `key` across all lines, in line order: positions and
// the lines that hold them; returns their count.
inline int crossEntries(const int* ptr, const int* idx, int nlines, int key, int* positions, int* lines)
{
    int count = 0;
    for (int line = 0; line < nlines; ++line) {
        const int pos = find(ptr, idx, line, key);
        if (pos >= 0) {
            positions[count] = pos;
            lines[count] = line;
            ++count;
        }
    }
    return count;
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
bool transpose(const int* ptr, const int* idx, const double* val, int nlines, int otherDim, int* dstPtr, int* dstIdx,
               double* dstVal);

}  // namespace splm_lines
