#pragma once
// The closest-point term: every fit vertex of the template, as the graph currently moves it,
// is pulled towards its nearest target vertex, by a blend of the point-to-point distance and
// the signed point-to-plane distance. The pull is switched off (residual 0) where the deformed
// normal and the target normal are 45 degrees or more apart, or the target vertex is masked.
// Correspondences are searched afresh at every evaluation.
#include "numerics/DerVal.h"
#include "numerics/SparseMatrix.h"
#include "registration/RegistrationInputs.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// One residual per fit vertex. Large blocks are spread over the global thread pool; every
// row is computed exactly as eIcpSerial does.
QVector<double> eIcp(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const ClosestPointInputs& inputs);
inline QVector<double> eIcp(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                            const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                            const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals,
                            const QVector<int>& srcFitIndices, const QVector<QVector3D>& dstVertices,
                            const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                            const QVector<bool>& dstMask, double alphaPointToPoint, double alphaPointToPlane,
                            double eIcpWeight)
{
    return eIcp(rotations, translations,
                {nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree,
                 dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight});
}

// eIcp on the calling thread only.
QVector<double> eIcpSerial(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                           const ClosestPointInputs& inputs);

// influenceNodeIndexTable receives the influence nodes of each fit vertex. Large blocks are
// spread over the global thread pool; every row is computed exactly as eIcpDerSerial does.
QVector<DerVal> eIcpDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const ClosestPointInputs& inputs, QVector<QList<int>>& influenceNodeIndexTable);
inline QVector<DerVal> eIcpDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                               const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                               const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals,
                               const QVector<int>& srcFitIndices, const QVector<QVector3D>& dstVertices,
                               const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                               const QVector<bool>& dstMask, double alphaPointToPoint, double alphaPointToPlane,
                               double eIcpWeight, QVector<QList<int>>& influenceNodeIndexTable)
{
    return eIcpDer(rotations, translations,
                   {nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree,
                    dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight},
                   influenceNodeIndexTable);
}

// eIcpDer on the calling thread only. Rows whose influence list fits InlineDerVal's slots are
// differentiated without heap allocations; every row equals eIcpDerSerialThroughDerVal's.
QVector<DerVal> eIcpDerSerial(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                              const ClosestPointInputs& inputs, QVector<QList<int>>& influenceNodeIndexTable);

// eIcpDerSerial with DerVal arithmetic for every row: the reference for the inline route.
QVector<DerVal> eIcpDerSerialThroughDerVal(const QVector<QVector<double>>& rotations,
                                           const QVector<QVector<double>>& translations,
                                           const ClosestPointInputs& inputs,
                                           QVector<QList<int>>& influenceNodeIndexTable);

// The residual values; jacobian receives the block (one row per fit vertex).
QVector<double> eIcpJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const ClosestPointInputs& inputs, SparseMatrix::SparseMatrixLIL& jacobian);
inline QVector<double> eIcpJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                               const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                               const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals,
                               const QVector<int>& srcFitIndices, const QVector<QVector3D>& dstVertices,
                               const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                               const QVector<bool>& dstMask, double alphaPointToPoint, double alphaPointToPlane,
                               double eIcpWeight, SparseMatrix::SparseMatrixLIL& jacobian)
{
    return eIcpJac(rotations, translations,
                   {nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree,
                    dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight},
                   jacobian);
}

}  // namespace NonRigidRegistration
