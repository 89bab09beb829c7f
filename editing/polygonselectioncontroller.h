#pragma once
// Per-polygon selection and visibility of one mesh in its model view, changed
// by clicks and lassos (through a lasso controller) and by the panel's
// operations, and shown on the mesh's drawn geometry: the selection in a
// shading group of its own appended after the mesh's groups, the hidden
// polygons taken out of the groups before it.
#include "mesh/GeomStack.h"

#include <QObject>
#include <QPointF>
#include <QVector>

namespace BVH2 {
class BvhNodeBase;
class ConvexPolyhedron;
}  // namespace BVH2
namespace Viewport3D {
class GLGeometrySplitted;
class LassoSelectionController;
class Viewport3D2;
}  // namespace Viewport3D

class PolygonSelectionController : public QObject {
    Q_OBJECT
public:
    // Nothing is owned; the mesh, its tree (over its vertices and triangles), its
    // drawn geometry (one group per polygroup, or one group without polygroups)
    // and the view must outlive the controller.
    PolygonSelectionController(const GeometryStack::GeomStack* geometry, const BVH2::BvhNodeBase* bvhRoot,
                               Viewport3D::GLGeometrySplitted* splittedGeometry, Viewport3D::Viewport3D2* viewport,
                               Viewport3D::LassoSelectionController* lassoController, QObject* parent = nullptr);
    // Removes the selection group; hidden polygons stay hidden (call unhideAll first to show them).
    ~PolygonSelectionController() override;

    const QVector<bool>& selection() const { return selectionMask_; }
    const QVector<bool>& visibility() const { return visibilityMask_; }
    const GeometryStack::GeomStack* geometry() const { return geometry_; }

    // One entry per polygon. Neither repaints.
    void setSelection(const QVector<bool>& mask);
    void setVisibility(const QVector<bool>& mask);

    // The panel's operations; each repaints the view.
    void selectAll();
    void clearSelection();
    void invertSelection();
    void selectByPolygroup(int polygroup);
    void deselectByPolygroup(int polygroup);
    void hideSelected();
    void unhideAll();

public slots:
    // The nearest visible polygon in front of the eye under the NDC point.
    void onPointSelection(QPointF point, bool deselectionMode);
    // Every visible polygon touched by the volume under the closed NDC polygon, occluded ones too.
    void onLassoSelection(QVector<QPointF> points, bool deselectionMode);

private:
    // Masks over the triangles (one per group of volumes) whose union is every triangle touched by a volume.
    QVector<QVector<bool>> touchedTriangles(const QVector<BVH2::ConvexPolyhedron>& volumes) const;
    void repaint();

    Viewport3D::Viewport3D2* viewport_;
    const GeometryStack::GeomStack* geometry_;
    Viewport3D::GLGeometrySplitted* splittedGeometry_;
    Viewport3D::LassoSelectionController* lassoController_;
    const BVH2::BvhNodeBase* bvhRoot_;
    QVector<bool> selectionMask_;
    QVector<bool> visibilityMask_;
};

// Element-wise mask operations; the result is as long as the first operand, and both must be equally long.
QVector<bool> invertMask(const QVector<bool>& a);
QVector<bool> intersectMasks(const QVector<bool>& a, const QVector<bool>& b);
QVector<bool> uniteMasks(const QVector<bool>& a, const QVector<bool>& b);
