#include "Tarnwick/Tools/ToolTextureTransfer.h"

#include "Tarnwick/controllermain.h"
#include "Tarnwick/viewportresultstoolswidget.h"
#include "rendering/GLGeometrySplitted.h"
#include "rendering/GeomStackView.h"
#include "rendering/Viewport2D/glviewport2d.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "texture/ControllerTextureTransfer.h"
#include "texture/WidgetParamsTextureTransfer.h"

#include <QDebug>

namespace Tools {

void ToolTextureTransfer::initialize()
{
    qDebug() << "log: Enter TextureTransfer mode";
    controllerMain_->viewportResultsToolsWidget->hide();
    controllerMain_->viewport3DResults->hide();
    controllerMain_->viewport2D->show();
    controller = new ControllerTextureTransfer(controllerMain_->geomStackViewTemplate,
                                               controllerMain_->geomStackViewTarget, controllerMain_->viewport2D,
                                               controllerMain_->widgetsAreaTemplate, controllerMain_->textureTarget);
    relayEditing(controller, &ControllerTextureTransfer::polygonSelectionModeEntered,
                 &ControllerTextureTransfer::polygonSelectionModeReleased);
    relayComputing(controller, &ControllerTextureTransfer::transferStarted,
                   &ControllerTextureTransfer::transferFinished);
    relayComputing(controller, &ControllerTextureTransfer::paddingStarted, &ControllerTextureTransfer::paddingFinished);
    panel_ = new WidgetParamsTextureTransfer(controller);
    connect(panel_, &WidgetParamsTextureTransfer::done, this, &ToolTextureTransfer::onDone);
    showPanel(panel_);
    qDebug() << "log: TextureTransfer mode entered";
}

void ToolTextureTransfer::release(Tools::ToolReleaseAction releaseAction)
{
    qDebug() << "log: Release TextureTransfer mode";
    QImage* result = nullptr;
    if (controller->isTransferred() && releaseAction == Done)
        result = new QImage(*controller->resultImage());

    removePanel(panel_, controller);
    delete controller;
    controller = nullptr;

    controllerMain_->viewport2D->hide();
    controllerMain_->viewport3DResults->show();
    controllerMain_->viewportResultsToolsWidget->show();

    GeomStackView* view = controllerMain_->geomStackViewTemplate;
    view->viewport->makeCurrent();
    view->viewGeometry->removeTexture();
    // Without a finished transfer the template keeps the texture it had.
    if (releaseAction == Done && result) {
        delete controllerMain_->textureTemplate;
        controllerMain_->textureTemplate = result;
    }
    if (controllerMain_->textureTemplate)
        view->viewGeometry->setTexture(*controllerMain_->textureTemplate);
    view->viewport->updateGL();
}

bool ToolTextureTransfer::isAvailable() const
{
    return controllerMain_->isTemplateLoaded() && controllerMain_->isTargetLoaded() &&
           controllerMain_->isTargetTextureLoaded();
}

void ToolTextureTransfer::interruptAndWait()
{
    if (controller)
        controller->interruptAndWait();
}

}  // namespace Tools
