#pragma once
// The deformation graph over the template's half-edge mesh: nodes on template vertices,
// spaced by geodesic distance, in a hierarchy of layers built at once by repeated random
// geodesic subsampling (layer 0 samples every vertex, each further layer samples the one
// below with a radius grown by densityMultiplier). The top layer becomes the current nodes;
// every finer layer is held as the nested children of the nodes above it, and subdivide()
// steps one layer down, each child inheriting the motion the current nodes give it.
#include "mesh/HalfEdge.h"
#include "registration/DynamicGraph.h"
#include "registration/LayeredNearestNodes.h"

#include <QList>
#include <QVector3D>
#include <QVector>

#include <memory>

namespace DynamicGraph {

class GraphGeodesic : public Graph {
public:
    // Builds the hierarchy. Coarsening goes on while the top layer has more than minNodesCount
    // nodes; it also ends once the top layer has no more nodes than the mesh has connected
    // parts (no layer can have fewer), when densityMultiplier is not above 1, and when a step
    // no longer merges anything although its radius already spans every distance on the mesh
    // or has stopped growing. The level count (coarsening steps) goes to *nLevels and to the
    // graph. The subsampling draws from the calling thread's generator.
    GraphGeodesic(const HE::HalfEdgeGeom* mesh, double radius, double densityMultiplier, int* nLevels,
                  int minNodesCount, int k, double initValue);
    // Stores the values as given; builds nothing.
    GraphGeodesic(const HE::HalfEdgeGeom* mesh, int k, const QVector<QVector3D>& vertices, int levels,
                  const QVector<Node>& nodes);

    // The children of the current nodes become the nodes (parent order, then child order).
    // Logs the time of the children's weights table, which includes the march of every layer's
    // nearest nodes on the first subdivision after that march ran, and of the whole subdivision.
    void subdivide() override;
    // With the weights table computed in the calling thread.
    QVector<QVector3D> deformVertices() const override;
    // A vertex without a row (no node within reach) stays at its rest position.
    QVector<QVector3D> deformVertices(const QVector<QVector<double>>& weightsTable) const override;
    // Every row, computed on the global thread pool.
    QVector<QVector<double>> weightsTable() const override;
    GraphGeodesic* clone() const override;

    const HE::HalfEdgeGeom* halfEdgeMesh() const { return mesh; }

private:
    // The table against the current nodes, for every vertex or those marked.
    QVector<QVector<double>> currentWeightsTable(const QVector<bool>& vertexMask) const;

    const HE::HalfEdgeGeom* mesh;  // not owned; must outlive the graph and its clones
    // The nearest nodes of every layer below and at the current one, found at the first table a
    // graph computes (a registration run asks for one table per layer, on one graph); a clone
    // finds its own.
    mutable std::shared_ptr<const NonRigidRegistration::LayeredNearestNodes> nearestNodes_;
    // Milliseconds of that march while no "Building weights table" line has told them: the next
    // subdivide() adds them to its timing lines.
    mutable qint64 unreportedMarchMs_ = 0;
};

// The node vertices of the current nodes, then of their children (node order, then child order,
// as subdivide() orders them), and so on down to the finest layer.
QList<QList<int>> layersFrom(const QVector<Node>& nodes);

// One new node per child of the given nodes, in node order and then child order, each with
// the transform the given nodes' motion gives it (transformChildNode). weightsTable needs a
// row, against the given nodes, at every child vertex; a child whose row is empty (its vertex
// reaches no node) follows its own parent alone. The children are spread over the global thread
// pool.
QList<Node> subdivideNodes(const QVector<Node>& nodes, const HE::HalfEdgeGeom& mesh,
                           const QVector<QVector<double>>& weightsTable);

// Connected parts of the mesh's vertices along its edges; a vertex in no face is a part of
// its own.
int countConnectedParts(const HE::HalfEdgeGeom& mesh);

}  // namespace DynamicGraph
