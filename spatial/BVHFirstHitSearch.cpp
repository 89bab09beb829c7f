#include "spatial/BVHFirstHitSearch.h"

#include <algorithm>
#include <cfloat>
#include <cmath>
#include <cstring>
#include <functional>

#include <QtConcurrent>

#include "numerics/ParallelChunks.h"

#if defined(__SSE2__)
#include <emmintrin.h>
#endif

namespace BVH2 {

namespace {

// Search boxes are the triangles' boxes widened by this share of the mesh's box diagonal.
const double marginShare = 1e-4;
// Bound on the relative error of the single-precision slab parameter
// ((bound - origin) * (1 / direction): three roundings of 2^-24 each).
const double slabRelativeError = 1.8e-7;
const int leafTriangles = 4;
const int binCount = 16;
const int inlineStackSize = 256;
// Ranges of at least this many triangles split their subtrees over the pool,
// down to this many levels of four-wide nodes (up to 4^2 subtrees at once).
const int parallelTriangles = 1 << 14;
const int parallelNodeLevels = 2;
// Faces per work item of the per-face passes.
const int faceChunk = 1 << 14;

// Four floats; the lanes follow IEEE single precision exactly as scalar code
// does, so the triangle test's products and sums are bit-identical to it.
#if defined(__SSE2__)
struct F4 {
    __m128 m;
    static F4 load(const float* p) { return F4{_mm_load_ps(p)}; }
    static F4 all(float x) { return F4{_mm_set1_ps(x)}; }
    void store(float* p) const { _mm_store_ps(p, m); }
};
inline F4 operator+(F4 a, F4 b)
{
    return F4{_mm_add_ps(a.m, b.m)};
}
inline F4 operator-(F4 a, F4 b)
{
    return F4{_mm_sub_ps(a.m, b.m)};
}
inline F4 operator*(F4 a, F4 b)
{
    return F4{_mm_mul_ps(a.m, b.m)};
}
// a > b ? a : b, and a < b ? a : b: a lane of a that is NaN yields b.
inline F4 maxFirst(F4 a, F4 b)
{
    return F4{_mm_max_ps(a.m, b.m)};
}
inline F4 minFirst(F4 a, F4 b)
{
    return F4{_mm_min_ps(a.m, b.m)};
}
inline int lessEqualMask(F4 a, F4 b)
{
    return _mm_movemask_ps(_mm_cmple_ps(a.m, b.m));
}
#else
struct F4 {
    float v[4];
    static F4 load(const float* p) { return F4{{p[0], p[1], p[2], p[3]}}; }
    static F4 all(float x) { return F4{{x, x, x, x}}; }
    void store(float* p) const { std::copy(v, v + 4, p); }
};
template <typename Op>
inline F4 lanes(F4 a, F4 b, Op op)
{
    F4 r;
    for (int i = 0; i < 4; ++i)
        r.v[i] = op(a.v[i], b.v[i]);
    return r;
}
inline F4 operator+(F4 a, F4 b)
{
    return lanes(a, b, [](float x, float y) { return x + y; });
}
inline F4 operator-(F4 a, F4 b)
{
    return lanes(a, b, [](float x, float y) { return x - y; });
}
inline F4 operator*(F4 a, F4 b)
{
    return lanes(a, b, [](float x, float y) { return x * y; });
}
inline F4 maxFirst(F4 a, F4 b)
{
    return lanes(a, b, [](float x, float y) { return x > y ? x : y; });
}
inline F4 minFirst(F4 a, F4 b)
{
    return lanes(a, b, [](float x, float y) { return x < y ? x : y; });
}
inline int lessEqualMask(F4 a, F4 b)
{
    int mask = 0;
    for (int i = 0; i < 4; ++i)
        mask |= (a.v[i] <= b.v[i]) << i;
    return mask;
}
#endif

float roundedDown(double x)
{
    float f = float(x);
    if (double(f) > x)
        f = std::nextafter(f, -INFINITY);
    return f;
}

float roundedUp(double x)
{
    float f = float(x);
    if (double(f) < x)
        f = std::nextafter(f, INFINITY);
    return f;
}

// The largest float below 1e-6: the triangle test rejects |det| < 1e-6, that is |det| <= this.
float largestFloatBelowDetThreshold()
{
    float f = float(1e-6);
    while (double(f) >= 1e-6)
        f = std::nextafter(f, 0.0f);
    return f;
}

// Build-time box; the fourth lane only pads for four-wide minimum and maximum.
struct alignas(16) Box {
    float lo[4] = {FLT_MAX, FLT_MAX, FLT_MAX, FLT_MAX};
    float hi[4] = {-FLT_MAX, -FLT_MAX, -FLT_MAX, -FLT_MAX};
    void grow(const Box& b)
    {
        minFirst(F4::load(lo), F4::load(b.lo)).store(lo);
        maxFirst(F4::load(hi), F4::load(b.hi)).store(hi);
    }
    void grow(const float* p)  // four floats, 16-byte aligned
    {
        const F4 q = F4::load(p);
        minFirst(F4::load(lo), q).store(lo);
        maxFirst(F4::load(hi), q).store(hi);
    }
    float halfArea() const
    {
        const float x = hi[0] - lo[0], y = hi[1] - lo[1], z = hi[2] - lo[2];
        return (x < 0 || y < 0 || z < 0) ? 0.0f : x * y + y * z + z * x;
    }
};

}  // namespace

struct FirstHitSearch::Build {
    FirstHitSearch& out;
    const QVector<QVector3D>& vertices;
    const QVector<QList<int>>& faces;
    std::vector<Box> boxes;  // widened triangle boxes, by primitive
    std::vector<float> centroids;
    std::vector<int32_t> prims;  // face indices, reordered by the build
    int64_t position = 0;
    bool ok = true;

    // Depth-first over the hierarchy, left before right, keeping the
    // intersection of the boxes met on the way down.
    void visit(const BvhNodeBase* node, const PathBox& path)
    {
        const Viewport3D::BoundingBox* box = nullptr;
        const BvhNode* inner = dynamic_cast<const BvhNode*>(node);
        const BvhNodeLeaf* leaf = dynamic_cast<const BvhNodeLeaf*>(node);
        if (inner)
            box = &inner->boundingBox;
        else if (leaf)
            box = &leaf->boundingBox;
        else
            return;
        PathBox here = path;
        const QVector3D hi = box->origin + box->size;  // as the slab test rounds it
        for (int a = 0; a < 3; ++a) {
            here.lo[a] = std::max(here.lo[a], box->origin[a]);
            here.hi[a] = std::min(here.hi[a], hi[a]);
        }
        if (inner) {
            visit(inner->childLeft, here);
            visit(inner->childRight, here);
            return;
        }
        const bool empty = !(here.lo[0] <= here.hi[0] && here.lo[1] <= here.hi[1] && here.lo[2] <= here.hi[2]);
        for (const int f : leaf->faceIndices) {
            if (position > INT32_MAX - 2) {
                ok = false;
                return;
            }
            if (f >= 0 && f < faces.size() && out.firstPosition_[size_t(f)] == -1) {
                out.firstPosition_[size_t(f)] = empty ? int32_t(-(position + 2)) : int32_t(position);
                out.pathBoxes_[size_t(f)] = here;
            }
            ++position;
        }
    }

    // Every face the hierarchy holds with at least three corners, in face
    // order, with its box; the per-face work runs in chunks on the pool.
    void collectTriangles()
    {
        const int faceCount = faces.size();
        auto taken = [this](int f) { return out.firstPosition_[size_t(f)] != -1 && faces.at(f).size() >= 3; };
        const int chunkCount = (faceCount + faceChunk - 1) / faceChunk;
        std::vector<int> chunkFirst(size_t(chunkCount) + 1, 0);
        Parallel::forChunks(faceCount, faceChunk, [&](int begin, int end) {
            int count = 0;
            for (int f = begin; f < end; ++f)
                count += taken(f) ? 1 : 0;
            chunkFirst[size_t(begin / faceChunk) + 1] = count;
        });
        for (int c = 0; c < chunkCount; ++c)
            chunkFirst[size_t(c) + 1] += chunkFirst[size_t(c)];
        const int primCount = chunkFirst[size_t(chunkCount)];
        boxes.resize(size_t(primCount));
        prims.resize(size_t(primCount));
        std::vector<Box> chunkBoxes(static_cast<size_t>(chunkCount));
        std::vector<char> chunkOk(size_t(chunkCount), 1);
        Parallel::forChunks(faceCount, faceChunk, [&](int begin, int end) {
            const size_t chunk = size_t(begin / faceChunk);
            size_t i = size_t(chunkFirst[chunk]);
            Box whole;
            bool finite = true;
            for (int f = begin; f < end; ++f) {
                if (!taken(f))
                    continue;
                Box b;
                for (int k = 0; k < 3; ++k) {
                    const QVector3D& p = vertices.at(faces.at(f).at(k));
                    for (int a = 0; a < 3; ++a)
                        if (!(std::fabs(p[a]) <= 1e30f))
                            finite = false;
                    alignas(16) const float c[4] = {p.x(), p.y(), p.z(), 0.0f};
                    b.grow(c);
                }
                boxes[i] = b;
                prims[i] = f;
                ++i;
                whole.grow(b);
            }
            chunkBoxes[chunk] = whole;
            chunkOk[chunk] = finite ? 1 : 0;
        });
        // Minimum and maximum do not depend on the order of the chunks once
        // every coordinate is finite; otherwise nothing is built.
        Box whole;
        for (int c = 0; c < chunkCount; ++c) {
            ok = ok && chunkOk[size_t(c)] != 0;
            whole.grow(chunkBoxes[size_t(c)]);
        }
        if (!ok || prims.empty())
            return;
        double diagonal2 = 0.0;
        for (int a = 0; a < 3; ++a)
            diagonal2 += std::pow(double(whole.hi[a]) - double(whole.lo[a]), 2);
        const double m = marginShare * std::sqrt(diagonal2);
        out.margin_ = roundedDown(m);
        centroids.resize(prims.size() * 4);
        Parallel::forChunks(primCount, faceChunk, [&](int begin, int end) {
            for (size_t i = size_t(begin); i < size_t(end); ++i) {
                for (int a = 0; a < 3; ++a) {
                    boxes[i].lo[a] = roundedDown(double(boxes[i].lo[a]) - m);
                    boxes[i].hi[a] = roundedUp(double(boxes[i].hi[a]) + m);
                    centroids[4 * i + size_t(a)] = 0.5f * (boxes[i].lo[a] + boxes[i].hi[a]);
                }
            }
        });
        double half = 0.0;
        for (int a = 0; a < 3; ++a) {
            const double lo = double(whole.lo[a]) - m, hi = double(whole.hi[a]) + m;
            out.center_[a] = float(0.5 * (lo + hi));
            half = std::max(half, std::max(hi - double(out.center_[a]), double(out.center_[a]) - lo));
        }
        out.halfExtent_ = roundedUp(half);
    }

    struct Range {
        int begin, end;
        Box box;        // of the widened triangle boxes
        Box centroids;  // of their centres
        int count() const { return end - begin; }
    };

    Range rangeOf(int begin, int end) const
    {
        Range r{begin, end, Box(), Box()};
        for (int i = begin; i < end; ++i) {
            r.box.grow(boxes[size_t(i)]);
            r.centroids.grow(&centroids[4 * size_t(i)]);
        }
        return r;
    }

    // Splits a range in two by the binned surface-area cost over the
    // centres, all three axes binned in one pass; the halves' boxes come from
    // the bins. Falls back to halving the range when the centres coincide.
    void split(const Range& whole, Range& left, Range& right)
    {
        struct Bin {
            Box box, centroids;
            int count = 0;
        };
        Bin bins[3][binCount];
        float scale[3];
        int widestAxis = 0;
        for (int a = 0; a < 3; ++a) {
            const float extent = whole.centroids.hi[a] - whole.centroids.lo[a];
            scale[a] = extent > 0.0f ? binCount / extent : 0.0f;
            if (extent > whole.centroids.hi[widestAxis] - whole.centroids.lo[widestAxis])
                widestAxis = a;
        }
        for (int a = 0; a < 3; ++a)
            if (a != widestAxis)
                scale[a] = 0.0f;
        for (int i = whole.begin; i < whole.end; ++i) {
            const float* c = &centroids[4 * size_t(i)];
            for (int a = widestAxis; a <= widestAxis; ++a) {
                Bin& bin = bins[a][binOf(c[a], whole.centroids.lo[a], scale[a])];
                bin.box.grow(boxes[size_t(i)]);
                bin.centroids.grow(c);
                ++bin.count;
            }
        }
        float bestCost = FLT_MAX;
        int bestAxis = -1, bestBin = 0;
        for (int a = 0; a < 3; ++a) {
            if (scale[a] == 0.0f)
                continue;
            float rightArea[binCount];
            int rightCount[binCount];
            Box acc;
            int n = 0;
            for (int b = binCount - 1; b > 0; --b) {
                acc.grow(bins[a][b].box);
                n += bins[a][b].count;
                rightArea[b] = acc.halfArea();
                rightCount[b] = n;
            }
            acc = Box();
            n = 0;
            for (int b = 0; b + 1 < binCount; ++b) {
                acc.grow(bins[a][b].box);
                n += bins[a][b].count;
                if (n == 0 || rightCount[b + 1] == 0)
                    continue;
                const float cost = acc.halfArea() * float((n + leafTriangles - 1) / leafTriangles) +
                                   rightArea[b + 1] * float((rightCount[b + 1] + leafTriangles - 1) / leafTriangles);
                if (cost < bestCost) {
                    bestCost = cost;
                    bestAxis = a;
                    bestBin = b;
                }
            }
        }
        if (bestAxis < 0) {
            const int middle = whole.begin + whole.count() / 2;
            left = rangeOf(whole.begin, middle);
            right = rangeOf(middle, whole.end);
            return;
        }
        const int a = bestAxis;
        int i = whole.begin, j = whole.end;
        while (i < j) {
            if (binOf(centroids[4 * size_t(i) + size_t(a)], whole.centroids.lo[a], scale[a]) <= bestBin) {
                ++i;
            } else {
                --j;
                swapPrims(i, j);
            }
        }
        left = Range{whole.begin, i, Box(), Box()};
        right = Range{i, whole.end, Box(), Box()};
        for (int b = 0; b < binCount; ++b) {
            Range& side = b <= bestBin ? left : right;
            side.box.grow(bins[a][b].box);
            side.centroids.grow(bins[a][b].centroids);
        }
    }

    static int binOf(float c, float lo, float scale) { return std::min(binCount - 1, int((c - lo) * scale)); }

    void swapPrims(int i, int j)
    {
        std::swap(prims[size_t(i)], prims[size_t(j)]);
        std::swap(boxes[size_t(i)], boxes[size_t(j)]);
        for (int a = 0; a < 4; ++a)
            std::swap(centroids[4 * size_t(i) + size_t(a)], centroids[4 * size_t(j) + size_t(a)]);
    }

    // Nodes and packs of one subtree in the order the depth-first build makes
    // them; a subtree built apart is appended to its parent's arena as a whole.
    struct Arena {
        std::vector<Node> nodes;
        std::vector<Pack> packs;
        int maxDepth = 0;
    };

    int32_t makePack(Arena& arena, int begin, int end) const
    {
        Pack pack;
        for (int lane = 0; lane < 4; ++lane) {
            pack.face[lane] = -1;
            for (int a = 0; a < 3; ++a)
                pack.p0[a][lane] = pack.e1[a][lane] = pack.e2[a][lane] = 0.0f;  // det 0: never hit
        }
        for (int i = begin; i < end; ++i) {
            const int lane = i - begin;
            const int f = prims[size_t(i)];
            const QList<int>& face = faces.at(f);
            const QVector3D& p0 = vertices.at(face.at(0));
            const QVector3D e1 = vertices.at(face.at(1)) - p0;
            const QVector3D e2 = vertices.at(face.at(2)) - p0;
            pack.face[lane] = f;
            for (int a = 0; a < 3; ++a) {
                pack.p0[a][lane] = p0[a];
                pack.e1[a][lane] = e1[a];
                pack.e2[a][lane] = e2[a];
            }
        }
        arena.packs.push_back(pack);
        return ~int32_t(arena.packs.size() - 1);
    }

    // Appends a subtree built in its own arena (its root is its first node)
    // and returns the root's code in `arena`.
    static int32_t append(Arena& arena, const Arena& subtree)
    {
        const int32_t nodeBase = int32_t(arena.nodes.size());
        const int32_t packBase = int32_t(arena.packs.size());
        for (Node node : subtree.nodes) {
            for (int32_t& code : node.child) {
                if (code == emptySlot)
                    continue;
                code = code >= 0 ? code + nodeBase : ~(~code + packBase);
            }
            arena.nodes.push_back(node);
        }
        arena.packs.insert(arena.packs.end(), subtree.packs.begin(), subtree.packs.end());
        arena.maxDepth = std::max(arena.maxDepth, subtree.maxDepth);
        return nodeBase;
    }

    // The node over `whole` and everything below it, depth first, slot by
    // slot. With `levels` left and enough triangles, the child subtrees are
    // built on the pool, each in its own arena, and appended in slot order:
    // the same arrays as the build on one thread.
    int32_t makeNode(Arena& arena, const Range& whole, int depth, int levels)
    {
        arena.maxDepth = std::max(arena.maxDepth, depth);
        Range ranges[4];
        int count = 1;
        ranges[0] = whole;
        while (count < 4) {
            int widest = -1;
            for (int r = 0; r < count; ++r)
                if (ranges[r].count() > leafTriangles &&
                    (widest < 0 || ranges[r].box.halfArea() > ranges[widest].box.halfArea()))
                    widest = r;
            if (widest < 0)
                break;
            const Range parent = ranges[widest];
            split(parent, ranges[widest], ranges[count++]);
        }
        Arena subtrees[4];
        int32_t subtreeRoots[4] = {emptySlot, emptySlot, emptySlot, emptySlot};
        if (levels > 0 && whole.count() >= parallelTriangles) {
            QFuture<void> builds[4];
            int last = -1;
            for (int slot = 0; slot < count; ++slot)
                if (ranges[slot].count() > leafTriangles)
                    last = slot;
            for (int slot = 0; slot < count; ++slot) {
                if (ranges[slot].count() <= leafTriangles)
                    continue;
                auto buildSlot = [this, &subtrees, &ranges, &subtreeRoots, slot, depth, levels] {
                    subtrees[slot].nodes.reserve(size_t(ranges[slot].count()) / 4 + 1);
                    subtrees[slot].packs.reserve(size_t(ranges[slot].count()) / 2 + 1);
                    subtreeRoots[slot] = makeNode(subtrees[slot], ranges[slot], depth + 1, levels - 1);
                };
                if (slot == last)
                    buildSlot();
                else
                    builds[slot] = QtConcurrent::run(buildSlot);
            }
            for (QFuture<void>& build : builds)
                build.waitForFinished();
        }
        const size_t self = arena.nodes.size();
        arena.nodes.push_back(Node());
        for (int slot = 0; slot < 4; ++slot) {
            Box box;
            int32_t code = emptySlot;
            if (slot < count) {
                const Range& r = ranges[slot];
                box = r.box;
                if (r.count() <= leafTriangles)
                    code = makePack(arena, r.begin, r.end);
                else if (subtreeRoots[slot] != emptySlot)
                    code = append(arena, subtrees[slot]);
                else
                    code = makeNode(arena, r, depth + 1, 0);
            } else {
                for (int a = 0; a < 3; ++a) {
                    box.lo[a] = INFINITY;
                    box.hi[a] = -INFINITY;
                }
            }
            Node& node = arena.nodes[self];
            for (int a = 0; a < 3; ++a) {
                node.bound[a][slot] = box.lo[a];
                node.bound[3 + a][slot] = box.hi[a];
            }
            node.child[slot] = code;
        }
        return int32_t(self);
    }
};

std::unique_ptr<const FirstHitSearch> FirstHitSearch::create(const BvhNode* root, const QVector<QVector3D>& vertices,
                                                             const QVector<QList<int>>& faces, bool pooled)
{
    std::unique_ptr<FirstHitSearch> search(new FirstHitSearch());
    search->firstPosition_.assign(size_t(faces.size()), -1);
    search->pathBoxes_.resize(size_t(faces.size()));
    Build build{*search, vertices, faces, {}, {}, {}, 0, true};
    const PathBox everything{{-INFINITY, -INFINITY, -INFINITY}, {INFINITY, INFINITY, INFINITY}};
    build.visit(root, everything);
    if (!build.ok)
        return nullptr;
    build.collectTriangles();
    if (!build.ok || build.prims.empty())
        return nullptr;
    const int n = int(build.prims.size());
    Build::Arena arena;
    arena.nodes.reserve(size_t(n) / 4 + 1);
    arena.packs.reserve(size_t(n) / 2 + 1);
    search->rootCode_ = n <= leafTriangles
                            ? build.makePack(arena, 0, n)
                            : build.makeNode(arena, build.rangeOf(0, n), 1, pooled ? parallelNodeLevels : 0);
    search->nodes_ = std::move(arena.nodes);
    search->packs_ = std::move(arena.packs);
    search->maxDepth_ = arena.maxDepth;
    search->nodes_.shrink_to_fit();
    search->packs_.shrink_to_fit();
    return std::unique_ptr<const FirstHitSearch>(search.release());
}

bool FirstHitSearch::identicalTo(const FirstHitSearch& other) const
{
    auto sameBytes = [](const void* a, const void* b, size_t n) { return std::memcmp(a, b, n) == 0; };
    if (rootCode_ != other.rootCode_ || maxDepth_ != other.maxDepth_ || nodes_.size() != other.nodes_.size() ||
        packs_.size() != other.packs_.size() || firstPosition_ != other.firstPosition_ ||
        pathBoxes_.size() != other.pathBoxes_.size() || !sameBytes(center_, other.center_, sizeof center_) ||
        !sameBytes(&halfExtent_, &other.halfExtent_, sizeof halfExtent_) ||
        !sameBytes(&margin_, &other.margin_, sizeof margin_))
        return false;
    // Field by field: a node's padding holds nothing.
    for (size_t i = 0; i < nodes_.size(); ++i)
        if (!sameBytes(nodes_[i].bound, other.nodes_[i].bound, sizeof nodes_[i].bound) ||
            !sameBytes(nodes_[i].child, other.nodes_[i].child, sizeof nodes_[i].child))
            return false;
    return sameBytes(packs_.data(), other.packs_.data(), packs_.size() * sizeof(Pack)) &&
           sameBytes(pathBoxes_.data(), other.pathBoxes_.data(), pathBoxes_.size() * sizeof(PathBox));
}

void FirstHitSearch::prefetch(int32_t code) const
{
    if (code == emptySlot)
        return;
    const char* p = code >= 0 ? reinterpret_cast<const char*>(&nodes_[size_t(code)])
                              : reinterpret_cast<const char*>(&packs_[size_t(~code)]);
    __builtin_prefetch(p);
    __builtin_prefetch(p + 64);
    if (code < 0)
        __builtin_prefetch(p + 128);
}

// The slab test of rayIntersectsAaBoundingBox, on the face's path box.
bool FirstHitSearch::pathPassed(int32_t face, const QVector3D& origin, const QVector3D& direction) const
{
    const PathBox& box = pathBoxes_[size_t(face)];
    double tNear = -DBL_MAX;
    double tFar = DBL_MAX;
    for (int axis = 0; axis < 3; ++axis) {
        const float o = origin[axis];
        const float d = direction[axis];
        if (d == 0.0f) {
            if (o < box.lo[axis] || o > box.hi[axis])
                return false;
            continue;
        }
        double t1 = (double(box.lo[axis]) - double(o)) / double(d);
        double t2 = (double(box.hi[axis]) - double(o)) / double(d);
        if (t1 > t2)
            std::swap(t1, t2);
        if (t1 > tNear)
            tNear = t1;
        if (t2 < tFar)
            tFar = t2;
        if (tNear > tFar || tFar < 0.0)
            return false;
    }
    return true;
}

bool FirstHitSearch::findFirstHit(const QVector3D& origin, const QVector3D& direction, RayFaceIntersection mode,
                                  int& faceIndex, double& distance, double* u, double* v) const
{
    // Rays for which the single-precision slab test may err by more than half the margin go to the walk.
    double reach = 0.0;
    for (int a = 0; a < 3; ++a) {
        const float o = origin[a], d = direction[a];
        if (!(std::fabs(o) <= 1e30f) || !(std::fabs(d) <= 1e30f) || (d != 0.0f && std::fabs(d) < 1e-30f))
            return false;
        reach = std::max(reach, std::fabs(double(o) - double(center_[a])) + double(halfExtent_));
    }
    if (!(slabRelativeError * reach <= 0.5 * double(margin_)))
        return false;
    for (int a = 0; a < 3; ++a)
        if (direction[a] != 0.0f && !(reach / std::fabs(double(direction[a])) < 1e37))
            return false;
    if (!(distance > 0.0))
        return true;  // no hit can be nearer

    const F4 ox = F4::all(origin.x()), oy = F4::all(origin.y()), oz = F4::all(origin.z());
    const F4 dx = F4::all(direction.x()), dy = F4::all(direction.y()), dz = F4::all(direction.z());
    const float inverse[3] = {1.0f / direction.x(), 1.0f / direction.y(), 1.0f / direction.z()};
    const F4 ix = F4::all(inverse[0]), iy = F4::all(inverse[1]), iz = F4::all(inverse[2]);
    int nearRow[3], farRow[3];
    for (int a = 0; a < 3; ++a) {
        const bool negative = std::signbit(inverse[a]);
        nearRow[a] = negative ? 3 + a : a;
        farRow[a] = negative ? a : 3 + a;
    }
    static const float detThreshold = largestFloatBelowDetThreshold();
    const F4 zero = F4::all(0.0f);
    const bool frontOnly = mode == RayFaceIntersection_FrontFace;
    const bool backOnly = mode == RayFaceIntersection_BackFace;

    double best = distance;
    float bestBound = roundedUp(best);
    int32_t bestFace = -1, bestPosition = 0;
    double bestU = 0.0, bestV = 0.0;

    struct Pending {
        int32_t code;
        float near;
    };
    Pending inlineStack[inlineStackSize];
    std::vector<Pending> heapStack;
    Pending* stack = inlineStack;
    if (3 * maxDepth_ + 4 > inlineStackSize) {
        heapStack.resize(size_t(3 * maxDepth_ + 4));
        stack = heapStack.data();
    }
    int top = 0;
    int32_t code = rootCode_;
    for (;;) {
        if (code >= 0) {
            const Node& node = nodes_[size_t(code)];
            const F4 nx = (F4::load(node.bound[nearRow[0]]) - ox) * ix;
            const F4 ny = (F4::load(node.bound[nearRow[1]]) - oy) * iy;
            const F4 nz = (F4::load(node.bound[nearRow[2]]) - oz) * iz;
            const F4 fx = (F4::load(node.bound[farRow[0]]) - ox) * ix;
            const F4 fy = (F4::load(node.bound[farRow[1]]) - oy) * iy;
            const F4 fz = (F4::load(node.bound[farRow[2]]) - oz) * iz;
            // NaN lanes (origin exactly on a plane of a zero direction
            // component) put no limit: the running value is the second operand.
            const F4 tNear = maxFirst(nz, maxFirst(ny, maxFirst(nx, zero)));
            const F4 tFar = minFirst(fz, minFirst(fy, minFirst(fx, F4::all(bestBound))));
            int mask = lessEqualMask(tNear, tFar);
            if (mask) {
                alignas(16) float nearLanes[4];
                tNear.store(nearLanes);
                Pending hits[4];
                int count = 0;
                while (mask) {
                    const int lane = __builtin_ctz(unsigned(mask));
                    mask &= mask - 1;
                    Pending p{node.child[lane], nearLanes[lane]};
                    int k = count++;
                    while (k > 0 && hits[k - 1].near < p.near) {  // farthest first
                        hits[k] = hits[k - 1];
                        --k;
                    }
                    hits[k] = p;
                }
                for (int k = 0; k + 1 < count; ++k) {
                    stack[top++] = hits[k];
                    prefetch(hits[k].code);
                }
                code = hits[count - 1].code;
                continue;
            }
        } else if (code != emptySlot) {
            const Pack& pack = packs_[size_t(~code)];
            const F4 e1x = F4::load(pack.e1[0]), e1y = F4::load(pack.e1[1]), e1z = F4::load(pack.e1[2]);
            const F4 e2x = F4::load(pack.e2[0]), e2y = F4::load(pack.e2[1]), e2z = F4::load(pack.e2[2]);
            // p = direction x e2, det = e1 . p, s = origin - p0, q = s x e1, in
            // the operation order of QVector3D's cross and dot products.
            const F4 px = dy * e2z - dz * e2y;
            const F4 py = dz * e2x - dx * e2z;
            const F4 pz = dx * e2y - dy * e2x;
            const F4 det = e1x * px + e1y * py + e1z * pz;
            const F4 sx = ox - F4::load(pack.p0[0]), sy = oy - F4::load(pack.p0[1]), sz = oz - F4::load(pack.p0[2]);
            const F4 sp = sx * px + sy * py + sz * pz;
            const F4 qx = sy * e1z - sz * e1y;
            const F4 qy = sz * e1x - sx * e1z;
            const F4 qz = sx * e1y - sy * e1x;
            const F4 dq = dx * qx + dy * qy + dz * qz;
            alignas(16) float detLanes[4], spLanes[4], dqLanes[4];
            det.store(detLanes);
            sp.store(spLanes);
            dq.store(dqLanes);
            for (int lane = 0; lane < 4; ++lane) {
                // Single-precision rejections that never reject a hit of the
                // double-precision test (bounds widened far beyond rounding).
                const float dt = detLanes[lane];
                const float b = std::fabs(dt);
                if (!(b > detThreshold))
                    continue;
                const float a = dt < 0 ? -spLanes[lane] : spLanes[lane];
                const float c = dt < 0 ? -dqLanes[lane] : dqLanes[lane];
                const float bWide = b * 1.0001f;
                if (a < 0.0f || c < 0.0f || a > bWide || a + c > bWide)
                    continue;
                const bool backFaceHit = double(dt) < 1e-6;
                if ((frontOnly && backFaceHit) || (backOnly && !backFaceHit))
                    continue;
                const double inv = 1.0 / double(dt);
                const double uHit = double(spLanes[lane]) * inv;
                if (uHit < 0.0 || uHit > 1.0)
                    continue;
                const double vHit = double(dqLanes[lane]) * inv;
                if (vHit < 0.0 || uHit + vHit > 1.0)
                    continue;
                alignas(16) float q[3][4];
                qx.store(q[0]);
                qy.store(q[1]);
                qz.store(q[2]);
                const float tq =
                    pack.e2[0][lane] * q[0][lane] + pack.e2[1][lane] * q[1][lane] + pack.e2[2][lane] * q[2][lane];
                const double t = double(tq) * inv;
                if (!(t >= 0.0) || t > best)
                    continue;
                const int32_t f = pack.face[lane];
                const int32_t stored = firstPosition_[size_t(f)];
                const int32_t position = stored >= 0 ? stored : -(stored + 2);
                if (t == best && (bestFace < 0 || position > bestPosition))
                    continue;
                // The walk would take this face only from a leaf it reaches.
                if (stored < 0 || !pathPassed(f, origin, direction))
                    return false;
                best = t;
                bestBound = roundedUp(best);
                bestFace = f;
                bestPosition = position;
                bestU = uHit;
                bestV = vHit;
            }
        }
        for (;;) {
            if (top == 0) {
                if (bestFace >= 0) {
                    faceIndex = bestFace;
                    distance = best;
                    if (u)
                        *u = bestU;
                    if (v)
                        *v = bestV;
                }
                return true;
            }
            const Pending& pending = stack[--top];
            if (pending.near <= bestBound) {
                code = pending.code;
                break;
            }
        }
    }
}

}  // namespace BVH2
