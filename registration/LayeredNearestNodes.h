#pragma once
// The k + 1 nearest nodes of every template vertex on every layer of a graph hierarchy, found by
// one march per vertex for all layers together instead of one per vertex and layer: each layer's
// weights table then needs no march of its own. The answers are those of the per-table marches
// (same vertices, same distances), so the tables are the same.
//
// Not usable (hasLayers() false) where sharing a march would change what is logged or could not
// be counted: a mesh whose march geometry is incomplete or has a corner that logs on its updates,
// or more than 64 layers.
#include "mesh/HalfEdge.h"
#include "spatial/FastMarching.h"

#include <QList>
#include <QVector>

namespace NonRigidRegistration {

class LayeredNearestNodes {
public:
    // layers: the node vertices of each layer, in node order. The marches run on the global pool.
    LayeredNearestNodes(const HE::HalfEdgeGeom& mesh, int k, const QList<QList<int>>& layers);

    bool hasLayers() const { return !layers_.isEmpty(); }
    // The layer whose nodes are exactly these, in this order; -1 when none.
    int layerOf(const QList<int>& nodeVertexIndices) const;
    // buildWeightsTableGeodesicThreaded's table for that layer's nodes.
    QVector<QVector<double>> weightsTable(int layer, const QVector<bool>& vertexMask) const;

private:
    int nVertices_ = 0;
    QList<QList<int>> layers_;
    QVector<QVector<FastMarching::NearestVertices>> nearest_;  // [vertex][layer]
};

}  // namespace NonRigidRegistration
