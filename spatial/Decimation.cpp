// Random geodesic subsampling. Each pass turns one draw into the r-th item still free; the free
// items are counted in a Fenwick tree, so finding the r-th one and keeping the count take
// logarithmic time instead of a scan of all flags per sample.
#include "spatial/Decimation.h"

#include "numerics/Random.h"
#include "spatial/FastMarching.h"

#include <vector>

namespace Decimation {

namespace {

// Index among count items chosen by a draw: the last one only by the largest draw.
int drawToIndex(int draw, int count)
{
    if (draw < 0)
        draw = 0;
    if (draw > Random::maxDraw)
        draw = Random::maxDraw;
    int index = int(draw / double(Random::maxDraw) * (count - 1));
    // Kept inside the list whatever the arithmetic gives.
    if (index > count - 1)
        index = count - 1;
    return index < 0 ? 0 : index;
}

// Flags of the items still free, with the number of free items before every position.
class FreeItems {
public:
    explicit FreeItems(int size) : flags_(size, false), tree_(size_t(size) + 1, 0)
    {
        highestStep_ = 1;
        while (highestStep_ * 2 <= size)
            highestStep_ *= 2;
    }

    void enable(int position)
    {
        if (flags_.at(position))
            return;
        flags_[position] = true;
        ++count_;
        for (size_t i = size_t(position) + 1; i < tree_.size(); i += i & (~i + 1))
            ++tree_[i];
    }

    void disable(int position)
    {
        if (!flags_.at(position))
            return;
        flags_[position] = false;
        --count_;
        for (size_t i = size_t(position) + 1; i < tree_.size(); i += i & (~i + 1))
            --tree_[i];
    }

    bool isFree(int position) const { return flags_.at(position); }
    int count() const { return count_; }

    // Position of the n-th free item (from 0); the same as findNthElementWithSpecificValue(n, flags, true).
    int nth(int n) const
    {
        if (n < 0 || n >= count_)
            return -1;
        size_t position = 0;
        int remaining = n + 1;
        for (size_t step = size_t(highestStep_); step > 0; step /= 2) {
            const size_t next = position + step;
            if (next < tree_.size() && tree_[next] < remaining) {
                position = next;
                remaining -= tree_[next];
            }
        }
        return int(position);
    }

private:
    QVector<bool> flags_;
    std::vector<int> tree_;
    int highestStep_ = 1;
    int count_ = 0;
};

// The shared loop: draw a free item, take it, let it absorb the free items that absorb() reports
// for it. itemVertex maps an item to the vertex the march starts from; itemOfVertex maps a reached
// vertex back to an item (-1 for none).
template <typename Over, typename ItemVertex, typename ItemOfVertex>
QList<int> sampleGeodesic(const Over& over, double radius, FreeItems& free, bool listSampleFirst, ItemVertex itemVertex,
                          ItemOfVertex itemOfVertex, QList<QList<int>>* aggregated)
{
    QList<int> samples;
    while (free.count() > 0) {
        const int sample = free.nth(drawToIndex(Random::draw(), free.count()));
        samples.append(sample);
        free.disable(sample);
        QList<int> absorbed;
        if (listSampleFirst)
            absorbed.append(sample);
        for (int vertex : FastMarching::findVerticesInRadius(itemVertex(sample), over, radius)) {
            const int item = itemOfVertex(vertex);
            if (item != -1 && free.isFree(item)) {
                free.disable(item);
                absorbed.append(item);
            }
        }
        aggregated->append(absorbed);
    }
    return samples;
}

}  // namespace

namespace {

template <typename Over>
QList<int> subsampleNodes(const Over& over, double radius, const QList<int>& candidateVertices,
                          QList<QList<int>>* aggregatedNodeIndices)
{
    const HE::HalfEdgeGeom& mesh = FastMarching::meshOf(over);
    QList<QList<int>> aggregated;
    const int nVertices = mesh.vertexHalfEdges.size();
    const int nCandidates = candidateVertices.size();
    QVector<int> positionOfVertex(nVertices, -1);
    FreeItems free(nCandidates);
    for (int i = 0; i < nCandidates; ++i) {
        const int vertex = candidateVertices.at(i);
        if (vertex >= 0 && vertex < nVertices)
            positionOfVertex[vertex] = i;
        free.enable(i);
    }
    const QList<int> samples = sampleGeodesic(
        over, radius, free, true, [&](int position) { return candidateVertices.at(position); },
        [&](int vertex) { return positionOfVertex.at(vertex); }, &aggregated);
    if (aggregatedNodeIndices)
        *aggregatedNodeIndices = aggregated;
    return samples;
}

}  // namespace

QList<int> subsampleNodesGeodesic(const HE::HalfEdgeGeom& mesh, double radius, const QList<int>& candidateVertices,
                                  QList<QList<int>>* aggregatedNodeIndices)
{
    return subsampleNodes(mesh, radius, candidateVertices, aggregatedNodeIndices);
}

QList<int> subsampleNodesGeodesic(const FastMarching::MarchGeometry& geometry, double radius,
                                  const QList<int>& candidateVertices, QList<QList<int>>* aggregatedNodeIndices)
{
    return subsampleNodes(geometry, radius, candidateVertices, aggregatedNodeIndices);
}

QList<int> uniformSubsampleGeodesic(const HE::HalfEdgeGeom& mesh, double radius,
                                    QList<QList<int>>* aggregatedVertexIndices, const QList<int>& vertexIndices)
{
    QList<QList<int>> aggregated;
    const int nVertices = mesh.vertexHalfEdges.size();
    FreeItems free(nVertices);
    if (vertexIndices.isEmpty()) {
        for (int v = 0; v < nVertices; ++v)
            free.enable(v);
    } else {
        for (int v : vertexIndices)
            if (v >= 0 && v < nVertices)
                free.enable(v);
    }
    const QList<int> samples = sampleGeodesic(
        mesh, radius, free, false, [](int vertex) { return vertex; }, [](int vertex) { return vertex; }, &aggregated);
    if (aggregatedVertexIndices)
        *aggregatedVertexIndices = aggregated;
    return samples;
}

QList<int> uniformSubsample(const QVector<QVector3D>& points, QList<QList<int>>* aggregatedPointIndices)
{
    QList<int> samples;
    QList<QList<int>> aggregated;
    QList<int> freeIndices;
    QList<QVector3D> freePoints;
    for (int i = 0; i < points.size(); ++i) {
        freeIndices.append(i);
        freePoints.append(points.at(i));
    }
    while (!freeIndices.isEmpty()) {
        const int drawn = drawToIndex(Random::draw(), freeIndices.size());
        const QVector3D centre = freePoints.at(drawn);
        QList<int> positions;
        QList<int> absorbed;
        for (int i = 0; i < freePoints.size(); ++i) {
            // The sample always absorbs itself, so every pass shrinks the free list, even for a point
            // that is not a number.
            if (i == drawn || (freePoints.at(i) - centre).lengthSquared() <= 1.0f) {
                positions.append(i);
                absorbed.append(freeIndices.at(i));
            }
        }
        samples.append(freeIndices.at(drawn));
        aggregated.append(absorbed);
        removeAtIndices(positions, freeIndices);
        removeAtIndices(positions, freePoints);
    }
    if (aggregatedPointIndices)
        *aggregatedPointIndices = aggregated;
    return samples;
}

int findNthElementWithSpecificValue(int n, const QVector<bool>& elements, bool value)
{
    int seen = 0;
    for (int i = 0; i < elements.size(); ++i) {
        if (elements.at(i) != value)
            continue;
        if (seen == n)
            return i;
        ++seen;
    }
    return -1;
}

int countElementsWithSpecificValue(const QVector<bool>& elements, bool value)
{
    int count = 0;
    for (bool element : elements)
        if (element == value)
            ++count;
    return count;
}

}  // namespace Decimation
