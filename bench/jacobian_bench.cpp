// One Levenberg-Marquardt iteration of a registration level, stage by stage: a 100 × 100
// template sheet (10,000 closest-point rows of four influence nodes each) on 400 nodes with
// their regularisation rows, fitted against a lifted, offset target sheet. Timed: the stacked
// Jacobian, the solver's Jacobian callback (with and without the preview), the residual
// callback, the J^T J / J^T e pass and CHOLMOD's factorisation and solve.
// Run under `taskset -c N` for the one-core figures; the closest-point rows otherwise spread
// over the global thread pool.
#include "numerics/SparseMatrix.h"
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_cholmod.h"
#include "registration/ClosestPointTerm.h"
#include "registration/DifferentiableParameters.h"
#include "registration/EuclideanWeights.h"
#include "registration/InfluenceTable.h"
#include "registration/NeighboursTable.h"
#include "registration/NonRigidRegistrationInteractiveUpdater.h"
#include "registration/NonRigidRegistrationSparseLM.h"
#include "registration/RegistrationEnergy.h"
#include "registration/RegularisationTerm.h"
#include "spatial/KDTree.h"

#include <benchmark/benchmark.h>

#include <QThreadPool>

#include <cmath>
#include <memory>
#include <random>
#include <vector>

using namespace NonRigidRegistration;

namespace {

constexpr int kSide = 100;    // template vertices per side
constexpr int kNodeStep = 5;  // a node on every fifth vertex of both directions: 400 nodes

QVector3D sheetPoint(double x, double y, double lift)
{
    return QVector3D(float(x), float(y), float(0.2 * std::sin(2 * x) * std::cos(y) + 0.1 * x * y + lift));
}
QVector3D sheetNormal(double x, double y)
{
    const double dzdx = 0.4 * std::cos(2 * x) * std::cos(y) + 0.1 * y;
    const double dzdy = -0.2 * std::sin(2 * x) * std::sin(y) + 0.1 * x;
    return QVector3D(float(-dzdx), float(-dzdy), 1.0f).normalized();
}

struct Scene {
    RegistrationInputs inputs;
    QVector<QVector<double>> rotations, translations;
    std::unique_ptr<KDTree::NodeBase> tree;

    Scene()
    {
        RegistrationInputs& in = inputs;
        for (int i = 0; i < kSide; ++i) {
            for (int j = 0; j < kSide; ++j) {
                const double x = -1 + 2.0 * i / (kSide - 1), y = -1 + 2.0 * j / (kSide - 1);
                in.srcVertices << sheetPoint(x, y, 0.0);
                in.srcNormals << sheetNormal(x, y);
                // The target is sampled half a step off and lifted a little.
                const double tx = x + 1.0 / (kSide - 1), ty = y + 1.0 / (kSide - 1);
                in.dstVertices << sheetPoint(tx, ty, 0.02);
                in.dstNormals << sheetNormal(tx, ty);
                if (i % kNodeStep == 2 && j % kNodeStep == 2)
                    in.nodes << in.srcVertices.last();
            }
        }
        in.weightsTable = buildWeightsTable(in.srcVertices, in.nodes, 4);
        in.neighboursTable = buildNeighboursTable(in.weightsTable);
        std::mt19937 random(7);
        std::uniform_real_distribution<double> small(-0.05, 0.05);
        for (int n = 0; n < in.nodes.size(); ++n) {
            rotations << QVector<double>{1 + small(random), small(random), small(random)};
            translations << QVector<double>{small(random), small(random), small(random)};
            in.eRegMultipliers << 1.0;
        }
        for (int v = 0; v < in.srcVertices.size(); ++v)
            in.srcFitIndices << v;
        in.dstMask = QVector<bool>(in.dstVertices.size(), false);
        tree.reset(KDTree::buildTree(in.dstVertices, 8));
        in.dstKdTree = tree.get();
        in.eConWeight = 10.0;
        in.eIcpWeight = 1.0;
        in.alphaPointToPoint = 0.1;
        in.alphaPointToPlane = 1.0;
    }

    QVector<double> jacobianOf(SparseMatrix::SparseMatrixLIL& J) const
    {
        return jacobian(rotations, translations, inputs, J, nullptr);
    }

    // The solver's user data, as the driver fills it.
    std::unique_ptr<NonRigidRegistrationDataERegMultipliers> data(NonRigidRegistrationInteractiveUpdater* u) const
    {
        std::unique_ptr<NonRigidRegistrationDataERegMultipliers> d(new NonRigidRegistrationDataERegMultipliers);
        static_cast<RegistrationInputs&>(*d) = inputs;
        d->influence = influenceTableOf(inputs.weightsTable, inputs.nodes);
        d->updater = u;
        return d;
    }

    std::vector<double> flatParameters() const
    {
        double* p = paramsToFlatArray(rotations, translations);
        std::vector<double> flat(p, p + 6 * rotations.size());
        delete[] p;
        return flat;
    }
};

const Scene& scene()
{
    static const Scene s;
    return s;
}

int observations()
{
    const Scene& s = scene();
    return s.inputs.srcFitIndices.size() + getTotalNeighbours(s.inputs.neighboursTable);
}

// The Jacobian in the solver's record, and the normal equations built from it as the solver
// builds them: pattern and position table once, then the values.
struct Normal {
    splm_crsm J;
    splm_ccsm AtA;
    splm_AtA_positions table;
    std::vector<double> e, Atb;
    splm_cholmod_state* cholmod = nullptr;

    Normal()
    {
        const Scene& s = scene();
        const SparseLMProblemSize size = sparseLMProblemSize(s.inputs.nodes.size(), s.inputs.weightsTable,
                                                             s.inputs.neighboursTable, s.inputs.srcFitIndices, {});
        splm_crsm_alloc(&J, size.nobs, size.nvars, size.jacobianCapacity);
        std::vector<double> p = s.flatParameters();
        auto d = s.data(nullptr);
        nonRigidRegistrationJacSparseLMeRegMultipliers(p.data(), &J, size.nvars, size.nobs, d.get());
        e.resize(size.nobs);
        nonRigidRegistrationErrorMetricSparseLMeRegMultipliers(p.data(), e.data(), size.nvars, size.nobs, d.get());
        for (double& x : e)
            x = -x;
        Atb.resize(size.nvars);
        AtA.nnz = -1;
        splm_setup_AtA_crsA(&J, 0, &AtA, 1);
        splm_AtA_positions_setup(&J, 0, &AtA, &table, 16);
        splm_calc_AtA_Atb_crsA_positions(&J, &table, &AtA, e.data(), Atb.data());
        double largest = 0.0;
        for (int j = 0; j < AtA.nc; ++j)
            largest = std::max(largest, AtA.val[AtA.colptr[j]]);
        for (int j = 0; j < AtA.nc; ++j)
            AtA.val[AtA.colptr[j]] += 1e-4 * largest;
        splm_cholmod_analyze(&AtA, &cholmod);
    }
};

Normal& normal()
{
    static Normal n;
    return n;
}

void BM_StackedJacobian(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        SparseMatrix::SparseMatrixLIL J;
        benchmark::DoNotOptimize(s.jacobianOf(J));
        state.counters["entries"] = J.nonZeroCount();
    }
    state.counters["rows"] = observations();
    state.counters["pool_threads"] = QThreadPool::globalInstance()->maxThreadCount();
}

void BM_ClosestPointBlock(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        SparseMatrix::SparseMatrixLIL J;
        benchmark::DoNotOptimize(eIcpJac(s.rotations, s.translations, s.inputs, J));
    }
}

void BM_ClosestPointRowsSerial(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        QVector<QList<int>> table;
        benchmark::DoNotOptimize(eIcpDerSerial(s.rotations, s.translations, s.inputs, table));
    }
}

// The same rows with DerVal arithmetic throughout: the route the inline slots replace.
void BM_ClosestPointRowsSerialThroughDerVal(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        QVector<QList<int>> table;
        benchmark::DoNotOptimize(eIcpDerSerialThroughDerVal(s.rotations, s.translations, s.inputs, table));
    }
}

void BM_RegularisationBlock(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        SparseMatrix::SparseMatrixLIL J;
        benchmark::DoNotOptimize(eRegJac(s.rotations, s.translations, s.inputs.nodes, s.inputs.neighboursTable,
                                         s.inputs.eRegMultipliers, J));
    }
    state.counters["rows"] = getTotalNeighbours(s.inputs.neighboursTable);
}

// The same block with DerVal arithmetic throughout: the route the inline slots replace.
void BM_RegularisationBlockThroughDerVal(benchmark::State& state)
{
    const Scene& s = scene();
    for (auto _ : state) {
        QVector<QList<int>> table;
        const QVector<DerVal> residuals = eRegDerThroughDerVal(
            s.rotations, s.translations, s.inputs.nodes, s.inputs.neighboursTable, s.inputs.eRegMultipliers, table);
        SparseMatrix::SparseMatrixLIL J = fillJacobian(residuals, table, s.rotations.size());
        benchmark::DoNotOptimize(J.rows.data());
    }
    state.counters["rows"] = getTotalNeighbours(s.inputs.neighboursTable);
}

// range(0): 1 with the preview of the deformed template (an updater without receivers).
void BM_JacobianCallback(benchmark::State& state)
{
    const Scene& s = scene();
    NonRigidRegistrationInteractiveUpdater updater;
    auto d = s.data(state.range(0) ? &updater : nullptr);
    std::vector<double> p = s.flatParameters();
    const SparseLMProblemSize size = sparseLMProblemSize(s.inputs.nodes.size(), s.inputs.weightsTable,
                                                         s.inputs.neighboursTable, s.inputs.srcFitIndices, {});
    splm_crsm J;
    splm_crsm_alloc(&J, size.nobs, size.nvars, size.jacobianCapacity);
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    for (auto _ : state) {
        J.nr = size.nobs;
        J.nnz = size.jacobianCapacity;
        nonRigidRegistrationJacSparseLMeRegMultipliers(p.data(), &J, size.nvars, size.nobs, d.get());
    }
    qInstallMessageHandler(nullptr);
    splm_crsm_free(&J);
}

void BM_ResidualCallback(benchmark::State& state)
{
    const Scene& s = scene();
    auto d = s.data(nullptr);
    std::vector<double> p = s.flatParameters();
    std::vector<double> hx(observations());
    qInstallMessageHandler([](QtMsgType, const QMessageLogContext&, const QString&) {});
    for (auto _ : state)
        nonRigidRegistrationErrorMetricSparseLMeRegMultipliers(p.data(), hx.data(), int(p.size()), int(hx.size()),
                                                               d.get());
    qInstallMessageHandler(nullptr);
}

void BM_NormalEquations(benchmark::State& state)
{
    Normal& n = normal();
    std::vector<double> saved(n.AtA.val, n.AtA.val + n.AtA.nnz);
    for (auto _ : state) {
        splm_calc_AtA_Atb_crsA_positions(&n.J, &n.table, &n.AtA, n.e.data(), n.Atb.data());
        benchmark::ClobberMemory();
    }
    std::copy(saved.begin(), saved.end(), n.AtA.val);  // keep the damped values for the factorisation
    state.counters["JtJ_nnz"] = n.AtA.nnz;
}

void BM_CholmodFactoriseAndSolve(benchmark::State& state)
{
    Normal& n = normal();
    std::vector<double> dp(n.Atb.size());
    for (auto _ : state) {
        if (!splm_cholmod_factorize(&n.AtA, n.cholmod) || !splm_cholmod_solve(n.cholmod, n.Atb.data(), dp.data()))
            state.SkipWithError("factorisation failed");
        benchmark::DoNotOptimize(dp.data());
    }
    state.counters["unknowns"] = double(n.Atb.size());
}

BENCHMARK(BM_StackedJacobian)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosestPointBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosestPointRowsSerial)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosestPointRowsSerialThroughDerVal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegularisationBlock)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_RegularisationBlockThroughDerVal)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_JacobianCallback)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ResidualCallback)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalEquations)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CholmodFactoriseAndSolve)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
