#include "Tarnwick/Tools/Tool.h"

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

}  // namespace Tools
