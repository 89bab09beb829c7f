#pragma once
// Node transforms of the deformation graph: the deformation of points by the nodes, the
// quaternion blend, and the transform a child node inherits when its level is subdivided.
// Rotations and translations hold one three-value entry per node, node positions one rest
// position per node, all in node order; weights are used exactly as stored.
#include "registration/DynamicGraph.h"

#include <QQuaternion>
#include <QVector3D>
#include <QVector>

namespace DynamicGraph {

// Σ w_m (R_m (v - g_m) + g_m + t_m) over every node; three doubles.
QVector<double> deformVertexWithWeights(const QVector<QVector<double>>& rotations,
                                        const QVector<QVector<double>>& translations, const QVector3D& vertex,
                                        const QVector<QVector3D>& nodePositions, const QVector<double>& weights);

// Row i of the table deforms vertex i.
QVector<QVector3D> deformVerticesWithWeights(const QVector<QVector<double>>& rotations,
                                             const QVector<QVector<double>>& translations,
                                             const QVector<QVector3D>& vertices,
                                             const QVector<QVector3D>& nodePositions,
                                             const QVector<QVector<double>>& weightsTable);

// The unit quaternion of each node's rotation parameters, in single precision.
QVector<QQuaternion> rotationsToQuaternions(const QVector<QVector<double>>& rotations);

// Product n_0 · n_1 · ... of the nlerps from the identity towards each quaternion by its
// weight, normalised; the identity for an empty list.
QQuaternion blendQuaternions(const QVector<QQuaternion>& quaternions, const QVector<double>& weights);

// Rotation parameters of a unit quaternion. At the pole of the parameter form (1 + z = 0)
// the equal rotation -q is converted instead, so the parameters stay finite.
QVector<double> quaternionToRotationParameters(const QQuaternion& q);

// The node a child becomes when its parent level is subdivided: its translation is the
// displacement the parent level gives its vertex, its rotation the blend of the parents'
// rotations with the child's weights row.
Node transformChildNode(const ChildNode& child, const QVector3D& childPosition, const QVector<QVector3D>& nodePositions,
                        const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<double>& weights);

// transformChildNode for the children of one set of nodes: what depends on the nodes alone (their
// rotation matrices and quaternions) is taken once, so a child costs one pass over its weights.
// Gives the values transformChildNode gives, bit for bit; may be used from many threads at once.
class ChildNodeTransforms {
public:
    ChildNodeTransforms(const QVector<QVector3D>& nodePositions, const QVector<QVector<double>>& rotations,
                        const QVector<QVector<double>>& translations);

    Node operator()(const ChildNode& child, const QVector3D& childPosition, const QVector<double>& weights) const;

private:
    struct Motion {
        double r[9];  // rotation matrix, row after row
        QVector3D g;
        double t[3];
    };
    QVector<Motion> motions_;
    QVector<QQuaternion> quaternions_;
};

// The rotation turning direction a onto direction b (identity when they nearly agree).
QQuaternion rotationBetween(const QVector3D& a, const QVector3D& b);

// Three doubles (x, y, z) as a single-precision vector.
QVector3D toVector3D(const QVector<double>& xyz);

}  // namespace DynamicGraph
