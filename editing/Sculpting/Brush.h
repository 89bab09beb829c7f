#pragma once
// The sculpting brushes of the brush mode. A brush is a pure function of one
// stroke step: it reads the sculpted positions and normals and returns the new
// positions of the vertices it moves (ascending by index), and appends the
// triangles that have a vertex under the brush. It never writes its inputs.
#include <QList>
#include <QMap>
#include <QVector3D>
#include <QVector>

namespace BVH2 {
class BvhNodeBase;
}
namespace GeometryStack {
class GeomStack;
}
namespace Octree {
class Tree;
}

namespace Sculpting {

class Brush {
public:
    // None of the pointers is owned; the data outlives the brush.
    Brush(const QVector<QList<int>>* templateTriangles, const GeometryStack::GeomStack* target,
          const QVector<QList<int>>* targetTriangles, const BVH2::BvhNodeBase* targetBvh);
    virtual ~Brush();

    // centre: the previous brush point (the sphere's centre); newCentre: the
    // current one. protection: true = the vertex must not move. A plain brush
    // moves nothing: an empty map, and nothing is appended.
    virtual QMap<int, QVector3D> apply(const QVector3D& centre, const QVector3D& newCentre,
                                       const QVector<QVector3D>& vertices, const QVector<QVector3D>& normals,
                                       Octree::Tree* octree, const QVector<bool>& protection, double radius,
                                       double intensity, double maxProjectionDistance,
                                       QList<int>& touchedTriangles) const;

protected:
    struct VertexUnderBrush {
        int vertex;
        double weight;  // fall-off from the centre
    };
    // What every brush starts from: the vertices of the octree's candidate
    // triangles inside the sphere, each once and with its weight, protected
    // ones left out. Every triangle with a vertex inside, protected or not, is
    // appended to touchedTriangles.
    QVector<VertexUnderBrush> verticesUnderBrush(const QVector3D& centre, double radius,
                                                 const QVector<QVector3D>& vertices, Octree::Tree* octree,
                                                 const QVector<bool>& protection, QList<int>& touchedTriangles) const;

    QVector3D projectOntoTarget(const QVector3D& point, const QVector3D& normal) const;
    // q, or the target point along q's normal line when that is within maxDistance.
    QVector3D snapWithin(const QVector3D& q, const QVector3D& normal, double maxDistance) const;

    const QVector<QList<int>>* templateTriangles;
    const GeometryStack::GeomStack* target;
    const QVector<QList<int>>* targetTriangles;
    const BVH2::BvhNodeBase* targetBvh;
};

// Carries the vertices along the brush's own movement, then onto the target.
class BrushMove : public Brush {
public:
    using Brush::Brush;
    QMap<int, QVector3D> apply(const QVector3D& centre, const QVector3D& newCentre, const QVector<QVector3D>& vertices,
                               const QVector<QVector3D>& normals, Octree::Tree* octree, const QVector<bool>& protection,
                               double radius, double intensity, double maxProjectionDistance,
                               QList<int>& touchedTriangles) const override;
};

// Pulls each vertex toward the mean of its fan neighbours, then onto the target.
class BrushRelax : public Brush {
public:
    BrushRelax(const QVector<QList<int>>* templateTriangles, const QVector<QList<int>>* vertexNeighbours,
               const GeometryStack::GeomStack* target, const QVector<QList<int>>* targetTriangles,
               const BVH2::BvhNodeBase* targetBvh);
    QMap<int, QVector3D> apply(const QVector3D& centre, const QVector3D& newCentre, const QVector<QVector3D>& vertices,
                               const QVector<QVector3D>& normals, Octree::Tree* octree, const QVector<bool>& protection,
                               double radius, double intensity, double maxProjectionDistance,
                               QList<int>& touchedTriangles) const override;

private:
    const QVector<QList<int>>* vertexNeighbours_;
};

// Moves each vertex part of the way to the target along its normal line.
class BrushProjection : public Brush {
public:
    using Brush::Brush;
    QMap<int, QVector3D> apply(const QVector3D& centre, const QVector3D& newCentre, const QVector<QVector3D>& vertices,
                               const QVector<QVector3D>& normals, Octree::Tree* octree, const QVector<bool>& protection,
                               double radius, double intensity, double maxProjectionDistance,
                               QList<int>& touchedTriangles) const override;
};

// Lifts each vertex to the outer side of the target, up to the maximum distance.
class BrushPushAway : public Brush {
public:
    using Brush::Brush;
    QMap<int, QVector3D> apply(const QVector3D& centre, const QVector3D& newCentre, const QVector<QVector3D>& vertices,
                               const QVector<QVector3D>& normals, Octree::Tree* octree, const QVector<bool>& protection,
                               double radius, double intensity, double maxProjectionDistance,
                               QList<int>& touchedTriangles) const override;
};

}  // namespace Sculpting
