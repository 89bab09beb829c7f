#include "registration/DifferentiableParameters.h"

#include <algorithm>
#include <cmath>

namespace NonRigidRegistration {

QList<int> getNonZeroElementIndices(const QVector<double>& row)
{
    QList<int> indices;
    const double* w = row.constData();
    for (int i = 0; i < row.size(); ++i)
        if (w[i] != 0.0)
            indices.append(i);
    return indices;
}

namespace {

template <typename T>
QVector<T> pick(const QVector<T>& container, const QList<int>& indices)
{
    QVector<T> picked;
    picked.reserve(indices.size());
    for (int index : indices)
        picked.append(container[index]);
    return picked;
}

}  // namespace

QVector<double> subset(const QVector<double>& container, const QList<int>& indices)
{
    return pick(container, indices);
}

QVector<QVector3D> subset(const QVector<QVector3D>& container, const QList<int>& indices)
{
    return pick(container, indices);
}

QVector<QVector<double>> subset(const QVector<QVector<double>>& container, const QList<int>& indices)
{
    return pick(container, indices);
}

QVector<DerVal> makeVectorDifferentiable(const QVector<double>& v, int n, int s)
{
    QVector<DerVal> seeded;
    seeded.reserve(v.size());
    for (int i = 0; i < v.size(); ++i) {
        DerVal x(v[i], n);
        x.derivatives[s + i] = 1.0;
        seeded.append(std::move(x));
    }
    return seeded;
}

void makeParamsDifferentiable(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                              QVector<QVector<DerVal>>& rsDer, QVector<QVector<DerVal>>& tsDer)
{
    if (rotations.isEmpty() || translations.isEmpty()) {
        // No node: nothing to seed.
        rsDer.clear();
        tsDer.clear();
        return;
    }
    const int m = rotations.size();
    const int r = rotations[0].size();
    const int t = translations[0].size();
    const int n = m * r + translations.size() * t;
    rsDer.resize(m);
    tsDer.resize(translations.size());
    for (int p = 0; p < m; ++p) {
        const int base = p * (r + t);
        rsDer[p] = makeVectorDifferentiable(rotations[p], n, base);
        tsDer[p] = makeVectorDifferentiable(translations[p], n, base + r);
    }
}

QVector<double> undifContainer(const QVector<DerVal>& values)
{
    QVector<double> plain(values.size());
    for (int i = 0; i < values.size(); ++i)
        plain[i] = values[i].value;
    return plain;
}

Vec<double> undifContainer(const Vec<DerVal>& values)
{
    QVector<double> plain(values.count());
    for (int i = 0; i < values.count(); ++i)
        plain[i] = values[i].value;
    return Vec<double>(plain);
}

namespace {

// A constant residual (no derivative vector) reads as all zeros.
inline double slot(const QVector<double>& derivatives, int k)
{
    return k < derivatives.size() ? derivatives[k] : 0.0;
}

// The order in which a row visits its list positions: ascending node, which for a list of
// distinct nodes is the order appending entry by entry with a sort after each would leave.
// Returns small, or large resized, holding the positions.
int* ascendingNodeOrder(const QList<int>& nodes, int* small, QVector<int>& large)
{
    const int count = nodes.size();
    int* o = small;
    if (count > 16) {
        large.resize(count);
        o = large.data();
    }
    for (int p = 0; p < count; ++p)
        o[p] = p;
    std::sort(o, o + count, [&nodes](int a, int b) { return nodes[a] < nodes[b]; });
    return o;
}

// The row exactly as appending entry by entry with a sort after each append would leave it,
// built in one pass: positions are visited in ascending node order. Only lists of distinct
// nodes take this path (there the sort order is unique); others are appended one by one.
QList<SparseMatrix::LILEntry> sortedRow(const DerVal& residual, const QList<int>& nodes)
{
    const int count = nodes.size();
    int order[16];
    QVector<int> longOrder;
    const int* o = ascendingNodeOrder(nodes, order, longOrder);
    QList<SparseMatrix::LILEntry> row;
    row.reserve(6 * count);
    for (int q = 0; q < count; ++q) {
        const int p = o[q];
        const int node = nodes[p];
        for (int c = 0; c < 6; ++c)
            row.append(SparseMatrix::LILEntry(6 * node + c, slot(residual.derivatives, 6 * p + c)));
    }
    return row;
}

}  // namespace

bool parametersAreTriples(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations)
{
    for (const QVector<double>& r : rotations)
        if (r.size() != 3)
            return false;
    for (const QVector<double>& t : translations)
        if (t.size() != 3)
            return false;
    return true;
}

bool hasRepeatedNode(const QList<int>& nodes)
{
    for (int a = 0; a < nodes.size(); ++a)
        for (int b = a + 1; b < nodes.size(); ++b)
            if (nodes[a] == nodes[b])
                return true;
    return false;
}

void writeSortedJacobianRow(const DerVal& residual, const QList<int>& nodes, const int* columnOf, int* cols,
                            double* vals)
{
    const int count = nodes.size();
    int order[16];
    QVector<int> longOrder;
    const int* o = ascendingNodeOrder(nodes, order, longOrder);
    for (int q = 0; q < count; ++q) {
        const int p = o[q];
        const int node = nodes[p];
        for (int c = 0; c < 6; ++c) {
            const int column = 6 * node + c;
            *cols++ = columnOf ? columnOf[column] : column;
            *vals++ = slot(residual.derivatives, 6 * p + c);
        }
    }
}

SparseMatrix::SparseMatrixLIL fillJacobian(const QVector<DerVal>& residuals,
                                           const QVector<QList<int>>& influenceNodeIndexTable, int nNodes)
{
    SparseMatrix::SparseMatrixLIL jacobian(residuals.size(), 6 * nNodes);
    for (int i = 0; i < residuals.size(); ++i) {
        const QList<int>& nodes = influenceNodeIndexTable[i];
        if (!hasRepeatedNode(nodes)) {
            jacobian.rows[i] = sortedRow(residuals[i], nodes);
            continue;
        }
        for (int p = 0; p < nodes.size(); ++p)
            for (int c = 0; c < 6; ++c)
                jacobian.append(i, 6 * nodes[p] + c, slot(residuals[i].derivatives, 6 * p + c));
    }
    return jacobian;
}

double angleBetweenVectors(const Vec<double>& a, const Vec<double>& b)
{
    long double dot = 0.0L, aa = 0.0L, bb = 0.0L;
    for (int i = 0; i < a.count(); ++i) {
        const long double x = a[i];
        dot += x * (long double)b[i];
        aa += x * x;
    }
    for (int i = 0; i < b.count(); ++i)
        bb += (long double)b[i] * (long double)b[i];
    const long double quotient = dot / (std::sqrt(aa) * std::sqrt(bb));
    return std::acos(double(quotient));
}

double degToRad(double degrees)
{
    return 3.141592653589793 * degrees / 180.0;
}

int map3DTo1DIndex(int i, int j, int k, int /*ni*/, int nj, int nk)
{
    return (i * nj + j) * nk + k;
}

}  // namespace NonRigidRegistration
