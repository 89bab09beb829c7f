#pragma once
// The per-texel step of the texture transfer: a texel of the template's
// texture layout is found in the template's texture triangles, carried to the
// template surface, and a ray along the interpolated normal (both ways) picks
// the colour of the target's texture where it meets the target.
#include <QImage>
#include <QList>
#include <QVector2D>
#include <QVector3D>
#include <QVector>

#include "spatial/BVH.h"
#include "texture/BVHTree2D.h"
#include "texture/TexelHandOver.h"

namespace TextureTransfer {

// Read-only record shared by every work item of one run.
struct ThreadContext {
    BVH2::BvhNodeBase* dstBvh = nullptr;
    BVHTree2D::BvhNodeBase2D* srcUvBvh = nullptr;
    const QVector<QVector3D>* dstVertices = nullptr;
    const QVector<QList<int>>* dstTriangles = nullptr;
    const QVector<QList<int>>* dstTextureTriangles = nullptr;
    const QVector<QVector2D>* dstTextureVertices = nullptr;
    const QVector<QVector3D>* srcVertices = nullptr;
    const QVector<QList<int>>* srcTriangles = nullptr;
    const QVector<QList<int>>* srcTextureTriangles = nullptr;
    const QVector<QVector2D>* srcTextureVertices = nullptr;
    const QVector<QVector3D>* srcNormals = nullptr;
    const QImage* dstTexture = nullptr;
    QImage* resultImage = nullptr;
    int width = 0;
    int height = 0;
    double maxDistance = 0;
    const QVector<bool>* excludedTriangles = nullptr;  // null: nothing excluded
    // The result's pixels (32-bit rows), taken once on the owner's thread
    // before the run: items write through them, never through the QImage,
    // which could otherwise copy itself under the other threads' feet.
    uchar* resultPixels = nullptr;
    int resultBytesPerLine = 0;
    // Counts the items of a threaded run; null when the items run on the caller's thread.
    TexelHandOver* handOver = nullptr;
};

// One texel of one run; y counts rows from the bottom.
struct ThreadMappingContext {
    ThreadContext* context = nullptr;
    int x = 0;
    int y = 0;
};

double signedDistanceToLine(const QVector2D& p, const QVector2D& a, const QVector2D& b);
// Weights of a, b and c.
QVector3D barycentricCoords(const QVector2D& p, const QVector2D& a, const QVector2D& b, const QVector2D& c);
QVector3D spatialCoords(const QVector3D& weights, const QVector3D& P0, const QVector3D& P1, const QVector3D& P2);
QVector3D rayDirection(const QVector3D& weights, const QVector3D& N0, const QVector3D& N1, const QVector3D& N2);
// Nearer of the forward and backward hits within maxDistance (a tie goes
// backward); u and v weigh the hit triangle's second and third corner. -1: none.
int findTriangleIntersectedByRay(const BVH2::BvhNodeBase* root, const QVector3D& origin, const QVector3D& direction,
                                 const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices,
                                 BVH2::RayFaceIntersection mode, double maxDistance, double& u, double& v);
// Computes and writes one texel of the result (0 where the transfer fails).
void transferTexel(ThreadMappingContext& item);

}  // namespace TextureTransfer
