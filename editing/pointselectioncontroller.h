#pragma once
// Picks vertices of one mesh with the mouse in that mesh's model view and keeps
// them as an ordered list (the i-th picks of template and target are paired),
// shown as markers labelled with their place in the list. A click appends the
// vertex nearest the clicked surface point; a Control click removes the listed
// vertex nearest to it.
#include <QColor>
#include <QList>
#include <QObject>
#include <QPointF>
#include <QVector3D>
#include <QVector>

class LabelFontAtlas;
namespace BVH2 {
class BvhNodeBase;
}
namespace KDTree {
class NodeBase;
}
namespace Viewport3D {
class GLPointsWithLabels;
class Viewport3D2;
}  // namespace Viewport3D

class PointSelectionController : public QObject {
    Q_OBJECT
public:
    // The mesh arrays, both trees (built over exactly these arrays), the atlas
    // and the view are not owned and must outlive the controller. No markers
    // are built: owners call setSelectedPoints right away.
    PointSelectionController(const QVector<QVector3D>* vertices, const QVector<QList<int>>* triangles,
                             const BVH2::BvhNodeBase* bvhRoot, const KDTree::NodeBase* kdTreeRoot,
                             LabelFontAtlas* fontAtlas, Viewport3D::Viewport3D2* viewport, const QColor& labelColor,
                             QObject* parent = nullptr);
    // Takes the markers out of the view, repaints it and deletes them.
    ~PointSelectionController() override;

    const QList<int>& selectedPoints() const { return pointIndices; }
    int pointsCount() const { return pointIndices.size(); }
    // Used as given (indices unchecked, repeats kept); always rebuilds and signals.
    void setSelectedPoints(const QList<int>& indices);
    void clearAll();    // always rebuilds and signals
    void removeLast();  // nothing at all on an empty list

    QColor labelColor;
    const QVector<QVector3D>* vertices;
    const QVector<QList<int>>* triangles;
    const BVH2::BvhNodeBase* bvhRoot;
    const KDTree::NodeBase* kdTreeRoot;
    LabelFontAtlas* fontAtlas;
    Viewport3D::Viewport3D2* viewport;
    Viewport3D::GLPointsWithLabels* markers = nullptr;
    QList<int> pointIndices;

signals:
    void selectionChanged();

private slots:
    void onMouseRelease(QPointF point, Qt::MouseButtons mouseButtons, Qt::KeyboardModifiers keyboardModifiers);

private:
    void selectPoint(QPointF ndcPoint);
    void deselectNearestPoint(QPointF ndcPoint);
    // The nearest surface point under the cursor, front or back face; needs
    // the view's context current (the projection is read back from it).
    bool pickSurfacePoint(const QPointF& ndcPoint, QVector3D& hit);
    void updateMarkers();
    QVector<QVector3D> listedPositions() const;
};
