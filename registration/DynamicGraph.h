#pragma once
// The hierarchical deformation graph: node records, the polymorphic graph base that the
// geodesic graph fills, and the free functions on node vectors that the subclasses use.
// Node transforms: r holds the three rotation parameters (1, 0, 0 is the identity), t the
// translation applied after the rotation.
#include <QList>
#include <QVector3D>
#include <QVector>

namespace DynamicGraph {

// A node of a finer level, aggregated by a coarser node; receives a transform only when
// its parent level is subdivided.
struct ChildNode {
    int vertexInd = -1;
    QVector<ChildNode> children;
};

struct Node {
    QVector<double> r;
    QVector<double> t;
    int vertexInd = -1;
    QVector<ChildNode> children;
};

class Graph {
public:
    Graph(const QVector<QVector3D>& vertices, int k);
    Graph(const QVector<QVector3D>& vertices, int k, int levels, const QVector<Node>& nodes);
    virtual ~Graph();

    // The base bodies only log a notice and return empty results.
    virtual void subdivide();
    virtual QVector<QVector3D> deformVertices() const;
    virtual QVector<QVector3D> deformVertices(const QVector<QVector<double>>& weightsTable) const;
    virtual QVector<QVector<double>> weightsTable() const;
    virtual Graph* clone() const;

    int levelsCount() const;
    int getK() const;
    QVector<QVector3D> nodes() const;  // rest positions of the current nodes
    QVector<int> nodeVertexIndices() const;
    QVector<QVector<double>> nodesRotations() const;
    QVector<QVector<double>> nodesTranslations() const;
    void setNodesTransforms(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations);

    int totalChildrenCount() const;
    QVector<QVector3D> deformedNodes() const;  // rest position plus translation, per node
    void scaleVertices(float factor);
    void setNodeRotation(int node, const QVector<double>& r);
    void setNodeTranslation(int node, const QVector<double>& t);

    QVector<QVector3D> vertices;  // template rest positions, never changed by the graph
    QVector<Node> graphNodes;     // the current level, in node order
    int levels = -1;              // coarsening steps of the hierarchy; -1 until built
    int k = 0;                    // influence nodes per vertex, for the subclass's weights
};

QList<int> vertexIndicesOfNodes(const QVector<Node>& nodes);
QVector<QVector<double>> nodesRotations(const QVector<Node>& nodes);
QVector<QVector<double>> nodesTranslations(const QVector<Node>& nodes);
// Entries beyond the node count are ignored.
void setNodesTransforms(QVector<Node>& nodes, const QVector<QVector<double>>& rotations,
                        const QVector<QVector<double>>& translations);

int totalChildrenCount(const QVector<Node>& nodes);
// vertexInd of every direct child, in node order and then child order.
QList<int> childrenVertexIndices(const QVector<Node>& nodes);
QList<int> childrenVertexIndices(const QVector<ChildNode>& nodes);

}  // namespace DynamicGraph
