#pragma once
// Bounding-volume hierarchy over the faces of a mesh: inner nodes with two
// children, every node with the box of the faces beneath it, leaves with
// face indices. The tree never holds the geometry: the vertex and face arrays
// it was built from are passed again, unchanged, to every query. All queries
// are const and may run on any number of threads at once, each with its own
// output objects.
#include <QList>
#include <QMap>
#include <QVector3D>
#include <QVector>

#include <memory>

#include "mesh/BoundingBox.h"
#include "spatial/ConvexPolyhedron.h"

namespace BVH2 {

// The unit axes x, y, z: the face normals and edge directions of every axis-aligned box.
static const QVector<QVector3D> boxAxes = {QVector3D(1, 0, 0), QVector3D(0, 1, 0), QVector3D(0, 0, 1)};

enum SplitAxis { SplitAxis_X = 0, SplitAxis_Y = 1, SplitAxis_Z = 2 };

enum FaceToPlanePosition {
    FaceToPlanePosition_Left = -1,       // every vertex strictly below the plane
    FaceToPlanePosition_Intersects = 0,  // vertices on both sides or on the plane
    FaceToPlanePosition_Right = 1,       // every vertex strictly above (and the face without indices)
};

// Which ray hits count; the normal of a face is (p1 - p0) x (p2 - p0).
enum RayFaceIntersection {
    RayFaceIntersection_FrontFace = 0,  // the ray meets the face against its normal
    RayFaceIntersection_BackFace = 1,
    RayFaceIntersection_AnyFace = 2,
};

class FirstHitSearch;
class TreeBuilder;

class BvhNodeBase {
public:
    BvhNodeBase();
    virtual ~BvhNodeBase();

    // Writes the subtree to the debug log, indented by `depth` tabs.
    virtual void debugTraverse(int depth) const;
    // Marks the faces of every leaf whose box the ray hits, without triangle tests.
    virtual void markRayIntersectionCandidateFaces(const QVector3D& origin, const QVector3D& direction,
                                                   QVector<bool>& faceMask) const;
    // The first face the ray hits (t >= 0), or -1; barycentrics through u and v when given.
    virtual int findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                                   const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                                   RayFaceIntersection mode, double* u, double* v) const;
    // Takes a hit only when its ray parameter is below `distance`, then updates
    // faceIndex, distance, u and v; otherwise leaves every output as it was.
    virtual void findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                                 const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                                 RayFaceIntersection mode, int& faceIndex, double& distance, double* u,
                                                 double* v) const;
    // Adds every vertex within `radius` of `centre` not yet in the map, with its distance.
    virtual void findVerticesInsideSphere(const QVector3D& centre, double radius, const QVector<QList<int>>& faces,
                                          const QVector<QVector3D>& vertices, QMap<int, double>& vertexDistances) const;
    // Marks every face of the subtree.
    virtual void selectFaces(QVector<bool>& faceMask) const;
    // Marks every face the ray's line crosses within the leaves it reaches.
    virtual void selectIntersectedTriangles(const QVector3D& origin, const QVector3D& direction,
                                            const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                            RayFaceIntersection mode, QVector<bool>& faceMask) const;
    // Marks every triangle in or touching the frustum (corners, face normals, edge directions).
    virtual void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                            const QVector<QVector3D>& frustumVertices,
                                            const QVector<QVector3D>& frustumNormals,
                                            const QVector<QVector3D>& frustumEdges, QVector<bool>& faceMask) const;
    // Marks every triangle in or touching the polyhedron.
    virtual void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                            const ConvexPolyhedron& polyhedron, QVector<bool>& faceMask) const;
};

class BvhNode : public BvhNodeBase {
public:
    // Builds the left subtree over `left`, then the right one over `right`.
    BvhNode(const QList<int>& left, const QList<int>& right, const Viewport3D::BoundingBox& boundingBox,
            const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces, int leafSize);
    ~BvhNode() override;
    BvhNode(const BvhNode&) = delete;
    BvhNode& operator=(const BvhNode&) = delete;

    void debugTraverse(int depth) const override;
    void markRayIntersectionCandidateFaces(const QVector3D& origin, const QVector3D& direction,
                                           QVector<bool>& faceMask) const override;
    int findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                           const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                           RayFaceIntersection mode, double* u, double* v) const override;
    void findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                         const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                         RayFaceIntersection mode, int& faceIndex, double& distance, double* u,
                                         double* v) const override;
    void findVerticesInsideSphere(const QVector3D& centre, double radius, const QVector<QList<int>>& faces,
                                  const QVector<QVector3D>& vertices,
                                  QMap<int, double>& vertexDistances) const override;
    void selectFaces(QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector3D& origin, const QVector3D& direction,
                                    const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                    RayFaceIntersection mode, QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                    const QVector<QVector3D>& frustumVertices, const QVector<QVector3D>& frustumNormals,
                                    const QVector<QVector3D>& frustumEdges, QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                    const ConvexPolyhedron& polyhedron, QVector<bool>& faceMask) const override;

    // The root's first-hit search; null below the root and for meshes it does not handle.
    const FirstHitSearch* firstHitSearch() const { return search_.get(); }

    BvhNodeBase* childLeft;   // faces below the split plane plus those touching it
    BvhNodeBase* childRight;  // faces above it plus those touching it
    Viewport3D::BoundingBox boundingBox;

private:
    friend class TreeBuilder;
    friend BvhNodeBase* buildSearchableTree(const QList<int>&, const QVector<QVector3D>&, const QVector<QList<int>>&,
                                            int, int);
    // Takes ownership of two subtrees built already.
    BvhNode(BvhNodeBase* left, BvhNodeBase* right, const Viewport3D::BoundingBox& boundingBox);
    // Made for the root of a build: answers first-hit queries faster, with
    // the walk's results.
    std::unique_ptr<const FirstHitSearch> search_;
};

class BvhNodeLeaf : public BvhNodeBase {
public:
    BvhNodeLeaf(const QList<int>& faceIndices, const Viewport3D::BoundingBox& boundingBox);

    void debugTraverse(int depth) const override;
    void markRayIntersectionCandidateFaces(const QVector3D& origin, const QVector3D& direction,
                                           QVector<bool>& faceMask) const override;
    int findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                           const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                           RayFaceIntersection mode, double* u, double* v) const override;
    void findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                         const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                         RayFaceIntersection mode, int& faceIndex, double& distance, double* u,
                                         double* v) const override;
    void findVerticesInsideSphere(const QVector3D& centre, double radius, const QVector<QList<int>>& faces,
                                  const QVector<QVector3D>& vertices,
                                  QMap<int, double>& vertexDistances) const override;
    void selectFaces(QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector3D& origin, const QVector3D& direction,
                                    const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                    RayFaceIntersection mode, QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                    const QVector<QVector3D>& frustumVertices, const QVector<QVector3D>& frustumNormals,
                                    const QVector<QVector3D>& frustumEdges, QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                    const ConvexPolyhedron& polyhedron, QVector<bool>& faceMask) const override;

    QList<int> faceIndices;  // in build order; a face touching a split plane stands in several leaves
    Viewport3D::BoundingBox boundingBox;
};

// The root of a tree without faces: finds nothing, marks nothing.
class BvhNodeEmpty : public BvhNodeBase {
public:
    BvhNodeEmpty();

    void debugTraverse(int depth) const override;
    void markRayIntersectionCandidateFaces(const QVector3D& origin, const QVector3D& direction,
                                           QVector<bool>& faceMask) const override;
    int findFirstRayIntersectedTriangleInd(const QVector3D& origin, const QVector3D& direction,
                                           const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                           RayFaceIntersection mode, double* u, double* v) const override;
    void findFirstRayIntersectedTriangle(const QVector3D& origin, const QVector3D& direction,
                                         const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                         RayFaceIntersection mode, int& faceIndex, double& distance, double* u,
                                         double* v) const override;
    void findVerticesInsideSphere(const QVector3D& centre, double radius, const QVector<QList<int>>& faces,
                                  const QVector<QVector3D>& vertices,
                                  QMap<int, double>& vertexDistances) const override;
    void selectFaces(QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector3D& origin, const QVector3D& direction,
                                    const QVector<QList<int>>& faces, const QVector<QVector3D>& vertices,
                                    RayFaceIntersection mode, QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                    const QVector<QVector3D>& frustumVertices, const QVector<QVector3D>& frustumNormals,
                                    const QVector<QVector3D>& frustumEdges, QVector<bool>& faceMask) const override;
    void selectIntersectedTriangles(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                    const ConvexPolyhedron& polyhedron, QVector<bool>& faceMask) const override;
};

// ---- Build

// Tree over all faces (indices 0 .. n-1); the caller owns the root.
BvhNodeBase* buildTree(const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces, int leafSize);
// Tree over the listed faces; the caller owns the root. Large builds spread
// their top levels over the global thread pool.
BvhNodeBase* buildTree(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                       const QVector<QList<int>>& faces, int leafSize);
// The same tree, node for node, built on the calling thread alone.
BvhNodeBase* buildTreeOnOneThread(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                                  const QVector<QList<int>>& faces, int leafSize);
// Box over every vertex of every listed face (the list and its first face must not be empty).
Viewport3D::BoundingBox computeBoundingBox(const QList<int>& faceIndices, const QVector<QVector3D>& vertices,
                                           const QVector<QList<int>>& faces);
FaceToPlanePosition getFaceToAxisAlignedPlanePosition(SplitAxis axis, double value, const QList<int>& face,
                                                      const QVector<QVector3D>& vertices);
// Faces strictly on either side, and those touching or crossing the plane.
void splitFacesByAxisAlignedPlane(SplitAxis axis, double value, const QList<int>& faceIndices,
                                  const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                  QList<int>& left, QList<int>& right, QList<int>& intersecting);
// Faces touching or crossing the plane go into both lists.
void splitFacesByAxisAlignedPlane(SplitAxis axis, double value, const QList<int>& faceIndices,
                                  const QVector<QVector3D>& vertices, const QVector<QList<int>>& faces,
                                  QList<int>& left, QList<int>& right);
float boundingBoxCenterAlongAxis(const Viewport3D::BoundingBox& box, SplitAxis axis);
int boundingBoxLongestAxis(const Viewport3D::BoundingBox& box);

// ---- Ray, triangle and sphere tests

// Slab test; boxes wholly behind the origin count only when `hitBehindOrigin` is set.
bool rayIntersectsAaBoundingBox(const QVector3D& origin, const QVector3D& direction, const Viewport3D::BoundingBox& box,
                                bool hitBehindOrigin = false);
// Slab test by reciprocals, without a case for zero components.
bool rayIntersectsAaBoundingBoxInvDir(const QVector3D& origin, const QVector3D& direction,
                                      const Viewport3D::BoundingBox& box);
// Moller-Trumbore; t may be negative (triangle behind the origin). Outputs are
// written only on a hit; edges and corners count.
bool rayIntersectsTriangle(const QVector3D& origin, const QVector3D& direction, const QVector3D& p0,
                           const QVector3D& p1, const QVector3D& p2, double& t, bool* backFaceHit = nullptr,
                           double* u = nullptr, double* v = nullptr);
bool sphereIntersectsAaBoundingBox(const QVector3D& centre, double radius, const Viewport3D::BoundingBox& box);
bool pointInsideSphere(const QVector3D& point, const QVector3D& centre, double radius);

void swapDoubles(double& a, double& b);
// First hit (t >= 0, either side) over the listed faces without a tree, or -1.
int findFirstRayIntersectedTriangleLinear(const QVector<int>& faceIndices, const QVector<QList<int>>& faces,
                                          const QVector<QVector3D>& vertices, const QVector3D& origin,
                                          const QVector3D& direction, double* distance);
// Ascending positions of the true entries.
QVector<int> maskToIndexVector(const QVector<bool>& mask);

}  // namespace BVH2
