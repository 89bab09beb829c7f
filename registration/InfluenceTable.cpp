#include "registration/InfluenceTable.h"

#include "registration/DifferentiableParameters.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <atomic>

namespace NonRigidRegistration {

namespace {

// Rows per work item of the thread pool.
const int kChunkRows = 512;

}  // namespace

QVector<VertexInfluence> influenceTableOf(const QVector<QVector<double> >& weightsTable,
                                          const QVector<QVector3D>& nodes)
{
    const int count = weightsTable.size();
    QVector<VertexInfluence> table(count);
    VertexInfluence* entries = table.data();  // detached before any thread writes
    std::atomic<bool> outside{false};
    QVector<int> chunkStarts;
    for (int first = 0; first < count; first += kChunkRows)
        chunkStarts.append(first);
    QtConcurrent::blockingMap(chunkStarts, [&](int first) {
        const int last = std::min(count, first + kChunkRows);
        for (int v = first; v < last; ++v) {
            VertexInfluence& s = entries[v];
            s.nodes = getNonZeroElementIndices(weightsTable[v]);
            if (!s.nodes.isEmpty() && s.nodes.last() >= nodes.size()) {
                outside = true;
                return;
            }
            s.positions = subset(nodes, s.nodes);
            s.weights = subset(weightsTable[v], s.nodes);
        }
    });
    if (outside)
        return {};
    return table;
}

}  // namespace NonRigidRegistration
