#pragma once
// The influence nodes of every template vertex, picked out of the dense weights table once
// for a solve: the table's rows are as long as there are nodes and mostly zero, and the
// energy terms and the preview would otherwise scan a whole row for every residual of every
// evaluation.
#include <QList>
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// One vertex: getNonZeroElementIndices of its weights row, and the rest positions and
// weights of those nodes (subset), in that order.
struct VertexInfluence {
    QList<int> nodes;
    QVector<QVector3D> positions;
    QVector<double> weights;
};

// One entry per row of the table, rows spread over the global thread pool. Empty when a row
// names a node outside the node positions (the terms then read the table as it is).
QVector<VertexInfluence> influenceTableOf(const QVector<QVector<double>>& weightsTable,
                                          const QVector<QVector3D>& nodes);

}  // namespace NonRigidRegistration
