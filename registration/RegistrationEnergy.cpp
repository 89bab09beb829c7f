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

// Calls block with the regularisation weights as the record gives them: per node or one double.
template <typename Block>
QVector<double> withRegularisationWeights(const RegularisationInputs& in, Block block)
{
    return in.perNode ? block(in.eRegMultipliers) : block(in.eRegWeight);
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
                            const RegistrationInputs& in)
{
    return concatenated(
        eCon(rotations, translations, in.srcVertices, in.srcControlIndices, in.dstControlVertices, in.nodes,
             in.weightsTable, in.eConWeight),
        withRegularisationWeights(
            in,
            [&](const auto& weights) { return eReg(rotations, translations, in.nodes, in.neighboursTable, weights); }),
        eIcp(rotations, translations, in));
}

QVector<double> jacobian(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                         const RegistrationInputs& in, SparseMatrix::SparseMatrixLIL& jac, JacobianTimings* timings)
{
    QElapsedTimer timer;
    SparseMatrix::SparseMatrixLIL conBlock, regBlock, icpBlock;

    timer.restart();
    const QVector<double> con = eConJac(rotations, translations, in.srcVertices, in.srcControlIndices,
                                        in.dstControlVertices, in.nodes, in.weightsTable, in.eConWeight, conBlock);
    const qint64 tCon = timer.elapsed();

    timer.restart();
    const QVector<double> reg = withRegularisationWeights(in, [&](const auto& weights) {
        return eRegJac(rotations, translations, in.nodes, in.neighboursTable, weights, regBlock);
    });
    const qint64 tReg = timer.elapsed();

    timer.restart();
    const QVector<double> icp = eIcpJac(rotations, translations, in, icpBlock);
    const qint64 tIcp = timer.elapsed();

    jac = stackSortedRows(stackSortedRows(conBlock, regBlock), icpBlock);
    if (timings) {
        timings->eRegMs += quint64(tReg);
        timings->eConMs += quint64(tCon);
        timings->eIcpMs += quint64(tIcp);
    }
    return concatenated(con, reg, icp);
}

}  // namespace NonRigidRegistration
