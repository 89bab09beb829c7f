#include "registration/RegistrationEnergy.h"

#include "numerics/ParallelChunks.h"
#include "registration/ClosestPointTerm.h"
#include "registration/ControlPointTerm.h"
#include "registration/DifferentiableParameters.h"
#include "registration/RegularisationTerm.h"

#include <QElapsedTimer>

#include <algorithm>
#include <climits>
#include <utility>

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
auto withRegularisationWeights(const RegularisationInputs& in, Block block)
{
    return in.perNode ? block(in.eRegMultipliers) : block(in.eRegWeight);
}

// Blocks of at least this many rows write their entries on the thread pool, in chunks of
// this size.
const int kParallelRows = 2048;
const int kChunkRows = 256;

// One block's differentiated residuals and the node list of each.
struct DerivativeBlock {
    QVector<DerVal> residuals;
    QVector<QList<int>> table;
};

struct SpentBlocks {
    DerivativeBlock con, reg, icp;
};

// Every row's entry count (six per node), or -1 for a row whose node list repeats a node.
// The lists were written on the pool threads; reading them there too keeps the calling
// thread from fetching every one into its cache.
QVector<int> rowEntries(const DerivativeBlock* const blocks[3])
{
    int rows = 0;
    for (int b = 0; b < 3; ++b)
        rows += blocks[b]->table.size();
    QVector<int> entries(rows);
    int* out = entries.data();  // detached before any thread writes
    for (int b = 0; b < 3; ++b) {
        const QVector<QList<int>>& table = blocks[b]->table;
        auto count = [&table, out](int from, int to) {
            for (int i = from; i < to; ++i)
                out[i] = hasRepeatedNode(table[i]) ? -1 : 6 * table[i].size();
        };
        if (table.size() < kParallelRows)
            count(0, table.size());
        else
            Parallel::forChunks(table.size(), kChunkRows, count);
        out += table.size();
    }
    return entries;
}

// The plain route from the blocks on: fillJacobian per block, stacked, copied to compressed
// rows, renumbered, filled into the record.
void fillThroughListOfLists(const DerivativeBlock& con, const DerivativeBlock& reg, const DerivativeBlock& icp,
                            int nNodes, splm_crsm* target, const int* columnOf, int nColumns)
{
    const SparseMatrix::SparseMatrixLIL stacked = stackSortedRows(
        stackSortedRows(fillJacobian(con.residuals, con.table, nNodes), fillJacobian(reg.residuals, reg.table, nNodes)),
        fillJacobian(icp.residuals, icp.table, nNodes));
    SparseMatrix::SparseMatrixCRS crs(stacked);
    if (columnOf) {
        for (int k = 0; k < crs.nnz; ++k)
            crs.colidx[k] = columnOf[crs.colidx[k]];
        crs.nc = nColumns;
    }
    SparseMatrix::fillSparseLmCRS(crs, target);
}

// Rows first .. first + count - 1 of the record take the block's rows; their row pointers are
// set already.
void writeBlockRows(const DerivativeBlock& block, int first, splm_crsm* target, const int* columnOf)
{
    const int count = block.residuals.size();
    auto write = [&](int from, int to) {
        for (int i = from; i < to; ++i) {
            const int at = target->rowptr[first + i];
            writeSortedJacobianRow(block.residuals[i], block.table[i], columnOf, target->colidx + at, target->val + at);
        }
    };
    if (count < kParallelRows) {
        write(0, count);
        return;
    }
    // Every chunk writes its own rows' entries only.
    Parallel::forChunks(count, kChunkRows, write);
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

QVector<double> errorMetric(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
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

QVector<double> jacobian(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
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

QVector<double> jacobianIntoSolverRows(const QVector<QVector<double>>& rotations,
                                       const QVector<QVector<double>>& translations, const RegistrationInputs& in,
                                       splm_crsm* target, const int* columnOf, int nColumns, JacobianTimings* timings)
{
    QElapsedTimer timer;
    DerivativeBlock con, reg, icp;

    timer.restart();
    con.residuals = eConDer(rotations, translations, in.srcVertices, in.srcControlIndices, in.dstControlVertices,
                            in.nodes, in.weightsTable, in.eConWeight, con.table);
    const qint64 tCon = timer.elapsed();

    timer.restart();
    reg.residuals = withRegularisationWeights(in, [&](const auto& weights) {
        return eRegDer(rotations, translations, in.nodes, in.neighboursTable, weights, reg.table);
    });
    const qint64 tReg = timer.elapsed();

    timer.restart();
    icp.residuals = eIcpDer(rotations, translations, in, icp.table);
    const qint64 tIcp = timer.elapsed();

    const int nNodes = rotations.size();
    const DerivativeBlock* blocks[3] = {&con, &reg, &icp};
    const QVector<int> entries = rowEntries(blocks);
    qint64 total = 0;
    bool repeats = false;
    for (int count : entries) {
        repeats = repeats || count < 0;
        total += count;
    }
    if (repeats) {
        // Rows of repeated nodes keep their entry-by-entry order, which only the plain route gives.
        fillThroughListOfLists(con, reg, icp, nNodes, target, columnOf, nColumns);
    } else {
        const int rows = entries.size();
        SparseMatrix::checkSparseLmCapacity(rows, int(std::min<qint64>(total, INT_MAX)), target);
        int at = 0;
        for (int row = 0; row < rows; ++row) {
            target->rowptr[row] = at;
            at += entries[row];
        }
        target->rowptr[rows] = at;
        target->nr = rows;
        target->nc = columnOf ? nColumns : 6 * nNodes;
        target->nnz = at;
        int first = 0;
        for (const DerivativeBlock* block : blocks) {
            writeBlockRows(*block, first, target, columnOf);
            first += block->table.size();
        }
    }
    if (timings) {
        timings->eRegMs += quint64(tReg);
        timings->eConMs += quint64(tCon);
        timings->eIcpMs += quint64(tIcp);
    }
    const QVector<double> residuals =
        concatenated(undifContainer(con.residuals), undifContainer(reg.residuals), undifContainer(icp.residuals));
    // Tens of thousands of derivative vectors and node lists: freed on the pool while the
    // solver factorises.
    Parallel::deleteOnPool(new SpentBlocks{std::move(con), std::move(reg), std::move(icp)});
    return residuals;
}

}  // namespace NonRigidRegistration
