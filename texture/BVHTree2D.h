#pragma once
// Bounding-volume hierarchy over a mesh's texture triangles in the 2D texture
// plane: finds the texture triangle under a texture coordinate. Like the 3D
// hierarchies, the tree keeps only indices and boxes; every lookup is given
// the arrays it was built from again. Lookups are const and thread-safe.
#include <QList>
#include <QVector2D>
#include <QVector>

namespace BVHTree2D {

class BvhNodeBase2D {
public:
    virtual ~BvhNodeBase2D();
    // Index of a texture triangle containing the point, -1 for none.
    virtual int findTriangle(const QVector2D& point, const QVector<QList<int>>& textureTriangles,
                             const QVector<QVector2D>& textureVertices) const = 0;
};

class BvhNode2D : public BvhNodeBase2D {
public:
    BvhNode2D(BvhNodeBase2D* childLeft, BvhNodeBase2D* childRight, const float boundingBox[4]);
    ~BvhNode2D() override;
    BvhNode2D(const BvhNode2D&) = delete;
    BvhNode2D& operator=(const BvhNode2D&) = delete;

    int findTriangle(const QVector2D& point, const QVector<QList<int>>& textureTriangles,
                     const QVector<QVector2D>& textureVertices) const override;

    BvhNodeBase2D* childLeft;   // owned
    BvhNodeBase2D* childRight;  // owned
    float boundingBox[4];       // x, y, width, height
};

class BvhNodeLeaf2D : public BvhNodeBase2D {
public:
    BvhNodeLeaf2D(const QList<int>& faceIndices, const float boundingBox[4]);

    int findTriangle(const QVector2D& point, const QVector<QList<int>>& textureTriangles,
                     const QVector<QVector2D>& textureVertices) const override;

    QList<int> faceIndices;  // a triangle straddling a split stands in several leaves
    float boundingBox[4];
};

class BvhNodeEmpty2D : public BvhNodeBase2D {
public:
    int findTriangle(const QVector2D& point, const QVector<QList<int>>& textureTriangles,
                     const QVector<QVector2D>& textureVertices) const override;
};

// Hierarchy over texture triangles 0 .. n-1; the caller owns the root (deleting
// it frees every node).
BvhNodeBase2D* buildTree(const QVector<QVector2D>& textureVertices, const QVector<QList<int>>& textureTriangles,
                         int leafSize);

// Corners and edges count as inside (within a small snap); a triangle without
// area contains nothing.
bool pointInTriangle(const QVector2D& p, const QVector2D& a, const QVector2D& b, const QVector2D& c);

}  // namespace BVHTree2D
