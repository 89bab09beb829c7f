#pragma once
// The program's window: builds the four views and their tool strips, and once
// every view has run its GL initialisation, the models' controller, the work
// modes, the tool bar and the splitter layout. Opens the settings at start and
// writes them back when it closes. Destroyed, closed or not, it first ends the
// active mode, then frees what it built.
#include <QList>
#include <QMainWindow>

namespace Ui {
class MainWindow;
}
namespace Tools {
class Tool;
class ToolsController;
}  // namespace Tools
namespace Viewport2D {
class GLViewport2D;
}
namespace Viewport3D {
class Viewport3D2;
class Viewport3DLayered;
}  // namespace Viewport3D
class AppSettings;
class ControllerMain;
class QSettings;
class DemoDialog;
class ToolbarMain2;
class ViewportResultsToolsWidget;
class ViewportToolsController;
class ViewportToolsWidget;

class MainWindow : public QMainWindow {
    Q_OBJECT
public:
    explicit MainWindow(QWidget* parent = nullptr);
    ~MainWindow() override;

    // For the program's parts and their tests: what the window built.
    Viewport3D::Viewport3D2* viewport3DTemplate() const { return viewport3DTemplate_; }
    Viewport3D::Viewport3D2* viewport3DTarget() const { return viewport3DTarget_; }
    Viewport3D::Viewport3DLayered* viewport3DResults() const { return viewport3DResults_; }
    Viewport2D::GLViewport2D* viewport2D() const { return viewport2D_; }
    ViewportToolsWidget* templateTools() const { return viewportToolsTemplate_; }
    ViewportToolsWidget* targetTools() const { return viewportToolsTarget_; }
    ViewportResultsToolsWidget* resultsTools() const { return viewportResultsTools_; }
    DemoDialog* demoDialog() const { return demoDialog_; }
    ToolbarMain2* toolbar() const { return toolbar_; }
    ControllerMain* controllerMain() const { return controllerMain_; }
    ViewportToolsController* viewportToolsController() const { return viewportToolsController_; }
    Tools::ToolsController* toolsController() const { return toolsController_; }
    AppSettings* appSettings() const { return appSettings_; }
    QSettings* settings() const { return settings_; }

protected:
    void closeEvent(QCloseEvent* event) override;

private slots:
    void onViewportInitilized();
    void onAllViewports3DInitilized();
    void onShowTargetModelChecked(bool checked);
    void onModelRemoved();

private:
    void createViewports();
    void setWidgetsLayout(const QList<QWidget*>& widgets, QWidget* parent);
    void loadSettings();
    void createControllerMain();
    void createTools();
    void createViewportToolsController();
    void createToolbar();
    void setupSplitters();
    void showDemoDialog();
    // Stops the active mode's computation and waits for its work to end.
    void stopComputation();
    // Stops the active mode's computation, then leaves the mode without keeping its result.
    void endActiveMode();

    Viewport3D::Viewport3D2* viewport3DTemplate_ = nullptr;
    Viewport3D::Viewport3D2* viewport3DTarget_ = nullptr;
    Viewport3D::Viewport3DLayered* viewport3DResults_ = nullptr;
    Viewport2D::GLViewport2D* viewport2D_ = nullptr;
    ViewportToolsWidget* viewportToolsTemplate_ = nullptr;
    ViewportToolsWidget* viewportToolsTarget_ = nullptr;
    ViewportResultsToolsWidget* viewportResultsTools_ = nullptr;
    ToolbarMain2* toolbar_ = nullptr;
    ControllerMain* controllerMain_ = nullptr;
    ViewportToolsController* viewportToolsController_ = nullptr;
    QWidget* widgetsAreaTemplate_ = nullptr;
    QWidget* widgetsAreaTarget_ = nullptr;
    AppSettings* appSettings_ = nullptr;
    DemoDialog* demoDialog_ = nullptr;
    Tools::ToolsController* toolsController_ = nullptr;
    // The work modes that exist, in the tool bar's order (indices 0 to 4 once all are there).
    QList<Tools::Tool*> tools_;
    QSettings* settings_ = nullptr;
    Ui::MainWindow* ui_ = nullptr;
};
