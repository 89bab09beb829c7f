#include "registration/DynamicGraphTransforms.h"

#include "numerics/Quaternion.h"
#include "registration/EmbeddedDeformation.h"

#include <cmath>

namespace DynamicGraph {

QVector<double> deformVertexWithWeights(const QVector<QVector<double>>& rotations,
                                        const QVector<QVector<double>>& translations, const QVector3D& vertex,
                                        const QVector<QVector3D>& nodePositions, const QVector<double>& weights)
{
    const Vec<double> deformed =
        NonRigidRegistration::deformVertexByGraph(rotations, translations, vertex, nodePositions, weights);
    return {deformed[0], deformed[1], deformed[2]};
}

QVector<QVector3D> deformVerticesWithWeights(const QVector<QVector<double>>& rotations,
                                             const QVector<QVector<double>>& translations,
                                             const QVector<QVector3D>& vertices,
                                             const QVector<QVector3D>& nodePositions,
                                             const QVector<QVector<double>>& weightsTable)
{
    return NonRigidRegistration::deformVerticesByGraph(vertices, rotations, translations, nodePositions, weightsTable);
}

QVector<QQuaternion> rotationsToQuaternions(const QVector<QVector<double>>& rotations)
{
    QVector<QQuaternion> quaternions;
    quaternions.reserve(rotations.size());
    for (const QVector<double>& r : rotations) {
        const double a = r[0], b = r[1], c = r[2];
        const double g = a * a + b * b + c * c;
        quaternions.append(QQuaternion(float(2 * a / (1 + g)), float(2 * b / (1 + g)), float(2 * c / (1 + g)),
                                       float((1 - g) / (1 + g))));
    }
    return quaternions;
}

QQuaternion blendQuaternions(const QVector<QQuaternion>& quaternions, const QVector<double>& weights)
{
    const QQuaternion identity(1.0f, 0.0f, 0.0f, 0.0f);
    if (quaternions.isEmpty())
        return identity;
    QQuaternion acc;
    for (int i = 0; i < quaternions.size(); ++i) {
        const QQuaternion n = QQuaternion::nlerp(identity, quaternions[i], float(weights.value(i, 0.0)));
        acc = i == 0 ? n : acc * n;
    }
    return acc.normalized();
}

QVector<double> quaternionToRotationParameters(const QQuaternion& q)
{
    // q and -q are the same rotation; only -q has parameters at the pole z = -1.
    const bool atPole = 1.0 + double(q.z()) == 0.0;
    return Quaternion<double>(atPole ? -q : q).toParams();
}

Node transformChildNode(const ChildNode& child, const QVector3D& childPosition, const QVector<QVector3D>& nodePositions,
                        const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const QVector<double>& weights)
{
    const QVector<double> deformed =
        deformVertexWithWeights(rotations, translations, childPosition, nodePositions, weights);
    Node node;
    node.t = {deformed[0] - double(childPosition.x()), deformed[1] - double(childPosition.y()),
              deformed[2] - double(childPosition.z())};
    node.r = quaternionToRotationParameters(blendQuaternions(rotationsToQuaternions(rotations), weights));
    node.vertexInd = child.vertexInd;
    node.children = child.children;
    return node;
}

ChildNodeTransforms::ChildNodeTransforms(const QVector<QVector3D>& nodePositions,
                                         const QVector<QVector<double>>& rotations,
                                         const QVector<QVector<double>>& translations)
    : motions_(nodePositions.size()), quaternions_(rotationsToQuaternions(rotations))
{
    for (int m = 0; m < nodePositions.size(); ++m) {
        Motion& motion = motions_[m];
        const QVector<double>& r = rotations[m];
        const QVector<QVector<double>> rows = Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                motion.r[3 * i + j] = rows[i][j];
        motion.g = nodePositions[m];
        for (int i = 0; i < 3; ++i)
            motion.t[i] = translations[m][i];
    }
}

Node ChildNodeTransforms::operator()(const ChildNode& child, const QVector3D& childPosition,
                                     const QVector<double>& weights) const
{
    // deformVertexWithWeights term by term, zero weights included, so that every sum and every
    // sign of zero comes out as there.
    double deformed[3] = {0.0, 0.0, 0.0};
    for (int m = 0; m < motions_.size(); ++m) {
        const Motion& motion = motions_[m];
        const QVector3D diff = childPosition - motion.g;
        const double d[3] = {double(diff.x()), double(diff.y()), double(diff.z())};
        const double w = weights.value(m, 0.0);
        for (int i = 0; i < 3; ++i) {
            double rotated = motion.r[3 * i] * d[0];
            rotated = rotated + motion.r[3 * i + 1] * d[1];
            rotated = rotated + motion.r[3 * i + 2] * d[2];
            const double term = ((rotated + double(motion.g[i])) + motion.t[i]) * w;
            deformed[i] = m == 0 ? term : deformed[i] + term;
        }
    }
    Node node;
    node.t = {deformed[0] - double(childPosition.x()), deformed[1] - double(childPosition.y()),
              deformed[2] - double(childPosition.z())};
    node.r = quaternionToRotationParameters(blendQuaternions(quaternions_, weights));
    node.vertexInd = child.vertexInd;
    node.children = child.children;
    return node;
}

QQuaternion rotationBetween(const QVector3D& a, const QVector3D& b)
{
    const float dot = QVector3D::dotProduct(a, b);
    if (dot > 0.999999f)
        return QQuaternion();
    const QQuaternion turn =
        QQuaternion(dot + std::sqrt(a.lengthSquared() * b.lengthSquared()), QVector3D::crossProduct(a, b)).normalized();
    if (!turn.isNull() || a.isNull() || b.isNull())
        return turn.isNull() ? QQuaternion() : turn;
    // Opposite directions: any axis across a gives the half turn.
    QVector3D axis = QVector3D::crossProduct(a, QVector3D(1, 0, 0));
    if (axis.lengthSquared() < 1e-6f * a.lengthSquared())
        axis = QVector3D::crossProduct(a, QVector3D(0, 1, 0));
    return QQuaternion(0.0f, axis.normalized());
}

QVector3D toVector3D(const QVector<double>& xyz)
{
    return QVector3D(float(xyz[0]), float(xyz[1]), float(xyz[2]));
}

}  // namespace DynamicGraph
