#include "registration/ClosestPointTerm.h"

#include "numerics/Vector.h"
#include "registration/DifferentiableParameters.h"
#include "registration/SubsetDeformation.h"
#include "spatial/KDTree.h"

#include <QtConcurrent/QtConcurrentMap>

#include <algorithm>
#include <utility>

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
    Vec<double> b;
    Vec<double> n;
    double gateTimesMask = 0.0;
};

Correspondence findCorrespondence(const Vec<double>& c, const Vec<double>& deformedNormal, const ClosestPointInputs& in)
{
    Correspondence result;
    const QVector3D query{float(c[0]), float(c[1]), float(c[2])};
    const int g = in.dstKdTree ? in.dstKdTree->findNearestPointInd(query, in.dstVertices, nullptr) : -1;
    if (g < 0)
        return result;  // an empty target attracts nothing
    result.found = true;
    result.b = Vec<double>(in.dstVertices[g]);
    result.n = Vec<double>(in.dstNormals[g]);
    const double theta = angleBetweenVectors(deformedNormal, result.n);
    const double gate = theta < kGateAngle ? 1.0 : 0.0;  // NaN closes the gate too
    const double mask = in.dstMask[g] ? 0.0 : 1.0;
    result.gateTimesMask = gate * mask;
    return result;
}

// The influence nodes of a vertex and their data, picked out of the per-node tables.
struct InfluenceSubset {
    QList<int> nodes;
    QVector<QVector<double> > rotations;
    QVector<QVector<double> > translations;
    QVector<QVector3D> positions;
    QVector<double> weights;
};

InfluenceSubset influenceOf(int v, const QVector<QVector<double> >& rotations,
                            const QVector<QVector<double> >& translations, const ClosestPointInputs& in)
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
    s.rotations = subset(rotations, s.nodes);
    s.translations = subset(translations, s.nodes);
    return s;
}

double closestPointValue(int v, const QVector<QVector<double> >& rotations,
                         const QVector<QVector<double> >& translations, const ClosestPointInputs& in)
{
    const InfluenceSubset s = influenceOf(v, rotations, translations, in);
    const Vec<double> c = deformVertexSubset(s.rotations, s.translations, in.srcVertices[v], s.positions, s.weights);
    const Vec<double> d = deformNormalSubset(s.rotations, in.srcNormals[v], s.positions, s.weights);
    const Correspondence k = findCorrespondence(c, d, in);
    if (!k.found)
        return 0.0;
    const Vec<double>& b = k.b;
    const Vec<double>& n = k.n;
    const double distance = (b - c).norm();
    const double plane = n[0] * (c[0] - b[0]) + n[1] * (c[1] - b[1]) + n[2] * (c[2] - b[2]);
    return k.gateTimesMask * (in.alphaPointToPoint * distance + in.alphaPointToPlane * plane) * in.eIcpWeight;
}

DerVal closestPointDer(int v, const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                       const ClosestPointInputs& in, QList<int>& influence)
{
    const InfluenceSubset s = influenceOf(v, rotations, translations, in);
    influence = s.nodes;
    // The gate follows the plain parameters and carries no derivatives.
    const Vec<double> d = deformNormalSubset(s.rotations, in.srcNormals[v], s.positions, s.weights);
    QVector<QVector<DerVal> > rsDer, tsDer;
    makeParamsDifferentiable(s.rotations, s.translations, rsDer, tsDer);
    const Vec<DerVal> c = deformVertexSubset(rsDer, tsDer, in.srcVertices[v], s.positions, s.weights);
    const Correspondence k = findCorrespondence(undifContainer(c), d, in);
    if (!k.found)
        return DerVal(0.0, 6 * s.nodes.size());
    const Vec<DerVal> b = k.b.convertTo<DerVal>();
    const Vec<DerVal> n = k.n.convertTo<DerVal>();
    const DerVal distance = (c - b).norm();
    DerVal plane = n[0] * (c[0] - b[0]);
    plane = std::move(plane) + n[1] * (c[1] - b[1]);
    plane = std::move(plane) + n[2] * (c[2] - b[2]);
    return (DerVal(k.gateTimesMask) *
            (DerVal(in.alphaPointToPoint) * distance + DerVal(in.alphaPointToPlane) * plane)) *
           DerVal(in.eIcpWeight);
}

// Rows first .. last - 1 into preallocated outputs.
void closestPointDerRows(int first, int last, const QVector<QVector<double> >& rotations,
                         const QVector<QVector<double> >& translations, const ClosestPointInputs& in, DerVal* residuals,
                         QList<int>* table)
{
    for (int i = first; i < last; ++i)
        residuals[i] = closestPointDer(in.srcFitIndices[i], rotations, translations, in, table[i]);
}

// Calls work(first, last) for consecutive chunks of rows on the global thread pool and waits.
// Rows are independent and every chunk writes only its own slots of preallocated outputs, so
// the results are those of one pass on one thread.
template <typename Work>
void forEachChunk(int count, Work work)
{
    QVector<int> chunkStarts;
    for (int first = 0; first < count; first += kChunkRows)
        chunkStarts.append(first);
    QtConcurrent::blockingMap(chunkStarts, [&](int first) { work(first, std::min(count, first + kChunkRows)); });
}

}  // namespace

QVector<double> eIcpSerial(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                           const ClosestPointInputs& inputs)
{
    QVector<double> residuals(inputs.srcFitIndices.size());
    for (int i = 0; i < residuals.size(); ++i)
        residuals[i] = closestPointValue(inputs.srcFitIndices[i], rotations, translations, inputs);
    return residuals;
}

QVector<double> eIcp(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                     const ClosestPointInputs& inputs)
{
    const int count = inputs.srcFitIndices.size();
    if (count < kParallelRows)
        return eIcpSerial(rotations, translations, inputs);
    QVector<double> residuals(count);
    double* values = residuals.data();  // detached before any thread writes
    forEachChunk(count, [&](int first, int last) {
        for (int i = first; i < last; ++i)
            values[i] = closestPointValue(inputs.srcFitIndices[i], rotations, translations, inputs);
    });
    return residuals;
}

QVector<DerVal> eIcpDerSerial(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                              const ClosestPointInputs& inputs, QVector<QList<int> >& influenceNodeIndexTable)
{
    const int count = inputs.srcFitIndices.size();
    QVector<DerVal> residuals(count);
    influenceNodeIndexTable.resize(count);
    closestPointDerRows(0, count, rotations, translations, inputs, residuals.data(), influenceNodeIndexTable.data());
    return residuals;
}

QVector<DerVal> eIcpDer(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                        const ClosestPointInputs& inputs, QVector<QList<int> >& influenceNodeIndexTable)
{
    const int count = inputs.srcFitIndices.size();
    if (count < kParallelRows)
        return eIcpDerSerial(rotations, translations, inputs, influenceNodeIndexTable);

    // The outputs are detached here, before any thread writes.
    QVector<DerVal> residuals(count);
    influenceNodeIndexTable.resize(count);
    DerVal* residualSlots = residuals.data();
    QList<int>* tableSlots = influenceNodeIndexTable.data();
    forEachChunk(count, [&](int first, int last) {
        closestPointDerRows(first, last, rotations, translations, inputs, residualSlots, tableSlots);
    });
    return residuals;
}

QVector<double> eIcpJac(const QVector<QVector<double> >& rotations, const QVector<QVector<double> >& translations,
                        const ClosestPointInputs& inputs, SparseMatrix::SparseMatrixLIL& jacobian)
{
    QVector<QList<int> > table;
    const QVector<DerVal> residuals = eIcpDer(rotations, translations, inputs, table);
    jacobian = fillJacobian(residuals, table, rotations.size());
    return undifContainer(residuals);
}

}  // namespace NonRigidRegistration
