#pragma once
// Which nodes the regularisation ties together, read off a level's weights table.
#include <QList>
#include <QVector>

namespace NonRigidRegistration {

// List i holds every other node that shares a vertex of positive weight with node i, in the
// order such pairs are first met (rows in vertex order, nodes ascending). The node count is
// the length of the first row; weights that are not > 0 count as absent.
QVector<QList<int>> buildNeighboursTable(const QVector<QVector<double>>& weightsTable);

// Total entry count: the number of regularisation residuals.
int getTotalNeighbours(const QVector<QList<int>>& neighboursTable);

}  // namespace NonRigidRegistration
