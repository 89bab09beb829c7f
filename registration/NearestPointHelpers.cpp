#include "registration/NearestPointHelpers.h"

#include "numerics/Random.h"

#include <algorithm>
#include <cfloat>
#include <utility>

namespace NonRigidRegistration {

double computeMedianNearestNeighbourDistance(const QVector<QVector3D>& points, double probability) {
    if (points.size() < 2) return 0.0;
    QVector<double> distances;
    for (int i = 0; i < points.size(); ++i) {
        const bool sampled = probability == 1.0 || Random::draw() / 32767.0 <= probability;
        if (!sampled) continue;
        const int nearest = findNearestPoint(i, points);
        distances.append(double((points[i] - points[nearest]).length()));
    }
    if (distances.isEmpty()) return 0.0;
    std::sort(distances.begin(), distances.end());
    return distances[distances.size() / 2];
}

int findNearestPoint(const QVector3D& point, const QVector<QVector3D>& points) {
    if (points.isEmpty()) return -1;
    float best = (points[0] - point).lengthSquared();
    int result = 0;
    for (int i = 1; i < points.size(); ++i) {
        const float d = (points[i] - point).lengthSquared();
        if (d < best) {
            best = d;
            result = i;
        }
    }
    return result;
}

int findNearestPoint(int index, const QVector<QVector3D>& points) {
    double best = DBL_MAX;
    int result = -1;
    const QVector3D p = points.value(index);
    for (int i = 0; i < points.size(); ++i) {
        if (i == index) continue;
        const float d = (p - points[i]).lengthSquared();
        if (d < best) {
            best = d;
            result = i;
        }
    }
    return result;
}

QVector<int> findKNearestPoints(const QVector3D& point, const QVector<QVector3D>& points, int k) {
    QVector<std::pair<double, int> > pairs;
    pairs.reserve(points.size());
    for (int i = 0; i < points.size(); ++i)
        pairs.append({double((points[i] - point).lengthSquared()), i});
    std::sort(pairs.begin(), pairs.end(),
              [](const std::pair<double, int>& a, const std::pair<double, int>& b) {
                  return a.first < b.first;
              });
    const int count = qBound(0, k, int(pairs.size()));
    QVector<int> result;
    result.reserve(count);
    for (int i = 0; i < count; ++i) result.append(pairs[i].second);
    return result;
}

bool pickByProbability(double probability) { return Random::draw() / 32767.0 <= probability; }

}  // namespace NonRigidRegistration
