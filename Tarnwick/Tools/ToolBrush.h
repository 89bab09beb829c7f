#pragma once
// The brush mode: sculpts a half-transparent copy of the template in the
// results view; Done makes the sculpted positions the template's, Cancel
// leaves the template as it was.
#include "Tarnwick/ModeColors.h"
#include "Tarnwick/Tools/Tool.h"

#include <QColor>
#include <QList>
#include <QVector>

class BrushController;
class WidgetBrushController;
namespace Sculpting {
class BrushMove;
class BrushRelax;
class BrushProjection;
class BrushPushAway;
}  // namespace Sculpting
namespace Viewport3D {
class GLGeometrySplitted;
}

namespace Tools {

class ToolBrush : public Tool {
    Q_OBJECT
public:
    using Tool::Tool;

    void initialize() override;
    void release(Tools::ToolReleaseAction releaseAction) override;
    bool isAvailable() const override;

    BrushController* getController() const { return controller; }
    WidgetBrushController* getPanel() const { return panel_; }

    QVector<QList<int>> vertexNeighbours;
    QVector<bool> boundaryVertices;
    Viewport3D::GLGeometrySplitted* sculptGeometry = nullptr;

private:
    BrushController* controller = nullptr;
    WidgetBrushController* panel_ = nullptr;
    Sculpting::BrushMove* brushMove_ = nullptr;
    Sculpting::BrushRelax* brushRelax_ = nullptr;
    Sculpting::BrushProjection* brushProjection_ = nullptr;
    Sculpting::BrushPushAway* brushPushAway_ = nullptr;
    QColor sculptColor_ = ModeColors::templateFill;
    QColor sculptWireColor_ = ModeColors::templateWire;
};

}  // namespace Tools
