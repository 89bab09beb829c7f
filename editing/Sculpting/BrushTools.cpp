#include "editing/Sculpting/BrushTools.h"

#include "mesh/GeomStack.h"
#include "spatial/BVH.h"

#include <QSet>

#include <cmath>
#include <limits>

namespace Sculpting {

double squaredDistance(const QVector3D& a, const QVector3D& b)
{
    const QVector3D d = a - b;
    return double(d.x()) * d.x() + double(d.y()) * d.y() + double(d.z()) * d.z();
}

QList<int> collectVerticesInRadius(const QVector3D& centre, double radius, const QList<int>& candidateTriangles,
                                   const QVector<QVector3D>& vertices, const QVector<QList<int>>& triangles,
                                   QList<int>& touchedTriangles)
{
    QSet<int> found;
    QList<int> result;
    for (int triangle : candidateTriangles) {
        bool touched = false;
        for (int vertex : triangles.at(triangle)) {
            if (found.contains(vertex)) {
                touched = true;
            } else if (isInsideSphere(centre, radius, vertices.at(vertex))) {
                found.insert(vertex);
                result.append(vertex);
                touched = true;
            }
        }
        if (touched)
            touchedTriangles.append(triangle);
    }
    return result;
}

bool isInsideSphere(const QVector3D& centre, double radius, const QVector3D& point)
{
    return squaredDistance(point, centre) <= radius * radius;
}

double falloffWeight(const QVector3D& point, const QVector3D& centre, double radius)
{
    const double d = (point - centre).length();
    return (std::cos(M_PI * d / radius) + 1) / 2;
}

QList<double> computeWeights(const QList<int>& vertexList, const QVector<QVector3D>& vertices, const QVector3D& centre,
                             double radius)
{
    QList<double> weights;
    weights.reserve(vertexList.size());
    for (int vertex : vertexList)
        weights.append(falloffWeight(vertices.at(vertex), centre, radius));
    return weights;
}

bool findTargetHitAlongNormal(const QVector3D& point, const QVector3D& normal, const GeometryStack::GeomStack* target,
                              const QVector<QList<int>>* targetTriangles, const BVH2::BvhNodeBase* targetBvh,
                              double limit, int& face, double& u, double& v, QVector3D& hitPoint)
{
    if (!target || !targetTriangles || !targetBvh)
        return false;
    const double none = std::numeric_limits<double>::max();
    int faceForward = -1, faceBackward = -1;
    double tForward = none, tBackward = none;
    double uForward = 0, vForward = 0, uBackward = 0, vBackward = 0;
    targetBvh->findFirstRayIntersectedTriangle(point, normal, *targetTriangles, target->vertices,
                                               BVH2::RayFaceIntersection_AnyFace, faceForward, tForward, &uForward,
                                               &vForward);
    targetBvh->findFirstRayIntersectedTriangle(point, -normal, *targetTriangles, target->vertices,
                                               BVH2::RayFaceIntersection_AnyFace, faceBackward, tBackward, &uBackward,
                                               &vBackward);
    if (faceForward < 0 && faceBackward < 0)
        return false;
    if (tBackward >= tForward) {
        if (tForward > limit)
            return false;
        face = faceForward;
        u = uForward;
        v = vForward;
        hitPoint = point + float(tForward) * normal;
        return true;
    }
    if (tBackward > limit)
        return false;
    face = faceBackward;
    u = uBackward;
    v = vBackward;
    hitPoint = point - float(tBackward) * normal;
    return true;
}

QVector3D projectOntoTarget(const QVector3D& point, const QVector3D& normal, const GeometryStack::GeomStack* target,
                            const QVector<QList<int>>* targetTriangles, const BVH2::BvhNodeBase* targetBvh)
{
    int face = -1;
    double u = 0, v = 0;
    QVector3D hit;
    if (findTargetHitAlongNormal(point, normal, target, targetTriangles, targetBvh, std::numeric_limits<double>::max(),
                                 face, u, v, hit))
        return hit;
    return point;
}

QVector3D neighboursMean(const QList<int>& vertexList, const QVector<QVector3D>& vertices)
{
    double x = 0, y = 0, z = 0;
    for (int vertex : vertexList) {
        const QVector3D& p = vertices.at(vertex);
        x += p.x();
        y += p.y();
        z += p.z();
    }
    const double n = vertexList.size();
    return QVector3D(float(x / n), float(y / n), float(z / n));
}

QList<int> openFan(const QList<int>& fan)
{
    if (!fan.isEmpty() && fan.first() == fan.last())
        return fan.mid(0, fan.size() - 1);
    return fan;
}

}  // namespace Sculpting
