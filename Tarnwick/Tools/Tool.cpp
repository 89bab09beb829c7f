#include "Tarnwick/Tools/Tool.h"

#include "Tarnwick/PanelArea.h"
#include "Tarnwick/controllermain.h"

#include <QWidget>

namespace Tools {

Tool::Tool(ControllerMain* controllerMain, const QString& name, QObject* parent)
    : QObject(parent), controllerMain_(controllerMain), name_(name)
{}

QString Tool::name() const
{
    return name_;
}

void Tool::setName(const QString& name)
{
    name_ = name;
    emit nameChaged(name_);
}

bool Tool::isEditing() const
{
    return editing_;
}

bool Tool::isComputing() const
{
    return computing_;
}

void Tool::initialize() {}

void Tool::release(Tools::ToolReleaseAction) {}

bool Tool::isAvailable() const
{
    return false;
}

void Tool::interruptAndWait() {}

void Tool::showPanel(QWidget* panel)
{
    PanelArea::add(controllerMain_->paramsPlaceholder, panel);
}

void Tool::dismissPanel(QWidget* panel, const QObject* controller)
{
    PanelArea::remove(controllerMain_->paramsPlaceholder, panel);
    panel->hide();
    if (controller)
        disconnect(controller, nullptr, panel, nullptr);
    // Still a child of the area until then, so a window closed first takes it along.
    panel->deleteLater();
}

void Tool::startEditing()
{
    editing_ = true;
    emit editionStarted();
}

void Tool::finishEditing()
{
    editing_ = false;
    emit editionFinished();
}

void Tool::startComputing()
{
    computing_ = true;
    emit computationStarted();
}

void Tool::finishComputing()
{
    computing_ = false;
    emit computationFinished();
}

void Tool::onDone()
{
    emit releaseRequest(Done);
}

void Tool::onCancel()
{
    emit releaseRequest(Cancel);
}

}  // namespace Tools
