#include "numerics/SparseMatrix.h"

#include <QtGlobal>

#include <algorithm>
#include <cfloat>
#include <cstring>

namespace SparseMatrix {

bool lessThanByColumn(const LILEntry& a, const LILEntry& b)
{
    return a.col < b.col;
}

SparseMatrixLIL::SparseMatrixLIL() : nCols(0) {}

SparseMatrixLIL::SparseMatrixLIL(int nRows, int nCols) : nCols(nCols), rows(nRows) {}

void SparseMatrixLIL::append(int row, int col, double value)
{
    QList<LILEntry>& list = rows[row];
    list.append(LILEntry(col, value));
    std::sort(list.begin(), list.end(), lessThanByColumn);
}

const QList<LILEntry>& SparseMatrixLIL::row(int i) const
{
    return rows.at(i);
}

double SparseMatrixLIL::at(int row, int col) const
{
    const QList<LILEntry>& list = rows.at(row);
    const auto it = std::find_if(list.cbegin(), list.cend(), LILEntryColumnIs(col));
    return it == list.cend() ? 0.0 : it->value;
}

bool SparseMatrixLIL::operator==(const SparseMatrixLIL& other) const
{
    if (nCols != other.nCols || rows.size() != other.rows.size())
        return false;
    for (int i = 0; i < rows.size(); ++i) {
        const QList<LILEntry>& a = rows.at(i);
        const QList<LILEntry>& b = other.rows.at(i);
        if (a.size() != b.size())
            return false;
        for (int k = 0; k < a.size(); ++k) {
            if (a.at(k).col != b.at(k).col || !(a.at(k).value == b.at(k).value))
                return false;
        }
    }
    return true;
}

int SparseMatrixLIL::nonZeroCount() const
{
    int count = 0;
    for (const QList<LILEntry>& list : rows)
        count += list.size();
    return count;
}

void SparseMatrixLIL::valueRange(double* min, double* max) const
{
    *min = DBL_MAX;
    *max = -DBL_MAX;
    for (const QList<LILEntry>& list : rows) {
        for (const LILEntry& entry : list) {
            if (entry.value > *max)
                *max = entry.value;
            if (entry.value < *min)
                *min = entry.value;
        }
    }
}

QVector<QVector<double>> SparseMatrixLIL::toDense() const
{
    QVector<QVector<double>> dense(rows.size(), QVector<double>(nCols, 0.0));
    for (int i = 0; i < rows.size(); ++i) {
        for (const LILEntry& entry : rows.at(i)) {
            if (entry.col >= 0 && entry.col < nCols)
                dense[i][entry.col] = entry.value;
        }
    }
    return dense;
}

QImage SparseMatrixLIL::toImage() const
{
    QImage image(nCols, rows.size(), QImage::Format_RGB32);
    image.fill(Qt::white);
    double min, max;
    valueRange(&min, &max);
    const double range = max - min;
    for (int i = 0; i < rows.size(); ++i) {
        for (const LILEntry& entry : rows.at(i)) {
            if (entry.col < 0 || entry.col >= nCols)
                continue;
            // All values equal: no scale, every entry at level 0.
            const int level = range > 0.0 ? int((entry.value - min) / range * 255) : 0;
            const int grey = level & 0xff;
            image.setPixel(entry.col, i, qRgba(grey, grey, grey, 255));
        }
    }
    return image;
}

SparseMatrixLIL stackVertically(const SparseMatrixLIL& a, const SparseMatrixLIL& b)
{
    SparseMatrixLIL stacked(a.rows.size() + b.rows.size(), a.nCols);
    for (int i = 0; i < a.rows.size(); ++i) {
        for (const LILEntry& entry : a.rows.at(i))
            stacked.append(i, entry.col, entry.value);
    }
    const int offset = a.rows.size();
    for (int i = 0; i < b.rows.size(); ++i) {
        for (const LILEntry& entry : b.rows.at(i))
            stacked.append(offset + i, entry.col, entry.value);
    }
    return stacked;
}

SparseMatrixCRS::SparseMatrixCRS(const SparseMatrixLIL& m)
    : nr(m.rows.size()),
      nc(m.nCols),
      nnz(m.nonZeroCount()),
      val(new double[nnz]),
      colidx(new int[nnz]),
      rowptr(new int[nr + 1])
{
    int k = 0;
    for (int i = 0; i < nr; ++i) {
        rowptr[i] = k;
        for (const LILEntry& entry : m.rows.at(i)) {
            val[k] = entry.value;
            colidx[k] = entry.col;
            ++k;
        }
    }
    rowptr[nr] = nnz;
}

SparseMatrixCRS::~SparseMatrixCRS()
{
    delete[] val;
    delete[] colidx;
    delete[] rowptr;
    val = nullptr;
    colidx = nullptr;
    rowptr = nullptr;
}

QString SparseMatrixCRS::toString() const
{
    QString text = QStringLiteral("values: ");
    for (int k = 0; k < nnz; ++k) {
        if (k > 0)
            text += QLatin1Char(' ');
        text += QString::number(val[k], 'g', 6);
    }
    text += QStringLiteral("\ncolInd: ");
    for (int k = 0; k < nnz; ++k) {
        if (k > 0)
            text += QLatin1Char(' ');
        text += QString::number(colidx[k]);
    }
    text += QStringLiteral("\nrowPtr: ");
    for (int i = 0; i <= nr; ++i) {
        if (i > 0)
            text += QLatin1Char(' ');
        text += QString::number(rowptr[i]);
    }
    text += QLatin1Char('\n');
    return text;
}

void checkSparseLmCapacity(int nr, int nnz, const splm_crsm* target)
{
    // The target's nr and nnz are the sizes its arrays were allocated for.
    if (nr > target->nr || nnz > target->nnz) {
        qFatal(
            "fillSparseLmCRS: a Jacobian of %d rows and %d entries does not fit the solver's arrays of %d rows "
            "and %d entries",
            nr, nnz, target->nr, target->nnz);
    }
}

void fillSparseLmCRS(const SparseMatrixCRS& crs, splm_crsm* target)
{
    checkSparseLmCapacity(crs.nr, crs.nnz, target);
    target->nr = crs.nr;
    target->nc = crs.nc;
    target->nnz = crs.nnz;
    std::memcpy(target->val, crs.val, sizeof(double) * size_t(crs.nnz));
    std::memcpy(target->colidx, crs.colidx, sizeof(int) * size_t(crs.nnz));
    std::memcpy(target->rowptr, crs.rowptr, sizeof(int) * (size_t(crs.nr) + 1));
}

}  // namespace SparseMatrix
