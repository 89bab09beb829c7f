#include "texture/TextureTransfer.h"

#include <cmath>
#include <limits>

#include "texture/TexelColors.h"

namespace TextureTransfer {

namespace {

// Texture repetition: a coordinate outside 0..size is wrapped back into it.
float wrapped(float position, float size)
{
    if (position >= size || position < 0) {
        position = std::fmod(position, size);
        if (position < 0)
            position += size;
    }
    return position;
}

// Flags shorter than the triangle list (none set yet) exclude nothing beyond their end.
bool excluded(const QVector<bool>* flags, int triangle)
{
    return flags && triangle < flags->size() && flags->at(triangle);
}

QRgb texelValue(const ThreadMappingContext& item)
{
    const ThreadContext& c = *item.context;
    const QVector2D uv(float(item.x) / float(c.width), float(item.y) / float(c.height));
    const int e = c.srcUvBvh->findTriangle(uv, *c.srcTextureTriangles, *c.srcTextureVertices);
    if (e == -1 || e >= c.srcTriangles->size() || excluded(c.excludedTriangles, e))
        return 0;

    const QList<int>& uvCorners = c.srcTextureTriangles->at(e);
    const QVector<QVector2D>& uvs = *c.srcTextureVertices;
    const QVector3D w = barycentricCoords(uv, uvs[uvCorners[0]], uvs[uvCorners[1]], uvs[uvCorners[2]]);
    const QList<int>& corners = c.srcTriangles->at(e);
    const QVector<QVector3D>& positions = *c.srcVertices;
    const QVector<QVector3D>& normals = *c.srcNormals;
    if (normals.size() != positions.size())  // a template without its normals has no ray to cast
        return 0;
    const QVector3D origin = spatialCoords(w, positions[corners[0]], positions[corners[1]], positions[corners[2]]);
    const QVector3D direction = rayDirection(w, normals[corners[0]], normals[corners[1]], normals[corners[2]]);

    double hu = 0, hv = 0;
    const int f = findTriangleIntersectedByRay(c.dstBvh, origin, direction, *c.dstTriangles, *c.dstVertices,
                                               BVH2::RayFaceIntersection_AnyFace, c.maxDistance, hu, hv);
    if (f == -1 || f >= c.dstTextureTriangles->size())
        return 0;

    const QList<int>& dstCorners = c.dstTextureTriangles->at(f);
    const QVector<QVector2D>& dstUvs = *c.dstTextureVertices;
    const float w1 = float(hu), w2 = float(hv), w0 = 1.0f - w1 - w2;
    const QVector2D& t0 = dstUvs[dstCorners[0]];
    const QVector2D& t1 = dstUvs[dstCorners[1]];
    const QVector2D& t2 = dstUvs[dstCorners[2]];
    const float U = w0 * t0.x() + w1 * t1.x() + w2 * t2.x();
    const float V = w0 * t0.y() + w1 * t1.y() + w2 * t2.y();

    const float wt = float(c.dstTexture->width()), ht = float(c.dstTexture->height());
    if (wt <= 0 || ht <= 0)
        return 0;
    const float px = wrapped(wt * U, wt);
    const float py = wrapped(ht - ht * V, ht);
    return sampleImageBilinear(*c.dstTexture, QVector2D(px, py));
}

}  // namespace

double signedDistanceToLine(const QVector2D& p, const QVector2D& a, const QVector2D& b)
{
    const double ax = a.x(), ay = a.y(), bx = b.x(), by = b.y();
    const double length = std::sqrt((bx - ax) * (bx - ax) + (by - ay) * (by - ay));
    return ((ay - by) * p.x() + (bx - ax) * p.y() + (ax * by - ay * bx)) / length;
}

QVector3D barycentricCoords(const QVector2D& p, const QVector2D& a, const QVector2D& b, const QVector2D& c)
{
    const float w0 = float(signedDistanceToLine(p, b, c) / signedDistanceToLine(a, b, c));
    const float w1 = float(signedDistanceToLine(p, a, c) / signedDistanceToLine(b, a, c));
    const float w2 = float(signedDistanceToLine(p, a, b) / signedDistanceToLine(c, a, b));
    return QVector3D(w0, w1, w2);
}

QVector3D spatialCoords(const QVector3D& weights, const QVector3D& P0, const QVector3D& P1, const QVector3D& P2)
{
    return weights.x() * P0 + weights.y() * P1 + weights.z() * P2;
}

QVector3D rayDirection(const QVector3D& weights, const QVector3D& N0, const QVector3D& N1, const QVector3D& N2)
{
    return (weights.x() * N0 + weights.y() * N1 + weights.z() * N2).normalized();
}

int findTriangleIntersectedByRay(const BVH2::BvhNodeBase* root, const QVector3D& origin, const QVector3D& direction,
                                 const QVector<QList<int>>& triangles, const QVector<QVector3D>& vertices,
                                 BVH2::RayFaceIntersection mode, double maxDistance, double& u, double& v)
{
    int forward = -1;
    double forwardDistance = maxDistance, forwardU = 0, forwardV = 0;
    root->findFirstRayIntersectedTriangle(origin, direction, triangles, vertices, mode, forward, forwardDistance,
                                          &forwardU, &forwardV);
    // Only a backward hit at most as far as the forward one can change the
    // answer (a tie goes backward), so the backward search stops there: the
    // query counts hits strictly below its distance, hence the next double up.
    int backward = -1;
    double backwardDistance =
        forward == -1 ? maxDistance : std::nextafter(forwardDistance, std::numeric_limits<double>::infinity());
    double backwardU = 0, backwardV = 0;
    root->findFirstRayIntersectedTriangle(origin, -direction, triangles, vertices, mode, backward, backwardDistance,
                                          &backwardU, &backwardV);
    if (backward == -1 && forward != -1) {
        u = forwardU;
        v = forwardV;
        return forward;
    }
    if (backward != -1) {
        u = backwardU;
        v = backwardV;
    }
    return backward;
}

void transferTexel(ThreadMappingContext& item)
{
    TexelHandOver::receive();
    const ThreadContext& c = *item.context;
    const QRgb value = texelValue(item);
    uchar* row = c.resultPixels + qsizetype(c.height - 1 - item.y) * c.resultBytesPerLine;
    reinterpret_cast<QRgb*>(row)[item.x] = value;
    if (c.handOver)
        c.handOver->itemDone();
}

}  // namespace TextureTransfer
