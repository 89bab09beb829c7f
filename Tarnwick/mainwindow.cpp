#include "Tarnwick/mainwindow.h"

#include "Tarnwick/TarnwickResources.h"
#include "Tarnwick/Tools/ToolBrush.h"
#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolQuickAlignment.h"
#include "Tarnwick/Tools/ToolSubset.h"
#include "Tarnwick/Tools/ToolTextureTransfer.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/WindowPlacement.h"
#include "Tarnwick/appsettings.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/demodialog.h"
#include "Tarnwick/toolbarmain2.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "Tarnwick/viewporttoolscontroller.h"
#include "Tarnwick/viewporttoolswidget.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "ui_mainwindow.h"

#include <QCloseEvent>
#include <QDebug>
#include <QSettings>
#include <QSplitter>
#include <QVBoxLayout>

namespace {

// A hidden GL widget is never painted, so Qt never runs its GL initialisation;
// the window runs it itself, in the widget's own (already created) context.
struct HiddenViewInitialisation : Viewport2D::GLViewport2D {
    using QGLWidget::glInit;
};

void initialiseHiddenView(Viewport2D::GLViewport2D* view)
{
    (view->*(&HiddenViewInitialisation::glInit))();
}

}  // namespace

MainWindow::MainWindow(QWidget* parent) : QMainWindow(parent)
{
    initTarnwickResources();
    ui_ = new Ui::MainWindow;
    ui_->setupUi(this);
    auto* params = new QVBoxLayout(ui_->widgetParamsPlaceholder);
    params->setContentsMargins(0, 0, 0, 0);
    createViewports();
    loadSettings();
    qDebug() << "log:" << qPrintable(QStringLiteral("Plyform %1 loaded").arg(QStringLiteral("2.3")));
}

MainWindow::~MainWindow()
{
    // Also when the window goes without being closed: a mode still active
    // stops its work and is left while its views and models exist, so no
    // worker outlives them and no queued result reaches a deleted view.
    endActiveMode();
    // These hold the models' controller: they go before it.
    delete viewportToolsController_;
    viewportToolsController_ = nullptr;
    delete toolsController_;
    toolsController_ = nullptr;
    // The models' drawn objects live in the views' contexts: release them while the views exist.
    delete controllerMain_;
    controllerMain_ = nullptr;
    delete ui_;
    delete appSettings_;
    delete settings_;
}

void MainWindow::createViewports()
{
    viewport3DTemplate_ = new Viewport3D::Viewport3D2();
    connect(viewport3DTemplate_, &Viewport3D::Viewport3D2::initialized, this, &MainWindow::onViewportInitilized);
    widgetsAreaTemplate_ = new QWidget();
    auto* templateArea = new QVBoxLayout(widgetsAreaTemplate_);
    templateArea->setContentsMargins(0, 0, 0, 0);
    viewportToolsTemplate_ = new ViewportToolsWidget();
    viewportToolsTemplate_->setLoadFileToolTip(QStringLiteral("Load template model"));
    setWidgetsLayout({viewportToolsTemplate_, widgetsAreaTemplate_, viewport3DTemplate_},
                     ui_->widgetViewport3DTemplatePlaceholder);
    viewportToolsTemplate_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    widgetsAreaTemplate_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    viewport3DTemplate_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    viewport3DTarget_ = new Viewport3D::Viewport3D2();
    connect(viewport3DTarget_, &Viewport3D::Viewport3D2::initialized, this, &MainWindow::onViewportInitilized);
    widgetsAreaTarget_ = new QWidget();
    auto* targetArea = new QVBoxLayout(widgetsAreaTarget_);
    targetArea->setContentsMargins(0, 0, 0, 0);
    viewportToolsTarget_ = new ViewportToolsWidget();
    viewportToolsTarget_->setLoadFileToolTip(QStringLiteral("Load target model"));
    viewportToolsTarget_->setSaveModelVisible(false);
    viewportToolsTarget_->setSaveTextureVisible(false);
    setWidgetsLayout({viewportToolsTarget_, widgetsAreaTarget_, viewport3DTarget_},
                     ui_->widgetViewport3DTargetPlaceholder);
    viewportToolsTarget_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    widgetsAreaTarget_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    viewport3DTarget_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);

    viewport3DResults_ = new Viewport3D::Viewport3DLayered();
    viewport3DResults_->setAttribute(Qt::WA_MouseTracking);
    connect(viewport3DResults_, &Viewport3D::Viewport3DLayered::initialized, this, &MainWindow::onViewportInitilized);
    viewportResultsTools_ = new ViewportResultsToolsWidget();
    connect(viewportResultsTools_, &ViewportResultsToolsWidget::showTargetModelChecked, this,
            &MainWindow::onShowTargetModelChecked);
    viewport2D_ = new Viewport2D::GLViewport2D();
    connect(viewport2D_, &Viewport2D::GLViewport2D::initialized, this, &MainWindow::onViewportInitilized);
    setWidgetsLayout({viewportResultsTools_, viewport2D_, viewport3DResults_}, ui_->widgetViewport3DResultsPlaceholder);
    viewportResultsTools_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Minimum);
    viewport3DResults_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    viewport2D_->setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Expanding);
    // Shares its place with the results view; the texture-transfer mode swaps them.
    viewport2D_->hide();
}

void MainWindow::setWidgetsLayout(const QList<QWidget*>& widgets, QWidget* parent)
{
    auto* layout = new QVBoxLayout();
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    for (QWidget* widget : widgets)
        layout->addWidget(widget, 0);
    parent->setLayout(layout);
}

void MainWindow::loadSettings()
{
    settings_ =
        new QSettings(QSettings::IniFormat, QSettings::UserScope, QStringLiteral("Qelt"), QStringLiteral("Plyform2.3"));
    appSettings_ = new AppSettings(settings_);
    appSettings_->load();
}

void MainWindow::onViewportInitilized()
{
    if (!viewport3DTemplate_->isInitialized() || !viewport3DTarget_->isInitialized() ||
        !viewport3DResults_->isInitialized())
        return;
    if (!viewport2D_->isInitialized()) {
        // Its initialized() brings us back here.
        initialiseHiddenView(viewport2D_);
        return;
    }
    // A view moved into a splitter may report its initialisation again: build once.
    if (controllerMain_)
        return;
    onAllViewports3DInitilized();
}

void MainWindow::onAllViewports3DInitilized()
{
    qDebug() << "onAllViewport3DInitialized";
    createControllerMain();
    createTools();
    createViewportToolsController();
    createToolbar();
    setupSplitters();
    if (appSettings_->loadDemoOnStart)
        showDemoDialog();
}

void MainWindow::showDemoDialog()
{
    demoDialog_ = new DemoDialog(controllerMain_, toolsController_, tools_.value(1, nullptr), this);
    // The views may finish their initialisation before the window is mapped.
    WindowPlacement::showOver(demoDialog_, this);
}

void MainWindow::createControllerMain()
{
    controllerMain_ = new ControllerMain(viewport3DTemplate_, viewport3DTarget_, viewport3DResults_, viewport2D_,
                                         viewportResultsTools_, widgetsAreaTemplate_, widgetsAreaTarget_,
                                         ui_->widgetParamsPlaceholder, this, appSettings_, this);
    controllerMain_->setShadingParamsTemplate(true, true, true);
    controllerMain_->setShadingParamsTarget(true, true, false);
    viewportToolsTemplate_->setShadingParams(true, true, true);
    viewportToolsTarget_->setShadingParams(true, true, false);
    connect(controllerMain_, &ControllerMain::templateRemoved, this, &MainWindow::onModelRemoved);
    connect(controllerMain_, &ControllerMain::targetRemoved, this, &MainWindow::onModelRemoved);
}

void MainWindow::createTools()
{
    // The work modes join tools_ here in the tool bar's order: quick alignment,
    // registration, texture transfer, brush, subset.
    tools_.append(new Tools::ToolQuickAlignment(controllerMain_, QStringLiteral("Quick alignment"), this));
    tools_.append(new Tools::ToolNonRigidRegistration(controllerMain_, QStringLiteral("Registration"), this));
    tools_.append(new Tools::ToolTextureTransfer(controllerMain_, QStringLiteral("Texture trasfer"), this));
    tools_.append(new Tools::ToolBrush(controllerMain_, QStringLiteral("Brush"), this));
    tools_.append(new Tools::ToolSubset(controllerMain_, QStringLiteral("Subset"), this));
    toolsController_ = new Tools::ToolsController();
    for (Tools::Tool* tool : tools_)
        toolsController_->addTool(tool);
}

void MainWindow::createViewportToolsController()
{
    viewportToolsController_ = new ViewportToolsController(controllerMain_, toolsController_, viewportToolsTemplate_,
                                                           viewportToolsTarget_, viewportResultsTools_);
}

void MainWindow::createToolbar()
{
    toolbar_ = new ToolbarMain2(toolsController_);
    connect(controllerMain_, &ControllerMain::templateLoaded, toolbar_, &ToolbarMain2::updateButtonStates);
    connect(controllerMain_, &ControllerMain::targetLoaded, toolbar_, &ToolbarMain2::updateButtonStates);
    connect(controllerMain_, &ControllerMain::templateTextureLoaded, toolbar_, &ToolbarMain2::updateButtonStates);
    connect(controllerMain_, &ControllerMain::targetTextureLoaded, toolbar_, &ToolbarMain2::updateButtonStates);
    connect(controllerMain_, &ControllerMain::templateRemoved, toolbar_, &ToolbarMain2::updateButtonStates);
    connect(controllerMain_, &ControllerMain::targetRemoved, toolbar_, &ToolbarMain2::updateButtonStates);
    addToolBar(Qt::TopToolBarArea, toolbar_);
}

void MainWindow::setupSplitters()
{
    const int w = width() / 2;
    const int h = height() / 2;
    auto* layout = new QVBoxLayout();
    layout->setContentsMargins(0, 0, 0, 0);

    auto* top = new QSplitter(Qt::Horizontal);
    top->setHandleWidth(2);
    top->addWidget(ui_->widgetViewport3DTargetPlaceholder);
    top->addWidget(ui_->widgetViewport3DTemplatePlaceholder);
    top->setSizes({w, w});

    auto* bottom = new QSplitter(Qt::Horizontal);
    bottom->setHandleWidth(2);
    bottom->addWidget(ui_->frameParamsPlaceholder);
    bottom->addWidget(ui_->widgetViewport3DResultsPlaceholder);
    bottom->setSizes({w, w});

    auto* rows = new QSplitter(Qt::Vertical);
    rows->setHandleWidth(2);
    rows->addWidget(top);
    rows->addWidget(bottom);
    rows->setSizes({h, h});
    rows->setStretchFactor(0, 1);
    rows->setStretchFactor(1, 1);

    layout->addWidget(rows);
    ui_->centralWidget->setLayout(layout);
}

void MainWindow::onShowTargetModelChecked(bool checked)
{
    controllerMain_->setTargetVisibleInResults(checked);
}

void MainWindow::onModelRemoved()
{
    viewportToolsController_->updateEnabledStates();
}

void MainWindow::stopComputation()
{
    if (!toolsController_)
        return;
    const int current = toolsController_->currentToolIndex();
    if (current >= 0 && toolsController_->isToolComputing(current))
        toolsController_->tool(current)->interruptAndWait();
}

void MainWindow::endActiveMode()
{
    stopComputation();
    if (!toolsController_)
        return;
    const int current = toolsController_->currentToolIndex();
    if (current >= 0)
        toolsController_->releaseTool(current, Tools::Cancel);
}

void MainWindow::closeEvent(QCloseEvent* event)
{
    // A mode still computing is stopped, and its work waited for, before anything is written.
    stopComputation();
    appSettings_->loadDemoOnStart = demoDialog_ && demoDialog_->isLoadDemoContentOnStart();
    appSettings_->save();
    qDebug() << "log:"
             << "Closing Plyform";
    event->accept();
}
