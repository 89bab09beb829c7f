#include "registration/DynamicGraph.h"

#include <QDebug>

namespace DynamicGraph {

Graph::Graph(const QVector<QVector3D>& vertices, int k) : vertices(vertices), k(k) {}

Graph::Graph(const QVector<QVector3D>& vertices, int k, int levels, const QVector<Node>& nodes)
    : vertices(vertices), graphNodes(nodes), levels(levels), k(k)
{}

Graph::~Graph() = default;

void Graph::subdivide()
{
    qDebug() << "Calling virtual method Graph::subdivide()";
}

QVector<QVector3D> Graph::deformVertices() const
{
    qDebug() << "Calling virtual method Graph::deformVertices";
    return {};
}

QVector<QVector3D> Graph::deformVertices(const QVector<QVector<double>>&) const
{
    qDebug() << "Calling virtual method Graph::deformVertices";
    return {};
}

QVector<QVector<double>> Graph::weightsTable() const
{
    qDebug() << "Calling virtual method Graph::weightsTable()";
    return {};
}

Graph* Graph::clone() const
{
    qDebug() << "Calling virtual method Graph::clone()";
    return nullptr;
}

int Graph::levelsCount() const
{
    return levels;
}

int Graph::getK() const
{
    return k;
}

QVector<QVector3D> Graph::nodes() const
{
    QVector<QVector3D> positions;
    positions.reserve(graphNodes.size());
    for (const Node& node : graphNodes)
        positions.append(vertices[node.vertexInd]);
    return positions;
}

QVector<int> Graph::nodeVertexIndices() const
{
    QVector<int> indices;
    indices.reserve(graphNodes.size());
    for (const Node& node : graphNodes)
        indices.append(node.vertexInd);
    return indices;
}

QVector<QVector<double>> Graph::nodesRotations() const
{
    return DynamicGraph::nodesRotations(graphNodes);
}

QVector<QVector<double>> Graph::nodesTranslations() const
{
    return DynamicGraph::nodesTranslations(graphNodes);
}

void Graph::setNodesTransforms(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations)
{
    DynamicGraph::setNodesTransforms(graphNodes, rotations, translations);
}

int Graph::totalChildrenCount() const
{
    return DynamicGraph::totalChildrenCount(graphNodes);
}

QVector<QVector3D> Graph::deformedNodes() const
{
    QVector<QVector3D> moved;
    moved.reserve(graphNodes.size());
    for (const Node& node : graphNodes) {
        const QVector3D g = vertices[node.vertexInd];
        moved.append(QVector3D(float(double(g.x()) + node.t[0]), float(double(g.y()) + node.t[1]),
                               float(double(g.z()) + node.t[2])));
    }
    return moved;
}

void Graph::scaleVertices(float factor)
{
    for (QVector3D& v : vertices)
        v *= factor;
}

void Graph::setNodeRotation(int node, const QVector<double>& r)
{
    graphNodes[node].r = r;
}

void Graph::setNodeTranslation(int node, const QVector<double>& t)
{
    graphNodes[node].t = t;
}

QList<int> vertexIndicesOfNodes(const QVector<Node>& nodes)
{
    QList<int> indices;
    indices.reserve(nodes.size());
    for (const Node& node : nodes)
        indices.append(node.vertexInd);
    return indices;
}

QVector<QVector<double>> nodesRotations(const QVector<Node>& nodes)
{
    QVector<QVector<double>> rotations;
    rotations.reserve(nodes.size());
    for (const Node& node : nodes)
        rotations.append(node.r);
    return rotations;
}

QVector<QVector<double>> nodesTranslations(const QVector<Node>& nodes)
{
    QVector<QVector<double>> translations;
    translations.reserve(nodes.size());
    for (const Node& node : nodes)
        translations.append(node.t);
    return translations;
}

void setNodesTransforms(QVector<Node>& nodes, const QVector<QVector<double>>& rotations,
                        const QVector<QVector<double>>& translations)
{
    for (int i = 0; i < nodes.size(); ++i) {
        nodes[i].r = rotations[i];
        nodes[i].t = translations[i];
    }
}

int totalChildrenCount(const QVector<Node>& nodes)
{
    int count = 0;
    for (const Node& node : nodes)
        count += node.children.size();
    return count;
}

QList<int> childrenVertexIndices(const QVector<Node>& nodes)
{
    QList<int> indices;
    for (const Node& node : nodes)
        for (const ChildNode& child : node.children)
            indices.append(child.vertexInd);
    return indices;
}

QList<int> childrenVertexIndices(const QVector<ChildNode>& nodes)
{
    QList<int> indices;
    for (const ChildNode& node : nodes)
        for (const ChildNode& child : node.children)
            indices.append(child.vertexInd);
    return indices;
}

}  // namespace DynamicGraph
