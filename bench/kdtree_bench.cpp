// Nearest-point queries and build time of the point KD-tree over the vertices
// of a mesh of about a million triangles (about half a million points), side by
// side with nanoflann on the same points, queries and leaf size.
#include "spatial/KDTree.h"

#include "bvh_bench_mesh.h"

#include <benchmark/benchmark.h>

#include <memory>
#include <random>

#ifdef PLYFORM_HAVE_NANOFLANN
#include <nanoflann.hpp>
#endif

namespace {

const int queryCount = 1 << 16;
const int leafSize = 10;

const QVector<QVector3D>& points()
{
    static const QVector<QVector3D> p = SpatialBench::bumpyTorus(1000000).vertices;
    return p;
}

// Positions near the surface (as the registration's deformed vertices are) and in the box.
const QVector<QVector3D>& queries()
{
    static const QVector<QVector3D> q = [] {
        std::mt19937 rng(3);
        std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
        const QVector<QVector3D>& p = points();
        QVector<QVector3D> result;
        for (int i = 0; i < queryCount; ++i) {
            if (i % 4 == 0)
                result.append(QVector3D(unit(rng), unit(rng), unit(rng)) * 55.0f);
            else
                result.append(p[int(rng() % uint32_t(p.size()))] + QVector3D(unit(rng), unit(rng), unit(rng)) * 0.5f);
        }
        return result;
    }();
    return q;
}

const KDTree::NodeBase& tree()
{
    static const std::unique_ptr<KDTree::NodeBase> root(KDTree::buildTree(points(), leafSize));
    return *root;
}

void BM_KdTreeBuild(benchmark::State& state)
{
    for (auto _ : state) {
        std::unique_ptr<KDTree::NodeBase> root(KDTree::buildTree(points(), leafSize));
        benchmark::DoNotOptimize(root.get());
    }
    state.counters["points"] = points().size();
}
BENCHMARK(BM_KdTreeBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_KdTreeNearest(benchmark::State& state)
{
    const QVector<QVector3D>& p = points();
    const QVector<QVector3D>& q = queries();
    const KDTree::NodeBase& root = tree();
    int i = state.thread_index() * 997;
    for (auto _ : state) {
        float d;
        benchmark::DoNotOptimize(root.findNearestPointInd(q[i++ & (queryCount - 1)], p, &d));
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_KdTreeNearest)->Threads(1)->Threads(8)->UseRealTime();

#ifdef PLYFORM_HAVE_NANOFLANN
struct Cloud {
    const QVector<QVector3D>* points;
    size_t kdtree_get_point_count() const { return size_t(points->size()); }
    float kdtree_get_pt(size_t index, size_t dim) const { return (*points)[int(index)][int(dim)]; }
    template <class Box>
    bool kdtree_get_bbox(Box&) const
    {
        return false;
    }
};
using NanoTree = nanoflann::KDTreeSingleIndexAdaptor<nanoflann::L2_Simple_Adaptor<float, Cloud>, Cloud, 3>;

const Cloud& cloud()
{
    static const Cloud c{&points()};
    return c;
}

const NanoTree& nanoTree()
{
    static const std::unique_ptr<NanoTree> index = [] {
        std::unique_ptr<NanoTree> t(new NanoTree(3, cloud(), nanoflann::KDTreeSingleIndexAdaptorParams(leafSize)));
        t->buildIndex();
        return t;
    }();
    return *index;
}

void BM_NanoflannBuild(benchmark::State& state)
{
    for (auto _ : state) {
        NanoTree index(3, cloud(), nanoflann::KDTreeSingleIndexAdaptorParams(leafSize));
        index.buildIndex();
        benchmark::DoNotOptimize(&index);
    }
}
BENCHMARK(BM_NanoflannBuild)->Unit(benchmark::kMillisecond)->Iterations(3);

void BM_NanoflannNearest(benchmark::State& state)
{
    const QVector<QVector3D>& q = queries();
    const NanoTree& index = nanoTree();
    int i = state.thread_index() * 997;
    for (auto _ : state) {
        const QVector3D& query = q[i++ & (queryCount - 1)];
        const float position[3] = {query.x(), query.y(), query.z()};
        size_t found = 0;
        float distance = 0;
        nanoflann::KNNResultSet<float> result(1);
        result.init(&found, &distance);
        index.findNeighbors(result, position, nanoflann::SearchParams());
        benchmark::DoNotOptimize(found);
    }
    state.SetItemsProcessed(state.iterations());
}
BENCHMARK(BM_NanoflannNearest)->Threads(1)->Threads(8)->UseRealTime();
#endif

}  // namespace

BENCHMARK_MAIN();
