#pragma once
// The whole residual vector of a registration solve and its sparse Jacobian: control-point
// rows, then regularisation rows, then closest-point rows; 6 × nodes columns (node j owns
// columns 6j .. 6j+2 for its rotation parameters and 6j+3 .. 6j+5 for its translation).
// The overloads taking one double in place of the per-node multipliers use it for every node.
#include "numerics/SparseMatrix.h"
#include "registration/RegistrationInputs.h"

#include <QList>
#include <QVector3D>
#include <QVector>
#include <QtGlobal>

namespace NonRigidRegistration {

// Milliseconds spent in the Jacobian blocks, summed over the evaluations of one solve.
struct JacobianTimings {
    quint64 eRegMs = 0;
    quint64 eConMs = 0;
    quint64 eIcpMs = 0;
};

// The stacked residuals of the three terms.
QVector<double> errorMetric(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                            const RegistrationInputs& inputs);
// The residual vector; jacobian receives the stacked matrix. timings (may be null) is added
// the milliseconds of each block.
QVector<double> jacobian(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                         const RegistrationInputs& inputs, SparseMatrix::SparseMatrixLIL& jacobian,
                         JacobianTimings* timings);

// jacobian() followed by the solver's copy of its matrix, in one pass and without the
// list-of-lists matrix: the compressed-row copy (SparseMatrixCRS) with every column
// renumbered through columnOf when that is not null and the column count set to nColumns,
// filled into the solver's record as fillSparseLmCRS fills it (same check, same fatal
// message). The residuals and the record are the same entry for entry. The closest-point
// block writes its rows on the global thread pool when it is large.
QVector<double> jacobianIntoSolverRows(const QVector<QVector<double>>& rotations,
                                       const QVector<QVector<double>>& translations, const RegistrationInputs& inputs,
                                       splm_crsm* target, const int* columnOf, int nColumns, JacobianTimings* timings);

// The same with the inputs spelled out, read into the record.
inline QVector<double> errorMetric(const QVector<QVector<double>>& rotations,
                                   const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                                   const QVector<QVector<double>>& weightsTable,
                                   const QVector<QList<int>>& neighboursTable, const QVector<QVector3D>& srcVertices,
                                   const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                                   const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                                   const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                                   const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                                   double eConWeight, const QVector<double>& eRegMultipliers, double eIcpWeight,
                                   double alphaPointToPoint, double alphaPointToPlane)
{
    return errorMetric(rotations, translations,
                       {{nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals,
                         dstKdTree, dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight},
                        {srcControlIndices, dstControlVertices, eConWeight},
                        {neighboursTable, eRegMultipliers, 0.0, true}});
}
inline QVector<double> errorMetric(const QVector<QVector<double>>& rotations,
                                   const QVector<QVector<double>>& translations, const QVector<QVector3D>& nodes,
                                   const QVector<QVector<double>>& weightsTable,
                                   const QVector<QList<int>>& neighboursTable, const QVector<QVector3D>& srcVertices,
                                   const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                                   const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                                   const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                                   const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                                   double eConWeight, double eRegWeight, double eIcpWeight, double alphaPointToPoint,
                                   double alphaPointToPlane)
{
    return errorMetric(rotations, translations,
                       {{nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals,
                         dstKdTree, dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight},
                        {srcControlIndices, dstControlVertices, eConWeight},
                        {neighboursTable, {}, eRegWeight, false}});
}
inline QVector<double> jacobian(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                                const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                                const QVector<QList<int>>& neighboursTable, const QVector<QVector3D>& srcVertices,
                                const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                                const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                                const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                                const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                                double eConWeight, const QVector<double>& eRegMultipliers, double eIcpWeight,
                                double alphaPointToPoint, double alphaPointToPlane,
                                SparseMatrix::SparseMatrixLIL& jacobian, JacobianTimings* timings)
{
    return NonRigidRegistration::jacobian(
        rotations, translations,
        {{nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree, dstMask,
          alphaPointToPoint, alphaPointToPlane, eIcpWeight},
         {srcControlIndices, dstControlVertices, eConWeight},
         {neighboursTable, eRegMultipliers, 0.0, true}},
        jacobian, timings);
}
inline QVector<double> jacobian(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                                const QVector<QVector3D>& nodes, const QVector<QVector<double>>& weightsTable,
                                const QVector<QList<int>>& neighboursTable, const QVector<QVector3D>& srcVertices,
                                const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                                const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                                const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                                const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                                double eConWeight, double eRegWeight, double eIcpWeight, double alphaPointToPoint,
                                double alphaPointToPlane, SparseMatrix::SparseMatrixLIL& jacobian)
{
    return NonRigidRegistration::jacobian(
        rotations, translations,
        {{nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices, dstNormals, dstKdTree, dstMask,
          alphaPointToPoint, alphaPointToPlane, eIcpWeight},
         {srcControlIndices, dstControlVertices, eConWeight},
         {neighboursTable, {}, eRegWeight, false}},
        jacobian, nullptr);
}

// SparseMatrix::stackVertically for matrices whose rows are already sorted by strictly
// ascending column, as the energy blocks build them: the rows are shared instead of
// re-appended entry by entry. Other matrices go through stackVertically itself.
SparseMatrix::SparseMatrixLIL stackSortedRows(const SparseMatrix::SparseMatrixLIL& a,
                                              const SparseMatrix::SparseMatrixLIL& b);

}  // namespace NonRigidRegistration
