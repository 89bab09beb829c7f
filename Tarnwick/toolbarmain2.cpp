#include "Tarnwick/toolbarmain2.h"

#include "Tarnwick/Tools/ToolsController.h"

#include <QToolButton>

ToolbarMain2::ToolbarMain2(Tools::ToolsController* toolsController, QWidget* parent)
    : QToolBar(parent), toolsController_(toolsController)
{
    updating = true;
    for (int i = 0; i < toolsController_->toolCount(); ++i) {
        auto* button = new QToolButton();
        button->setMinimumHeight(21);
        button->setCheckable(true);
        button->setText(toolsController_->toolName(i));
        button->setChecked(i == toolsController_->currentToolIndex());
        connect(button, &QToolButton::toggled, this, &ToolbarMain2::onToolButtonToggled);
        buttons.append(button);
        addWidget(button);
    }
    updating = false;
    updateButtonStates();

    using Tools::ToolsController;
    connect(toolsController_, &ToolsController::toolInitialized, this, &ToolbarMain2::updateButtonStates);
    connect(toolsController_, &ToolsController::toolReleased, this, &ToolbarMain2::updateButtonStates);
    connect(toolsController_, &ToolsController::editionStarted, this, &ToolbarMain2::updateButtonStates);
    connect(toolsController_, &ToolsController::editionFinished, this, &ToolbarMain2::updateButtonStates);
    connect(toolsController_, &ToolsController::computationStarted, this, &ToolbarMain2::updateButtonStates);
    connect(toolsController_, &ToolsController::computationFinished, this, &ToolbarMain2::updateButtonStates);
    connect(toolsController_, &ToolsController::toolNameChanged, this, &ToolbarMain2::updateButtonStates);
}

void ToolbarMain2::updateButtonStates()
{
    updating = true;
    const int current = toolsController_->currentToolIndex();
    for (int i = 0; i < buttons.size(); ++i) {
        const bool checked = i == current;
        const bool enabled = (current == -1 || checked) && toolsController_->isToolAvailable(i) &&
                             !toolsController_->isToolEditing(i) && !toolsController_->isToolComputing(i);
        buttons[i]->setEnabled(enabled);
        buttons[i]->setChecked(checked);
        buttons[i]->setText(toolsController_->toolName(i));
    }
    updating = false;
}

void ToolbarMain2::onToolButtonToggled(bool checked)
{
    if (updating)
        return;
    const int index = buttons.indexOf(qobject_cast<QAbstractButton*>(sender()));
    if (checked)
        toolsController_->initializeTool(index);
    else
        toolsController_->releaseTool(index, Tools::Cancel);
}
