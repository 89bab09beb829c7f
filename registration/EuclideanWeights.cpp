#include "registration/EuclideanWeights.h"

#include "registration/NearestPointHelpers.h"

#include <cmath>

namespace NonRigidRegistration {

QVector<QVector<double>> buildWeightsTable(const QVector<QVector3D>& vertices, const QVector<QVector3D>& nodes, int k)
{
    QVector<QVector<double>> table(vertices.size(), QVector<double>(nodes.size(), 0.0));
    for (int v = 0; v < vertices.size(); ++v) {
        const QVector3D vertex = vertices[v];
        QVector<int> nearest = findKNearestPoints(vertex, nodes, k + 1);
        if (nearest.isEmpty())
            continue;
        // The farthest node found only sets the scale; it gets no weight.
        const float dmax = (nodes[nearest.last()] - vertex).length();
        nearest.removeLast();
        QVector<double>& row = table[v];
        double sum = 0.0;
        for (int j : nearest) {
            const float d = (nodes[j] - vertex).length();
            const double ratio = 1.0 - double(d) / double(dmax);
            row[j] = ratio * ratio;
            sum += row[j];
        }
        const bool degenerate = !(sum > 0.0) || !std::isfinite(sum);
        for (int j : nearest)
            row[j] = degenerate ? 1.0 / nearest.size() : row[j] / sum;
    }
    return table;
}

}  // namespace NonRigidRegistration
