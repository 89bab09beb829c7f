#include "registration/NonRigidRegistrationSparseLM.h"

#include "numerics/SparseMatrix.h"
#include "registration/DifferentiableParameters.h"
#include "registration/EmbeddedDeformation.h"
#include "registration/NeighboursTable.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"

#include <QDebug>
#include <QElapsedTimer>
#include <QStringList>

#include <algorithm>
#include <cmath>

namespace NonRigidRegistration {

double* initializeArray(int n, const double& value)
{
    double* array = new double[std::max(n, 0)];
    initializeArray(array, n, value);
    return array;
}

void initializeArray(double* array, int n, const double& value)
{
    for (int i = 0; i < n; ++i)
        array[i] = value;
}

double* paramsToFlatArray(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations)
{
    double* p = new double[6 * rotations.size()];
    for (int i = 0; i < rotations.size(); ++i) {
        for (int c = 0; c < 3; ++c) {
            p[6 * i + c] = rotations[i][c];
            p[6 * i + 3 + c] = translations[i][c];
        }
    }
    return p;
}

void parseFlatParamsVector(const double* p, int nvars, QVector<QVector<double>>& rotations,
                           QVector<QVector<double>>& translations)
{
    const int n = nvars / 6;
    rotations = QVector<QVector<double>>(n, QVector<double>(3, 0.0));
    translations = QVector<QVector<double>>(n, QVector<double>(3, 0.0));
    for (int i = 0; i < n; ++i) {
        for (int c = 0; c < 3; ++c) {
            rotations[i][c] = p[6 * i + c];
            translations[i][c] = p[6 * i + 3 + c];
        }
    }
}

double squaredNorm(const QVector<double>& values)
{
    double sum = 0.0;
    for (double x : values)
        sum += x * x;
    return sum;
}

namespace {

// The influence nodes of vertex v: from the influence table when there is one.
QList<int> influenceNodesOf(int v, const QVector<QVector<double>>& weightsTable,
                            const QVector<VertexInfluence>* influence)
{
    if (influence && !influence->isEmpty())
        return (*influence)[v].nodes;
    return getNonZeroElementIndices(weightsTable[v]);
}

}  // namespace

SolvedNodes findSolvedNodes(const QVector<QVector<double>>& rotations, const QVector<QVector<double>>& translations,
                            const QVector<QVector<double>>& weightsTable, const QVector<QList<int>>& neighboursTable,
                            const QVector<int>& srcFitIndices, const QVector<int>& srcControlIndices,
                            const QVector<VertexInfluence>* influence)
{
    const int nNodes = rotations.size();
    QVector<bool> used(nNodes, false);
    auto markInfluence = [&](int v) {
        for (int node : influenceNodesOf(v, weightsTable, influence))
            used[node] = true;
    };
    for (int v : srcControlIndices)
        markInfluence(v);
    for (int v : srcFitIndices)
        markInfluence(v);
    for (int j = 0; j < neighboursTable.size(); ++j) {
        for (int k : neighboursTable[j]) {
            used[j] = true;
            used[k] = true;
        }
    }

    SolvedNodes solved;
    solved.startRotations = rotations;
    solved.startTranslations = translations;
    for (int j = 0; j < nNodes; ++j)
        if (used[j])
            solved.nodes.append(j);
    solved.all = solved.nodes.size() == nNodes;
    if (!solved.all) {
        solved.columnOf = QVector<int>(6 * nNodes, -1);
        for (int s = 0; s < solved.nodes.size(); ++s)
            for (int c = 0; c < 6; ++c)
                solved.columnOf[6 * solved.nodes[s] + c] = 6 * s + c;
    }
    return solved;
}

SparseLMProblemSize sparseLMProblemSize(int solvedNodeCount, const QVector<QVector<double>>& weightsTable,
                                        const QVector<QList<int>>& neighboursTable, const QVector<int>& srcFitIndices,
                                        const QVector<int>& srcControlIndices,
                                        const QVector<VertexInfluence>* influence)
{
    const int nTotalNeighbours = getTotalNeighbours(neighboursTable);
    SparseLMProblemSize size;
    size.nvars = 6 * solvedNodeCount;
    size.nobs = srcControlIndices.size() + nTotalNeighbours + srcFitIndices.size();
    const qint64 formula = 60LL * (srcControlIndices.size() + srcFitIndices.size()) + 12LL * nTotalNeighbours;
    qint64 needed = 12LL * nTotalNeighbours;
    for (int v : srcControlIndices)
        needed += 6LL * influenceNodesOf(v, weightsTable, influence).size();
    for (int v : srcFitIndices)
        needed += 6LL * influenceNodesOf(v, weightsTable, influence).size();
    size.jacobianCapacity = int(std::max(formula, needed));
    return size;
}

namespace {

// The two record kinds differ in the interruption and the timing only.
bool interruptionRequested(const NonRigidRegistrationDataERegMultipliers& d)
{
    return d.updater && d.updater->interrupted.load();
}
// The single-weight form never looks at the flag.
bool interruptionRequested(const NonRigidRegistrationData&)
{
    return false;
}

JacobianTimings* timingsOf(NonRigidRegistrationDataERegMultipliers& d)
{
    return &d.jacobianTimings;
}
JacobianTimings* timingsOf(NonRigidRegistrationData&)
{
    return nullptr;
}

void logJacobianTimings(const NonRigidRegistrationDataERegMultipliers& d)
{
    qDebug() << "eConJac:" << double(d.jacobianTimings.eConMs) / 1000.0 << "sec";
    qDebug() << "eRegJac:" << double(d.jacobianTimings.eRegMs) / 1000.0 << "sec";
    qDebug() << "eIcpJac:" << double(d.jacobianTimings.eIcpMs) / 1000.0 << "sec";
}
void logJacobianTimings(const NonRigidRegistrationData&) {}

// The node transforms at the solver's parameters; held nodes keep their start transforms.
void transformsAt(const SolvedNodes& solved, const double* p, int m, QVector<QVector<double>>& rotations,
                  QVector<QVector<double>>& translations)
{
    if (solved.all) {
        parseFlatParamsVector(p, m, rotations, translations);
        return;
    }
    QVector<QVector<double>> movedRotations, movedTranslations;
    parseFlatParamsVector(p, m, movedRotations, movedTranslations);
    rotations = solved.startRotations;
    translations = solved.startTranslations;
    for (int s = 0; s < movedRotations.size(); ++s) {
        rotations[solved.nodes[s]] = movedRotations[s];
        translations[solved.nodes[s]] = movedTranslations[s];
    }
}

template <typename Data>
void residualCallback(double* p, double* hx, int m, int n, void* adata)
{
    Data& d = *static_cast<Data*>(adata);
    if (interruptionRequested(d)) {
        // All zeros read as a perfect fit: the solver stops at once.
        std::fill(hx, hx + n, 0.0);
        return;
    }
    QVector<QVector<double>> rotations, translations;
    transformsAt(d.solvedNodes, p, m, rotations, translations);
    const QVector<double> r = errorMetric(rotations, translations, d);
    if (r.size() != n)
        qFatal("Registration residuals: %d computed for %d measurements", int(r.size()), n);
    std::copy(r.constBegin(), r.constEnd(), hx);
    qDebug() << "\tFunc call:" << squaredNorm(r);
}

template <typename Data>
void publishPreview(const Data& d, const QVector<QVector<double>>& rotations,
                    const QVector<QVector<double>>& translations)
{
    QVector<QVector3D> srcVerticesDeformed, srcNormalsDeformed;
    if (d.influence.isEmpty())
        deformVerticesAndNormalsByGraph(d.srcVertices, d.srcNormals, rotations, translations, d.nodes, d.weightsTable,
                                        &srcVerticesDeformed, &srcNormalsDeformed);
    else
        deformVerticesAndNormalsByInfluence(d.srcVertices, d.srcNormals, rotations, translations, d.nodes, d.influence,
                                            &srcVerticesDeformed, &srcNormalsDeformed);
    const QVector<QVector3D> nodesDeformed = deformNodes(d.nodes, translations);
    QVector<QVector3D> srcControlVertices;
    srcControlVertices.reserve(d.srcControlIndices.size());
    for (int v : d.srcControlIndices)
        srcControlVertices.append(srcVerticesDeformed[v]);
    d.updater->publishUpdate(srcVerticesDeformed, srcNormalsDeformed, nodesDeformed, d.neighboursTable,
                             srcControlVertices, QVector<QVector3D>(d.dstControlVertices));
}

template <typename Data>
void jacobianCallback(double* p, splm_crsm* jac, int m, int, void* adata)
{
    Data& d = *static_cast<Data*>(adata);
    QVector<QVector<double>> rotations, translations;
    transformsAt(d.solvedNodes, p, m, rotations, translations);
    if (d.updater)
        publishPreview(d, rotations, translations);

    // Held nodes have no entries; the others move to their columns among the solved.
    const bool renumber = !d.solvedNodes.all;
    const QVector<double> res =
        jacobianIntoSolverRows(rotations, translations, d, jac, renumber ? d.solvedNodes.columnOf.constData() : nullptr,
                               6 * d.solvedNodes.nodes.size(), timingsOf(d));
    const double E = squaredNorm(res);
    const double change = std::fabs(E - d.previousError) / d.previousError;
    d.previousError = E;
    qDebug() << "\tJac call: " << E << change;
}

void logHeldNodes(const SolvedNodes& solved, int nNodes)
{
    if (solved.all)
        return;
    QStringList held;
    int next = 0;
    for (int j = 0; j < nNodes; ++j) {
        if (next < solved.nodes.size() && solved.nodes[next] == j) {
            ++next;
            continue;
        }
        held << QString::number(j);
    }
    qDebug().noquote() << QString("Holding %1 of %2 nodes fixed, no residual depends on them: %3")
                              .arg(held.size())
                              .arg(nNodes)
                              .arg(held.join(' '));
}

template <typename Data>
int solve(Data* d, QVector<QVector<double>>& rotations, QVector<QVector<double>>& translations, double maxIterations,
          splm_model_callback residuals, splm_crsm_jacobian_callback jacobianOf)
{
    const int nNodes = d->nodes.size();
    d->influence = influenceTableOf(d->weightsTable, d->nodes);
    d->solvedNodes = findSolvedNodes(rotations, translations, d->weightsTable, d->neighboursTable, d->srcFitIndices,
                                     d->srcControlIndices, &d->influence);
    logHeldNodes(d->solvedNodes, nNodes);
    const SparseLMProblemSize size =
        sparseLMProblemSize(d->solvedNodes.nodes.size(), d->weightsTable, d->neighboursTable, d->srcFitIndices,
                            d->srcControlIndices, &d->influence);

    double* p = d->solvedNodes.all ? paramsToFlatArray(rotations, translations)
                                   : paramsToFlatArray(subset(rotations, d->solvedNodes.nodes.toList()),
                                                       subset(translations, d->solvedNodes.nodes.toList()));
    double* x = initializeArray(size.nobs, 0.0);
    const int itmax = int(maxIterations);
    const double opts[SPLM_OPTS_SZ] = {1e-4, 1e-4, 1e-4, 1e-4, 1e-4, 1.0};
    double info[SPLM_INFO_SZ] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0};

    QElapsedTimer timer;
    timer.start();
    int result = 0;
    if (size.nvars > 0) {
        result = splm_crs_analytic(residuals, jacobianOf, p, x, size.nvars, 0, size.nobs, size.jacobianCapacity, -1,
                                   itmax, opts, info, d);
    } else {
        qDebug() << "Nothing to optimise: no residual depends on any node";
    }
    const qint64 elapsed = timer.elapsed();

    qDebug() << "Optimization took" << elapsed << "ms";
    qDebug() << "Optimization complete in" << result << "iterations";
    qDebug() << "Func calls:" << info[7];
    qDebug() << "Jac calls:" << info[8];
    qDebug() << "System solved:" << info[9];
    logJacobianTimings(*d);

    transformsAt(d->solvedNodes, p, size.nvars, rotations, translations);
    delete d;
    delete[] p;
    delete[] x;
    return result;
}

// A new solver data record of the solve.
template <typename Data>
Data* solverData(const RegistrationInputs& inputs, NonRigidRegistrationInteractiveUpdater* updater)
{
    auto* d = new Data;
    static_cast<RegistrationInputs&>(*d) = inputs;
    d->previousError = 1.0;
    d->updater = updater;
    return d;
}

}  // namespace

void nonRigidRegistrationErrorMetricSparseLMeRegMultipliers(double* p, double* hx, int m, int n, void* adata)
{
    residualCallback<NonRigidRegistrationDataERegMultipliers>(p, hx, m, n, adata);
}

void nonRigidRegistrationJacSparseLMeRegMultipliers(double* p, splm_crsm* jac, int m, int n, void* adata)
{
    jacobianCallback<NonRigidRegistrationDataERegMultipliers>(p, jac, m, n, adata);
}

void nonRigidRegistrationErrorMetricSparseLM(double* p, double* hx, int m, int n, void* adata)
{
    residualCallback<NonRigidRegistrationData>(p, hx, m, n, adata);
}

void nonRigidRegistrationJacSparseLM(double* p, splm_crsm* jac, int m, int n, void* adata)
{
    jacobianCallback<NonRigidRegistrationData>(p, jac, m, n, adata);
}

int nonRigidRegistrationSparseLM(QVector<QVector<double>>& rotations, QVector<QVector<double>>& translations,
                                 const RegistrationInputs& inputs, double maxIterations,
                                 NonRigidRegistrationInteractiveUpdater* updater)
{
    if (inputs.perNode)
        return solve(solverData<NonRigidRegistrationDataERegMultipliers>(inputs, updater), rotations, translations,
                     maxIterations, nonRigidRegistrationErrorMetricSparseLMeRegMultipliers,
                     nonRigidRegistrationJacSparseLMeRegMultipliers);
    return solve(solverData<NonRigidRegistrationData>(inputs, updater), rotations, translations, maxIterations,
                 nonRigidRegistrationErrorMetricSparseLM, nonRigidRegistrationJacSparseLM);
}

}  // namespace NonRigidRegistration
