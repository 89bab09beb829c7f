#include "registration/SubsetDeformation.h"

#include "numerics/Quaternion.h"

#include <utility>

namespace NonRigidRegistration {

Vec<double> deformVertexSubset(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                               const QVector3D& vertex, const QVector<QVector3D>& nodes, const QVector<double>& weights)
{
    Vec<double> result(3, 0.0);
    for (int i = 0; i < nodes.size(); ++i) {
        const QVector<double>& r = rotations[i];
        const QVector<QVector<double>> R = Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
        const Vec<double> d(vertex - nodes[i]);  // single-precision difference, then widened
        Vec<double> term = ((R * d) + Vec<double>(nodes[i])) + Vec<double>(translations[i]);
        term = std::move(term) * weights[i];
        result = i == 0 ? std::move(term) : std::move(result) + term;
    }
    return result;
}

Vec<DerVal> deformVertexSubset(const QVector<QVector<DerVal>>& rsDer, const QVector<QVector<DerVal>>& tsDer,
                               const QVector3D& vertex, const QVector<QVector3D>& nodes, const QVector<double>& weights)
{
    Vec<DerVal> result(3, DerVal(0.0));
    for (int i = 0; i < nodes.size(); ++i) {
        const QVector<DerVal>& r = rsDer[i];
        const QVector<QVector<DerVal>> R = Quaternion<DerVal>(r[0], r[1], r[2]).rotationMatrix();
        const Vec<DerVal> d(vertex - nodes[i]);
        Vec<DerVal> term = ((R * d) + Vec<DerVal>(nodes[i])) + Vec<DerVal>(tsDer[i]);
        term = std::move(term) * DerVal(weights[i]);
        result = i == 0 ? std::move(term) : std::move(result) + term;
    }
    return result;
}

Vec<double> deformNormalSubset(const QVector<QVector<double>>& rotations, const QVector3D& normal,
                               const QVector<QVector3D>& nodes, const QVector<double>& weights)
{
    const Vec<double> n(normal);
    Vec<double> acc(3, 0.0);
    for (int i = 0; i < nodes.size(); ++i) {
        const QVector<double>& r = rotations[i];
        const QVector<QVector<double>> R = Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
        Vec<double> term = (R * n) * weights[i];
        acc = i == 0 ? std::move(term) : std::move(acc) + term;
    }
    const double length = acc.norm();
    return std::move(acc) / length;
}

}  // namespace NonRigidRegistration
