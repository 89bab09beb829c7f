#pragma once
// The subset mode, in two phases. Select: the user picks polygons of the
// template, and Done narrows the template to them, keeping the whole mesh.
// Apply: entering the mode writes the edited part back into the whole mesh,
// which becomes the template again.
#include "Tarnwick/Tools/Tool.h"

#include <QList>
#include <QString>
#include <QVector>

class PolygonSelectionController;
class PolygonSelectionWidget;
class WidgetParamsSubset;
namespace GeometryStack {
class GeomStack;
}
namespace Viewport3D {
class LassoSelectionController;
}

namespace Tools {

class ToolSubset : public Tool {
    Q_OBJECT
public:
    ToolSubset(ControllerMain* controllerMain, const QString& name, QObject* parent = nullptr);
    ~ToolSubset() override;

    void initialize() override;
    void release(Tools::ToolReleaseAction releaseAction) override;
    bool isAvailable() const override;

    // Name, then the current phase's name in brackets.
    void updateName();

    PolygonSelectionController* getSelectionController() const { return selectionController_; }
    WidgetParamsSubset* getPanel() const { return panel_; }

    GeometryStack::GeomStack* wholeTemplate = nullptr;
    QVector<bool> savedSelection;
    QVector<bool> savedVisibility;
    int phase = 0;
    QVector<int> vertexMap;
    QString baseName;
    QList<QString> phaseNames = {QStringLiteral("Select"), QStringLiteral("Apply")};

private slots:
    void onTemplateLoaded();

private:
    void cropTemplate();
    void restoreWholeTemplate();

    Viewport3D::LassoSelectionController* lassoController = nullptr;
    PolygonSelectionController* selectionController_ = nullptr;
    PolygonSelectionWidget* selectionWidget_ = nullptr;
    WidgetParamsSubset* panel_ = nullptr;
};

}  // namespace Tools
