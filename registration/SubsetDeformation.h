#pragma once
// Embedded deformation of one template vertex (and normal) through its influence nodes only:
// the per-residual form the energy terms differentiate. Arguments hold the nodes of one
// influence list, in list order; the node count is the length of the rest positions.
#include "numerics/DerVal.h"
#include "numerics/Vector.h"

#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// Σ w_i (R_i (v - g_i) + g_i + t_i), v - g_i in single precision; (0, 0, 0) for no node.
Vec<double> deformVertexSubset(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                               const QVector3D& vertex, const QVector<QVector3D>& nodes,
                               const QVector<double>& weights);

// The same with seeded parameters (makeParamsDifferentiable); every component carries the
// parameters' derivative slots. No node gives three constant zeros.
Vec<DerVal> deformVertexSubset(const QVector<QVector<DerVal>>& rsDer, const QVector<QVector<DerVal>>& tsDer,
                               const QVector3D& vertex, const QVector<QVector3D>& nodes,
                               const QVector<double>& weights);

// Σ w_i R_i n divided by its length. Only the count of the positions is read; no node (or a
// zero sum) gives NaN components, which the closest-point gate reads as a closed gate.
Vec<double> deformNormalSubset(const QVector<QVector<double>>& rotations, const QVector3D& normal,
                               const QVector<QVector3D>& nodes, const QVector<double>& weights);

}  // namespace NonRigidRegistration
