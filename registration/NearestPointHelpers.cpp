#include "registration/NearestPointHelpers.h"

#include "numerics/Random.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <limits>
#include <memory>
#include <utility>

namespace NonRigidRegistration {

namespace {

// Answers findNearestPoint(i, points) for every i with the same index, much faster:
// the points are swept in order of x, and the sweep away from point i stops once the
// x-difference alone, squared in single precision, exceeds the best squared distance.
// Rounding is monotone, so a point past that bound has a larger squared distance as
// computed by findNearestPoint (whose first term is that very square) and can neither
// win nor tie. Ties go to the lower index, as in the plain scan. Needs finite points.
class NearestOtherSweep {
public:
    explicit NearestOtherSweep(const QVector<QVector3D>& points) : points_(points)
    {
        order_.resize(points.size());
        rank_.resize(points.size());
        for (int i = 0; i < points.size(); ++i)
            order_[i] = i;
        std::sort(order_.begin(), order_.end(), [&](int a, int b) { return points[a].x() < points[b].x(); });
        for (int r = 0; r < order_.size(); ++r)
            rank_[order_[r]] = r;
    }

    int nearestOther(int index) const
    {
        const QVector3D p = points_[index];
        float best = std::numeric_limits<float>::infinity();
        int result = -1;
        const auto visit = [&](int r) {
            const int j = order_[r];
            const float dx = p.x() - points_[j].x();
            if (dx * dx > best)
                return false;
            const float d = (p - points_[j]).lengthSquared();
            if (d < best || (d == best && j < result)) {
                best = d;
                result = j;
            }
            return true;
        };
        const int start = rank_[index];
        for (int r = start + 1; r < order_.size() && visit(r); ++r) {
        }
        for (int r = start - 1; r >= 0 && visit(r); --r) {
        }
        return result;
    }

private:
    const QVector<QVector3D>& points_;
    QVector<int> order_;
    QVector<int> rank_;
};

bool allFinite(const QVector<QVector3D>& points)
{
    for (const QVector3D& p : points)
        if (!std::isfinite(p.x()) || !std::isfinite(p.y()) || !std::isfinite(p.z()))
            return false;
    return true;
}

}  // namespace

double computeMedianNearestNeighbourDistance(const QVector<QVector3D>& points, double probability)
{
    if (points.size() < 2)
        return 0.0;
    const bool sweepable = allFinite(points);
    std::unique_ptr<NearestOtherSweep> sweep;
    if (sweepable)
        sweep.reset(new NearestOtherSweep(points));
    QVector<double> distances;
    for (int i = 0; i < points.size(); ++i) {
        const bool sampled = probability == 1.0 || Random::draw() / 32767.0 <= probability;
        if (!sampled)
            continue;
        const int nearest = sweepable ? sweep->nearestOther(i) : findNearestPoint(i, points);
        if (nearest < 0)
            continue;  // a point without a comparable neighbour (NaN)
        distances.append(double((points[i] - points[nearest]).length()));
    }
    if (distances.isEmpty())
        return 0.0;
    std::sort(distances.begin(), distances.end());
    return distances[distances.size() / 2];
}

int findNearestPoint(const QVector3D& point, const QVector<QVector3D>& points)
{
    if (points.isEmpty())
        return -1;
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

int findNearestPoint(int index, const QVector<QVector3D>& points)
{
    double best = DBL_MAX;
    int result = -1;
    const QVector3D p = points.value(index);
    for (int i = 0; i < points.size(); ++i) {
        if (i == index)
            continue;
        const float d = (p - points[i]).lengthSquared();
        if (d < best) {
            best = d;
            result = i;
        }
    }
    return result;
}

QVector<int> findKNearestPoints(const QVector3D& point, const QVector<QVector3D>& points, int k)
{
    QVector<std::pair<double, int>> pairs;
    pairs.reserve(points.size());
    for (int i = 0; i < points.size(); ++i)
        pairs.append({double((points[i] - point).lengthSquared()), i});
    std::sort(pairs.begin(), pairs.end(),
              [](const std::pair<double, int>& a, const std::pair<double, int>& b) { return a.first < b.first; });
    const int count = qBound(0, k, int(pairs.size()));
    QVector<int> result;
    result.reserve(count);
    for (int i = 0; i < count; ++i)
        result.append(pairs[i].second);
    return result;
}

bool pickByProbability(double probability)
{
    return Random::draw() / 32767.0 <= probability;
}

}  // namespace NonRigidRegistration
