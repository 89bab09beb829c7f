#include "texture/MedianNearestNeighbourDist.h"

#include <algorithm>
#include <cmath>

double medianNearestNeighbourDist(const QVector<QVector3D>& points, const KDTree::NodeBase* tree)
{
    if (points.isEmpty())
        return 0.0;
    QVector<float> squared(points.size());
    for (int i = 0; i < points.size(); ++i) {
        float distance = 0;
        tree->findNearestPointInd(i, points, &distance);
        squared[i] = distance;
    }
    std::sort(squared.begin(), squared.end());
    return std::sqrt(double(squared[squared.size() / 2]));
}
