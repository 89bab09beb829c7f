#include "texture/BVHTree2D.h"

#include <algorithm>
#include <cmath>

namespace BVHTree2D {

namespace {

bool boxContains(const float box[4], const QVector2D& p)
{
    const float x0 = std::min(box[0], box[0] + box[2]);
    const float x1 = std::max(box[0], box[0] + box[2]);
    const float y0 = std::min(box[1], box[1] + box[3]);
    const float y1 = std::max(box[1], box[1] + box[3]);
    return x0 <= p.x() && p.x() <= x1 && y0 <= p.y() && p.y() <= y1;
}

double cross(double ex, double ey, double fx, double fy)
{
    return ex * fy - ey * fx;
}

// Pulls a coordinate that lies within the snap of 0 or 1 onto it, so that
// texels on shared edges and corners are not lost to rounding.
double snap(double value)
{
    const double epsilon = 0.0001f;
    if (std::fabs(value) < epsilon)
        return 0.0;
    if (std::fabs(value - 1.0) < epsilon)
        return 1.0;
    return value;
}

void computeBox(const QList<int>& faces, const QVector<QVector2D>& vertices, const QVector<QList<int>>& triangles,
                float box[4])
{
    const QVector2D& first = vertices[triangles[faces.first()][0]];
    float minU = first.x(), maxU = first.x(), minV = first.y(), maxV = first.y();
    for (int face : faces) {
        const QList<int>& corners = triangles[face];
        for (int k = 0; k < 3; ++k) {
            const QVector2D& p = vertices[corners[k]];
            minU = std::min(minU, p.x());
            maxU = std::max(maxU, p.x());
            minV = std::min(minV, p.y());
            maxV = std::max(maxV, p.y());
        }
    }
    box[0] = minU;
    box[1] = minV;
    box[2] = maxU - minU;
    box[3] = maxV - minV;
}

BvhNodeBase2D* buildNode(const QList<int>& faces, const QVector<QVector2D>& vertices,
                         const QVector<QList<int>>& triangles, int leafSize)
{
    if (faces.isEmpty())
        return new BvhNodeEmpty2D();
    float box[4];
    computeBox(faces, vertices, triangles, box);
    if (faces.size() <= leafSize)
        return new BvhNodeLeaf2D(faces, box);

    const bool alongV = box[3] > box[2];
    const float split = alongV ? box[1] + box[3] / 2 : box[0] + box[2] / 2;
    QList<int> left, right, straddling;
    for (int face : faces) {
        bool touchesLeft = false, touchesRight = false;
        for (int k = 0; k < 3; ++k) {
            const QVector2D& p = vertices[triangles[face][k]];
            const float value = alongV ? p.y() : p.x();
            touchesLeft = touchesLeft || value <= split;
            touchesRight = touchesRight || value >= split;
        }
        if (touchesLeft && touchesRight)
            straddling.append(face);
        else if (touchesLeft)
            left.append(face);
        else
            right.append(face);
    }
    if (left.isEmpty() || right.isEmpty())
        return new BvhNodeLeaf2D(faces, box);
    left.append(straddling);
    right.append(straddling);
    BvhNodeBase2D* childLeft = buildNode(left, vertices, triangles, leafSize);
    BvhNodeBase2D* childRight = buildNode(right, vertices, triangles, leafSize);
    return new BvhNode2D(childLeft, childRight, box);
}

}  // namespace

BvhNodeBase2D::~BvhNodeBase2D() = default;

BvhNode2D::BvhNode2D(BvhNodeBase2D* childLeft, BvhNodeBase2D* childRight, const float box[4])
    : childLeft(childLeft), childRight(childRight), boundingBox{box[0], box[1], box[2], box[3]}
{}

BvhNode2D::~BvhNode2D()
{
    delete childLeft;
    delete childRight;
}

int BvhNode2D::findTriangle(const QVector2D& point, const QVector<QList<int>>& textureTriangles,
                            const QVector<QVector2D>& textureVertices) const
{
    if (!boxContains(boundingBox, point))
        return -1;
    // The left answer wins, so the right subtree matters only when the left finds nothing.
    const int left = childLeft->findTriangle(point, textureTriangles, textureVertices);
    if (left != -1)
        return left;
    return childRight->findTriangle(point, textureTriangles, textureVertices);
}

BvhNodeLeaf2D::BvhNodeLeaf2D(const QList<int>& faceIndices, const float box[4])
    : faceIndices(faceIndices), boundingBox{box[0], box[1], box[2], box[3]}
{}

int BvhNodeLeaf2D::findTriangle(const QVector2D& point, const QVector<QList<int>>& textureTriangles,
                                const QVector<QVector2D>& textureVertices) const
{
    if (!boxContains(boundingBox, point))
        return -1;
    int found = -1;
    for (int face : faceIndices) {
        const QList<int>& corners = textureTriangles[face];
        if (pointInTriangle(point, textureVertices[corners[0]], textureVertices[corners[1]],
                            textureVertices[corners[2]]))
            found = face;
    }
    return found;
}

int BvhNodeEmpty2D::findTriangle(const QVector2D&, const QVector<QList<int>>&, const QVector<QVector2D>&) const
{
    return -1;
}

BvhNodeBase2D* buildTree(const QVector<QVector2D>& textureVertices, const QVector<QList<int>>& textureTriangles,
                         int leafSize)
{
    QList<int> all;
    all.reserve(textureTriangles.size());
    for (int i = 0; i < textureTriangles.size(); ++i)
        all.append(i);
    return buildNode(all, textureVertices, textureTriangles, leafSize);
}

bool pointInTriangle(const QVector2D& p, const QVector2D& a, const QVector2D& b, const QVector2D& c)
{
    const double abx = double(b.x()) - a.x(), aby = double(b.y()) - a.y();
    const double acx = double(c.x()) - a.x(), acy = double(c.y()) - a.y();
    const double apx = double(p.x()) - a.x(), apy = double(p.y()) - a.y();
    const double s = snap(cross(acx, acy, apx, apy) / cross(acx, acy, abx, aby));
    const double t = snap(cross(abx, aby, apx, apy) / cross(abx, aby, acx, acy));
    // NaN (a triangle without area) fails every comparison.
    return s >= 0 && t >= 0 && s + t <= 1;
}

}  // namespace BVHTree2D
