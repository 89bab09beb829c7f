#include "registration/LayeredNearestNodes.h"

#include "registration/NonRigidRegistrationGeodesic.h"
#include "spatial/MarchGeometry.h"
#include "spatial/MarchReach.h"

#include <QtConcurrent/QtConcurrentMap>

#include <memory>
#include <numeric>
#include <vector>

namespace NonRigidRegistration {

namespace {

constexpr int kMaxLayers = 64;  // one bit per layer in a vertex's membership

QVector<bool> maskOf(const QList<int>& vertices, int nVertices)
{
    QVector<bool> mask(nVertices, false);
    for (int v : vertices)
        mask[v] = true;
    return mask;
}

}  // namespace

LayeredNearestNodes::LayeredNearestNodes(const HE::HalfEdgeGeom& mesh, int k, const QList<QList<int>>& layers)
    : nVertices_(mesh.vertexHalfEdges.size())
{
    if (layers.isEmpty() || layers.size() > kMaxLayers)
        return;
    const FastMarching::MarchGeometry geometry(mesh);
    if (!geometry.isComplete() || FastMarching::anyCornerLogs(geometry))
        return;

    std::vector<quint64> membership(size_t(nVertices_), 0);
    std::vector<std::unique_ptr<FastMarching::MarchReach>> reaches;
    QVector<const FastMarching::MarchReach*> reachOf;
    for (int layer = 0; layer < layers.size(); ++layer) {
        for (int v : layers[layer])
            membership[size_t(v)] |= quint64(1) << layer;
        reaches.push_back(std::make_unique<FastMarching::MarchReach>(geometry, maskOf(layers[layer], nVertices_)));
        reachOf.append(reaches.back().get());
    }

    nearest_.resize(nVertices_);
    QVector<int> sources(nVertices_);
    std::iota(sources.begin(), sources.end(), 0);
    QVector<FastMarching::NearestVertices>* out = nearest_.data();
    QtConcurrent::blockingMap(sources, [&](int v) {
        out[v] = FastMarching::findKNearestEnabledVerticesOfSets(v, geometry, k + 1, membership, reachOf);
    });
    layers_ = layers;
}

int LayeredNearestNodes::layerOf(const QList<int>& nodeVertexIndices) const
{
    return layers_.indexOf(nodeVertexIndices);
}

QVector<QVector<double>> LayeredNearestNodes::weightsTable(int layer, const QVector<bool>& vertexMask) const
{
    return buildWeightsTableFromNearest(
        layers_.at(layer), nVertices_, vertexMask,
        [this, layer](int v) -> const FastMarching::NearestVertices& { return nearest_.at(v).at(layer); });
}

}  // namespace NonRigidRegistration
