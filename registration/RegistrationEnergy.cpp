#include "registration/RegistrationEnergy.h"

#include "registration/ClosestPointTerm.h"
#include "registration/ControlPointTerm.h"
#include "registration/RegularisationTerm.h"

#include <QElapsedTimer>

namespace NonRigidRegistration {

namespace {

QVector<double> concatenated(const QVector<double>& a, const QVector<double>& b, const QVector<double>& c)
{
    QVector<double> all;
    all.reserve(a.size() + b.size() + c.size());
    all << a << b << c;
    return all;
}

bool rowsStrictlyAscending(const SparseMatrix::SparseMatrixLIL& m)
{
    for (const QList<SparseMatrix::LILEntry>& row : m.rows)
        for (int k = 1; k < row.size(); ++k)
            if (!(row.at(k - 1).col < row.at(k).col))
                return false;
    return true;
}

// The three residual blocks with the regularisation weights given as one double or per node.
template <typename RegWeights>
QVector<double> stackedResiduals(const QVector<QVector<double> >& rotations,
                                 const QVector<QVector<double> >& translations, const QVector<QVector3D>& nodes,
                                 const QVector<QVector<double> >& weightsTable,
                                 const QVector<QList<int> >& neighboursTable, const QVector<QVector3D>& srcVertices,
                                 const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                                 const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                                 const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                                 const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                                 double eConWeight, const RegWeights& eRegWeights, double eIcpWeight,
                                 double alphaPointToPoint, double alphaPointToPlane)
{
    return concatenated(
        eCon(rotations, translations, srcVertices, srcControlIndices, dstControlVertices, nodes, weightsTable,
             eConWeight),
        eReg(rotations, translations, nodes, neighboursTable, eRegWeights),
        eIcp(rotations, translations, nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices,
             dstNormals, dstKdTree, dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight));
}

// Runs the three blocks with the regularisation weights given as one double or per node.
template <typename RegWeights>
QVector<double> stackedJacobian(const QVector<QVector<double> >& rotations,
                                const QVector<QVector<double> >& translations, const QVector<QVector3D>& nodes,
                                const QVector<QVector<double> >& weightsTable,
                                const QVector<QList<int> >& neighboursTable, const QVector<QVector3D>& srcVertices,
                                const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                                const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                                const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                                const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                                double eConWeight, const RegWeights& eRegWeights, double eIcpWeight,
                                double alphaPointToPoint, double alphaPointToPlane, SparseMatrix::SparseMatrixLIL& jac,
                                JacobianTimings* timings)
{
    QElapsedTimer timer;
    SparseMatrix::SparseMatrixLIL conBlock, regBlock, icpBlock;

    timer.restart();
    const QVector<double> con = eConJac(rotations, translations, srcVertices, srcControlIndices, dstControlVertices,
                                        nodes, weightsTable, eConWeight, conBlock);
    const qint64 tCon = timer.elapsed();

    timer.restart();
    const QVector<double> reg = eRegJac(rotations, translations, nodes, neighboursTable, eRegWeights, regBlock);
    const qint64 tReg = timer.elapsed();

    timer.restart();
    const QVector<double> icp =
        eIcpJac(rotations, translations, nodes, weightsTable, srcVertices, srcNormals, srcFitIndices, dstVertices,
                dstNormals, dstKdTree, dstMask, alphaPointToPoint, alphaPointToPlane, eIcpWeight, icpBlock);
    const qint64 tIcp = timer.elapsed();

    jac = stackSortedRows(stackSortedRows(conBlock, regBlock), icpBlock);
    if (timings) {
        timings->eRegMs += quint64(tReg);
        timings->eConMs += quint64(tCon);
        timings->eIcpMs += quint64(tIcp);
    }
    return concatenated(con, reg, icp);
}

}  // namespace

SparseMatrix::SparseMatrixLIL stackSortedRows(const SparseMatrix::SparseMatrixLIL& a,
                                              const SparseMatrix::SparseMatrixLIL& b)
{
    if (!rowsStrictlyAscending(a) || !rowsStrictlyAscending(b))
        return SparseMatrix::stackVertically(a, b);
    // Appending a sorted row of distinct columns entry by entry, sorting after each, leaves it
    // as it was: sharing the row gives the same matrix.
    SparseMatrix::SparseMatrixLIL stacked;
    stacked.nCols = a.nCols;
    stacked.rows.reserve(a.rows.size() + b.rows.size());
    stacked.rows << a.rows << b.rows;
    return stacked;
}

QVector<double> errorMetric(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                            const QVector<QVector3D>& nodes, const QVector<QVector<double> >& weightsTable,
                            const QVector<QList<int> >& neighboursTable, const QVector<QVector3D>& srcVertices,
                            const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                            const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                            const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                            const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                            double eConWeight, const QVector<double>& eRegMultipliers, double eIcpWeight,
                            double alphaPointToPoint, double alphaPointToPlane)
{
    return stackedResiduals(rotations, translations, nodes, weightsTable, neighboursTable, srcVertices, srcNormals,
                            dstVertices, dstNormals, dstKdTree, dstMask, srcFitIndices, srcControlIndices,
                            dstControlVertices, eConWeight, eRegMultipliers, eIcpWeight, alphaPointToPoint,
                            alphaPointToPlane);
}

QVector<double> errorMetric(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                            const QVector<QVector3D>& nodes, const QVector<QVector<double> >& weightsTable,
                            const QVector<QList<int> >& neighboursTable, const QVector<QVector3D>& srcVertices,
                            const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                            const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                            const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                            const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                            double eConWeight, double eRegWeight, double eIcpWeight, double alphaPointToPoint,
                            double alphaPointToPlane)
{
    return stackedResiduals(rotations, translations, nodes, weightsTable, neighboursTable, srcVertices, srcNormals,
                            dstVertices, dstNormals, dstKdTree, dstMask, srcFitIndices, srcControlIndices,
                            dstControlVertices, eConWeight, eRegWeight, eIcpWeight, alphaPointToPoint,
                            alphaPointToPlane);
}

QVector<double> jacobian(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                         const QVector<QVector3D>& nodes, const QVector<QVector<double> >& weightsTable,
                         const QVector<QList<int> >& neighboursTable, const QVector<QVector3D>& srcVertices,
                         const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                         const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                         const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                         const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                         double eConWeight, const QVector<double>& eRegMultipliers, double eIcpWeight,
                         double alphaPointToPoint, double alphaPointToPlane, SparseMatrix::SparseMatrixLIL& jacobian,
                         JacobianTimings* timings)
{
    return stackedJacobian(rotations, translations, nodes, weightsTable, neighboursTable, srcVertices, srcNormals,
                           dstVertices, dstNormals, dstKdTree, dstMask, srcFitIndices, srcControlIndices,
                           dstControlVertices, eConWeight, eRegMultipliers, eIcpWeight, alphaPointToPoint,
                           alphaPointToPlane, jacobian, timings);
}

QVector<double> jacobian(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                         const QVector<QVector3D>& nodes, const QVector<QVector<double> >& weightsTable,
                         const QVector<QList<int> >& neighboursTable, const QVector<QVector3D>& srcVertices,
                         const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
                         const QVector<QVector3D>& dstNormals, const KDTree::NodeBase* dstKdTree,
                         const QVector<bool>& dstMask, const QVector<int>& srcFitIndices,
                         const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
                         double eConWeight, double eRegWeight, double eIcpWeight, double alphaPointToPoint,
                         double alphaPointToPlane, SparseMatrix::SparseMatrixLIL& jacobian)
{
    return stackedJacobian(rotations, translations, nodes, weightsTable, neighboursTable, srcVertices, srcNormals,
                           dstVertices, dstNormals, dstKdTree, dstMask, srcFitIndices, srcControlIndices,
                           dstControlVertices, eConWeight, eRegWeight, eIcpWeight, alphaPointToPoint, alphaPointToPlane,
                           jacobian, nullptr);
}

}  // namespace NonRigidRegistration
