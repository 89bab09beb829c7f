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
    Brush(const QVector<QList<int> >* templateTriangles, const GeometryStack::GeomStack* target,
          const QVector<QList<int> >* targetTriangles, const BVH2::BvhNodeBase* targetBvh);
    virtual ~Brush();

    // centre: the previous brush point (the sphere's centre); newCentre: the
    // current one. protection: true = the vertex must not move.
    QMap<int, QVector3D> apply(const QVector3D& centre, const QVector3D& newCentre, const QVector<QVector3D>& vertices,
                               const QVector<QVector3D>& normals, Octree::Tree* octree, const QVector<bool>& protection,
                               double radius, double intensity, double maxProjectionDistance,
                               QList<int>& touchedTriangles) const;

protected:
    // What one stroke step hands every vertex it may move.
    struct Step {
        QVector3D shift;  // newCentre - centre
        const QVector<QVector3D>& vertices;
        const QVector<QVector3D>& normals;
        double intensity;
        double maxProjectionDistance;
    };
    // The new position of one unprotected vertex under the sphere, or false to
    // leave it out of the result.
    virtual bool moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const = 0;

    QVector3D projectOntoTarget(const QVector3D& point, const QVector3D& normal) const;
    // q, or the target point along q's normal line when that is within maxDistance.
    QVector3D snapWithin(const QVector3D& q, const QVector3D& normal, double maxDistance) const;

    const QVector<QList<int> >* templateTriangles;
    const GeometryStack::GeomStack* target;
    const QVector<QList<int> >* targetTriangles;
    const BVH2::BvhNodeBase* targetBvh;
};

// Carries the vertices along the brush's own movement, then onto the target.
class BrushMove : public Brush {
public:
    using Brush::Brush;

protected:
    bool moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const override;
};

// Pulls each vertex toward the mean of its fan neighbours, then onto the target.
class BrushRelax : public Brush {
public:
    BrushRelax(const QVector<QList<int> >* templateTriangles, const QVector<QList<int> >* vertexNeighbours,
               const GeometryStack::GeomStack* target, const QVector<QList<int> >* targetTriangles,
               const BVH2::BvhNodeBase* targetBvh);

protected:
    bool moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const override;

private:
    const QVector<QList<int> >* vertexNeighbours;
};

// Moves each vertex part of the way to the target along its normal line.
class BrushProjection : public Brush {
public:
    using Brush::Brush;

protected:
    bool moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const override;
};

// Lifts each vertex to the outer side of the target, up to the maximum distance.
class BrushPushAway : public Brush {
public:
    using Brush::Brush;

protected:
    bool moveVertex(const Step& step, int vertex, double weight, QVector3D& moved) const override;
};

}  // namespace Sculpting
