#pragma once
// Sparse Jacobians as the registration builds them: row by row in a
// list-of-lists matrix, then copied to compressed rows for the solver.

#include "numerics/SparseSolver/splm.h"

#include <QImage>
#include <QList>
#include <QString>
#include <QVector>

namespace SparseMatrix {

struct LILEntry {
    int col;
    double value;
    explicit LILEntry(int col = 0, double value = 0.0) : col(col), value(value) {}
};

bool lessThanByColumn(const LILEntry& a, const LILEntry& b);

// Predicate: the entry's column equals col.
struct LILEntryColumnIs {
    explicit LILEntryColumnIs(int col) : col(col) {}
    bool operator()(const LILEntry& entry) const { return entry.col == col; }
    int col;
};

// Rows kept sorted by column; equal columns are kept as separate entries.
// Indices are not validated: rows must exist, columns are stored as given.
class SparseMatrixLIL {
public:
    SparseMatrixLIL();
    SparseMatrixLIL(int nRows, int nCols);

    void append(int row, int col, double value);
    const QList<LILEntry>& row(int i) const;
    double at(int row, int col) const;  // first entry of that column, else 0.0
    bool operator==(const SparseMatrixLIL& other) const;
    bool operator!=(const SparseMatrixLIL& other) const { return !(*this == other); }
    int nonZeroCount() const;
    // An empty matrix leaves min = DBL_MAX and max = -DBL_MAX.
    void valueRange(double* min, double* max) const;
    // Entries whose column lies outside 0 .. nCols - 1 are left out.
    QVector<QVector<double>> toDense() const;
    // White RGB32 picture, one grey pixel per entry (darkest = smallest value).
    QImage toImage() const;

    int nCols;
    QVector<QList<LILEntry>> rows;
};

// a's rows, then b's rows, with a's column count.
SparseMatrixLIL stackVertically(const SparseMatrixLIL& a, const SparseMatrixLIL& b);

// Compressed-row copy of a list-of-lists matrix, laid out like splm_crsm.
class SparseMatrixCRS {
public:
    explicit SparseMatrixCRS(const SparseMatrixLIL& m);
    ~SparseMatrixCRS();
    SparseMatrixCRS(const SparseMatrixCRS&) = delete;
    SparseMatrixCRS& operator=(const SparseMatrixCRS&) = delete;

    // "values: ...\ncolInd: ...\nrowPtr: ...\n", values as %g.
    QString toString() const;

    int nr;
    int nc;
    int nnz;
    double* val;
    int* colidx;
    int* rowptr;
};

// Copies crs into the solver's preallocated record (its arrays stay in place).
// Ends the process with a fatal message instead of writing past the target's
// arrays when crs has more rows or entries than the target was allocated for.
void fillSparseLmCRS(const SparseMatrixCRS& crs, splm_crsm* target);
// fillSparseLmCRS's check alone, for writers that fill the target's arrays themselves: ends
// the process with the same message when nr rows and nnz entries do not fit.
void checkSparseLmCapacity(int nr, int nnz, const splm_crsm* target);

}  // namespace SparseMatrix
