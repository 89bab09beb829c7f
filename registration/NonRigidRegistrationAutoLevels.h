#pragma once
// The coarse-to-fine registration run: the run record the registration controller fills, and
// the level loop that fits the template onto the target one graph level at a time, from the
// coarsest layer of the deformation graph down, on a clone of the graph.
#include <QVector3D>
#include <QVector>

namespace DynamicGraph {
class Graph;
}
namespace KDTree {
class NodeBase;
}

namespace NonRigidRegistration {

class NonRigidRegistrationInteractiveUpdater;

// Everything one run needs; filled on the GUI thread and only read by the worker.
struct NonRigidRegistrationAutoLevelsParams {
    QVector<QVector3D> srcVertices;
    QVector<QVector3D> srcNormals;
    QVector<QVector3D> dstVertices;
    QVector<QVector3D> dstNormals;
    const DynamicGraph::Graph* graph = nullptr;   // not owned
    const KDTree::NodeBase* dstKdTree = nullptr;  // over dstVertices; not owned
    QVector<bool> dstMask;                        // per target vertex: true attracts nothing
    QVector<bool> srcFitMask;                     // per template vertex: true takes part in the closest-point term
    QVector<int> srcControlIndices;
    QVector<QVector3D> dstControlVertices;
    double initialRigidness = 0.0;                              // regularisation weight of the first level
    double rigidnessDivisor = 1.0;                              // the weight is divided by it after every level
    int maxIterations = 0;                                      // per solve
    NonRigidRegistrationInteractiveUpdater* updater = nullptr;  // null: no progress, no interruption
};

class NonRigidRegistrationAutoLevels {
public:
    // Solves the graph's levels coarse to fine (one level on the graph's own nodes when it has
    // none to coarsen), and writes the template deformed by the last level's solution; the
    // normals come back unchanged. Through the updater it reports levelChanged(0, n) before the
    // first solve and levelChanged(L + 1, n) after level L, and stops before the next level
    // once interrupted; interrupted before any level, it returns the template as given. A
    // vertex that reaches no node of a level takes part in none of its residuals and keeps its
    // rest position.
    static void nonRigidRegistrationAutoLevels(
        const QVector<QVector3D>& srcVertices, const QVector<QVector3D>& srcNormals,
        const QVector<QVector3D>& dstVertices, const QVector<QVector3D>& dstNormals, const DynamicGraph::Graph* graph,
        const KDTree::NodeBase* dstKdTree, const QVector<bool>& dstMask, const QVector<bool>& srcFitMask,
        const QVector<int>& srcControlIndices, const QVector<QVector3D>& dstControlVertices,
        QVector<QVector3D>& srcVerticesDeformed, QVector<QVector3D>& srcNormalsDeformed, double initialRigidness,
        double rigidnessDivisor, int maxIterations, NonRigidRegistrationInteractiveUpdater* updater);
};

}  // namespace NonRigidRegistration
