// First-hit ray queries and build time of the face hierarchy on a mesh of
// about a million triangles, side by side with Embree's single-ray queries
// (rtcIntersect1) on the same triangles and rays.
#include "spatial/BVH.h"

#include "bvh_bench_mesh.h"

#include <benchmark/benchmark.h>

#include <malloc.h>

#include <atomic>
#include <cfloat>
#include <memory>

#ifdef PLYFORM_HAVE_EMBREE
#include <embree3/rtcore.h>
#endif

namespace {

const int meshTriangles = 1000000;
const int rayCount = 1 << 16;

const SpatialBench::Mesh& mesh()
{
    static const SpatialBench::Mesh m = SpatialBench::bumpyTorus(meshTriangles);
    return m;
}

const QVector<SpatialBench::Ray>& rays()
{
    static const QVector<SpatialBench::Ray> r = SpatialBench::raysThroughBox(rayCount, 7);
    return r;
}

const BVH2::BvhNodeBase& tree()
{
    static const std::unique_ptr<BVH2::BvhNodeBase> root(BVH2::buildTree(mesh().vertices, mesh().triangles, 10));
    return *root;
}

void BM_BvhBuild(benchmark::State& state)
{
    const SpatialBench::Mesh& m = mesh();
    size_t heapBytes = 0;
    for (auto _ : state) {
        const size_t before = mallinfo2().uordblks;
        std::unique_ptr<BVH2::BvhNodeBase> root(BVH2::buildTree(m.vertices, m.triangles, 10));
        heapBytes = mallinfo2().uordblks - before;
        benchmark::DoNotOptimize(root.get());
    }
    state.counters["triangles"] = m.triangles.size();
    // The tree with the root's first-hit search structure.
    state.counters["heap_MB"] = double(heapBytes) / 1e6;
}
BENCHMARK(BM_BvhBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_BvhFirstHit(benchmark::State& state)
{
    const SpatialBench::Mesh& m = mesh();
    const QVector<SpatialBench::Ray>& r = rays();
    const BVH2::BvhNodeBase& root = tree();
    int i = state.thread_index() * 997;
    int hits = 0;
    for (auto _ : state) {
        const SpatialBench::Ray& ray = r[i++ & (rayCount - 1)];
        int face = -1;
        double distance = DBL_MAX, u, v;
        root.findFirstRayIntersectedTriangle(ray.origin, ray.direction, m.triangles, m.vertices,
                                             BVH2::RayFaceIntersection_AnyFace, face, distance, &u, &v);
        hits += face >= 0;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["hit_fraction"] =
        benchmark::Counter(double(hits) / double(state.iterations()), benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_BvhFirstHit)->Threads(1)->Threads(8)->UseRealTime();

#ifdef PLYFORM_HAVE_EMBREE
struct EmbreeScene {
    RTCDevice device = nullptr;
    RTCScene scene = nullptr;
    EmbreeScene()
    {
        const SpatialBench::Mesh& m = mesh();
        device = rtcNewDevice(nullptr);
        scene = rtcNewScene(device);
        RTCGeometry geometry = rtcNewGeometry(device, RTC_GEOMETRY_TYPE_TRIANGLE);
        float* positions = static_cast<float*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_VERTEX, 0, RTC_FORMAT_FLOAT3, 3 * sizeof(float), size_t(m.vertices.size())));
        for (int i = 0; i < m.vertices.size(); ++i) {
            positions[3 * i] = m.vertices[i].x();
            positions[3 * i + 1] = m.vertices[i].y();
            positions[3 * i + 2] = m.vertices[i].z();
        }
        unsigned* indices = static_cast<unsigned*>(rtcSetNewGeometryBuffer(
            geometry, RTC_BUFFER_TYPE_INDEX, 0, RTC_FORMAT_UINT3, 3 * sizeof(unsigned), size_t(m.triangles.size())));
        for (int f = 0; f < m.triangles.size(); ++f)
            for (int k = 0; k < 3; ++k)
                indices[3 * f + k] = unsigned(m.triangles[f][k]);
        rtcCommitGeometry(geometry);
        rtcAttachGeometry(scene, geometry);
        rtcReleaseGeometry(geometry);
        rtcCommitScene(scene);
    }
    ~EmbreeScene()
    {
        rtcReleaseScene(scene);
        rtcReleaseDevice(device);
    }
};

const EmbreeScene& embreeScene()
{
    static const EmbreeScene scene;
    return scene;
}

void BM_EmbreeBuild(benchmark::State& state)
{
    for (auto _ : state) {
        EmbreeScene scene;
        benchmark::DoNotOptimize(scene.scene);
    }
}
BENCHMARK(BM_EmbreeBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_EmbreeFirstHit(benchmark::State& state)
{
    const QVector<SpatialBench::Ray>& r = rays();
    RTCScene scene = embreeScene().scene;
    int i = state.thread_index() * 997;
    int hits = 0;
    for (auto _ : state) {
        const SpatialBench::Ray& ray = r[i++ & (rayCount - 1)];
        RTCIntersectContext context;
        rtcInitIntersectContext(&context);
        RTCRayHit rayHit;
        rayHit.ray.org_x = ray.origin.x();
        rayHit.ray.org_y = ray.origin.y();
        rayHit.ray.org_z = ray.origin.z();
        rayHit.ray.dir_x = ray.direction.x();
        rayHit.ray.dir_y = ray.direction.y();
        rayHit.ray.dir_z = ray.direction.z();
        rayHit.ray.tnear = 0.0f;
        rayHit.ray.tfar = FLT_MAX;
        rayHit.ray.mask = ~0u;
        rayHit.ray.flags = 0;
        rayHit.ray.time = 0.0f;
        rayHit.hit.geomID = RTC_INVALID_GEOMETRY_ID;
        rtcIntersect1(scene, &context, &rayHit);
        hits += rayHit.hit.geomID != RTC_INVALID_GEOMETRY_ID;
    }
    state.SetItemsProcessed(state.iterations());
    state.counters["hit_fraction"] =
        benchmark::Counter(double(hits) / double(state.iterations()), benchmark::Counter::kAvgThreads);
}
BENCHMARK(BM_EmbreeFirstHit)->Threads(1)->Threads(8)->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
