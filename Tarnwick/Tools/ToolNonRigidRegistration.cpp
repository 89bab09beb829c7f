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
    controller = new ControllerNonRigidRegistration(
        controllerMain_->geomStackViewTemplate, controllerMain_->geomStackViewTarget,
        controllerMain_->widgetsAreaTemplate, controllerMain_->widgetsAreaTarget, controllerMain_->mainWindow);
    controller->lastControlPointsDir = controllerMain_->appSettings->lastControlPointsPath;
    controller->lastFreePolygonsDir = controllerMain_->appSettings->lastFreePolygonsPath;
    relayEditing(controller, &ControllerNonRigidRegistration::selectControlPointsModeEntered,
                 &ControllerNonRigidRegistration::selectControlPointsModeReleased);
    relayEditing(controller, &ControllerNonRigidRegistration::selectPolygonsModeEntered,
                 &ControllerNonRigidRegistration::selectPolygonsModeReleased);
    relayComputing(controller, &ControllerNonRigidRegistration::optimizationStarted,
                   &ControllerNonRigidRegistration::optimizationComplete);
    panel = new WidgetParamsNonRigidRegistration(controller);
    connect(panel, &WidgetParamsNonRigidRegistration::done, this, &ToolNonRigidRegistration::onDone);
    showPanel(panel);
    qDebug() << "log:"
             << "NonRigidRegistration mode entered";
}

void ToolNonRigidRegistration::release(Tools::ToolReleaseAction releaseAction)
{
    qDebug() << "log:"
             << "Release NonRigidRegistration mode";
    const QVector<QVector3D> vertices = controller->getSrcVerticesDeformed();
    const QString controlPointsDir = controller->lastControlPointsDir;
    const QString freePolygonsDir = controller->lastFreePolygonsDir;
    removePanel(panel, controller);
    delete controller;
    controller = nullptr;
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
    if (controller)
        controller->interruptAndWait();
}

}  // namespace Tools
