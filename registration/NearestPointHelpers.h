#pragma once
// Nearest-point queries over small point sets, the median nearest-neighbour distance that
// sizes the deformation graph, and the random pick by probability.
#include <QVector3D>
#include <QVector>

namespace NonRigidRegistration {

// Median over the sampled points of the distance to the nearest other point (the upper
// middle value for an even count). With probability 1.0 every point is sampled and nothing
// is drawn; otherwise one draw per point decides. Fewer than two points, or no point
// sampled, give 0.
double computeMedianNearestNeighbourDistance(const QVector<QVector3D>& points, double probability);

// Index of the point nearest to point (the first of equals); -1 for an empty set.
int findNearestPoint(const QVector3D& point, const QVector<QVector3D>& points);

// Index of the point other than points[index] nearest to it (the first of equals), or -1.
int findNearestPoint(int index, const QVector<QVector3D>& points);

// Indices of the min(k, points.size()) nearest points, nearest first; equal distances come
// in no guaranteed order.
QVector<int> findKNearestPoints(const QVector3D& point, const QVector<QVector3D>& points, int k);

// One draw; true when draw / 32767 <= probability.
bool pickByProbability(double probability);

}  // namespace NonRigidRegistration
