#include "editing/Octree/Octree.h"

#include <algorithm>
#include <limits>

namespace Octree {

namespace {

bool containsCoordinate(double center, double half, double value)
{
    return center - half <= value && value <= center + half;
}

double dot(const QVector3D& a, const QVector3D& b)
{
    return double(a.x()) * b.x() + double(a.y()) * b.y() + double(a.z()) * b.z();
}

bool modeAdmits(int mode, bool backFace)
{
    if (mode == 0)
        return !backFace;
    if (mode == 1)
        return backFace;
    return true;
}

}  // namespace

// ---- Cube and the geometric tests

bool Cube::containsTriangle(const QVector3D& p0, const QVector3D& p1, const QVector3D& p2) const
{
    const double half = side * 0.5;
    for (int axis = 0; axis < 3; ++axis) {
        const double c = center[axis];
        if (!containsCoordinate(c, half, p0[axis]) || !containsCoordinate(c, half, p1[axis]) ||
            !containsCoordinate(c, half, p2[axis]))
            return false;
    }
    return true;
}

QVector<Cube> Cube::subCubes() const
{
    QVector<Cube> result;
    result.reserve(8);
    for (int sx : {-1, 1})
        for (int sy : {-1, 1})
            for (int sz : {-1, 1}) {
                const QVector3D offset(float(sx * (side / 4)), float(sy * (side / 4)), float(sz * (side / 4)));
                result.append(Cube(center + offset, side / 2));
            }
    return result;
}

bool Cube::intersectsSphere(const QVector3D& centre, double radius) const
{
    const double half = side * 0.5;
    const QVector3D minCorner(float(center.x() - half), float(center.y() - half), float(center.z() - half));
    const QVector3D maxCorner(float(center.x() + half), float(center.y() + half), float(center.z() + half));
    return sphereIntersectsAaBoundingBox(centre, radius, minCorner, maxCorner);
}

bool sphereIntersectsAaBoundingBox(const QVector3D& centre, double radius, const QVector3D& minCorner,
                                   const QVector3D& maxCorner)
{
    double sum = 0;
    for (int axis = 0; axis < 3; ++axis) {
        const double c = centre[axis];
        if (c < minCorner[axis]) {
            const double d = c - minCorner[axis];
            if (d < -radius)
                return false;
            sum += d * d;
        } else if (c > maxCorner[axis]) {
            const double d = c - maxCorner[axis];
            if (d > radius)
                return false;
            sum += d * d;
        }
    }
    return sum <= radius * radius;
}

bool rayIntersectsAaBoundingBox(const Cube& cube, const QVector3D& origin, const QVector3D& direction, bool allowBehind)
{
    const double half = double(float(cube.side)) * 0.5;
    double tmin = -std::numeric_limits<double>::max();
    double tmax = std::numeric_limits<double>::max();
    for (int axis = 0; axis < 3; ++axis) {
        const double lo = float(cube.center[axis] - half);
        const double hi = float(cube.center[axis] + half);
        const double o = origin[axis];
        const double d = direction[axis];
        if (d == 0) {
            if (o < lo || o > hi)
                return false;
            continue;  // the slab holds the whole line
        }
        const double t1 = (lo - o) / d;
        const double t2 = (hi - o) / d;
        tmin = std::max(tmin, std::min(t1, t2));
        tmax = std::min(tmax, std::max(t1, t2));
        if (tmin > tmax)
            return false;
        if (tmax < 0 && !allowBehind)
            return false;
    }
    return true;
}

bool rayIntersectsTriangle(const QVector3D& origin, const QVector3D& direction, const QVector3D& p0,
                           const QVector3D& p1, const QVector3D& p2, double& t, bool* backFace, double* u, double* v)
{
    const QVector3D e1 = p1 - p0;
    const QVector3D e2 = p2 - p0;
    const QVector3D p = QVector3D::crossProduct(direction, e2);
    const double det = dot(e1, p);
    if (det > -1e-6 && det < 1e-6)
        return false;
    const double inv = 1.0 / det;
    const QVector3D s = origin - p0;
    const double uu = dot(s, p) * inv;
    if (uu < 0 || uu > 1)
        return false;
    const QVector3D q = QVector3D::crossProduct(s, e1);
    const double vv = dot(direction, q) * inv;
    if (vv < 0 || uu + vv > 1)
        return false;
    t = dot(e2, q) * inv;
    if (u)
        *u = uu;
    if (v)
        *v = vv;
    if (backFace)
        *backFace = det < 1e-6;
    return true;
}

// ---- Leaf

Node::Node(const Cube& cube, NodeOctree* parent) : cube(cube), parent(parent) {}

Node::~Node() = default;

bool Node::isEmpty() const
{
    return triangles.isEmpty();
}

void Node::insertTriangle(int triangle, const QVector<QVector3D>&, const QVector<QList<int>>&, Node** holder)
{
    triangles.insert(triangle);
    if (holder)
        *holder = this;
}

void Node::removeTriangle(int triangle)
{
    triangles.remove(triangle);
}

void Node::findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                           const QVector<QList<int>>& triangleList, const QVector<QVector3D>& vertices,
                                           int mode, int& face, double& distance, double* u, double* v) const
{
    if (triangles.isEmpty() || !rayIntersectsAaBoundingBox(cube, origin, direction, false))
        return;
    for (int triangle : triangles) {
        const QList<int>& corners = triangleList.at(triangle);
        double t = 0, hitU = 0, hitV = 0;
        bool backFace = false;
        if (!rayIntersectsTriangle(origin, direction, vertices.at(corners.at(0)), vertices.at(corners.at(1)),
                                   vertices.at(corners.at(2)), t, &backFace, &hitU, &hitV))
            continue;
        if (!modeAdmits(mode, backFace) || t < 0 || t >= distance)
            continue;
        distance = t;
        face = triangle;
        if (u)
            *u = hitU;
        if (v)
            *v = hitV;
    }
}

int Node::findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                             const QVector<QList<int>>& triangleList,
                                             const QVector<QVector3D>& vertices, int mode, double& distance, double* u,
                                             double* v) const
{
    int face = -1;
    distance = std::numeric_limits<double>::max();
    findFirstRayIntersectedTriangle(origin, direction, triangleList, vertices, mode, face, distance, u, v);
    return face;
}

void Node::findTrianglesInsideSphere(const QVector3D& centre, double radius, QList<int>& result) const
{
    if (!cube.intersectsSphere(centre, radius))
        return;
    for (int triangle : triangles)
        result.append(triangle);
}

QList<int> Node::findTrianglesInsideSphere(const QVector3D& centre, double radius) const
{
    QList<int> result;
    findTrianglesInsideSphere(centre, radius, result);
    return result;
}

// ---- Inner node

NodeOctree::NodeOctree(const Cube& cube, NodeOctree* parent) : Node(cube, parent)
{
    hasChildrenFlag = true;
}

NodeOctree::~NodeOctree()
{
    qDeleteAll(children);
}

bool NodeOctree::isEmpty() const
{
    return empty;
}

void NodeOctree::insertTriangle(int triangle, const QVector<QVector3D>& vertices,
                                const QVector<QList<int>>& triangleList, Node** holder)
{
    empty = false;
    const int child = findChildContainingTriangle(cube.subCubes(), triangle, vertices, triangleList);
    if (child < 0 || child >= children.size()) {
        triangles.insert(triangle);
        if (holder)
            *holder = this;
        return;
    }
    children[child]->insertTriangle(triangle, vertices, triangleList, holder);
}

void NodeOctree::removeTriangle(int triangle)
{
    triangles.remove(triangle);
    updateEmpty();
}

void NodeOctree::updateEmpty()
{
    empty = triangles.isEmpty() &&
            std::all_of(children.cbegin(), children.cend(), [](const Node* child) { return child->isEmpty(); });
}

void NodeOctree::findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                                 const QVector<QList<int>>& triangleList,
                                                 const QVector<QVector3D>& vertices, int mode, int& face,
                                                 double& distance, double* u, double* v) const
{
    Node::findFirstRayIntersectedTriangle(origin, direction, triangleList, vertices, mode, face, distance, u, v);
    for (const Node* child : children)
        child->findFirstRayIntersectedTriangle(origin, direction, triangleList, vertices, mode, face, distance, u, v);
}

void NodeOctree::findTrianglesInsideSphere(const QVector3D& centre, double radius, QList<int>& result) const
{
    if (!cube.intersectsSphere(centre, radius))
        return;
    for (int triangle : triangles)
        result.append(triangle);
    for (const Node* child : children)
        child->findTrianglesInsideSphere(centre, radius, result);
}

// ---- Building and the tree

int findChildContainingTriangle(const QVector<Cube>& subCubes, int triangle, const QVector<QVector3D>& vertices,
                                const QVector<QList<int>>& triangles)
{
    const QList<int>& corners = triangles.at(triangle);
    if (corners.size() < 3)
        return -1;
    const QVector3D& p0 = vertices.at(corners.at(0));
    const QVector3D& p1 = vertices.at(corners.at(1));
    const QVector3D& p2 = vertices.at(corners.at(2));
    for (int i = 0; i < subCubes.size(); ++i)
        if (subCubes.at(i).containsTriangle(p0, p1, p2))
            return i;
    return -1;
}

Node* buildNode(const Cube& cube, int maxDepth, int level, NodeOctree* parent)
{
    if (level >= maxDepth)
        return new Node(cube, parent);
    auto* node = new NodeOctree(cube, parent);
    const QVector<Cube> subCubes = cube.subCubes();
    node->children.reserve(8);
    for (int i = 0; i < 8; ++i)
        node->children.append(buildNode(subCubes.at(i), maxDepth, level + 1, node));
    return node;
}

Tree::Tree(const QVector3D& center, double side, const QVector<QVector3D>& vertices,
           const QVector<QList<int>>& triangles, int depth)
    : root(buildNode(Cube(center, side), depth, 0, nullptr))
{
    holders.reserve(triangles.size());
    for (int t = 0; t < triangles.size(); ++t) {
        Node* holder = nullptr;
        root->insertTriangle(t, vertices, triangles, &holder);
        holders.append(holder);
    }
}

Tree::~Tree()
{
    delete root;
}

void Tree::removeTriangle(int triangle)
{
    if (triangle < 0 || triangle >= holders.size())
        return;
    Node* holder = holders.at(triangle);
    if (!holder)
        return;
    holders[triangle] = nullptr;
    holder->removeTriangle(triangle);
    for (NodeOctree* node = holder->parent; node && !node->isEmpty(); node = node->parent)
        node->updateEmpty();
}

void Tree::insertTriangle(int triangle, const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles)
{
    if (triangle < 0 || triangle >= holders.size())
        return;
    if (holders.at(triangle))
        removeTriangle(triangle);  // never held twice
    Node* holder = nullptr;
    root->insertTriangle(triangle, vertices, triangles, &holder);
    holders[triangle] = holder;
}

int Tree::findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                             const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices,
                                             int mode, double& distance, double* u, double* v) const
{
    return root->findFirstRayIntersectedTriangleInd(origin, direction, triangles, vertices, mode, distance, u, v);
}

}  // namespace Octree
