#pragma once
// The control-point term: for every picked pair, the distance between the template control
// vertex, moved by the deformation graph, and its target point, times eConWeight. One
// residual per pair, in pair order; each is differentiated over its vertex's influence nodes.
#include "numerics/DerVal.h"
#include "numerics/SparseMatrix.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

QVector<double> eCon(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const QVector<QVector3D>& srcVertices, const QVector<int>& srcControlIndices,
                     const QVector<QVector3D>& dstControlVertices, const QVector<QVector3D>& nodes,
                     const QVector<QVector<double>>& weightsTable, double eConWeight);

// influenceNodeIndexTable receives the influence nodes of each pair's template vertex.
QVector<DerVal> eConDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& srcVertices, const QVector<int>& srcControlIndices,
                        const QVector<QVector3D>& dstControlVertices, const QVector<QVector3D>& nodes,
                        const QVector<QVector<double>>& weightsTable, double eConWeight,
                        QVector<QList<int>>& influenceNodeIndexTable);

// The residual values; jacobian receives the block (one row per pair, 6 × nodes columns).
QVector<double> eConJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& srcVertices, const QVector<int>& srcControlIndices,
                        const QVector<QVector3D>& dstControlVertices, const QVector<QVector3D>& nodes,
                        const QVector<QVector<double>>& weightsTable, double eConWeight,
                        SparseMatrix::SparseMatrixLIL& jacobian);

}  // namespace NonRigidRegistration
