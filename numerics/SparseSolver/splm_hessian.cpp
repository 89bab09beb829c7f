// Pattern and values of the normal matrix A^T A and of A^T b.
#include "numerics/ParallelChunks.h"
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_compressed_lines.h"
#include "numerics/SparseSolver/splm_memory.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace {

template <typename T>
T* workArray(int line, long long count)
{
    return splm_work_array<T>("splm_hessian", line, count);
}

// Position of `row` in AtA's column c, searching from `from` on; -1 when the
// pattern has no such entry.
inline int locate(const splm_ccsm* AtA, int c, int from, int row)
{
    const int end = AtA->colptr[c + 1];
    if (from >= end)
        return -1;
    const int k = splm_lower_bound(AtA->rowidx + from, end - from, row);
    if (k < 0 || AtA->rowidx[from + k] != row)
        return -1;
    return from + k;
}

// The position of the next product of a row: the entry right after the
// previous one when it holds the wanted row, else a search from there on.
inline int locateNext(const splm_ccsm* AtA, int c, int previous, int row)
{
    const int next = previous + 1;
    if (next < AtA->colptr[c + 1] && AtA->rowidx[next] == row)
        return next;
    return locate(AtA, c, next, row);
}

// First position of a row's entries whose column is >= ncon, or -1.
inline int firstFreeEntry(const splm_crsm* A, int r, int ncon)
{
    const int rs = A->rowptr[r];
    const int re = A->rowptr[r + 1];
    if (rs == re)
        return -1;
    const int s = splm_lower_bound(A->colidx + rs, re - rs, ncon);
    return s < 0 ? -1 : rs + s;
}

// A chunk of the column pass should hold at least this many products, so that handing it to
// the pool costs little against its work; at most this many chunks.
constexpr long long kChunkProducts = 32768;
constexpr int kMaxChunks = 64;

// The free entries of A by AtA column, each column's from the last row up (the order of the
// row-by-row pass), and chunks of consecutive columns of about equal numbers of products.
void indexColumns(const splm_crsm* A, int ncon, int n, splm_AtA_positions* table)
{
    const int nr = A->nr;
    const int* colidx = A->colidx;
    int* columnptr = workArray<int>(__LINE__, (long long)n + 1);
    std::fill(columnptr, columnptr + n + 1, 0);
    std::vector<long long> products(size_t(n), 0), positions(size_t(n), 0);
    for (int r = 0; r < nr; ++r) {
        const int s = firstFreeEntry(A, r, ncon);
        if (s < 0)
            continue;
        const int re = A->rowptr[r + 1];
        long long runsFromHere = 1;
        for (int l = re - 1; l >= s; --l) {
            const size_t c = size_t(colidx[l] - ncon);
            ++columnptr[c + 1];
            products[c] += re - l;
            positions[c] += runsFromHere;
            if (l > s && colidx[l] != colidx[l - 1] + 1)
                ++runsFromHere;
        }
    }
    for (int c = 0; c < n; ++c)
        columnptr[c + 1] += columnptr[c];
    splm_AtA_positions::Step* steps = workArray<splm_AtA_positions::Step>(__LINE__, columnptr[n]);
    std::vector<int> next(columnptr + 1, columnptr + n + 1);  // filled from each column's end
    for (int r = 0; r < nr; ++r) {
        const int s = firstFreeEntry(A, r, ncon);
        if (s < 0)
            continue;
        const int re = A->rowptr[r + 1];
        for (int l = s; l < re; ++l)
            steps[--next[size_t(colidx[l] - ncon)]] = {l, re, r};
    }

    long long total = 0;
    for (long long p : products)
        total += p;
    const int wanted = int(std::max<long long>(1, std::min<long long>(kMaxChunks, total / kChunkProducts)));
    std::vector<int> bounds{0};
    long long done = 0;
    for (int c = 0; c < n; ++c) {
        done += products[size_t(c)];
        // Close a chunk once it reaches its share of the whole.
        if (c + 1 < n && done * wanted >= total * (long long)bounds.size())
            bounds.push_back(c + 1);
    }
    bounds.push_back(n);
    table->columnptr = columnptr;
    table->steps = steps;
    table->chunks = int(bounds.size()) - 1;
    table->chunkColumns = workArray<int>(__LINE__, (long long)bounds.size());
    std::copy(bounds.begin(), bounds.end(), table->chunkColumns);
    table->chunkPositions = workArray<long long>(__LINE__, (long long)bounds.size());
    long long at = 0;
    for (size_t i = 0; i + 1 < bounds.size(); ++i) {
        table->chunkPositions[i] = at;
        for (int c = bounds[i]; c < bounds[i + 1]; ++c)
            at += positions[size_t(c)];
    }
    table->chunkPositions[bounds.size() - 1] = at;
}

// The positions of chunk i, found by searching AtA's columns.
void chunkPositions(const splm_crsm* A, const splm_ccsm* AtA, splm_AtA_positions* table, int i)
{
    const int ncon = table->ncon;
    const int* colidx = A->colidx;
    int* out = table->pos + table->chunkPositions[i];
    const int from = table->chunkColumns[i];
    const int to = table->chunkColumns[i + 1];
    for (int t = table->columnptr[from]; t < table->columnptr[to]; ++t) {
        const int l = table->steps[t].entry;
        const int re = table->steps[t].rowEnd;
        const int c = colidx[l] - ncon;
        int k = locate(AtA, c, AtA->colptr[c], c);
        *out++ = k;
        for (int f = l + 1; f < re; ++f) {
            if (colidx[f] == colidx[f - 1] + 1) {
                ++k;
            } else {
                k = locateNext(AtA, c, k, colidx[f] - ncon);
                *out++ = k;
            }
        }
    }
}

// AtA's columns of chunk i and their entries of Atb.
void chunkValues(const splm_crsm* A, const splm_AtA_positions* table, int i, const int* AtAcolptr, double* AtAval,
                 const double* b, double* Atb)
{
    const int from = table->chunkColumns[i];
    const int to = table->chunkColumns[i + 1];
    std::fill(AtAval + AtAcolptr[from], AtAval + AtAcolptr[to], 0.0);
    const int* colidx = A->colidx;
    const double* val = A->val;
    const int* pos = table->pos + table->chunkPositions[i];
    const splm_AtA_positions::Step* step = table->steps + table->columnptr[from];
    for (int c = from; c < to; ++c) {
        double atb = 0.0;
        for (const splm_AtA_positions::Step* end = table->steps + table->columnptr[c + 1]; step < end; ++step) {
            const int l = step->entry;
            const double v = val[l];
            int k = *pos++;
            AtAval[k] += v * val[l];
            for (int f = l + 1; f < step->rowEnd; ++f) {
                k = colidx[f] == colidx[f - 1] + 1 ? k + 1 : *pos++;
                AtAval[k] += v * val[f];
            }
            atb += v * b[step->row];
        }
        Atb[c] = atb;
    }
}

void mirrorUpperTriangle(splm_ccsm* AtA)
{
    for (int j = 0; j < AtA->nc; ++j) {
        for (int k = AtA->colptr[j]; k < AtA->colptr[j + 1]; ++k) {
            const int i = AtA->rowidx[k];
            if (i >= j)
                break;
            const int mirror = splm_ccsm_find(AtA, j, i);
            AtA->val[k] = mirror >= 0 ? AtA->val[mirror] : 0.0;
        }
    }
}

}  // namespace

int splm_lower_bound(const int* a, int n, int key)
{
    if (a[n - 1] < key)
        return -1;
    int lo = 0;
    int hi = n;
    while (hi > lo + 64) {
        const int mid = (lo + hi) / 2;
        if (a[mid] < key)
            lo = mid + 1;
        else
            hi = mid;
    }
    // An element >= key exists, so the scan stops inside the range.
    for (;; lo += 8) {
        if (a[lo] >= key)
            return lo;
        if (a[lo + 1] >= key)
            return lo + 1;
        if (a[lo + 2] >= key)
            return lo + 2;
        if (a[lo + 3] >= key)
            return lo + 3;
        if (a[lo + 4] >= key)
            return lo + 4;
        if (a[lo + 5] >= key)
            return lo + 5;
        if (a[lo + 6] >= key)
            return lo + 6;
        if (a[lo + 7] >= key)
            return lo + 7;
    }
}

void splm_setup_AtA_crsA(const splm_crsm* A, int ncon, splm_ccsm* AtA, int mode)
{
    const int nr = A->nr;
    const int nc = A->nc;
    const int nnz = A->rowptr[nr];
    int* block = static_cast<int*>(std::malloc(sizeof(int) * (size_t(nc) + 1 + size_t(std::max(nnz, 1)))));
    if (!block) {
        std::fprintf(stderr, "memory allocation request failed in splm_setup_AtA_crsA() [nr=%d, nc=%d, nnz=%d]\n", nr,
                     nc, A->nnz);
        std::exit(1);
    }
    int* colptr = block;
    int* rowidx = block + nc + 1;
    if (!splm_lines::transpose(A->rowptr, A->colidx, nullptr, nr, nc, colptr, rowidx, nullptr)) {
        std::fprintf(stderr, "memory allocation request failed in splm_setup_AtA_crsA() [nr=%d, nc=%d, nnz=%d]\n", nr,
                     nc, A->nnz);
        std::exit(1);
    }

    // View of the free columns only.
    const int cut = colptr[ncon];
    for (int j = ncon; j <= nc; ++j)
        colptr[j] -= cut;
    splm_ccsm view;
    view.nr = nr;
    view.nc = nc - ncon;
    view.nnz = nnz - cut;
    view.rowidx = rowidx + cut;
    view.colptr = colptr + ncon;
    splm_setup_AtA_ccsA(&view, AtA, mode);

    std::free(block);
}

namespace {

// Below this many entries of A the pattern is collected on the calling thread alone.
constexpr int kParallelPatternEntries = 100000;
// Pieces of columns the work is shared out in, at most.
constexpr int kPatternPieces = 64;

// The rows of AtA's columns [from, to): per column their count, and the rows one column after
// the other, each column's in rising order. marker: n entries, none equal to a column of the range.
void collectColumns(const splm_ccsm* A, const int* rowptr, const int* colidx, int mode, int from, int to, int* marker,
                    std::vector<int>& counts, std::vector<int>& rows)
{
    for (int j = from; j < to; ++j) {
        const size_t first = rows.size();
        for (int k = A->colptr[j]; k < A->colptr[j + 1]; ++k) {
            const int r = A->rowidx[k];
            for (int f = rowptr[r]; f < rowptr[r + 1]; ++f) {
                const int i = colidx[f];
                if ((mode == 1 && i < j) || marker[i] == j)
                    continue;
                marker[i] = j;
                rows.push_back(i);
            }
        }
        std::sort(rows.begin() + long(first), rows.end());
        counts.push_back(int(rows.size() - first));
    }
}

}  // namespace

// For every column j, the columns i that share a row with j are collected
// through the rows of column j (a marker per column keeps each i once) and
// sorted. This gives the same pattern as testing every pair of columns, at a
// cost of the products actually present rather than of n^2 column pairs. Each column's rows are
// collected apart from the others', so a large pattern is collected in pieces of columns on the
// global thread pool and laid out in column order afterwards.
void splm_setup_AtA_ccsA(const splm_ccsm* A, splm_ccsm* AtA, int mode)
{
    const int n = A->nc;
    const int nr = A->nr;
    const int count = A->colptr[n];

    // Row form of A's pattern.
    int* rowptr = workArray<int>(__LINE__, (long long)nr + 1);
    int* colidx = workArray<int>(__LINE__, count);
    if (!splm_lines::transpose(A->colptr, A->rowidx, nullptr, n, nr, rowptr, colidx, nullptr)) {
        std::fprintf(stderr, "memory allocation request failed in splm_setup_AtA_ccsA()\n");
        std::exit(1);
    }

    const int chunk =
        count >= kParallelPatternEntries ? std::max(1, (n + kPatternPieces - 1) / kPatternPieces) : std::max(n, 1);
    const int pieces = n <= 0 ? 0 : 1 + (n - 1) / chunk;
    std::vector<std::vector<int>> counts(static_cast<size_t>(pieces)), rows(static_cast<size_t>(pieces));
    Parallel::forChunks(n, chunk, [&](int from, int to) {
        std::vector<int> marker(size_t(n), -1);
        const size_t piece = size_t(from / chunk);
        counts[piece].reserve(size_t(to - from));
        collectColumns(A, rowptr, colidx, mode, from, to, marker.data(), counts[piece], rows[piece]);
    });
    std::free(colidx);
    std::free(rowptr);

    // Every column's count is known now: a growing record is made the exact size at once.
    long long total = 0;
    for (const std::vector<int>& columns : counts)
        for (int m : columns)
            total += m;
    const bool growable = AtA->nnz <= 0;
    if (growable)
        splm_ccsm_alloc_novalues(AtA, n, n, int(total));
    const int capacity = AtA->nnz;

    long long found = 0;
    for (int piece = 0; piece < pieces; ++piece) {
        const int* next = rows[size_t(piece)].data();
        for (size_t c = 0; c < counts[size_t(piece)].size(); ++c) {
            const int j = piece * chunk + int(c);
            const int m = counts[size_t(piece)][c];
            AtA->colptr[j] = int(std::min<long long>(found, capacity));
            for (int t = 0; t < m; ++t, ++found) {
                if (found < capacity)
                    AtA->rowidx[found] = next[t];
            }
            next += m;
        }
        std::vector<int>().swap(rows[size_t(piece)]);
    }

    if (growable) {
        AtA->colptr[n] = int(found);
        splm_ccsm_alloc_values(AtA);
        return;
    }
    if (found == capacity) {
        AtA->colptr[n] = int(found);
        return;
    }
    const char* prefix = capacity > found ? "Warning: p" : "P";
    std::fprintf(stderr,
                 "%sreallocated size of array A^T*A does not match the number of detected nonzeros in "
                 "splm_setup_AtA_ccsA()! [%d != %d]\n",
                 prefix, capacity, int(found));
    if (found > capacity)
        std::exit(1);
    AtA->colptr[n] = int(found);
}

void splm_calc_AtA_Atb_crsA(const splm_crsm* A, int ncon, splm_ccsm* AtA, int mode, const double* b, double* Atb)
{
    std::memset(AtA->val, 0, sizeof(double) * size_t(std::max(AtA->nnz, 0)));
    std::memset(Atb, 0, sizeof(double) * size_t(A->nc - ncon));
    const int* colidx = A->colidx;
    const double* val = A->val;
    double* AtAval = AtA->val;

    for (int r = A->nr - 1; r >= 0; --r) {
        const int s = firstFreeEntry(A, r, ncon);
        if (s < 0)
            continue;
        const int re = A->rowptr[r + 1];
        for (int l = s; l < re; ++l) {
            const int c = colidx[l] - ncon;
            const double v = val[l];
            // A product outside the pattern (a Jacobian that broke the
            // contract) cannot be located and is left out.
            int previous = AtA->colptr[c] - 1;
            for (int f = l; f < re; ++f) {
                const int k = locateNext(AtA, c, previous, colidx[f] - ncon);
                if (k >= 0) {
                    AtAval[k] += v * val[f];
                    previous = k;
                }
            }
            Atb[c] += v * b[r];
        }
    }
    if (mode == 2)
        mirrorUpperTriangle(AtA);
}

void splm_calc_AtA_ccsA(const splm_ccsm* A, splm_ccsm* AtA, int mode)
{
    if (AtA->nnz <= 0) {
        std::fprintf(stderr, "product matrix must have been preallocated in splm_calc_AtA_ccsA()!\n");
        std::exit(1);
    }
    (void)mode;  // every stored entry, upper or lower, is its own dot product
    std::memset(AtA->val, 0, sizeof(double) * size_t(AtA->nnz));
    for (int j = 0; j < AtA->nc; ++j) {
        for (int k = AtA->colptr[j]; k < AtA->colptr[j + 1]; ++k) {
            const int r = AtA->rowidx[k];
            int a = A->colptr[r];
            const int aEnd = A->colptr[r + 1];
            int b = A->colptr[j];
            const int bEnd = A->colptr[j + 1];
            double sum = 0.0;
            while (a < aEnd && b < bEnd) {
                if (A->rowidx[a] < A->rowidx[b]) {
                    ++a;
                } else if (A->rowidx[a] > A->rowidx[b]) {
                    ++b;
                } else {
                    sum += A->val[a] * A->val[b];
                    ++a;
                    ++b;
                }
            }
            AtA->val[k] = sum;
        }
    }
}

void splm_calc_Atb_ccsA(const splm_ccsm* A, const double* b, double* Atb)
{
    for (int c = 0; c < A->nc; ++c) {
        double sum = 0.0;
        for (int k = A->colptr[c]; k < A->colptr[c + 1]; ++k)
            sum += A->val[k] * b[A->rowidx[k]];
        Atb[c] = sum;
    }
}

// The table holds, for every column of AtA and every free entry l of A in it
// (from the last row up), the position of the diagonal product and of the first
// product of every later run of consecutive columns of l's row. Within such a run the positions in AtA's
// column are consecutive too (no row index lies between c and c + 1), so the
// pass only steps forward there.
int splm_AtA_positions_setup(const splm_crsm* A, int ncon, const splm_ccsm* AtA, splm_AtA_positions* table,
                             int maxEntriesPerJacobianEntry)
{
    *table = splm_AtA_positions();
    const int nr = A->nr;
    const int nnz = A->rowptr[nr];
    const int* colidx = A->colidx;

    long long needed = 0;
    for (int r = 0; r < nr; ++r) {
        const int s = firstFreeEntry(A, r, ncon);
        if (s < 0)
            continue;
        long long runsFromHere = 1;
        for (int f = A->rowptr[r + 1] - 1; f >= s; --f) {
            needed += runsFromHere;
            if (f > s && colidx[f] != colidx[f - 1] + 1)
                ++runsFromHere;
        }
    }
    if (needed > (long long)maxEntriesPerJacobianEntry * std::max(nnz, 1))
        return 0;

    table->ncon = ncon;
    table->nr = nr;
    table->nnz = nnz;
    table->count = needed;
    table->rowptr = workArray<int>(__LINE__, (long long)nr + 1);
    table->colidx = workArray<int>(__LINE__, nnz);
    table->pos = workArray<int>(__LINE__, needed);
    std::memcpy(table->rowptr, A->rowptr, sizeof(int) * (size_t(nr) + 1));
    std::memcpy(table->colidx, A->colidx, sizeof(int) * size_t(nnz));

    indexColumns(A, ncon, AtA->nc, table);
    // Every chunk fills its own stretch of the table.
    Parallel::forEachIndex(table->chunks, [&](int i) { chunkPositions(A, AtA, table, i); });
    return 1;
}

int splm_AtA_positions_match(const splm_AtA_positions* table, const splm_crsm* A)
{
    if (!table->pos || A->nr != table->nr || A->rowptr[A->nr] != table->nnz)
        return 0;
    return std::memcmp(A->rowptr, table->rowptr, sizeof(int) * (size_t(table->nr) + 1)) == 0 &&
           std::memcmp(A->colidx, table->colidx, sizeof(int) * size_t(table->nnz)) == 0;
}

void splm_calc_AtA_Atb_crsA_positions(const splm_crsm* A, const splm_AtA_positions* table, splm_ccsm* AtA,
                                      const double* b, double* Atb)
{
    const int n = AtA->nc;
    // Room beyond the pattern (a preallocated AtA larger than needed) holds zeros.
    std::fill(AtA->val + AtA->colptr[n], AtA->val + std::max(AtA->nnz, AtA->colptr[n]), 0.0);
    // Every chunk writes only its own columns of AtA and its own entries of Atb.
    Parallel::forEachIndex(table->chunks, [&](int i) { chunkValues(A, table, i, AtA->colptr, AtA->val, b, Atb); });
}

void splm_AtA_positions_free(splm_AtA_positions* table)
{
    std::free(table->chunkPositions);
    std::free(table->chunkColumns);
    std::free(table->steps);
    std::free(table->columnptr);
    std::free(table->pos);
    std::free(table->colidx);
    std::free(table->rowptr);
    *table = splm_AtA_positions();
}
