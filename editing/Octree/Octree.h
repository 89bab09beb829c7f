#pragma once
// Full octree of fixed depth over one cube around the template, indexing its
// triangles: each triangle lives in the deepest node whose cube holds its
// three corners. The tree keeps no positions; every call is given the current
// positions, and whoever moves vertices re-inserts their triangles.
#include <QList>
#include <QSet>
#include <QVector3D>
#include <QVector>

namespace Octree {

struct Cube {
    Cube() = default;
    Cube(const QVector3D& center, double side) : center(center), side(side) {}

    // Bounds inclusive on every axis, compared in double.
    bool containsTriangle(const QVector3D& p0, const QVector3D& p1, const QVector3D& p2) const;
    // The eight children: x outermost, z innermost, the lower half first.
    QVector<Cube> subCubes() const;
    // Touching counts.
    bool intersectsSphere(const QVector3D& centre, double radius) const;

    QVector3D center;
    double side = 0;
};

bool sphereIntersectsAaBoundingBox(const QVector3D& centre, double radius, const QVector3D& minCorner,
                                   const QVector3D& maxCorner);
// Slab test; a cube wholly behind the origin counts only when allowBehind is set.
bool rayIntersectsAaBoundingBox(const Cube& cube, const QVector3D& origin, const QVector3D& direction,
                                bool allowBehind);
// Moeller-Trumbore; t is written on a hit whatever its sign.
bool rayIntersectsTriangle(const QVector3D& origin, const QVector3D& direction, const QVector3D& p0,
                           const QVector3D& p1, const QVector3D& p2, double& t, bool* backFace, double* u, double* v);

class NodeOctree;

// A leaf, and the base of the inner node.
class Node {
public:
    Node(const Cube& cube, NodeOctree* parent);
    virtual ~Node();
    Node(const Node&) = delete;
    Node& operator=(const Node&) = delete;

    // No triangle stored here or below.
    virtual bool isEmpty() const;
    virtual void insertTriangle(int triangle, const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles,
                                Node** holder);
    virtual void removeTriangle(int triangle);
    virtual bool hasChildren() const { return hasChildrenFlag; }
    // Mode 0: front faces only, 1: back faces only, other: both. A hit counts
    // when t >= 0 and t < distance; it then updates face, distance, u and v.
    virtual void findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                                 const QVector<QList<int>>& triangles,
                                                 const QVector<QVector3D>& vertices, int mode, int& face,
                                                 double& distance, double* u, double* v) const;
    // face -1 and distance the largest double before the search.
    int findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                           const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices,
                                           int mode, double& distance, double* u, double* v) const;
    // Appends the triangles of every node whose cube meets the sphere.
    virtual void findTrianglesInsideSphere(const QVector3D& centre, double radius, QList<int>& result) const;
    QList<int> findTrianglesInsideSphere(const QVector3D& centre, double radius) const;

    Cube cube;
    QSet<int> triangles;
    NodeOctree* parent = nullptr;

protected:
    bool hasChildrenFlag = false;
};

class NodeOctree : public Node {
public:
    NodeOctree(const Cube& cube, NodeOctree* parent);
    ~NodeOctree() override;

    bool isEmpty() const override;
    void insertTriangle(int triangle, const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles,
                        Node** holder) override;
    void removeTriangle(int triangle) override;
    void findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                         const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices,
                                         int mode, int& face, double& distance, double* u, double* v) const override;
    void findTrianglesInsideSphere(const QVector3D& centre, double radius, QList<int>& result) const override;
    // Empty when its own set and every child are empty.
    void updateEmpty();

    QVector<Node*> children;  // eight, owned
    bool empty = true;
};

// The first child whose cube holds the triangle's first three corners, or -1.
int findChildContainingTriangle(const QVector<Cube>& subCubes, int triangle, const QVector<QVector3D>& vertices,
                                const QVector<QList<int>>& triangles);
// A full subtree: leaves at level maxDepth.
Node* buildNode(const Cube& cube, int maxDepth, int level, NodeOctree* parent);

class Tree {
public:
    Tree(const QVector3D& center, double side, const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles,
         int depth);
    ~Tree();
    Tree(const Tree&) = delete;
    Tree& operator=(const Tree&) = delete;

    // A triangle without holder (never inserted or already removed) is ignored.
    void removeTriangle(int triangle);
    void insertTriangle(int triangle, const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles);
    int findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                           const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices,
                                           int mode, double& distance, double* u, double* v) const;

    Node* root = nullptr;    // owned
    QVector<Node*> holders;  // per triangle; null while out of the tree
};

}  // namespace Octree
