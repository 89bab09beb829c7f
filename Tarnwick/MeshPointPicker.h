#pragma once
// Picking vertices on one loaded mesh, as the alignment modes do on the
// template and on the target: a point-selection controller over the mesh's
// arrays and trees in its own view, started from the given list, with its strip
// in the view's widget area. Deleting the picker takes the strip out of the
// area and deletes it, then the controller (which takes its labels away).
#include <QColor>
#include <QList>

class GeomStackView;
class LabelFontAtlas;
class PointSelectionController;
class PointSelectionWidget;
class QWidget;

class MeshPointPicker {
public:
    // The mesh record, the area and the atlas are not owned and must outlive the picker.
    MeshPointPicker(GeomStackView* mesh, QWidget* area, LabelFontAtlas* labelAtlas, const QColor& labelColor,
                    const QList<int>& points);
    ~MeshPointPicker();
    MeshPointPicker(const MeshPointPicker&) = delete;
    MeshPointPicker& operator=(const MeshPointPicker&) = delete;

    // The picked vertex indices in picking order.
    const QList<int>& points() const;
    PointSelectionController* controller() const { return controller_; }

private:
    QWidget* area_;
    PointSelectionController* controller_;
    PointSelectionWidget* strip_;
};
