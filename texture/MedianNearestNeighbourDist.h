#pragma once
// Length unit of the transfer's distance limit.
#include <QVector3D>
#include <QVector>

#include "spatial/KDTree.h"

// Median over the points of the distance to the nearest other point (the upper
// middle for an even count); 0 for no points. The tree must be built over the
// same points.
double medianNearestNeighbourDist(const QVector<QVector3D>& points, const KDTree::NodeBase* tree);
