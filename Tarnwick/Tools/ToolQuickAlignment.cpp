#include "Tarnwick/Tools/ToolQuickAlignment.h"

#include "Tarnwick/TemplateGeometry.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllerquickalignment.h"
#include "Tarnwick/widgetparamsquickalignment.h"

#include <QDebug>

namespace Tools {

void ToolQuickAlignment::initialize()
{
    qDebug() << "log:"
             << "Start QuickAlignment mode";
    controller =
        new ControllerQuickAlignment(controllerMain_->geomStackViewTemplate, controllerMain_->geomStackViewTarget,
                                     controllerMain_->widgetsAreaTemplate, controllerMain_->widgetsAreaTarget);
    relayEditing(controller, &ControllerQuickAlignment::setCorrespondentPointsModeEntered,
                 &ControllerQuickAlignment::setCorrespondentPointsModeReleased);
    panel_ = new WidgetParamsQuickAlignment(controller);
    connect(panel_, &WidgetParamsQuickAlignment::done, this, &ToolQuickAlignment::onDone);
    showPanel(panel_);
}

void ToolQuickAlignment::release(Tools::ToolReleaseAction releaseAction)
{
    qDebug() << "log:"
             << "Release QuickAlignment mode";
    const QVector<QVector3D> vertices = controller->alignedTemplateVertices();
    const QVector<QVector3D> normals = controller->alignedTemplateNormals();
    removePanel(panel_, controller);
    delete controller;
    controller = nullptr;
    if (releaseAction == Done)
        TemplateGeometry::apply(controllerMain_, vertices, normals, false);
}

bool ToolQuickAlignment::isAvailable() const
{
    return controllerMain_->isTemplateLoaded() && controllerMain_->isTargetLoaded();
}

}  // namespace Tools
