#pragma once
// Skinning weights from straight-line distances (the registration itself uses geodesic ones).
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// One row per vertex, one entry per node: each vertex's k nearest nodes weighted by
// (1 - d / dmax)^2, dmax being the distance of the (k+1)-th nearest, normalised to sum 1.
// Where those weights sum to 0 (all nodes at dmax, or dmax 0) the nodes share equally.
QVector<QVector<double>> buildWeightsTable(const QVector<QVector3D>& vertices, const QVector<QVector3D>& nodes, int k);

}  // namespace NonRigidRegistration
