#include "Tarnwick/Tools/ToolsController.h"

#include <QDebug>

namespace Tools {

ToolsController::ToolsController(QObject* parent) : QObject(parent) {}

void ToolsController::addTool(Tools::Tool* tool)
{
    tools.append(tool);
    connect(tool, &Tool::releaseRequest, this, &ToolsController::onReleaseRequest);
    connect(tool, &Tool::editionStarted, this, &ToolsController::onEditionStarted);
    connect(tool, &Tool::editionFinished, this, &ToolsController::onEditionFinished);
    connect(tool, &Tool::computationStarted, this, &ToolsController::onComputationStarted);
    connect(tool, &Tool::computationFinished, this, &ToolsController::onComputationFinished);
    connect(tool, &Tool::nameChaged, this, &ToolsController::onToolNameChanged);
}

int ToolsController::toolCount() const
{
    return tools.size();
}

int ToolsController::currentToolIndex() const
{
    return currentToolIndex_;
}

QString ToolsController::toolName(int index) const
{
    return tools[index]->name();
}

bool ToolsController::isToolAvailable(int index) const
{
    return tools[index]->isAvailable();
}

bool ToolsController::isToolEditing(int index) const
{
    return tools[index]->isEditing();
}

bool ToolsController::isToolComputing(int index) const
{
    return tools[index]->isComputing();
}

Tools::Tool* ToolsController::tool(int index) const
{
    return tools[index];
}

void ToolsController::initializeTool(int index)
{
    // Set before the tool runs: a mode that ends itself inside initialize()
    // releases through releaseTool, which must find it current.
    currentToolIndex_ = index;
    tools[index]->initialize();
    emit toolInitialized(index);
}

void ToolsController::releaseTool(int index, Tools::ToolReleaseAction releaseAction)
{
    currentToolIndex_ = -1;
    tools[index]->release(releaseAction);
    emit toolReleased(index);
}

int ToolsController::senderIndex() const
{
    return tools.indexOf(qobject_cast<Tool*>(sender()));
}

void ToolsController::onReleaseRequest(Tools::ToolReleaseAction releaseAction)
{
    releaseTool(senderIndex(), releaseAction);
}

void ToolsController::onEditionStarted()
{
    emit editionStarted(senderIndex());
}

void ToolsController::onEditionFinished()
{
    emit editionFinished(senderIndex());
}

void ToolsController::onComputationStarted()
{
    qDebug() << "ToolsController::onComputationStarted()";
    emit computationStarted(senderIndex());
}

void ToolsController::onComputationFinished()
{
    emit computationFinished(senderIndex());
}

void ToolsController::onToolNameChanged()
{
    emit toolNameChanged(senderIndex());
}

}  // namespace Tools
