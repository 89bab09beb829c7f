#include "Tarnwick/Tools/ToolNonRigidRegistration.h"

#include "Tarnwick/TemplateGeometry.h"
#include "Tarnwick/appsettings.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/widgetparamsnonrigidregistration.h"

#include <QDebug>

namespace Tools {

void ToolNonRigidRegistration::initialize()
{
    qDebug() << "log:"
             << "Start NonRigidRegistration mode";
    controller_ = new ControllerNonRigidRegistration(
        controllerMain_->geomStackViewTemplate, controllerMain_->geomStackViewTarget,
        controllerMain_->widgetsAreaTemplate, controllerMain_->widgetsAreaTarget, controllerMain_->mainWindow);
    controller_->lastControlPointsDir = controllerMain_->appSettings->lastControlPointsPath;
    controller_->lastFreePolygonsDir = controllerMain_->appSettings->lastFreePolygonsPath;
    relayEditing(controller_, &ControllerNonRigidRegistration::selectControlPointsModeEntered,
                 &ControllerNonRigidRegistration::selectControlPointsModeReleased);
    relayEditing(controller_, &ControllerNonRigidRegistration::selectPolygonsModeEntered,
                 &ControllerNonRigidRegistration::selectPolygonsModeReleased);
    relayComputing(controller_, &ControllerNonRigidRegistration::optimizationStarted,
                   &ControllerNonRigidRegistration::optimizationComplete);
    panel_ = new WidgetParamsNonRigidRegistration(controller_);
    connect(panel_, &WidgetParamsNonRigidRegistration::done, this, &ToolNonRigidRegistration::onDone);
    showPanel(panel_);
    qDebug() << "log:"
             << "NonRigidRegistration mode entered";
}

void ToolNonRigidRegistration::release(Tools::ToolReleaseAction releaseAction)
{
    qDebug() << "log:"
             << "Release NonRigidRegistration mode";
    const QVector<QVector3D> vertices = controller_->getSrcVerticesDeformed();
    const QString controlPointsDir = controller_->lastControlPointsDir;
    const QString freePolygonsDir = controller_->lastFreePolygonsDir;
    removePanel(panel_, controller_);
    delete controller_;
    controller_ = nullptr;
    if (releaseAction != Done)
        return;
    controllerMain_->appSettings->lastControlPointsPath = controlPointsDir;
    controllerMain_->appSettings->lastFreePolygonsPath = freePolygonsDir;
    // The delivered normals are not used: they are recomputed from the fitted positions.
    TemplateGeometry::apply(controllerMain_, vertices, QVector<QVector3D>(), true);
}

bool ToolNonRigidRegistration::isAvailable() const
{
    return controllerMain_->isTemplateLoaded() && controllerMain_->isTargetLoaded();
}

void ToolNonRigidRegistration::interruptAndWait()
{
    if (controller_)
        controller_->interruptAndWait();
}

}  // namespace Tools
