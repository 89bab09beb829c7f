#include "spatial/BVHFlatHierarchy.h"

#include <algorithm>
#include <cfloat>
#include <cmath>

namespace BVH2 {

namespace {

const int inlineStackDepth = 128;

// The same operations, in the same order, as QVector3D's dot and cross products.
inline float dot(const float a[3], const float b[3])
{
    return a[0] * b[0] + a[1] * b[1] + a[2] * b[2];
}

inline void cross(const float a[3], const float b[3], float out[3])
{
    out[0] = a[1] * b[2] - a[2] * b[1];
    out[1] = a[2] * b[0] - a[0] * b[2];
    out[2] = a[0] * b[1] - a[1] * b[0];
}

inline void sub(const QVector3D& a, const QVector3D& b, float out[3])
{
    out[0] = a.x() - b.x();
    out[1] = a.y() - b.y();
    out[2] = a.z() - b.z();
}

inline void sub(const QVector3D& a, const float b[3], float out[3])
{
    out[0] = a.x() - b[0];
    out[1] = a.y() - b[1];
    out[2] = a.z() - b[2];
}

struct Ray {
    float o[3];
    float d[3];
    float inverse[3];
    bool quickSlabs;  // the single-precision slab test is usable for this ray
};

// The slab test of rayIntersectsAaBoundingBox on precomputed bounds; near is
// written on a hit (the entry parameter, -DBL_MAX when no axis limits it).
bool exactSlab(const Ray& ray, const float lo[3], const float hi[3], double& near)
{
    double tNear = -DBL_MAX;
    double tFar = DBL_MAX;
    for (int axis = 0; axis < 3; ++axis) {
        const float o = ray.o[axis];
        const float d = ray.d[axis];
        if (d == 0.0f) {
            if (o < lo[axis] || o > hi[axis])
                return false;
            continue;
        }
        double t1 = (double(lo[axis]) - double(o)) / double(d);
        double t2 = (double(hi[axis]) - double(o)) / double(d);
        if (t1 > t2)
            std::swap(t1, t2);
        if (t1 > tNear)
            tNear = t1;
        if (t2 < tFar)
            tFar = t2;
        if (tNear > tFar || tFar < 0.0)
            return false;
    }
    near = tNear;
    return true;
}

// Single-precision slab test with reciprocals. Its parameters differ from the
// exact ones by a relative 1e-6 at most, so only decisions closer than that
// are passed on to the exact test.
inline bool slab(const Ray& ray, const float lo[3], const float hi[3], double& near)
{
    if (!ray.quickSlabs)
        return exactSlab(ray, lo, hi, near);
    float tNear = -FLT_MAX, tFar = FLT_MAX;
    for (int axis = 0; axis < 3; ++axis) {
        const float t1 = (lo[axis] - ray.o[axis]) * ray.inverse[axis];
        const float t2 = (hi[axis] - ray.o[axis]) * ray.inverse[axis];
        tNear = std::max(tNear, std::min(t1, t2));
        tFar = std::min(tFar, std::max(t1, t2));
    }
    const float tolerance = 1e-6f * (std::fabs(tNear) + std::fabs(tFar)) + 1e-30f;
    if (!(std::fabs(tNear) < 1e30f) || !(std::fabs(tFar) < 1e30f))
        return exactSlab(ray, lo, hi, near);
    if (tNear - tFar > tolerance || tFar < -tolerance)
        return false;
    if (tFar - tNear > tolerance && tFar > tolerance) {
        near = tNear;
        return true;
    }
    return exactSlab(ray, lo, hi, near);
}

}  // namespace

FlatHierarchy::Box FlatHierarchy::boxOf(const Viewport3D::BoundingBox& box)
{
    const QVector3D hi = box.origin + box.size;
    return Box{{box.origin.x(), box.origin.y(), box.origin.z()}, {hi.x(), hi.y(), hi.z()}};
}

FlatHierarchy::FlatHierarchy(const BvhNode* root, const QVector<QList<int> >& faces)
{
    rootBox = boxOf(root->boundingBox);
    rootExtent = root->boundingBox.size.length();
    rootCenter = root->boundingBox.center();
    append(root, faces, 1);
}

int32_t FlatHierarchy::append(const BvhNodeBase* node, const QVector<QList<int> >& faces, int depth)
{
    maxDepth = std::max(maxDepth, depth);
    if (const BvhNode* inner = dynamic_cast<const BvhNode*>(node)) {
        const int32_t self = int32_t(nodes.size());
        nodes.push_back(Node());
        const BvhNodeBase* children[2] = {inner->childLeft, inner->childRight};
        for (int side = 0; side < 2; ++side) {
            Box box{{FLT_MAX, FLT_MAX, FLT_MAX}, {-FLT_MAX, -FLT_MAX, -FLT_MAX}};  // empty child: never hit
            if (const BvhNode* n = dynamic_cast<const BvhNode*>(children[side]))
                box = boxOf(n->boundingBox);
            else if (const BvhNodeLeaf* l = dynamic_cast<const BvhNodeLeaf*>(children[side]))
                box = boxOf(l->boundingBox);
            const int32_t code = append(children[side], faces, depth + 1);
            nodes[size_t(self)].box[side] = box;
            nodes[size_t(self)].child[side] = code;
        }
        return self;
    }
    Leaf leaf{int32_t(slots_.size()), int32_t(slots_.size())};
    if (const BvhNodeLeaf* l = dynamic_cast<const BvhNodeLeaf*>(node)) {
        for (const int f : l->faceIndices) {
            const QList<int>& face = faces.at(f);
            Slot slot{f, {-1, -1, -1}};
            if (face.size() >= 3)
                slot = Slot{f, {face.at(0), face.at(1), face.at(2)}};
            slots_.push_back(slot);
        }
    }
    leaf.last = int32_t(slots_.size());
    leaves.push_back(leaf);
    return ~int32_t(leaves.size() - 1);
}

void FlatHierarchy::findFirstHit(const QVector3D& origin, const QVector3D& direction,
                                 const QVector<QVector3D>& vertices, RayFaceIntersection mode, int& faceIndex,
                                 double& distance, double* u, double* v) const
{
    Ray ray;
    ray.quickSlabs = true;
    for (int axis = 0; axis < 3; ++axis) {
        ray.o[axis] = origin[axis];
        ray.d[axis] = direction[axis];
        ray.inverse[axis] = 1.0f / ray.d[axis];
        if (!(std::fabs(ray.d[axis]) >= 1e-18f) || !(std::fabs(ray.o[axis]) < 1e18f))
            ray.quickSlabs = false;
    }
    double near;
    if (!exactSlab(ray, rootBox.lo, rootBox.hi, near))
        return;

    // A hit inside a box lies at or beyond the box's entry parameter up to
    // rounding; boxes are skipped only when they start beyond the best hit by a
    // margin far above that rounding, in ray parameters at the scene's scale.
    const float directionLength = direction.length();
    const double margin = directionLength > 0.0f
        ? 1e-4 * double((origin - rootCenter).length() + rootExtent) / double(directionLength)
        : DBL_MAX;

    const QVector3D* const positions = vertices.constData();
    const bool frontOnly = mode == RayFaceIntersection_FrontFace;
    const bool backOnly = mode == RayFaceIntersection_BackFace;

    struct Pending {
        int32_t code;
        double near;
    };
    Pending inlineStack[inlineStackDepth];
    std::vector<Pending> heapStack;
    Pending* stack = inlineStack;
    if (maxDepth >= inlineStackDepth) {
        heapStack.resize(size_t(maxDepth) + 1);
        stack = heapStack.data();
    }
    int top = 0;

    double best = distance;
    int32_t bestSlot = -1;
    double bestU = 0.0, bestV = 0.0;
    int32_t code = 0;
    for (;;) {
        if (code >= 0) {
            const Node& node = nodes[size_t(code)];
            double nearLeft = 0.0, nearRight = 0.0;
            const bool left = slab(ray, node.box[0].lo, node.box[0].hi, nearLeft) && nearLeft <= best + margin;
            const bool right = slab(ray, node.box[1].lo, node.box[1].hi, nearRight) && nearRight <= best + margin;
            if (left && right) {
                if (nearRight < nearLeft) {
                    stack[top++] = Pending{node.child[0], nearLeft};
                    code = node.child[1];
                } else {
                    stack[top++] = Pending{node.child[1], nearRight};
                    code = node.child[0];
                }
                continue;
            }
            if (left || right) {
                code = node.child[left ? 0 : 1];
                continue;
            }
        } else {
            const Leaf& leaf = leaves[size_t(~code)];
            for (int32_t s = leaf.first; s < leaf.last; ++s) {
                const Slot& slot = slots_[size_t(s)];
                if (slot.vertex[0] < 0)
                    continue;
                const QVector3D& p0 = positions[slot.vertex[0]];
                float e1[3], e2[3], p[3];
                sub(positions[slot.vertex[1]], p0, e1);
                sub(positions[slot.vertex[2]], p0, e2);
                cross(ray.d, e2, p);
                const double det = dot(e1, p);
                if (det > -1e-6 && det < 1e-6)
                    continue;
                const bool backFaceHit = det < 1e-6;
                if ((frontOnly && backFaceHit) || (backOnly && !backFaceHit))
                    continue;
                float sv[3];
                sub(QVector3D(ray.o[0], ray.o[1], ray.o[2]), p0, sv);
                const double sp = dot(sv, p);
                // u = sp / det: its sign is exact, and the range check needs the
                // division only when the ratio is within rounding of 1.
                const double a = backFaceHit ? -sp : sp;
                const double b = backFaceHit ? -det : det;
                if (a < 0.0 || a > b * (1.0 + 1e-9))
                    continue;
                float q[3];
                cross(sv, e1, q);
                const double dq = dot(ray.d, q);
                const double c = backFaceHit ? -dq : dq;
                if (c < 0.0 || a + c > b * (1.0 + 1e-9))
                    continue;
                const double inverse = 1.0 / det;
                const double uHit = sp * inverse;
                if (uHit < 0.0 || uHit > 1.0)
                    continue;
                const double vHit = dq * inverse;
                if (vHit < 0.0 || uHit + vHit > 1.0)
                    continue;
                const double t = double(dot(e2, q)) * inverse;
                if (!(t >= 0.0))
                    continue;
                if (t < best || (t == best && s < bestSlot)) {
                    best = t;
                    bestSlot = s;
                    bestU = uHit;
                    bestV = vHit;
                }
            }
        }
        // Next pending subtree that may still hold the answer.
        for (;;) {
            if (top == 0) {
                if (bestSlot >= 0) {
                    faceIndex = slots_[size_t(bestSlot)].face;
                    distance = best;
                    if (u)
                        *u = bestU;
                    if (v)
                        *v = bestV;
                }
                return;
            }
            const Pending& pending = stack[--top];
            if (pending.near <= best + margin) {
                code = pending.code;
                break;
            }
        }
    }
}

}  // namespace BVH2
