#pragma once
// The inputs of one registration solve that stay fixed while the solver moves the nodes, as
// one record: the energy terms read it, the solver's data records are one, and the benchmarks
// build one. Held by value: Qt's containers share their data, so filling a record copies no
// elements.
#include "registration/InfluenceTable.h"

#include <QList>
#include <QVector3D>
#include <QVector>

namespace KDTree {
class NodeBase;
}

namespace NonRigidRegistration {

// What the closest-point term reads: the graph, the template and its fit vertices, the target.
struct ClosestPointInputs {
    QVector<QVector3D> nodes;
    QVector<QVector<double>> weightsTable;
    QVector<QVector3D> srcVertices;
    QVector<QVector3D> srcNormals;
    QVector<int> srcFitIndices;
    QVector<QVector3D> dstVertices;
    QVector<QVector3D> dstNormals;
    const KDTree::NodeBase* dstKdTree = nullptr;  // not owned
    QVector<bool> dstMask;
    double alphaPointToPoint = 0.0;
    double alphaPointToPlane = 0.0;
    double eIcpWeight = 0.0;
    // influenceTableOf(weightsTable, nodes), filled by the solver once per solve; left empty,
    // the terms pick each vertex's influence nodes out of weightsTable at every evaluation.
    QVector<VertexInfluence> influence{};
};

// What the control-point term adds: template vertices pulled onto given target points.
struct ControlPointInputs {
    QVector<int> srcControlIndices;
    QVector<QVector3D> dstControlVertices;
    double eConWeight = 0.0;
};

// What the regularisation term adds: the node pairs and their weights, one per node
// (perNode) or eRegWeight for every node.
struct RegularisationInputs {
    QVector<QList<int>> neighboursTable;
    QVector<double> eRegMultipliers;
    double eRegWeight = 0.0;
    bool perNode = true;
};

// Everything one solve reads, under the names of the solver's arguments.
struct RegistrationInputs : ClosestPointInputs, ControlPointInputs, RegularisationInputs {};

}  // namespace NonRigidRegistration
