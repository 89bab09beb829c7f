#include "registration/ClosestPointTerm.h"

#include "numerics/ParallelChunks.h"
#include "numerics/Quaternion.h"
#include "numerics/Vector.h"
#include "registration/DifferentiableParameters.h"
#include "registration/InlineRotation.h"
#include "registration/InlineSubsetDeformation.h"
#include "registration/SubsetDeformation.h"
#include "spatial/KDTree.h"

#include <algorithm>
#include <cmath>
#include <utility>
#include <vector>

namespace NonRigidRegistration {

namespace {

// Below 45 degrees the normals agree well enough for the vertex to be pulled.
const double kGateAngle = 0.7853981633974483;

// Blocks of at least this many rows are spread over the thread pool, in chunks of this size.
const int kParallelRows = 2048;
const int kChunkRows = 256;

// What the nearest target vertex of a deformed position contributes to its residual: the
// vertex and its normal, and the product of gate and mask (0: the residual is exactly 0).
struct Correspondence {
    bool found = false;
    double b[3] = {0.0, 0.0, 0.0};
    double n[3] = {0.0, 0.0, 0.0};
    double gateTimesMask = 0.0;
};

// angleBetweenVectors (DifferentiableParameters.h) of two triples, with its arithmetic.
double angleBetweenTriples(const double a[3], const double b[3])
{
    long double dot = 0.0L, aa = 0.0L, bb = 0.0L;
    for (int i = 0; i < 3; ++i) {
        const long double x = a[i];
        dot += x * (long double)b[i];
        aa += x * x;
    }
    for (int i = 0; i < 3; ++i)
        bb += (long double)b[i] * (long double)b[i];
    const long double quotient = dot / (std::sqrt(aa) * std::sqrt(bb));
    return std::acos(double(quotient));
}

Correspondence findCorrespondence(const double c[3], const double deformedNormal[3], const ClosestPointInputs& in)
{
    Correspondence result;
    const QVector3D query{float(c[0]), float(c[1]), float(c[2])};
    const int g = in.dstKdTree ? in.dstKdTree->findNearestPointInd(query, in.dstVertices, nullptr) : -1;
    if (g < 0)
        return result;  // an empty target attracts nothing
    result.found = true;
    const QVector3D& b = in.dstVertices[g];
    const QVector3D& n = in.dstNormals[g];
    for (int i = 0; i < 3; ++i) {
        result.b[i] = double(b[i]);
        result.n[i] = double(n[i]);
    }
    const double theta = angleBetweenTriples(deformedNormal, result.n);
    const double gate = theta < kGateAngle ? 1.0 : 0.0;  // NaN closes the gate too
    const double mask = in.dstMask[g] ? 0.0 : 1.0;
    result.gateTimesMask = gate * mask;
    return result;
}

// Every node's rotation matrix, formed once per evaluation of the block by
// Quaternion<double>::rotationMatrix itself instead of once per vertex it moves.
struct RotationMatrix {
    double r[3][3];
};

QVector<RotationMatrix> rotationMatricesOf(const QVector<QVector<double>>& rotations)
{
    QVector<RotationMatrix> matrices(rotations.size());
    for (int m = 0; m < rotations.size(); ++m) {
        const QVector<double>& p = rotations[m];
        const QVector<QVector<double>> rows = Quaternion<double>(p[0], p[1], p[2]).rotationMatrix();
        for (int i = 0; i < 3; ++i)
            for (int j = 0; j < 3; ++j)
                matrices[m].r[i][j] = rows[i][j];
    }
    return matrices;
}

// Row i of R times d as Vec's matrix product forms it: r = r0 d0, then r + r1 d1, r + r2 d2.
inline double rowTimes(const double* row, const double* d)
{
    double r = row[0] * d[0];
    r = r + row[1] * d[1];
    r = r + row[2] * d[2];
    return r;
}

// deformVertexSubset (double) with the nodes' matrices looked up: the same operations in
// the same order, without the per-vertex matrices and vectors.
void deformVertexThrough(const QVector<RotationMatrix>& matrices, const QList<int>& nodes,
                         const QVector<QVector<double>>& translations, const QVector3D& vertex,
                         const QVector<QVector3D>& positions, const QVector<double>& weights, double acc[3])
{
    acc[0] = acc[1] = acc[2] = 0.0;
    for (int i = 0; i < positions.size(); ++i) {
        const RotationMatrix& R = matrices[nodes[i]];
        const QVector3D diff = vertex - positions[i];  // single-precision difference, then widened
        const double d[3] = {double(diff.x()), double(diff.y()), double(diff.z())};
        const QVector<double>& t = translations[nodes[i]];
        const double g[3] = {double(positions[i].x()), double(positions[i].y()), double(positions[i].z())};
        for (int j = 0; j < 3; ++j) {
            const double term = ((rowTimes(R.r[j], d) + g[j]) + t[j]) * weights[i];
            acc[j] = i == 0 ? term : acc[j] + term;
        }
    }
}

// deformNormalSubset (double) likewise: no node (or a zero sum) gives NaN components.
void deformNormalThrough(const QVector<RotationMatrix>& matrices, const QList<int>& nodes, const QVector3D& normal,
                         const QVector<double>& weights, double out[3])
{
    const double n[3] = {double(normal.x()), double(normal.y()), double(normal.z())};
    double acc[3] = {0.0, 0.0, 0.0};
    for (int i = 0; i < nodes.size(); ++i) {
        const RotationMatrix& R = matrices[nodes[i]];
        for (int j = 0; j < 3; ++j) {
            const double term = rowTimes(R.r[j], n) * weights[i];
            acc[j] = i == 0 ? term : acc[j] + term;
        }
    }
    double squares = acc[0] * acc[0];
    squares = squares + acc[1] * acc[1];
    squares = squares + acc[2] * acc[2];
    const double length = std::sqrt(squares);
    for (int j = 0; j < 3; ++j)
        out[j] = acc[j] / length;
}

// The influence nodes of a vertex and their data, picked out of the per-node tables.
struct InfluenceSubset {
    QList<int> nodes;
    QVector<QVector<double>> rotations;
    QVector<QVector<double>> translations;
    QVector<QVector3D> positions;
    QVector<double> weights;
};

// The parameter subsets are taken for the differentiated form only (withParameters).
InfluenceSubset influenceOf(int v, const QVector<QVector<double>>& rotations,
                            const QVector<QVector<double>>& translations, const ClosestPointInputs& in,
                            bool withParameters)
{
    InfluenceSubset s;
    if (!in.influence.isEmpty()) {
        // Picked once for the solve: the same lists, shared.
        const VertexInfluence& picked = in.influence[v];
        s.nodes = picked.nodes;
        s.positions = picked.positions;
        s.weights = picked.weights;
    } else {
        const QVector<double>& row = in.weightsTable[v];
        s.nodes = getNonZeroElementIndices(row);
        s.positions = subset(in.nodes, s.nodes);
        s.weights = subset(row, s.nodes);
    }
    if (withParameters) {
        s.rotations = subset(rotations, s.nodes);
        s.translations = subset(translations, s.nodes);
    }
    return s;
}

double closestPointValue(int v, const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                         const ClosestPointInputs& in, const QVector<RotationMatrix>& matrices)
{
    // The lists picked once for the solve are read in place.
    InfluenceSubset picked;
    if (in.influence.isEmpty())
        picked = influenceOf(v, rotations, translations, in, false);
    const QList<int>& nodes = in.influence.isEmpty() ? picked.nodes : in.influence[v].nodes;
    const QVector<QVector3D>& positions = in.influence.isEmpty() ? picked.positions : in.influence[v].positions;
    const QVector<double>& weights = in.influence.isEmpty() ? picked.weights : in.influence[v].weights;
    double c[3], d[3];
    deformVertexThrough(matrices, nodes, translations, in.srcVertices[v], positions, weights, c);
    deformNormalThrough(matrices, nodes, in.srcNormals[v], weights, d);
    const Correspondence k = findCorrespondence(c, d, in);
    if (!k.found)
        return 0.0;
    const double* b = k.b;
    const double* n = k.n;
    // Vec's norm of b - c: the first square, the others added in turn, the root.
    const double e[3] = {b[0] - c[0], b[1] - c[1], b[2] - c[2]};
    double squares = e[0] * e[0];
    squares += e[1] * e[1];
    squares += e[2] * e[2];
    const double distance = std::sqrt(squares);
    const double plane = n[0] * (c[0] - b[0]) + n[1] * (c[1] - b[1]) + n[2] * (c[2] - b[2]);
    return k.gateTimesMask * (in.alphaPointToPoint * distance + in.alphaPointToPlane * plane) * in.eIcpWeight;
}

// The DerVal route: the reference every faster route is held against, and the one taken by
// lists too long for the inline slots.
DerVal closestPointDerThroughDerVal(int v, const QVector<QVector<double>>& rotations,
                                    const QVector<QVector<double>>& translations, const ClosestPointInputs& in,
                                    const QVector<RotationMatrix>& matrices, QList<int>& influence)
{
    const InfluenceSubset s = influenceOf(v, rotations, translations, in, true);
    influence = s.nodes;
    // The gate follows the plain parameters and carries no derivatives.
    double d[3];
    deformNormalThrough(matrices, s.nodes, in.srcNormals[v], s.weights, d);
    QVector<QVector<DerVal>> rsDer, tsDer;
    makeParamsDifferentiable(s.rotations, s.translations, rsDer, tsDer);
    const Vec<DerVal> c = deformVertexSubset(rsDer, tsDer, in.srcVertices[v], s.positions, s.weights);
    const double cValues[3] = {c[0].value, c[1].value, c[2].value};
    const Correspondence k = findCorrespondence(cValues, d, in);
    if (!k.found)
        return DerVal(0.0, 6 * s.nodes.size());
    const Vec<DerVal> b(QVector<DerVal>{DerVal(k.b[0]), DerVal(k.b[1]), DerVal(k.b[2])});
    const Vec<DerVal> n(QVector<DerVal>{DerVal(k.n[0]), DerVal(k.n[1]), DerVal(k.n[2])});
    const DerVal distance = (c - b).norm();
    DerVal plane = n[0] * (c[0] - b[0]);
    plane = std::move(plane) + n[1] * (c[1] - b[1]);
    plane = std::move(plane) + n[2] * (c[2] - b[2]);
    return (DerVal(k.gateTimesMask) *
            (DerVal(in.alphaPointToPoint) * distance + DerVal(in.alphaPointToPlane) * plane)) *
           DerVal(in.eIcpWeight);
}

// closestPointDerThroughDerVal with InlineDerVal arithmetic: the same operations on the same
// operands in the same order, so the same doubles, without a heap allocation per operation.
// The list must fit (inlineRouteFits) and the node's parameters be triples.
template <int Capacity>
DerVal closestPointDerInline(int v, const NodeRotationSlots* rotationSlots,
                             const QVector<QVector<double>>& translations, const ClosestPointInputs& in,
                             const QVector<RotationMatrix>& matrices, const InfluenceSubset& s)
{
    using V = InlineDerVal<Capacity>;
    double d[3];
    deformNormalThrough(matrices, s.nodes, in.srcNormals[v], s.weights, d);
    V c[3];
    deformVertexSubsetInline<Capacity>(rotationSlots, translations, s.nodes, in.srcVertices[v], s.positions, s.weights,
                                       c);
    const double cValues[3] = {c[0].value, c[1].value, c[2].value};
    const Correspondence k = findCorrespondence(cValues, d, in);
    if (!k.found)
        return DerVal(0.0, 6 * s.nodes.size());
    const V b[3] = {V(k.b[0]), V(k.b[1]), V(k.b[2])};
    const V n[3] = {V(k.n[0]), V(k.n[1]), V(k.n[2])};
    const V offset[3] = {c[0] - b[0], c[1] - b[1], c[2] - b[2]};
    const V distance = inlineNorm(offset);
    V plane = n[0] * (c[0] - b[0]);
    plane = plane + n[1] * (c[1] - b[1]);
    plane = plane + n[2] * (c[2] - b[2]);
    return ((V(k.gateTimesMask) * (V(in.alphaPointToPoint) * distance + V(in.alphaPointToPlane) * plane)) *
            V(in.eIcpWeight))
        .toDerVal();
}

// Which arithmetic a block's rows take: inline slots where a row fits them, or DerVal throughout.
enum class DerivativeRoute { inlineWhereItFits, throughDerVal };

DerivativeRoute routeFor(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations)
{
    return parametersAreTriples(rotations, translations) ? DerivativeRoute::inlineWhereItFits
                                                         : DerivativeRoute::throughDerVal;
}

// Every node's rotation matrix over its own slots, for the inline route (nothing for the other).
// Large blocks form them on the pool.
std::vector<NodeRotationSlots> rotationSlotsFor(const QVector<QVector<double>>& rotations, DerivativeRoute route,
                                                bool onPool)
{
    std::vector<NodeRotationSlots> nodeSlots;
    if (route != DerivativeRoute::inlineWhereItFits)
        return nodeSlots;
    nodeSlots.resize(size_t(rotations.size()));
    const auto form = [&](int first, int last) {
        for (int m = first; m < last; ++m)
            nodeSlots[size_t(m)] = nodeRotationSlots(rotations[m]);
    };
    if (onPool)
        Parallel::forChunks(rotations.size(), kChunkRows, form);
    else
        form(0, rotations.size());
    return nodeSlots;
}

// The row's residual: inline when the route allows it and the list fits the slots, else
// through DerVal.
DerVal closestPointDer(int v, const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                       const ClosestPointInputs& in, const QVector<RotationMatrix>& matrices,
                       const NodeRotationSlots* rotationSlots, DerivativeRoute route, QList<int>& influence)
{
    if (route == DerivativeRoute::throughDerVal)
        return closestPointDerThroughDerVal(v, rotations, translations, in, matrices, influence);
    const InfluenceSubset s = influenceOf(v, rotations, translations, in, false);
    if (inlineRouteFits<24>(s.nodes.size())) {
        influence = s.nodes;
        return closestPointDerInline<24>(v, rotationSlots, translations, in, matrices, s);
    }
    if (inlineRouteFits<48>(s.nodes.size())) {
        influence = s.nodes;
        return closestPointDerInline<48>(v, rotationSlots, translations, in, matrices, s);
    }
    return closestPointDerThroughDerVal(v, rotations, translations, in, matrices, influence);
}

// Rows first .. last - 1 into preallocated outputs.
void closestPointDerRows(int first, int last, const QVector<QVector<double>>& rotations,
                         const QVector<QVector<double>>& translations, const ClosestPointInputs& in,
                         const QVector<RotationMatrix>& matrices, const NodeRotationSlots* rotationSlots,
                         DerivativeRoute route, DerVal* residuals, QList<int>* table)
{
    for (int i = first; i < last; ++i)
        residuals[i] =
            closestPointDer(in.srcFitIndices[i], rotations, translations, in, matrices, rotationSlots, route, table[i]);
}

QVector<DerVal> closestPointDerSerial(const QVector<QVector<double>>& rotations,
                                      const QVector<QVector<double>>& translations, const ClosestPointInputs& inputs,
                                      DerivativeRoute route, QVector<QList<int>>& influenceNodeIndexTable)
{
    const int count = inputs.srcFitIndices.size();
    QVector<DerVal> residuals(count);
    influenceNodeIndexTable.resize(count);
    const std::vector<NodeRotationSlots> nodeSlots = rotationSlotsFor(rotations, route, false);
    closestPointDerRows(0, count, rotations, translations, inputs, rotationMatricesOf(rotations), nodeSlots.data(),
                        route, residuals.data(), influenceNodeIndexTable.data());
    return residuals;
}

}  // namespace

QVector<double> eIcpSerial(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                           const ClosestPointInputs& inputs)
{
    const QVector<RotationMatrix> matrices = rotationMatricesOf(rotations);
    QVector<double> residuals(inputs.srcFitIndices.size());
    for (int i = 0; i < residuals.size(); ++i)
        residuals[i] = closestPointValue(inputs.srcFitIndices[i], rotations, translations, inputs, matrices);
    return residuals;
}

QVector<double> eIcp(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                     const ClosestPointInputs& inputs)
{
    const int count = inputs.srcFitIndices.size();
    if (count < kParallelRows)
        return eIcpSerial(rotations, translations, inputs);
    const QVector<RotationMatrix> matrices = rotationMatricesOf(rotations);
    QVector<double> residuals(count);
    double* values = residuals.data();  // detached before any thread writes
    // Rows are independent and every chunk writes only its own slots, so the results are those
    // of one pass on one thread.
    Parallel::forChunks(count, kChunkRows, [&](int first, int last) {
        for (int i = first; i < last; ++i)
            values[i] = closestPointValue(inputs.srcFitIndices[i], rotations, translations, inputs, matrices);
    });
    return residuals;
}

QVector<DerVal> eIcpDerSerial(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                              const ClosestPointInputs& inputs, QVector<QList<int>>& influenceNodeIndexTable)
{
    return closestPointDerSerial(rotations, translations, inputs, routeFor(rotations, translations),
                                 influenceNodeIndexTable);
}

QVector<DerVal> eIcpDerSerialThroughDerVal(const QVector<QVector<double>>& rotations,
                                           const QVector<QVector<double>>& translations,
                                           const ClosestPointInputs& inputs,
                                           QVector<QList<int>>& influenceNodeIndexTable)
{
    return closestPointDerSerial(rotations, translations, inputs, DerivativeRoute::throughDerVal,
                                 influenceNodeIndexTable);
}

QVector<DerVal> eIcpDer(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const ClosestPointInputs& inputs, QVector<QList<int>>& influenceNodeIndexTable)
{
    const int count = inputs.srcFitIndices.size();
    if (count < kParallelRows)
        return eIcpDerSerial(rotations, translations, inputs, influenceNodeIndexTable);

    // The outputs are detached here, before any thread writes.
    QVector<DerVal> residuals(count);
    influenceNodeIndexTable.resize(count);
    DerVal* residualSlots = residuals.data();
    QList<int>* tableSlots = influenceNodeIndexTable.data();
    const QVector<RotationMatrix> matrices = rotationMatricesOf(rotations);
    const DerivativeRoute route = routeFor(rotations, translations);
    const std::vector<NodeRotationSlots> nodeSlots = rotationSlotsFor(rotations, route, true);
    Parallel::forChunks(count, kChunkRows, [&](int first, int last) {
        closestPointDerRows(first, last, rotations, translations, inputs, matrices, nodeSlots.data(), route,
                            residualSlots, tableSlots);
    });
    return residuals;
}

QVector<double> eIcpJac(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                        const ClosestPointInputs& inputs, SparseMatrix::SparseMatrixLIL& jacobian)
{
    QVector<QList<int>> table;
    const QVector<DerVal> residuals = eIcpDer(rotations, translations, inputs, table);
    jacobian = fillJacobian(residuals, table, rotations.size());
    return undifContainer(residuals);
}

}  // namespace NonRigidRegistration
