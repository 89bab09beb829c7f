#include "Tarnwick/Tools/ToolNonRigidRegistration.h"

#include "Tarnwick/ModeMarkers.h"
#include "Tarnwick/appsettings.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/mainwindow.h"
#include "Tarnwick/widgetparamsnonrigidregistration.h"

#include <QDebug>
#include <QLayout>

namespace Tools {

ToolNonRigidRegistration::ToolNonRigidRegistration(ControllerMain* controllerMain, const QString& name, QObject* parent)
    : Tool(controllerMain, name, parent)
{}

void ToolNonRigidRegistration::initialize()
{
    qDebug() << "log:"
             << "Start NonRigidRegistration mode";
    controller = new ControllerNonRigidRegistration(
        controllerMain_->geomStackViewTemplate, controllerMain_->geomStackViewTarget,
        controllerMain_->widgetsAreaTemplate, controllerMain_->widgetsAreaTarget, controllerMain_->mainWindow);
    controller->lastControlPointsDir = controllerMain_->appSettings->lastControlPointsPath;
    controller->lastFreePolygonsDir = controllerMain_->appSettings->lastFreePolygonsPath;
    connect(controller, &ControllerNonRigidRegistration::selectControlPointsModeEntered, this,
            &ToolNonRigidRegistration::startEditing);
    connect(controller, &ControllerNonRigidRegistration::selectControlPointsModeReleased, this,
            &ToolNonRigidRegistration::finishEditing);
    connect(controller, &ControllerNonRigidRegistration::selectPolygonsModeEntered, this,
            &ToolNonRigidRegistration::startEditing);
    connect(controller, &ControllerNonRigidRegistration::selectPolygonsModeReleased, this,
            &ToolNonRigidRegistration::finishEditing);
    connect(controller, &ControllerNonRigidRegistration::optimizationStarted, this,
            &ToolNonRigidRegistration::startComputing);
    connect(controller, &ControllerNonRigidRegistration::optimizationComplete, this,
            &ToolNonRigidRegistration::finishComputing);
    panel = new WidgetParamsNonRigidRegistration(controller);
    connect(panel, &WidgetParamsNonRigidRegistration::done, this, &ToolNonRigidRegistration::onDone);
    controllerMain_->paramsPlaceholder->layout()->addWidget(panel);
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
    controllerMain_->paramsPlaceholder->layout()->removeWidget(panel);
    delete panel;
    delete controller;
    panel = nullptr;
    controller = nullptr;
    if (releaseAction != Done)
        return;
    controllerMain_->appSettings->lastControlPointsPath = controlPointsDir;
    controllerMain_->appSettings->lastFreePolygonsPath = freePolygonsDir;
    // The delivered normals are not used: they are recomputed from the fitted positions.
    ModeMarkers::applyTemplateGeometry(controllerMain_, vertices, QVector<QVector3D>(), true);
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

void ToolNonRigidRegistration::onDone()
{
    emit releaseRequest(Done);
}

}  // namespace Tools
