#pragma once
// deformVertexSubset over seeded parameters, computed with InlineDerVal instead of DerVal: no
// heap, and the same doubles. Every step below is the DerVal route's own step in its order:
// makeParamsDifferentiable's seeding, Quaternion's three-parameter form and rotationMatrix
// (squares through pow with the exponent 2), the matrix-vector product with its accumulated
// products, the offsets, the weight and the running sum over the list.
#include "numerics/InlineDerVal.h"
#include "registration/InlineRotation.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// Whether the inline route can take a list of this many nodes: 6 slots a node must fit.
template <int Capacity>
bool inlineRouteFits(int nodeCount)
{
    return InlineDerVal<Capacity>::fits(6 * nodeCount);
}

namespace InlineDeformationDetail {

// The sum over the list of ((R_i × d) + g_i + t_i) × w_i, d = v - g_i in single precision, then
// widened; rotationOf(i, base, n, R) gives node i's rotation matrix over slots base.. of n.
template <int Capacity, typename RotationOf>
void deformThroughRotations(const QVector<QVector<double>>& translations, const QList<int>& nodes,
                            const QVector3D& vertex, const QVector<QVector3D>& positions,
                            const QVector<double>& weights, InlineDerVal<Capacity> result[3], RotationOf rotationOf)
{
    using V = InlineDerVal<Capacity>;
    const int n = 6 * nodes.size();
    for (int j = 0; j < 3; ++j)
        result[j] = V(0.0);
    for (int i = 0; i < nodes.size(); ++i) {
        const QVector<double>& t = translations[nodes[i]];
        const int base = 6 * i;
        V R[3][3];
        rotationOf(i, base, n, R);

        const QVector3D diff = vertex - positions[i];
        const V d[3] = {V(double(diff.x())), V(double(diff.y())), V(double(diff.z()))};
        const V position[3] = {V(double(positions[i].x())), V(double(positions[i].y())), V(double(positions[i].z()))};
        const V weight(weights[i]);
        V rotated[3];
        inlineRotate(R, d, rotated);
        for (int j = 0; j < 3; ++j) {
            const V term = ((rotated[j] + position[j]) + V(t[j], n).diff(base + 3 + j)) * weight;
            if (i == 0)
                result[j] = term;
            else
                result[j] += term;
        }
    }
}

}  // namespace InlineDeformationDetail

// The deformed position of vertex through the nodes of one list (nodes[i] indexes the full
// parameter tables; positions and weights are in list order), differentiated over the list's
// 6 × |nodes| local slots. Every parameter vector named must hold three numbers, and the list
// must fit (inlineRouteFits). No node gives three constant zeros.
template <int Capacity>
void deformVertexSubsetInline(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                              const QList<int>& nodes, const QVector3D& vertex, const QVector<QVector3D>& positions,
                              const QVector<double>& weights, InlineDerVal<Capacity> result[3])
{
    using V = InlineDerVal<Capacity>;
    InlineDeformationDetail::deformThroughRotations(
        translations, nodes, vertex, positions, weights, result, [&](int i, int base, int n, V R[3][3]) {
            const QVector<double>& r = rotations[nodes[i]];
            inlineRotationMatrix(V(r[0], n).diff(base), V(r[1], n).diff(base + 1), V(r[2], n).diff(base + 2), R);
        });
}

// One node's rotation matrix over its own three rotation slots (of six), formed once for every
// vertex it moves.
struct NodeRotationSlots {
    InlineDerVal<6> R[3][3];
};

// inlineRotationMatrix of each node's seeded rotation parameters, in the first three of six slots.
// Every parameter vector must hold three numbers.
inline NodeRotationSlots nodeRotationSlots(const QVector<double>& r)
{
    using V = InlineDerVal<6>;
    NodeRotationSlots formed;
    inlineRotationMatrix(V(r[0], 6).diff(0), V(r[1], 6).diff(1), V(r[2], 6).diff(2), formed.R);
    return formed;
}

// deformVertexSubsetInline with each node's rotation matrix taken from rotationSlots (indexed by
// node, from nodeRotationSlots) and moved to the node's place in the list: the same doubles.
template <int Capacity>
void deformVertexSubsetInline(const NodeRotationSlots* rotationSlots, const QVector<QVector<double>>& translations,
                              const QList<int>& nodes, const QVector3D& vertex, const QVector<QVector3D>& positions,
                              const QVector<double>& weights, InlineDerVal<Capacity> result[3])
{
    using V = InlineDerVal<Capacity>;
    InlineDeformationDetail::deformThroughRotations(
        translations, nodes, vertex, positions, weights, result, [&](int i, int base, int n, V R[3][3]) {
            const NodeRotationSlots& formed = rotationSlots[nodes[i]];
            for (int row = 0; row < 3; ++row)
                for (int column = 0; column < 3; ++column)
                    R[row][column] = V::movedUp(formed.R[row][column], base, n);
        });
}

}  // namespace NonRigidRegistration
