// One Levenberg-Marquardt iteration on a problem shaped like the non-rigid
// registration's: 10,000 deformation nodes on a grid, 6 parameters each
// (60,000 unknowns); point rows that touch their 4 to 10 nearest nodes and
// regularisation rows that tie neighbouring nodes. The stages are timed one by
// one: normal-matrix pattern, the position table of the fast value pass, the
// J^T J / J^T e values (searched and through the table), and CHOLMOD's
// analysis, factorisation and solve with the BLAS on one thread and on
// OpenBLAS's default thread count.
#include "numerics/SparseSolver/splm.h"
#include "numerics/SparseSolver/splm_cholmod.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <random>
#include <utility>
#include <vector>

extern "C" int openblas_get_num_threads(void);
extern "C" void openblas_set_num_threads(int numThreads);

namespace {

// OpenBLAS's own choice, read before the solver sets anything.
const int kDefaultBlasThreads = openblas_get_num_threads();

constexpr int kGrid = 100;  // nodes per side
constexpr int kNodes = kGrid * kGrid;
constexpr int kUnknowns = 6 * kNodes;
constexpr int kPointRows = kUnknowns;  // about one measurement per unknown

struct Problem {
    splm_crsm J;
    std::vector<double> e;
    int nobs = 0;

    Problem()
    {
        std::mt19937 random(2024);
        std::uniform_real_distribution<double> unit(0.0, 1.0), value(-1.0, 1.0);
        std::vector<std::vector<int>> rows;

        // Point rows: a random point in the grid and its k nearest nodes.
        std::vector<std::pair<double, int>> candidates;
        for (int s = 0; s < kPointRows; ++s) {
            const int k = 4 + s % 7;
            const double x = unit(random) * (kGrid - 1), y = unit(random) * (kGrid - 1);
            candidates.clear();
            for (int gy = std::max(0, int(y) - 3); gy <= std::min(kGrid - 1, int(y) + 4); ++gy)
                for (int gx = std::max(0, int(x) - 3); gx <= std::min(kGrid - 1, int(x) + 4); ++gx)
                    candidates.push_back({(gx - x) * (gx - x) + (gy - y) * (gy - y), gy * kGrid + gx});
            std::partial_sort(candidates.begin(), candidates.begin() + k, candidates.end());
            std::vector<int> nodes;
            for (int t = 0; t < k; ++t)
                nodes.push_back(candidates[t].second);
            std::sort(nodes.begin(), nodes.end());
            rows.push_back(nodes);
        }
        // Regularisation rows: one per ordered pair of 8-neighbours.
        for (int gy = 0; gy < kGrid; ++gy) {
            for (int gx = 0; gx < kGrid; ++gx) {
                for (int dy = -1; dy <= 1; ++dy) {
                    for (int dx = -1; dx <= 1; ++dx) {
                        const int nx = gx + dx, ny = gy + dy;
                        if ((dx == 0 && dy == 0) || nx < 0 || ny < 0 || nx >= kGrid || ny >= kGrid)
                            continue;
                        const int a = gy * kGrid + gx, b = ny * kGrid + nx;
                        rows.push_back({std::min(a, b), std::max(a, b)});
                    }
                }
            }
        }

        nobs = int(rows.size());
        long long entries = 0;
        for (const auto& r : rows)
            entries += 6 * r.size();
        splm_crsm_alloc(&J, nobs, kUnknowns, int(entries));
        int at = 0;
        for (int i = 0; i < nobs; ++i) {
            J.rowptr[i] = at;
            for (int node : rows[i]) {
                for (int c = 0; c < 6; ++c) {
                    J.colidx[at] = 6 * node + c;
                    J.val[at++] = value(random);
                }
            }
        }
        J.rowptr[nobs] = at;
        e.resize(nobs);
        for (double& v : e)
            v = value(random);
    }
};

const Problem& problem()
{
    static const Problem p;
    return p;
}

// The normal matrix with its values and a damped diagonal, and its analysis.
struct Normal {
    splm_ccsm AtA;
    splm_AtA_positions table;
    std::vector<double> Atb;
    splm_cholmod_state* cholmod = nullptr;

    Normal() : Atb(kUnknowns)
    {
        const Problem& p = problem();
        AtA.nnz = -1;
        splm_setup_AtA_crsA(&p.J, 0, &AtA, 1);
        splm_AtA_positions_setup(&p.J, 0, &AtA, &table, 16);
        splm_calc_AtA_Atb_crsA_positions(&p.J, &table, &AtA, p.e.data(), Atb.data());
        double largest = 0.0;
        for (int j = 0; j < AtA.nc; ++j)
            largest = std::max(largest, AtA.val[AtA.colptr[j]]);
        for (int j = 0; j < AtA.nc; ++j)
            AtA.val[AtA.colptr[j]] += 1e-3 * largest;
        splm_cholmod_analyze(&AtA, &cholmod);
    }
};

Normal& normal()
{
    static Normal n;
    return n;
}

void setBlasThreads(int threads)
{
    openblas_set_num_threads(threads);
}

void BM_NormalPattern(benchmark::State& state)
{
    const Problem& p = problem();
    for (auto _ : state) {
        splm_ccsm AtA;
        AtA.nnz = -1;
        splm_setup_AtA_crsA(&p.J, 0, &AtA, 1);
        benchmark::DoNotOptimize(AtA.rowidx);
        splm_ccsm_free(&AtA);
    }
    state.counters["J_nnz"] = p.J.rowptr[p.J.nr];
    state.counters["JtJ_nnz"] = normal().AtA.nnz;
}

void BM_PositionTable(benchmark::State& state)
{
    const Problem& p = problem();
    Normal& n = normal();
    for (auto _ : state) {
        splm_AtA_positions table;
        splm_AtA_positions_setup(&p.J, 0, &n.AtA, &table, 16);
        benchmark::DoNotOptimize(table.pos);
        state.counters["positions"] = double(table.count);
        splm_AtA_positions_free(&table);
    }
}

// The plain pattern route for comparison: every column pair (j, i >= j) is
// tested, rejected on its first and last rows or else checked row by row
// against a bit set of column j's rows. Counts the entries only.
long long pairwisePatternCount(const splm_crsm& J)
{
    const int n = J.nc, nr = J.nr, count = J.rowptr[nr];
    std::vector<int> colptr(n + 1, 0), rowidx(count), next(n);
    for (int k = 0; k < count; ++k)
        ++colptr[J.colidx[k] + 1];
    for (int j = 0; j < n; ++j)
        colptr[j + 1] += colptr[j];
    std::copy(colptr.begin(), colptr.end() - 1, next.begin());
    for (int r = 0; r < nr; ++r)
        for (int k = J.rowptr[r]; k < J.rowptr[r + 1]; ++k)
            rowidx[next[J.colidx[k]]++] = r;
    std::vector<unsigned char> bits((nr >> 3) + 1, 0);
    long long found = 0;
    for (int j = 0; j < n; ++j) {
        if (colptr[j] == colptr[j + 1])
            continue;
        const int first = rowidx[colptr[j]], last = rowidx[colptr[j + 1] - 1];
        for (int k = colptr[j]; k < colptr[j + 1]; ++k)
            bits[rowidx[k] >> 3] |= (unsigned char)(1u << (rowidx[k] & 7));
        for (int i = j; i < n; ++i) {
            if (colptr[i] == colptr[i + 1] || rowidx[colptr[i]] > last || rowidx[colptr[i + 1] - 1] < first)
                continue;
            for (int k = colptr[i]; k < colptr[i + 1]; ++k) {
                if (bits[rowidx[k] >> 3] & (1u << (rowidx[k] & 7))) {
                    ++found;
                    break;
                }
            }
        }
        for (int k = colptr[j]; k < colptr[j + 1]; ++k)
            bits[rowidx[k] >> 3] = 0;
    }
    return found;
}

void BM_NormalPatternPairwise(benchmark::State& state)
{
    const Problem& p = problem();
    for (auto _ : state) {
        const long long found = pairwisePatternCount(p.J);
        if (found != normal().AtA.nnz)
            state.SkipWithError("pairwise pattern differs");
        benchmark::DoNotOptimize(found);
    }
}

// range(0): 0 searched pass, 1 pass through the position table.
void BM_NormalValues(benchmark::State& state)
{
    const Problem& p = problem();
    Normal& n = normal();
    std::vector<double> saved(n.AtA.val, n.AtA.val + n.AtA.nnz);
    for (auto _ : state) {
        if (state.range(0) == 0)
            splm_calc_AtA_Atb_crsA(&p.J, 0, &n.AtA, 1, p.e.data(), n.Atb.data());
        else
            splm_calc_AtA_Atb_crsA_positions(&p.J, &n.table, &n.AtA, p.e.data(), n.Atb.data());
        benchmark::ClobberMemory();
    }
    std::copy(saved.begin(), saved.end(), n.AtA.val);  // keep the damped values for the factorisation
}

// range(0): BLAS threads (the analysis itself does not use the BLAS).
void BM_CholmodAnalyse(benchmark::State& state)
{
    Normal& n = normal();
    for (auto _ : state) {
        splm_cholmod_state* s = nullptr;
        splm_cholmod_analyze(&n.AtA, &s);
        benchmark::DoNotOptimize(s);
        splm_cholmod_release(&s);
    }
}

void BM_CholmodFactorise(benchmark::State& state)
{
    Normal& n = normal();
    const int threads = state.range(0) == 0 ? kDefaultBlasThreads : int(state.range(0));
    setBlasThreads(threads);
    for (auto _ : state) {
        if (!splm_cholmod_factorize(&n.AtA, n.cholmod))
            state.SkipWithError("factorisation failed");
    }
    state.counters["blas_threads"] = threads;
    state.counters["L_nnz"] = n.cholmod->common.lnz;
    state.counters["flops"] = n.cholmod->common.fl;
    state.counters["supernodal"] = n.cholmod->L->is_super;
    setBlasThreads(splm_cholmod_blas_threads());
}

void BM_CholmodSolve(benchmark::State& state)
{
    Normal& n = normal();
    const int threads = state.range(0) == 0 ? kDefaultBlasThreads : int(state.range(0));
    setBlasThreads(threads);
    if (!splm_cholmod_factorize(&n.AtA, n.cholmod))
        state.SkipWithError("factorisation failed");
    std::vector<double> x(kUnknowns);
    for (auto _ : state) {
        if (!splm_cholmod_solve(n.cholmod, n.Atb.data(), x.data()))
            state.SkipWithError("solve failed");
        benchmark::DoNotOptimize(x.data());
    }
    state.counters["blas_threads"] = threads;
    setBlasThreads(splm_cholmod_blas_threads());
}

// A whole first iteration through the solver's entry: the model is linear,
// hx = J p, so the callbacks only copy J and multiply.
void linearModel(double* p, double* hx, int, int nobs, void*)
{
    const splm_crsm& J = problem().J;
    for (int i = 0; i < nobs; ++i) {
        double sum = 0.0;
        for (int k = J.rowptr[i]; k < J.rowptr[i + 1]; ++k)
            sum += J.val[k] * p[J.colidx[k]];
        hx[i] = sum - problem().e[i];
    }
}

void linearJacobian(double*, splm_crsm* J, int, int, void*)
{
    const splm_crsm& source = problem().J;
    const int count = source.rowptr[source.nr];
    std::memcpy(J->val, source.val, sizeof(double) * size_t(count));
    std::memcpy(J->colidx, source.colidx, sizeof(int) * size_t(count));
    std::memcpy(J->rowptr, source.rowptr, sizeof(int) * (size_t(source.nr) + 1));
    J->nr = source.nr;
    J->nc = source.nc;
    J->nnz = count;
}

// range(0): iteration limit; the difference of the two times is what each
// later iteration costs.
void BM_SolverIterations(benchmark::State& state)
{
    const Problem& p = problem();
    const int count = p.J.rowptr[p.J.nr];
    const int itmax = int(state.range(0));
    std::vector<double> parameters(kUnknowns);
    double info[SPLM_INFO_SZ];
    const double opts[SPLM_OPTS_SZ] = {1e-4, 1e-30, 1e-12, 1e-30, 1e-6, 1.0};
    for (auto _ : state) {
        std::fill(parameters.begin(), parameters.end(), 0.0);
        splm_crs_analytic(linearModel, linearJacobian, parameters.data(), nullptr, kUnknowns, 0, p.nobs, count, -1,
                          itmax, opts, info, nullptr);
    }
    state.counters["iterations"] = info[5];
    state.counters["linear_solves"] = info[9];
    state.counters["stop_reason"] = info[6];
}

BENCHMARK(BM_NormalPattern)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalPatternPairwise)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_PositionTable)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_NormalValues)->Arg(0)->Arg(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CholmodAnalyse)->Unit(benchmark::kMillisecond);
// Arg 0 stands for OpenBLAS's default thread count.
BENCHMARK(BM_CholmodFactorise)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_CholmodSolve)->Arg(1)->Arg(0)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_SolverIterations)->Arg(1)->Arg(3)->Unit(benchmark::kMillisecond);

}  // namespace

BENCHMARK_MAIN();
