// Cost of one closest-point residual row with its derivatives, built the way the registration
// builds it: a template vertex moved by four deformation-graph nodes (three rotation parameters
// and three translations each: 24 derivative slots), then its distance to the nearest target
// point and its signed distance to that point's tangent plane. Single-threaded. Each DerVal
// figure has an InlineDerVal one beside it: the same doubles, the slots held in the value.
//
// Heap allocations are counted by wrapping the C allocator in this program only: Qt's
// containers allocate through malloc, operator new does too.
#include "numerics/DerVal.h"
#include "numerics/InlineDerVal.h"
#include "numerics/Quaternion.h"
#include "numerics/Vector.h"
#include "registration/InlineSubsetDeformation.h"

#include <benchmark/benchmark.h>

#include <QVector3D>
#include <QVector>

#include <atomic>
#include <cstddef>
#include <utility>

#if !defined(__SANITIZE_ADDRESS__)
extern "C" {
void* __libc_malloc(std::size_t size);
void* __libc_calloc(std::size_t count, std::size_t size);
void* __libc_realloc(void* pointer, std::size_t size);
void __libc_free(void* pointer);
}
#endif

namespace {

std::atomic<long long> heapAllocations{0};

// One thread allocates while counting; a plain load and store keep the count cheap.
[[maybe_unused]] void countAllocation()
{
    heapAllocations.store(heapAllocations.load(std::memory_order_relaxed) + 1, std::memory_order_relaxed);
}

}  // namespace

#if !defined(__SANITIZE_ADDRESS__)
extern "C" void* malloc(std::size_t size) noexcept
{
    countAllocation();
    return __libc_malloc(size);
}

extern "C" void* calloc(std::size_t count, std::size_t size) noexcept
{
    countAllocation();
    return __libc_calloc(count, size);
}

extern "C" void* realloc(void* pointer, std::size_t size) noexcept
{
    countAllocation();
    return __libc_realloc(pointer, size);
}

extern "C" void free(void* pointer) noexcept
{
    __libc_free(pointer);
}
#endif

namespace {

struct RowInputs {
    QVector<QVector<double>> rotations;     // per influence node: rotation parameters (a, b, c)
    QVector<QVector<double>> translations;  // per influence node
    QVector<QVector3D> nodes;               // rest positions of the influence nodes
    QVector<double> weights;
    QVector3D vertex;
    QVector3D target;
    QVector3D targetNormal;
};

RowInputs fourNodeRow()
{
    RowInputs in;
    in.rotations = {{1.02, 0.05, -0.03}, {0.97, -0.08, 0.02}, {1.1, 0.01, 0.12}, {0.93, 0.04, -0.06}};
    in.translations = {{0.3, -0.1, 0.05}, {0.25, 0.0, -0.02}, {0.4, -0.2, 0.1}, {0.1, 0.05, 0.0}};
    in.nodes = {{10.0f, 20.0f, 5.0f}, {12.5f, 19.0f, 6.0f}, {9.0f, 22.0f, 4.5f}, {11.0f, 21.5f, 7.0f}};
    in.weights = {0.4, 0.3, 0.2, 0.1};
    in.vertex = QVector3D(10.8f, 20.6f, 5.7f);
    in.target = QVector3D(11.2f, 20.4f, 5.9f);
    in.targetNormal = QVector3D(0.267f, 0.534f, 0.802f);
    return in;
}

const double kAlphaPointToPoint = 0.1;
const double kAlphaPointToPlane = 1.0;
const double kFitWeight = 1.0;
const double kGateTimesMask = 1.0;

DerVal closestPointRowWithDerivatives(const RowInputs& in)
{
    // Every parameter of the influence nodes becomes a variable with its own local slot.
    const int nodeCount = in.nodes.size();
    const int slotCount = 6 * nodeCount;
    QVector<QVector<DerVal>> rotations(nodeCount, QVector<DerVal>(3));
    QVector<QVector<DerVal>> translations(nodeCount, QVector<DerVal>(3));
    for (int p = 0; p < nodeCount; ++p) {
        for (int c = 0; c < 3; ++c) {
            rotations[p][c] = DerVal(in.rotations[p][c], slotCount).diff(6 * p + c);
            translations[p][c] = DerVal(in.translations[p][c], slotCount).diff(6 * p + 3 + c);
        }
    }

    Vec<DerVal> deformed(3);
    for (int i = 0; i < nodeCount; ++i) {
        const QVector<QVector<DerVal>> r =
            Quaternion<DerVal>(rotations[i][0], rotations[i][1], rotations[i][2]).rotationMatrix();
        Vec<DerVal> term =
            r * Vec<DerVal>(in.vertex - in.nodes[i]) + Vec<DerVal>(in.nodes[i]) + Vec<DerVal>(translations[i]);
        term = std::move(term) * DerVal(in.weights[i]);
        deformed = i == 0 ? std::move(term) : std::move(deformed) + term;
    }

    const Vec<DerVal> b(in.target);
    const Vec<DerVal> n(in.targetNormal);
    const DerVal distance = (deformed - b).norm();
    const DerVal plane = n[0] * (deformed[0] - b[0]) + n[1] * (deformed[1] - b[1]) + n[2] * (deformed[2] - b[2]);
    return (DerVal(kGateTimesMask) * (DerVal(kAlphaPointToPoint) * distance + DerVal(kAlphaPointToPlane) * plane)) *
           DerVal(kFitWeight);
}

// The same row with the slots held inline (24: four nodes).
DerVal closestPointRowWithInlineDerivatives(const RowInputs& in)
{
    using V = InlineDerVal<24>;
    QList<int> listed;
    for (int p = 0; p < in.nodes.size(); ++p)
        listed << p;
    V deformed[3];
    NonRigidRegistration::deformVertexSubsetInline<24>(in.rotations, in.translations, listed, in.vertex, in.nodes,
                                                       in.weights, deformed);
    const V b[3] = {V(double(in.target.x())), V(double(in.target.y())), V(double(in.target.z()))};
    const V n[3] = {V(double(in.targetNormal.x())), V(double(in.targetNormal.y())), V(double(in.targetNormal.z()))};
    V squares = pow(deformed[0] - b[0], 2.0);
    squares += pow(deformed[1] - b[1], 2.0);
    squares += pow(deformed[2] - b[2], 2.0);
    const V distance = sqrt(squares);
    const V plane = n[0] * (deformed[0] - b[0]) + n[1] * (deformed[1] - b[1]) + n[2] * (deformed[2] - b[2]);
    return ((V(kGateTimesMask) * (V(kAlphaPointToPoint) * distance + V(kAlphaPointToPlane) * plane)) * V(kFitWeight))
        .toDerVal();
}

double closestPointRowValue(const RowInputs& in)
{
    Vec<double> deformed(3);
    for (int i = 0; i < in.nodes.size(); ++i) {
        const QVector<QVector<double>> r =
            Quaternion<double>(in.rotations[i][0], in.rotations[i][1], in.rotations[i][2]).rotationMatrix();
        Vec<double> term =
            r * Vec<double>(in.vertex - in.nodes[i]) + Vec<double>(in.nodes[i]) + Vec<double>(in.translations[i]);
        term = std::move(term) * in.weights[i];
        deformed = i == 0 ? std::move(term) : std::move(deformed) + term;
    }
    const Vec<double> b(in.target);
    const Vec<double> n(in.targetNormal);
    const double distance = (deformed - b).norm();
    const double plane = n[0] * (deformed[0] - b[0]) + n[1] * (deformed[1] - b[1]) + n[2] * (deformed[2] - b[2]);
    return kGateTimesMask * (kAlphaPointToPoint * distance + kAlphaPointToPlane * plane) * kFitWeight;
}

void reportAllocations(benchmark::State& state, long long before)
{
    const long long allocations = heapAllocations.load() - before;
    state.counters["heap_allocs_per_row"] = benchmark::Counter(double(allocations), benchmark::Counter::kAvgIterations);
}

void BM_ClosestPointRowWithDerivatives(benchmark::State& state)
{
    const RowInputs in = fourNodeRow();
    const long long before = heapAllocations.load();
    for (auto _ : state) {
        DerVal row = closestPointRowWithDerivatives(in);
        benchmark::DoNotOptimize(row.value);
        benchmark::DoNotOptimize(row.derivatives.constData());
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ClosestPointRowWithDerivatives);

// The row with inline slots; the one allocation left is the DerVal handed back.
void BM_ClosestPointRowWithInlineDerivatives(benchmark::State& state)
{
    const RowInputs in = fourNodeRow();
    if (!(closestPointRowWithInlineDerivatives(in) == closestPointRowWithDerivatives(in)))
        state.SkipWithError("the inline row differs from the DerVal row");
    const long long before = heapAllocations.load();
    for (auto _ : state) {
        DerVal row = closestPointRowWithInlineDerivatives(in);
        benchmark::DoNotOptimize(row.value);
        benchmark::DoNotOptimize(row.derivatives.constData());
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ClosestPointRowWithInlineDerivatives);

// The same row on plain doubles (the residual callback's form), for scale.
void BM_ClosestPointRowValueOnly(benchmark::State& state)
{
    const RowInputs in = fourNodeRow();
    const long long before = heapAllocations.load();
    for (auto _ : state) {
        double row = closestPointRowValue(in);
        benchmark::DoNotOptimize(row);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ClosestPointRowValueOnly);

// One product of two 24-slot values, the most frequent operation of the row.
void BM_ProductOf24SlotValues(benchmark::State& state)
{
    DerVal a(1.5, 24);
    DerVal b(-0.5, 24);
    for (int k = 0; k < 24; ++k) {
        a.derivatives[k] = 0.1 * k;
        b.derivatives[k] = 1.0 - 0.05 * k;
    }
    const long long before = heapAllocations.load();
    for (auto _ : state) {
        DerVal p = a * b;
        benchmark::DoNotOptimize(p.derivatives.constData());
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ProductOf24SlotValues);

void BM_ProductOf24SlotInlineValues(benchmark::State& state)
{
    InlineDerVal<24> a(1.5, 24);
    InlineDerVal<24> b(-0.5, 24);
    DerVal da(1.5, 24), db(-0.5, 24);
    for (int k = 0; k < 24; ++k) {
        da.derivatives[k] = 0.1 * k;
        db.derivatives[k] = 1.0 - 0.05 * k;
    }
    a = InlineDerVal<24>::fromDerVal(da);
    b = InlineDerVal<24>::fromDerVal(db);
    const long long before = heapAllocations.load();
    for (auto _ : state) {
        benchmark::DoNotOptimize(a);
        InlineDerVal<24> p = a * b;
        benchmark::DoNotOptimize(p);
    }
    reportAllocations(state, before);
}
BENCHMARK(BM_ProductOf24SlotInlineValues);

}  // namespace

BENCHMARK_MAIN();
