#include "registration/RegularisationTerm.h"

#include "numerics/ParallelChunks.h"
#include "numerics/Quaternion.h"
#include "numerics/Vector.h"
#include "registration/DifferentiableParameters.h"
#include "registration/InlineRotation.h"
#include "registration/NeighboursTable.h"

#include <algorithm>
#include <utility>

namespace NonRigidRegistration {

namespace {

struct PerNode {
    const QVector<double>& multipliers;
    double operator()(int j) const { return multipliers[j]; }
};

struct Uniform {
    double weight;
    double operator()(int) const { return weight; }
};

// Terms of at least this many rows are spread over the global thread pool, in chunks of this
// many nodes.
const int kParallelRows = 2048;
const int kChunkNodes = 128;

// Calls rows(j, p) for every node j, p being the slot of j's first residual (its pairs follow
// in table order). Each call writes only its own node's slots of preallocated outputs, so
// spreading the nodes over the thread pool gives the results of one pass in node order.
template <typename NodeRows>
void forEveryNode(int nodeCount, const QVector<QList<int>>& neighboursTable, int total, NodeRows rows)
{
    QVector<int> firstSlot(nodeCount);
    int p = 0;
    for (int j = 0; j < nodeCount; ++j) {
        firstSlot[j] = p;
        p += neighboursTable[j].size();
    }
    if (total < kParallelRows) {
        for (int j = 0; j < nodeCount; ++j)
            rows(j, firstSlot[j]);
        return;
    }
    Parallel::forChunks(nodeCount, kChunkNodes, [&](int first, int last) {
        for (int j = first; j < last; ++j)
            rows(j, firstSlot[j]);
    });
}

template <typename Multiplier>
QVector<double> regularisationValues(const QVector<QVector<double>>& rotations,
                                     const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                                     const QVector<QList<int>>& neighboursTable, Multiplier multiplier)
{
    const int total = getTotalNeighbours(neighboursTable);
    QVector<double> residuals(total);
    double* values = residuals.data();  // detached before any thread writes
    forEveryNode(nodes.size(), neighboursTable, total, [&](int j, int p) {
        const QVector<double>& r = rotations[j];
        const QVector<QVector<double>> R = Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
        const Vec<double> gj(nodes[j]);
        const Vec<double> tj(translations[j]);
        for (int k : neighboursTable[j]) {
            const Vec<double> d(nodes[k] - nodes[j]);  // single-precision difference, then widened
            const Vec<double> carried = ((R * d) + gj) + tj;
            const Vec<double> e = carried - (Vec<double>(translations[k]) + Vec<double>(nodes[k]));
            values[p++] = e.norm() * multiplier(j);
        }
    });
    return residuals;
}

// Node j's rows through DerVal: the reference for the inline rows below.
template <typename Multiplier>
void nodeRowsThroughDerVal(int j, int p, const QVector<QVector<double>>& rotations,
                           const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                           const QVector<QList<int>>& neighboursTable, Multiplier multiplier, DerVal* values,
                           QList<int>* pairs)
{
    // Node j's parameters are seeded once for all its pairs.
    const QVector<DerVal> rj = makeVectorDifferentiable(rotations[j], 12, 0);
    const Vec<DerVal> tj(makeVectorDifferentiable(translations[j], 12, 3));
    const Vec<DerVal> gj(nodes[j]);
    const DerVal weight(multiplier(j));
    QVector<QVector<DerVal>> R;
    if (!neighboursTable[j].isEmpty())
        R = Quaternion<DerVal>(rj[0], rj[1], rj[2]).rotationMatrix();
    for (int k : neighboursTable[j]) {
        pairs[p] << j << k;
        const Vec<DerVal> tk(makeVectorDifferentiable(translations[k], 12, 9));
        const Vec<DerVal> d(nodes[k] - nodes[j]);
        const Vec<DerVal> carried = ((R * d) + gj) + tj;
        const Vec<DerVal> e = carried - (tk + Vec<DerVal>(nodes[k]));
        values[p++] = e.norm() * weight;
    }
}

// nodeRowsThroughDerVal with InlineDerVal arithmetic: the same operations on the same operands
// in the same order, so the same doubles, without a heap allocation per operation. Every
// parameter vector must hold three numbers.
template <typename Multiplier>
void nodeRowsInline(int j, int p, const QVector<QVector<double>>& rotations,
                    const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                    const QVector<QList<int>>& neighboursTable, Multiplier multiplier, DerVal* values,
                    QList<int>* pairs)
{
    using V = InlineDerVal<12>;
    const QList<int>& neighbours = neighboursTable[j];
    if (neighbours.isEmpty())
        return;
    const QVector<double>& r = rotations[j];
    const QVector<double>& t = translations[j];
    const V tj[3] = {V(t[0], 12).diff(3), V(t[1], 12).diff(4), V(t[2], 12).diff(5)};
    const V gj[3] = {V(double(nodes[j].x())), V(double(nodes[j].y())), V(double(nodes[j].z()))};
    const V weight(multiplier(j));
    V R[3][3];
    inlineRotationMatrix(V(r[0], 12).diff(0), V(r[1], 12).diff(1), V(r[2], 12).diff(2), R);
    for (int k : neighbours) {
        pairs[p] << j << k;
        const QVector<double>& s = translations[k];
        const QVector3D d = nodes[k] - nodes[j];  // single-precision difference, then widened
        const V dk[3] = {V(double(d.x())), V(double(d.y())), V(double(d.z()))};
        V rotated[3];
        inlineRotate(R, dk, rotated);
        const double gk[3] = {double(nodes[k].x()), double(nodes[k].y()), double(nodes[k].z())};
        V e[3];
        for (int m = 0; m < 3; ++m) {
            const V carried = (rotated[m] + gj[m]) + tj[m];
            e[m] = carried - (V(s[m], 12).diff(9 + m) + V(gk[m]));
        }
        values[p++] = (inlineNorm(e) * weight).toDerVal();
    }
}

template <typename Multiplier>
QVector<DerVal> regularisationDer(const QVector<QVector<double>>& rotations,
                                  const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                                  const QVector<QList<int>>& neighboursTable, Multiplier multiplier, bool throughDerVal,
                                  QVector<QList<int>>& influenceNodeIndexTable)
{
    const int total = getTotalNeighbours(neighboursTable);
    QVector<DerVal> residuals(total);
    influenceNodeIndexTable = QVector<QList<int>>(total);
    DerVal* values = residuals.data();  // both detached before any thread writes
    QList<int>* pairs = influenceNodeIndexTable.data();
    const bool inlineRows = !throughDerVal && parametersAreTriples(rotations, translations);
    forEveryNode(nodes.size(), neighboursTable, total, [&](int j, int p) {
        if (inlineRows)
            nodeRowsInline(j, p, rotations, translations, nodes, neighboursTable, multiplier, values, pairs);
        else
            nodeRowsThroughDerVal(j, p, rotations, translations, nodes, neighboursTable, multiplier, values, pairs);
    });
    return residuals;
}

}  // namespace

QVector<double> eReg(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable,
                     const QVector<double>& eRegMultipliers)
{
    return regularisationValues(rotations, translations, nodes, neighboursTable, PerNode{eRegMultipliers});
}

QVector<double> eReg(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable, double eRegWeight)
{
    return regularisationValues(rotations, translations, nodes, neighboursTable, Uniform{eRegWeight});
}

QVector<DerVal> eRegDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable,
                        const QVector<double>& eRegMultipliers, QVector<QList<int>>& influenceNodeIndexTable)
{
    return regularisationDer(rotations, translations, nodes, neighboursTable, PerNode{eRegMultipliers}, false,
                             influenceNodeIndexTable);
}

QVector<DerVal> eRegDerThroughDerVal(const QVector<QVector<double>>& rotations,
                                     const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                                     const QVector<QList<int>>& neighboursTable, const QVector<double>& eRegMultipliers,
                                     QVector<QList<int>>& influenceNodeIndexTable)
{
    return regularisationDer(rotations, translations, nodes, neighboursTable, PerNode{eRegMultipliers}, true,
                             influenceNodeIndexTable);
}

QVector<DerVal> eRegDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable, double eRegWeight,
                        QVector<QList<int>>& influenceNodeIndexTable)
{
    return regularisationDer(rotations, translations, nodes, neighboursTable, Uniform{eRegWeight}, false,
                             influenceNodeIndexTable);
}

QVector<double> eRegJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable,
                        const QVector<double>& eRegMultipliers, SparseMatrix::SparseMatrixLIL& jacobian)
{
    QVector<QList<int>> table;
    const QVector<DerVal> residuals = eRegDer(rotations, translations, nodes, neighboursTable, eRegMultipliers, table);
    jacobian = fillJacobian(residuals, table, rotations.size());
    return undifContainer(residuals);
}

QVector<double> eRegJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable, double eRegWeight,
                        SparseMatrix::SparseMatrixLIL& jacobian)
{
    QVector<QList<int>> table;
    const QVector<DerVal> residuals = eRegDer(rotations, translations, nodes, neighboursTable, eRegWeight, table);
    jacobian = fillJacobian(residuals, table, rotations.size());
    return undifContainer(residuals);
}

}  // namespace NonRigidRegistration
