#include "Tarnwick/viewporttoolscontroller.h"

#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "Tarnwick/viewporttoolswidget.h"

ViewportToolsController::ViewportToolsController(ControllerMain* controllerMain,
                                                 Tools::ToolsController* toolsController,
                                                 ViewportToolsWidget* templateTools, ViewportToolsWidget* targetTools,
                                                 ViewportResultsToolsWidget* resultsTools, QObject* parent)
    : QObject(parent),
      controllerMain_(controllerMain),
      toolsController_(toolsController),
      templateTools_(templateTools),
      targetTools_(targetTools),
      resultsTools_(resultsTools)
{
    // The dialog slots are private to the models' controller: connected by signature.
    connect(templateTools_, SIGNAL(loadFileClicked()), controllerMain_, SLOT(openLoadFileDialogTemplate()));
    connect(templateTools_, SIGNAL(loadTextureClicked()), controllerMain_, SLOT(openLoadTextureDialogTemplate()));
    connect(templateTools_, &ViewportToolsWidget::shadingParamsChanged, controllerMain_,
            &ControllerMain::setShadingParamsTemplate);
    connect(templateTools_, &ViewportToolsWidget::fitToViewClicked, controllerMain_,
            &ControllerMain::fitToViewViewport3DTemplate);
    connect(templateTools_, &ViewportToolsWidget::saveFileClicked, controllerMain_,
            &ControllerMain::openSaveToFileDialog);
    connect(templateTools_, &ViewportToolsWidget::saveTextureClicked, controllerMain_,
            &ControllerMain::openSaveTextureDialog);
    connect(targetTools_, SIGNAL(loadFileClicked()), controllerMain_, SLOT(openLoadFileDialogTarget()));
    connect(targetTools_, SIGNAL(loadTextureClicked()), controllerMain_, SLOT(openLoadTextureDialogTarget()));
    connect(targetTools_, &ViewportToolsWidget::shadingParamsChanged, controllerMain_,
            &ControllerMain::setShadingParamsTarget);
    connect(targetTools_, &ViewportToolsWidget::fitToViewClicked, controllerMain_,
            &ControllerMain::fitToViewViewport3DTarget);
    connect(resultsTools_, &ViewportResultsToolsWidget::fitToViewClicked, controllerMain_,
            &ControllerMain::fitToViewViewport3DResults);

    using Tools::ToolsController;
    connect(toolsController_, &ToolsController::toolInitialized, this, &ViewportToolsController::updateEnabledStates);
    connect(toolsController_, &ToolsController::toolReleased, this, &ViewportToolsController::updateEnabledStates);
    connect(toolsController_, &ToolsController::editionStarted, this, &ViewportToolsController::updateEnabledStates);
    connect(toolsController_, &ToolsController::editionFinished, this, &ViewportToolsController::updateEnabledStates);
    connect(controllerMain_, &ControllerMain::templateLoaded, this, &ViewportToolsController::updateEnabledStates);
    connect(controllerMain_, &ControllerMain::templateRemoved, this, &ViewportToolsController::updateEnabledStates);
    connect(controllerMain_, &ControllerMain::templateTextureLoaded, this,
            &ViewportToolsController::updateEnabledStates);
    connect(controllerMain_, &ControllerMain::targetLoaded, this, &ViewportToolsController::updateEnabledStates);
    connect(controllerMain_, &ControllerMain::targetRemoved, this, &ViewportToolsController::updateEnabledStates);
    updateEnabledStates();
}

void ViewportToolsController::updateEnabledStates()
{
    const bool t = controllerMain_->isTemplateLoaded();
    const bool g = controllerMain_->isTargetLoaded();
    const bool x = t && controllerMain_->isTemplateTextureLoaded();
    const bool n = toolsController_->currentToolIndex() == -1;

    templateTools_->setEnabledLoadFile(n);
    templateTools_->setEnabledLoadTexture(n && t);
    templateTools_->setEnabledSaveModel(n && t);
    templateTools_->setEnabledSaveTexture(n && t && x);
    templateTools_->setEnabledShadingParams(t);
    templateTools_->setEnabledFitToView(t);

    targetTools_->setEnabledLoadFile(n);
    targetTools_->setEnabledLoadTexture(n && g);
    targetTools_->setEnabledShadingParams(g);
    targetTools_->setEnabledFitToView(g);

    resultsTools_->setEnabledFitToView(t || g);
    resultsTools_->setEnabledShowTargetModel(g);
}
