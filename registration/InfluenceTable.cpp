#include "registration/InfluenceTable.h"

#include "numerics/ParallelChunks.h"
#include "registration/DifferentiableParameters.h"

#include <algorithm>
#include <atomic>

namespace NonRigidRegistration {

namespace {

// Rows per work item of the thread pool.
const int kChunkRows = 512;

}  // namespace

QVector<VertexInfluence> influenceTableOf(const QVector<QVector<double>>& weightsTable, const QVector<QVector3D>& nodes)
{
    const int count = weightsTable.size();
    QVector<VertexInfluence> table(count);
    VertexInfluence* entries = table.data();  // detached before any thread writes
    std::atomic<bool> outside{false};
    Parallel::forChunks(count, kChunkRows, [&](int first, int last) {
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
