#include "registration/NonRigidRegistrationAutoLevels.h"

#include "registration/DynamicGraph.h"
#include "registration/NeighboursTable.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "registration/NonRigidRegistrationSparseLM.h"

#include <QDebug>

#include <memory>

namespace NonRigidRegistration {

namespace {

// Fixed weights of every solve.
const double kControlWeight = 10.0;
const double kClosestPointWeight = 1.0;
const double kPointToPointWeight = 0.1;
const double kPointToPlaneWeight = 1.0;

bool isInterrupted(const NonRigidRegistrationInteractiveUpdater* updater)
{
    return updater && updater->interrupted;
}

bool hasEmptyRow(const QVector<QVector<double>>& table)
{
    for (const QVector<double>& row : table)
        if (row.isEmpty())
            return true;
    return false;
}

// One list per node. Vertices without a row count as rows of zeros, so that the node count
// never comes from an empty first row.
QVector<QList<int>> neighboursOf(const QVector<QVector<double>>& table, int nodeCount)
{
    QVector<QList<int>> neighbours;
    if (hasEmptyRow(table)) {
        QVector<QVector<double>> filled = table;
        const QVector<double> zeros(nodeCount, 0.0);  // shared by every filled row
        for (QVector<double>& row : filled)
            if (row.isEmpty())
                row = zeros;
        neighbours = buildNeighboursTable(filled);
    } else {
        neighbours = buildNeighboursTable(table);
    }
    neighbours.resize(nodeCount);
    return neighbours;
}

// The residuals of a vertex without a row would depend on no node: they are left out.
void dropVerticesWithoutRow(const QVector<QVector<double>>& table, QVector<int>& fitIndices,
                            QVector<int>& controlIndices, QVector<QVector3D>& controlVertices)
{
    auto hasRow = [&](int v) { return v >= 0 && v < table.size() && !table[v].isEmpty(); };
    QVector<int> keptFit;
    for (int v : fitIndices)
        if (hasRow(v))
            keptFit.append(v);
    fitIndices = keptFit;
    QVector<int> keptControl;
    QVector<QVector3D> keptTargets;
    for (int i = 0; i < controlIndices.size(); ++i) {
        if (!hasRow(controlIndices[i]))
            continue;
        keptControl.append(controlIndices[i]);
        keptTargets.append(controlVertices.value(i));
    }
    controlIndices = keptControl;
    controlVertices = keptTargets;
}

}  // namespace

void NonRigidRegistrationAutoLevels::nonRigidRegistrationAutoLevels(
    const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals, const QVector<QVector3D>& dstVertices,
    const QVector<QVector3D>& dstNormals, const DynamicGraph::Graph* graph, const KDTree::NodeBase* dstKdTree,
    const QVector<bool>& dstMask, const QVector<bool>& srcFitMask, const QVector<int>& srcControlIndices,
    const QVector<QVector3D>& dstControlVertices, QVector<QVector3D>& srcVerticesDeformed,
    QVector<QVector3D>& srcNormalsDeformed, double initialRigidness, double rigidnessDivisor, int maxIterations,
    NonRigidRegistrationInteractiveUpdater* updater)
{
    QVector<int> srcFitIndices;
    for (int i = 0; i < srcVertices.size(); ++i)
        if (srcFitMask.value(i, false))
            srcFitIndices.append(i);

    srcNormalsDeformed = srcNormals;
    std::unique_ptr<DynamicGraph::Graph> clone(graph ? graph->clone() : nullptr);
    if (!clone) {
        srcVerticesDeformed = srcVertices;
        return;
    }
    // A graph that needed no coarsening still has its nodes to solve on.
    const int nLevels = qMax(clone->levelsCount(), 1);
    QVector<QVector<double>> weights;
    bool solvedAny = false;
    double rigidness = initialRigidness;

    for (int level = 0; level < nLevels; ++level) {
        qDebug() << "Level:" << level;
        if (isInterrupted(updater))
            break;
        if (level > 0)
            clone->subdivide();

        const QVector<QVector3D> nodes = clone->nodes();
        QVector<QVector<double>> rotations = clone->nodesRotations();
        QVector<QVector<double>> translations = clone->nodesTranslations();
        weights = clone->weightsTable();
        const QVector<QList<int>> neighboursTable = neighboursOf(weights, nodes.size());
        const QVector<int> nodeVertices = clone->nodeVertexIndices();

        // Nodes in free regions keep the plain regularisation weight on every level.
        QVector<double> eRegMultipliers(nodes.size(), rigidness);
        for (int j = 0; j < nodes.size(); ++j)
            if (!srcFitMask.value(nodeVertices[j], false))
                eRegMultipliers[j] = 1.0;

        QVector<int> fitIndices = srcFitIndices;
        QVector<int> controlIndices = srcControlIndices;
        QVector<QVector3D> controlVertices = dstControlVertices;
        if (hasEmptyRow(weights) || weights.size() < srcVertices.size())
            dropVerticesWithoutRow(weights, fitIndices, controlIndices, controlVertices);

        if (level == 0 && updater)
            emit updater->levelChanged(0, nLevels);
        qDebug() << "Starting optimization";
        if (!nodes.isEmpty()) {
            nonRigidRegistrationSparseLM(rotations, translations, nodes, weights, neighboursTable, srcVertices,
                                         srcNormals, dstVertices, dstNormals, dstKdTree, dstMask, fitIndices,
                                         controlIndices, controlVertices, kControlWeight, eRegMultipliers,
                                         kClosestPointWeight, kPointToPointWeight, kPointToPlaneWeight,
                                         double(maxIterations), updater);
        }
        clone->setNodesTransforms(rotations, translations);
        solvedAny = true;
        rigidness = rigidness / rigidnessDivisor;
        if (updater)
            emit updater->levelChanged(level + 1, nLevels);
    }

    srcVerticesDeformed = solvedAny ? clone->deformVertices(weights) : srcVertices;
}

}  // namespace NonRigidRegistration
