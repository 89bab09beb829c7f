#include "registration/GraphGeodesic.h"

#include "registration/DynamicGraphTransforms.h"
#include "registration/NonRigidRegistrationGeodesic.h"
#include "spatial/Decimation.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QtConcurrent/QtConcurrentMap>

#include <cmath>
#include <numeric>
#include <vector>

namespace DynamicGraph {

namespace {

int vertexCount(const HE::HalfEdgeGeom* mesh)
{
    return mesh ? mesh->vertexHalfEdges.size() : 0;
}

// Calls visit(a, b) for the two ends of every half-edge whose links are intact.
template <typename Visit>
void forEachEdge(const HE::HalfEdgeGeom& mesh, Visit visit)
{
    const int n = mesh.vertexHalfEdges.size();
    const int nHalfEdges = mesh.halfEdges.size();
    for (const HE::HalfEdge& halfEdge : mesh.halfEdges) {
        if (halfEdge.prev < 0 || halfEdge.prev >= nHalfEdges)
            continue;
        const int a = mesh.halfEdges.at(halfEdge.prev).vertex;
        const int b = halfEdge.vertex;
        if (a < 0 || b < 0 || a >= n || b >= n)
            continue;
        visit(a, b);
    }
}

// No geodesic distance on the mesh exceeds the length of all its edges together.
double longestPossibleDistance(const HE::HalfEdgeGeom& mesh)
{
    double total = 0.0;
    forEachEdge(mesh, [&](int a, int b) { total += double((mesh.vertices.at(a) - mesh.vertices.at(b)).length()); });
    return total;
}

struct Layer {
    QList<int> vertices;         // the sampled template vertices, in drawing order
    QVector<ChildNode> entries;  // one per sampled vertex
};

Layer finestLayer(const FastMarching::MarchGeometry& geometry, double radius)
{
    QList<int> candidates;
    candidates.reserve(geometry.mesh().vertexHalfEdges.size());
    for (int v = 0; v < geometry.mesh().vertexHalfEdges.size(); ++v)
        candidates.append(v);
    QList<QList<int>> aggregated;
    Layer layer;
    for (int position : Decimation::subsampleNodesGeodesic(geometry, radius, candidates, &aggregated)) {
        ChildNode entry;
        entry.vertexInd = candidates.at(position);
        layer.vertices.append(entry.vertexInd);
        layer.entries.append(entry);
    }
    return layer;
}

Layer coarserLayer(const FastMarching::MarchGeometry& geometry, double radius, const Layer& below)
{
    QList<QList<int>> aggregated;
    const QList<int> samples = Decimation::subsampleNodesGeodesic(geometry, radius, below.vertices, &aggregated);
    Layer layer;
    for (int i = 0; i < samples.size(); ++i) {
        ChildNode entry;
        entry.vertexInd = below.vertices.at(samples.at(i));
        for (int position : aggregated.at(i))
            entry.children.append(below.entries.at(position));
        layer.vertices.append(entry.vertexInd);
        layer.entries.append(entry);
    }
    return layer;
}

QVector<QVector3D> positionsOf(const QVector<Node>& nodes, const HE::HalfEdgeGeom& mesh)
{
    QVector<QVector3D> positions;
    positions.reserve(nodes.size());
    for (const Node& node : nodes)
        positions.append(mesh.vertices.at(node.vertexInd));
    return positions;
}

}  // namespace

int countConnectedParts(const HE::HalfEdgeGeom& mesh)
{
    const int n = mesh.vertexHalfEdges.size();
    std::vector<int> parent(static_cast<size_t>(n));
    std::iota(parent.begin(), parent.end(), 0);
    auto root = [&](int v) {
        while (parent[size_t(v)] != v) {
            parent[size_t(v)] = parent[size_t(parent[size_t(v)])];
            v = parent[size_t(v)];
        }
        return v;
    };
    int parts = n;
    forEachEdge(mesh, [&](int a, int b) {
        const int ra = root(a), rb = root(b);
        if (ra == rb)
            return;
        parent[size_t(ra)] = rb;
        --parts;
    });
    return parts;
}

GraphGeodesic::GraphGeodesic(const HE::HalfEdgeGeom* mesh, double radius, double densityMultiplier, int* nLevels,
                             int minNodesCount, int k, double initValue)
    : Graph(mesh ? mesh->vertices : QVector<QVector3D>(), k), mesh(mesh)
{
    int levelCount = 0;
    Layer layer;
    if (mesh) {
        // Every layer's subsampling marches over the whole mesh: its geometry is taken once.
        const FastMarching::MarchGeometry geometry(*mesh);
        layer = finestLayer(geometry, radius);
        const int parts = countConnectedParts(*mesh);
        const double spanned = longestPossibleDistance(*mesh);
        // Every part keeps a node on every layer, so below `parts` nothing can merge.
        while (minNodesCount < layer.entries.size() && layer.entries.size() > parts && densityMultiplier > 1.0) {
            const double previousRadius = radius;
            radius = radius * densityMultiplier;
            Layer coarser = coarserLayer(geometry, radius, layer);
            const bool merged = coarser.entries.size() < layer.entries.size();
            // A radius that reaches everywhere, or no longer grows (0, NaN), merges nothing new.
            if (!merged && (radius >= spanned || !(radius > previousRadius)))
                break;
            layer = coarser;
            ++levelCount;
        }
    }
    if (nLevels)
        *nLevels = levelCount;
    levels = levelCount;

    graphNodes.reserve(layer.entries.size());
    for (const ChildNode& entry : layer.entries) {
        Node node;
        node.r = {1.0 + initValue, initValue, initValue};
        node.t = {initValue, initValue, initValue};
        node.vertexInd = entry.vertexInd;
        node.children = entry.children;
        graphNodes.append(node);
    }
}

GraphGeodesic::GraphGeodesic(const HE::HalfEdgeGeom* mesh, int k, const QVector<QVector3D>& vertices, int levels,
                             const QVector<Node>& nodes)
    : Graph(vertices, k, levels, nodes), mesh(mesh)
{}

void GraphGeodesic::subdivide()
{
    if (!mesh)
        return;
    // The march behind this table may have run for an earlier table (a run's first one): then
    // its time is told here, once, as part of this table's.
    const qint64 earlierMarchMs = unreportedMarchMs_;
    QElapsedTimer total;
    total.start();
    QElapsedTimer tableTimer;
    tableTimer.start();
    const QList<int> childVertices = childrenVertexIndices(graphNodes);
    QVector<bool> vertexMask(vertexCount(mesh), false);
    for (int vertex : childVertices)
        vertexMask[vertex] = true;
    const QVector<QVector<double>> table = currentWeightsTable(vertexMask);
    unreportedMarchMs_ = 0;  // a march run just now is inside the table's own time
    qDebug() << "\t\tBuilding weights table took:" << (earlierMarchMs + tableTimer.elapsed()) / 1000.0 << "sec";

    graphNodes = subdivideNodes(graphNodes, *mesh, table).toVector();
    qDebug() << "\t\tGraph subdivision took:" << (earlierMarchMs + total.elapsed()) / 1000.0 << "sec";
}

QVector<QVector3D> GraphGeodesic::deformVertices() const
{
    if (!mesh)
        return {};
    return deformVertices(
        NonRigidRegistration::buildWeightsTableGeodesic(vertexIndicesOfNodes(graphNodes), *mesh, k, QVector<bool>()));
}

QVector<QVector3D> GraphGeodesic::deformVertices(const QVector<QVector<double>>& weightsTable) const
{
    QVector<QVector3D> deformed =
        deformVerticesWithWeights(nodesRotations(), nodesTranslations(), vertices, nodes(), weightsTable);
    for (int v = 0; v < deformed.size(); ++v)
        if (v >= weightsTable.size() || weightsTable[v].isEmpty())
            deformed[v] = vertices[v];
    return deformed;
}

QVector<QVector<double>> GraphGeodesic::weightsTable() const
{
    if (!mesh)
        return {};
    return currentWeightsTable(QVector<bool>());
}

QVector<QVector<double>> GraphGeodesic::currentWeightsTable(const QVector<bool>& vertexMask) const
{
    const QList<int> nodeVertices = vertexIndicesOfNodes(graphNodes);
    if (!nearestNodes_) {
        QElapsedTimer march;
        march.start();
        nearestNodes_ =
            std::make_shared<const NonRigidRegistration::LayeredNearestNodes>(*mesh, k, layersFrom(graphNodes));
        if (nearestNodes_->hasLayers())
            unreportedMarchMs_ = march.elapsed();
    }
    const int layer = nearestNodes_->layerOf(nodeVertices);
    if (layer >= 0)
        return nearestNodes_->weightsTable(layer, vertexMask);
    return NonRigidRegistration::buildWeightsTableGeodesicThreaded(nodeVertices, *mesh, k, vertexMask);
}

GraphGeodesic* GraphGeodesic::clone() const
{
    return new GraphGeodesic(mesh, k, vertices, levels, graphNodes);
}

QList<QList<int>> layersFrom(const QVector<Node>& nodes)
{
    QList<QList<int>> layers;
    QList<const ChildNode*> below;
    QList<int> top;
    for (const Node& node : nodes) {
        top.append(node.vertexInd);
        for (const ChildNode& child : node.children)
            below.append(&child);
    }
    layers.append(top);
    while (!below.isEmpty()) {
        QList<int> layer;
        QList<const ChildNode*> next;
        for (const ChildNode* entry : below) {
            layer.append(entry->vertexInd);
            for (const ChildNode& child : entry->children)
                next.append(&child);
        }
        layers.append(layer);
        below = next;
    }
    return layers;
}

QList<Node> subdivideNodes(const QVector<Node>& nodes, const HE::HalfEdgeGeom& mesh,
                           const QVector<QVector<double>>& weightsTable)
{
    const ChildNodeTransforms transform(positionsOf(nodes, mesh), nodesRotations(nodes), nodesTranslations(nodes));
    struct Item {
        int parent;
        const ChildNode* child;
        Node node;
    };
    QVector<Item> items;
    for (int i = 0; i < nodes.size(); ++i)
        for (const ChildNode& child : nodes[i].children)
            items.append(Item{i, &child, Node()});
    // Every child passes over all the parents' weights: spread over the global thread pool.
    QtConcurrent::blockingMap(items, [&](Item& item) {
        QVector<double> row = weightsTable.value(item.child->vertexInd);
        if (row.isEmpty()) {
            row = QVector<double>(nodes.size(), 0.0);
            row[item.parent] = 1.0;
        }
        item.node = transform(*item.child, mesh.vertices.at(item.child->vertexInd), row);
    });
    QList<Node> subdivided;
    subdivided.reserve(items.size());
    for (Item& item : items)
        subdivided.append(std::move(item.node));
    return subdivided;
}

}  // namespace DynamicGraph
