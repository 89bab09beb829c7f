#include "registration/EmbeddedDeformation.h"

#include "numerics/Quaternion.h"

#include <algorithm>
#include <cmath>
#include <cstdint>
#include <cstring>

namespace NonRigidRegistration {

namespace {

QVector<QVector<double>> rotationOf(const QVector<double>& r)
{
    return Quaternion<double>(r[0], r[1], r[2]).rotationMatrix();
}

// A node's motion, built once per call of the whole-array forms. The arithmetic below
// repeats the per-point formulas operation for operation, so both give the same values.
struct NodeMotion {
    double r[9];
    QVector3D g;
    double gd[3];
    double t[3];
};

QVector<NodeMotion> nodeMotions(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>* translations,
                                const QVector<QVector3D>& nodePositions)
{
    QVector<NodeMotion> motions(nodePositions.size());
    for (int m = 0; m < nodePositions.size(); ++m) {
        NodeMotion& motion = motions[m];
        const QVector<QVector<double>> rows = rotationOf(rotations[m]);
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                motion.r[3 * i + j] = rows[i][j];
        motion.g = nodePositions[m];
        for (int i = 0; i < 3; ++i) {
            motion.gd[i] = double(motion.g[i]);
            motion.t[i] = translations ? (*translations)[m][i] : 0.0;
        }
    }
    return motions;
}

// Calls visit(m, w[m]) for every m < count whose weight is not zero (NaN included), in
// order. Rows are long and mostly zero, and reading them is most of the work: a block is
// passed over when all its bit patterns are zero apart from the sign, that is all its
// weights compare equal to zero.
template <typename Visit>
inline void forEachWeight(const double* w, int count, Visit visit)
{
    constexpr int block = 8;
    int m = 0;
    for (; m + block <= count; m += block) {
        std::uint64_t bits[block];
        std::memcpy(bits, w + m, sizeof bits);
        std::uint64_t any = 0;
        for (int j = 0; j < block; ++j)
            any |= bits[j] << 1;
        if (any == 0)
            continue;
        for (int j = 0; j < block; ++j)
            if (w[m + j] != 0.0)
                visit(m + j, w[m + j]);
    }
    for (; m < count; ++m)
        if (w[m] != 0.0)
            visit(m, w[m]);
}

inline void rotate(const double* r, const double* d, double* out)
{
    for (int i = 0; i < 3; ++i) {
        double s = r[3 * i] * d[0];
        s = s + r[3 * i + 1] * d[1];
        s = s + r[3 * i + 2] * d[2];
        out[i] = s;
    }
}

// Skipping a zero weight drops a term that is exactly zero; where the whole sum is zero
// only the sign of that zero can differ from the term-by-term sum.
inline void accumulate(double* acc, bool& first, const double* term, double w)
{
    for (int i = 0; i < 3; ++i) {
        const double weighted = term[i] * w;
        acc[i] = first ? weighted : acc[i] + weighted;
    }
    first = false;
}

inline void addVertexTerm(const NodeMotion& motion, const QVector3D& v, double w, double* acc, bool& first)
{
    const QVector3D diff = v - motion.g;  // single precision, as the template's positions
    const double d[3] = {double(diff.x()), double(diff.y()), double(diff.z())};
    double p[3];
    rotate(motion.r, d, p);
    for (int i = 0; i < 3; ++i)
        p[i] = (p[i] + motion.gd[i]) + motion.t[i];
    accumulate(acc, first, p, w);
}

inline void addNormalTerm(const NodeMotion& motion, const double* n, double w, double* acc, bool& first)
{
    double p[3];
    rotate(motion.r, n, p);
    accumulate(acc, first, p, w);
}

QVector3D toVector(const double* acc)
{
    return QVector3D(float(acc[0]), float(acc[1]), float(acc[2]));
}

QVector3D normalizedOrZero(const double* acc)
{
    const double length = std::sqrt((acc[0] * acc[0] + acc[1] * acc[1]) + acc[2] * acc[2]);
    if (length == 0.0)
        return QVector3D(0, 0, 0);
    return QVector3D(float(acc[0] / length), float(acc[1] / length), float(acc[2] / length));
}

int weightCount(const QVector<NodeMotion>& motions, const QVector<double>& weights)
{
    return std::min(int(motions.size()), int(weights.size()));
}

// A vertex without a row (a table cut short) has no weights: it gets no term at all.
inline const QVector<double>& rowOf(const QVector<QVector<double>>& table, int j)
{
    static const QVector<double> none;
    return j < table.size() ? table[j] : none;
}

}  // namespace

Vec<double> deformVertexByGraph(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                                const QVector3D& vertex, const QVector<QVector3D>& nodePositions,
                                const QVector<double>& weights)
{
    Vec<double> result(3, 0.0);
    for (int m = 0; m < nodePositions.size(); ++m) {
        const QVector3D g = nodePositions[m];
        const Vec<double> d(vertex - g);
        const Vec<double> term =
            ((rotationOf(rotations[m]) * d + Vec<double>(g)) + Vec<double>(translations[m])) * weights.value(m, 0.0);
        result = m == 0 ? term : result + term;
    }
    return result;
}

QVector<QVector3D> deformVerticesByGraph(const QVector<QVector3D>& vertices, const QVector<QVector<double>>& rotations,
                                         const QVector<QVector<double>>& translations,
                                         const QVector<QVector3D>& nodePositions,
                                         const QVector<QVector<double>>& weightsTable)
{
    const QVector<NodeMotion> motions = nodeMotions(rotations, &translations, nodePositions);
    QVector<QVector3D> deformed(vertices.size());
    for (int j = 0; j < vertices.size(); ++j) {
        const QVector<double>& row = rowOf(weightsTable, j);
        const QVector3D v = vertices[j];
        double acc[3] = {0.0, 0.0, 0.0};
        bool first = true;
        forEachWeight(row.constData(), weightCount(motions, row),
                      [&](int m, double w) { addVertexTerm(motions[m], v, w, acc, first); });
        deformed[j] = toVector(acc);
    }
    return deformed;
}

Vec<double> deformNormalByGraph(const QVector<QVector<double>>& rotations, const QVector3D& normal,
                                const QVector<QVector3D>& nodePositions, const QVector<double>& weights)
{
    const Vec<double> n(normal);
    Vec<double> acc(3, 0.0);
    for (int m = 0; m < nodePositions.size(); ++m) {
        const Vec<double> term = (rotationOf(rotations[m]) * n) * weights.value(m, 0.0);
        acc = m == 0 ? term : acc + term;
    }
    const double length = acc.norm();
    if (length == 0.0)
        return Vec<double>(3, 0.0);  // no direction to keep
    return acc / length;
}

QVector<QVector3D> deformNormalsByGraph(const QVector<QVector3D>& normals, const QVector<QVector<double>>& rotations,
                                        const QVector<QVector3D>& nodePositions,
                                        const QVector<QVector<double>>& weightsTable)
{
    const QVector<NodeMotion> motions = nodeMotions(rotations, nullptr, nodePositions);
    QVector<QVector3D> deformed(normals.size());
    for (int j = 0; j < normals.size(); ++j) {
        const QVector<double>& row = rowOf(weightsTable, j);
        const double n[3] = {double(normals[j].x()), double(normals[j].y()), double(normals[j].z())};
        double acc[3] = {0.0, 0.0, 0.0};
        bool first = true;
        forEachWeight(row.constData(), weightCount(motions, row),
                      [&](int m, double w) { addNormalTerm(motions[m], n, w, acc, first); });
        deformed[j] = normalizedOrZero(acc);
    }
    return deformed;
}

namespace {

// deformVerticesAndNormalsByGraph's pass, each vertex's weights visited by
// forEachWeightOf(j, visit) in ascending node order.
template <typename ForEachWeightOf>
void deformBothInOnePass(const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                         const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                         const QVector<QVector3D>& nodePositions, ForEachWeightOf forEachWeightOf,
                         QVector<QVector3D>* deformedVertices, QVector<QVector3D>* deformedNormals)
{
    const QVector<NodeMotion> motions = nodeMotions(rotations, &translations, nodePositions);
    QVector<QVector3D> movedVertices(vertices.size());
    QVector<QVector3D> turnedNormals(normals.size());
    const int count = std::max(vertices.size(), normals.size());
    for (int j = 0; j < count; ++j) {
        const bool hasVertex = j < vertices.size(), hasNormal = j < normals.size();
        const QVector3D v = hasVertex ? vertices[j] : QVector3D();
        const QVector3D normal = hasNormal ? normals[j] : QVector3D();
        const double n[3] = {double(normal.x()), double(normal.y()), double(normal.z())};
        double vertexAcc[3] = {0.0, 0.0, 0.0}, normalAcc[3] = {0.0, 0.0, 0.0};
        bool vertexFirst = true, normalFirst = true;
        // One read of the row serves both sums.
        forEachWeightOf(j, motions, [&](int m, double w) {
            if (hasVertex)
                addVertexTerm(motions[m], v, w, vertexAcc, vertexFirst);
            if (hasNormal)
                addNormalTerm(motions[m], n, w, normalAcc, normalFirst);
        });
        if (hasVertex)
            movedVertices[j] = toVector(vertexAcc);
        if (hasNormal)
            turnedNormals[j] = normalizedOrZero(normalAcc);
    }
    if (deformedVertices)
        *deformedVertices = movedVertices;
    if (deformedNormals)
        *deformedNormals = turnedNormals;
}

}  // namespace

void deformVerticesAndNormalsByGraph(const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                     const QVector<QVector<double>>& rotations,
                                     const QVector<QVector<double>>& translations,
                                     const QVector<QVector3D>& nodePositions,
                                     const QVector<QVector<double>>& weightsTable, QVector<QVector3D>* deformedVertices,
                                     QVector<QVector3D>* deformedNormals)
{
    deformBothInOnePass(
        vertices, normals, rotations, translations, nodePositions,
        [&](int j, const QVector<NodeMotion>& motions, auto visit) {
            const QVector<double>& row = rowOf(weightsTable, j);
            forEachWeight(row.constData(), weightCount(motions, row), visit);
        },
        deformedVertices, deformedNormals);
}

void deformVerticesAndNormalsByInfluence(const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                         const QVector<QVector<double>>& rotations,
                                         const QVector<QVector<double>>& translations,
                                         const QVector<QVector3D>& nodePositions,
                                         const QVector<VertexInfluence>& influence,
                                         QVector<QVector3D>* deformedVertices, QVector<QVector3D>* deformedNormals)
{
    deformBothInOnePass(
        vertices, normals, rotations, translations, nodePositions,
        [&](int j, const QVector<NodeMotion>& motions, auto visit) {
            if (j >= influence.size())
                return;  // a vertex without a row gets no term
            const VertexInfluence& s = influence[j];
            for (int i = 0; i < s.nodes.size(); ++i)
                if (s.nodes[i] < motions.size())
                    visit(s.nodes[i], s.weights[i]);
        },
        deformedVertices, deformedNormals);
}

QVector<QVector3D> deformNodes(const QVector<QVector3D>& nodePositions, const QVector<QVector<double>>& translations)
{
    QVector<QVector3D> moved(nodePositions.size());
    for (int i = 0; i < nodePositions.size(); ++i) {
        const QVector3D g = nodePositions[i];
        const QVector<double>& t = translations[i];
        moved[i] = QVector3D(float(double(g.x()) + t[0]), float(double(g.y()) + t[1]), float(double(g.z()) + t[2]));
    }
    return moved;
}

QVector<QVector3D> scaleVertices(const QVector<QVector3D>& vertices, float factor)
{
    QVector<QVector3D> scaled(vertices.size());
    for (int i = 0; i < vertices.size(); ++i)
        scaled[i] = vertices[i] * factor;
    return scaled;
}

QVector<QVector3D> transformVertices(const QVector<QVector3D>& vertices, const QMatrix4x4& matrix)
{
    QVector<QVector3D> mapped(vertices.size());
    for (int i = 0; i < vertices.size(); ++i)
        mapped[i] = matrix.map(vertices[i]);
    return mapped;
}

QVector<QVector3D> transformNormals(const QVector<QVector3D>& normals, const QMatrix4x4& matrix)
{
    const QMatrix4x4 normalMatrix = matrix.inverted().transposed();
    QVector<QVector3D> mapped(normals.size());
    for (int i = 0; i < normals.size(); ++i)
        mapped[i] = normalMatrix.mapVector(normals[i]).normalized();
    return mapped;
}

}  // namespace NonRigidRegistration
