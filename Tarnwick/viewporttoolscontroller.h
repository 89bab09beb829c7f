#pragma once
// Wires the three view tool strips to the models' controller and recomputes
// which strip buttons are enabled whenever models, textures or modes change:
// loading and saving only while no mode is active, shading and fitting always
// for the loaded models.
#include <QObject>

class ControllerMain;
class ViewportResultsToolsWidget;
class ViewportToolsWidget;
namespace Tools {
class ToolsController;
}

class ViewportToolsController : public QObject {
    Q_OBJECT
public:
    ViewportToolsController(ControllerMain* controllerMain, Tools::ToolsController* toolsController,
                            ViewportToolsWidget* templateTools, ViewportToolsWidget* targetTools,
                            ViewportResultsToolsWidget* resultsTools, QObject* parent = nullptr);

public slots:
    void updateEnabledStates();

private:
    ControllerMain* controllerMain_;
    Tools::ToolsController* toolsController_;
    ViewportToolsWidget* templateTools_;
    ViewportToolsWidget* targetTools_;
    ViewportResultsToolsWidget* resultsTools_;
};
