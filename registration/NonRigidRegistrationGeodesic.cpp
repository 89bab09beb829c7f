#include "registration/NonRigidRegistrationGeodesic.h"

#include "spatial/FastMarching.h"

#include <QtConcurrent/QtConcurrentMap>

#include <cmath>

namespace NonRigidRegistration {

namespace {

struct NodeLookup {
    QVector<bool> nodeMask;
    QVector<int> vertexToNode;
};

NodeLookup nodeLookup(const QList<int>& nodeVertexIndices, int nVertices)
{
    NodeLookup lookup;
    lookup.nodeMask = QVector<bool>(nVertices, false);
    lookup.vertexToNode = QVector<int>(nVertices, -1);
    for (int j = 0; j < nodeVertexIndices.size(); ++j) {
        const int vertex = nodeVertexIndices[j];
        lookup.nodeMask[vertex] = true;
        lookup.vertexToNode[vertex] = j;
    }
    return lookup;
}

WeightsTableSharedParams sharedParams(const NodeLookup& lookup, const HE::HalfEdgeGeom& mesh, int k, int nNodes,
                                      const QVector<bool>& vertexMask)
{
    WeightsTableSharedParams params;
    params.k = k;
    params.nNodes = nNodes;
    params.mesh = &mesh;
    params.nodeMask = &lookup.nodeMask;
    params.vertexToNode = &lookup.vertexToNode;
    params.vertexMask = &vertexMask;
    return params;
}

}  // namespace

QVector<double> weightsRow(const QList<int>& found, const QList<double>& distances, int nNodes,
                           const QVector<int>& vertexToNode)
{
    const int m = found.size();
    // Nothing reachable: the row stays empty and the vertex takes part in no residual.
    if (m == 0)
        return {};

    QVector<double> row(nNodes, 0.0);
    if (m == 1) {
        row[vertexToNode[found[0]]] = 1.0;
        return row;
    }
    const double dmax = distances[m - 1];
    double sum = 0.0;
    if (dmax > 0.0) {
        for (int i = 0; i < m; ++i) {
            const double ratio = distances[i] / dmax;
            const double w = std::pow(1.0 - ratio * ratio, 3.0);
            row[vertexToNode[found[i]]] = w;
            sum += w;
        }
    }
    if (!(sum > 0.0)) {
        // Every node found lies at the same distance: none is nearer, so all share alike.
        for (int i = 0; i < m; ++i)
            row[vertexToNode[found[i]]] = 1.0 / m;
        return row;
    }
    // Only the found nodes' entries can be other than zero (and zero divided by the positive sum
    // stays zero); a node found twice is divided once.
    double* entries = row.data();
    for (int i = 0; i < m; ++i) {
        const int j = vertexToNode[found[i]];
        bool dividedAlready = false;
        for (int before = 0; before < i && !dividedAlready; ++before)
            dividedAlready = vertexToNode[found[before]] == j;
        if (!dividedAlready)
            entries[j] /= sum;
    }
    return row;
}

void buildWeightsTableGeodesicRow(WeightsTableContext& item)
{
    const WeightsTableSharedParams& params = *item.params;
    const int v = item.vertexInd;
    if (!params.vertexMask->isEmpty() && !params.vertexMask->at(v))
        return;

    QList<double> distances;
    const QList<int> found =
        params.geometry && params.reach
            ? FastMarching::findKNearestEnabledVertices(v, *params.geometry, params.k + 1, *params.nodeMask,
                                                        *params.reach, &distances)
        : params.geometry
            ? FastMarching::findKNearestEnabledVertices(v, *params.geometry, params.k + 1, *params.nodeMask, &distances)
            : FastMarching::findKNearestEnabledVertices(v, *params.mesh, params.k + 1, *params.nodeMask, &distances);
    item.weights = weightsRow(found, distances, params.nNodes, *params.vertexToNode);
}

QVector<QVector<double>> buildWeightsTableGeodesicThreaded(const QList<int>& nodeVertexIndices,
                                                           const HE::HalfEdgeGeom& mesh, int k,
                                                           const QVector<bool>& vertexMask)
{
    const int n = mesh.vertexHalfEdges.size();
    const NodeLookup lookup = nodeLookup(nodeVertexIndices, n);
    // Every row marches over most of the mesh, so its geometry is taken once and shared.
    const FastMarching::MarchGeometry geometry(mesh);
    const FastMarching::MarchReach reach(geometry, lookup.nodeMask);
    WeightsTableSharedParams params = sharedParams(lookup, mesh, k, nodeVertexIndices.size(), vertexMask);
    params.geometry = &geometry;
    params.reach = &reach;

    QVector<WeightsTableContext> items(n);
    for (int v = 0; v < n; ++v) {
        items[v].vertexInd = v;
        items[v].params = &params;
    }
    QtConcurrent::blockingMap(items, buildWeightsTableGeodesicRow);

    QVector<QVector<double>> table;
    table.reserve(n);
    for (WeightsTableContext& item : items)
        table.append(std::move(item.weights));
    return table;
}

QVector<QVector<double>> buildWeightsTableFromNearest(const QList<int>& nodeVertexIndices, int nVertices,
                                                      const QVector<bool>& vertexMask, const NearestNodesOf& nearest)
{
    const NodeLookup lookup = nodeLookup(nodeVertexIndices, nVertices);
    const int nNodes = nodeVertexIndices.size();
    QVector<QVector<double>> table(nVertices);
    QVector<double>* out = table.data();
    QVector<int> rows;
    rows.reserve(nVertices);
    for (int v = 0; v < nVertices; ++v)
        if (vertexMask.isEmpty() || vertexMask.at(v))
            rows.append(v);
    QtConcurrent::blockingMap(rows, [&](int v) {
        const FastMarching::NearestVertices& found = nearest(v);
        out[v] = weightsRow(found.vertices, found.distances, nNodes, lookup.vertexToNode);
    });
    return table;
}

QVector<QVector<double>> buildWeightsTableGeodesic(const QList<int>& nodeVertexIndices, const HE::HalfEdgeGeom& mesh,
                                                   int k, const QVector<bool>& vertexMask)
{
    const int n = mesh.vertexHalfEdges.size();
    const NodeLookup lookup = nodeLookup(nodeVertexIndices, n);
    const WeightsTableSharedParams params = sharedParams(lookup, mesh, k, nodeVertexIndices.size(), vertexMask);

    QVector<QVector<double>> table;
    table.reserve(n);
    WeightsTableContext item;
    item.params = &params;
    for (int v = 0; v < n; ++v) {
        item.vertexInd = v;
        item.weights = QVector<double>();
        buildWeightsTableGeodesicRow(item);
        table.append(item.weights);
    }
    return table;
}

}  // namespace NonRigidRegistration
