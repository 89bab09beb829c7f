#pragma once
// The regularisation term: for every node j and every neighbour k of j (in table order), how
// far node k lands from where node j's rigid motion would carry it, times node j's
// multiplier. Each residual depends on the pair (j, k): 12 local slots, of which k's rotation
// slots always hold 0. The overloads taking one double use it as every node's multiplier.
#include "numerics/DerVal.h"
#include "numerics/SparseMatrix.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

QVector<double> eReg(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable,
                     const QVector<double>& eRegMultipliers);
QVector<double> eReg(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable, double eRegWeight);

// influenceNodeIndexTable receives (j, k) for every residual. The rows are differentiated with
// InlineDerVal (no heap per operation) and equal eRegDerThroughDerVal's.
QVector<DerVal> eRegDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable,
                        const QVector<double>& eRegMultipliers, QVector<QList<int>>& influenceNodeIndexTable);
QVector<DerVal> eRegDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable, double eRegWeight,
                        QVector<QList<int>>& influenceNodeIndexTable);

// eRegDer with DerVal arithmetic for every row: the reference for the inline route.
QVector<DerVal> eRegDerThroughDerVal(const QVector<QVector<double>>& rotations,
                                     const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                                     const QVector<QList<int>>& neighboursTable, const QVector<double>& eRegMultipliers,
                                     QVector<QList<int>>& influenceNodeIndexTable);

// The residual values; jacobian receives the block (12 stored entries per row).
QVector<double> eRegJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable,
                        const QVector<double>& eRegMultipliers, SparseMatrix::SparseMatrixLIL& jacobian);
QVector<double> eRegJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<QVector3D>& nodes, const QVector<QList<int>>& neighboursTable, double eRegWeight,
                        SparseMatrix::SparseMatrixLIL& jacobian);

}  // namespace NonRigidRegistration
