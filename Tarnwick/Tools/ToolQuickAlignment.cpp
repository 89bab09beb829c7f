#include "Tarnwick/Tools/ToolQuickAlignment.h"

#include "Tarnwick/ModeMarkers.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllerquickalignment.h"
#include "Tarnwick/widgetparamsquickalignment.h"

#include <QDebug>
#include <QLayout>

namespace Tools {

ToolQuickAlignment::ToolQuickAlignment(ControllerMain* controllerMain, const QString& name, QObject* parent)
    : Tool(controllerMain, name, parent)
{}

void ToolQuickAlignment::initialize()
{
    qDebug() << "log:"
             << "Start QuickAlignment mode";
    controller =
        new ControllerQuickAlignment(controllerMain_->geomStackViewTemplate, controllerMain_->geomStackViewTarget,
                                     controllerMain_->widgetsAreaTemplate, controllerMain_->widgetsAreaTarget);
    connect(controller, &ControllerQuickAlignment::setCorrespondentPointsModeEntered, this,
            &ToolQuickAlignment::startEditing);
    connect(controller, &ControllerQuickAlignment::setCorrespondentPointsModeReleased, this,
            &ToolQuickAlignment::finishEditing);
    panel = new WidgetParamsQuickAlignment(controller);
    connect(panel, &WidgetParamsQuickAlignment::done, this, &ToolQuickAlignment::onDone);
    controllerMain_->paramsPlaceholder->layout()->addWidget(panel);
}

void ToolQuickAlignment::release(Tools::ToolReleaseAction releaseAction)
{
    qDebug() << "log:"
             << "Release QuickAlignment mode";
    const QVector<QVector3D> vertices = controller->alignedTemplateVertices();
    const QVector<QVector3D> normals = controller->alignedTemplateNormals();
    controllerMain_->paramsPlaceholder->layout()->removeWidget(panel);
    delete panel;
    delete controller;
    panel = nullptr;
    controller = nullptr;
    if (releaseAction == Done)
        ModeMarkers::applyTemplateGeometry(controllerMain_, vertices, normals, false);
}

bool ToolQuickAlignment::isAvailable() const
{
    return controllerMain_->isTemplateLoaded() && controllerMain_->isTargetLoaded();
}

void ToolQuickAlignment::onDone()
{
    emit releaseRequest(Done);
}

}  // namespace Tools
