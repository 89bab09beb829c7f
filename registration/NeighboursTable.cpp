#include "registration/NeighboursTable.h"

#include "numerics/ParallelChunks.h"

#include <QtGlobal>

#include <vector>

namespace NonRigidRegistration {

namespace {

// Rows in a chunk of the scan for positive entries.
constexpr int kScanChunkRows = 512;

}  // namespace

QVector<QList<int>> buildNeighboursTable(const QVector<QVector<double>>& weightsTable)
{
    const int nodeCount = weightsTable.isEmpty() ? 0 : weightsTable.first().size();
    // The positive entries of every row, found on the pool: rows are long and mostly zero. A
    // short row (a vertex left out) offers only the entries it holds.
    const int rows = weightsTable.size();
    std::vector<std::vector<int>> influencing(static_cast<size_t>(rows));
    Parallel::forChunks(rows, kScanChunkRows, [&](int first, int last) {
        for (int r = first; r < last; ++r) {
            const QVector<double>& row = weightsTable[r];
            const double* weights = row.constData();
            const int count = qMin(nodeCount, row.size());
            for (int i = 0; i < count; ++i)
                if (weights[i] > 0)
                    influencing[size_t(r)].push_back(i);
        }
    });
    // The lists grow in row order, as the rows are read.
    QVector<QList<int>> table(nodeCount);
    for (const std::vector<int>& nodes : influencing) {
        if (nodes.size() < 2)
            continue;
        for (int i : nodes) {
            QList<int>& neighbours = table[i];
            for (int d : nodes)
                if (d != i && !neighbours.contains(d))
                    neighbours.append(d);
        }
    }
    return table;
}

int getTotalNeighbours(const QVector<QList<int>>& neighboursTable)
{
    int total = 0;
    for (const QList<int>& neighbours : neighboursTable)
        total += neighbours.size();
    return total;
}

}  // namespace NonRigidRegistration
