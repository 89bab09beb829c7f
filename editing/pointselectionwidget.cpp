#include "editing/pointselectionwidget.h"

#include "editing/SelectionPanelStyle.h"
#include "editing/pointselectioncontroller.h"
#include "ui_pointselectionwidget.h"

PointSelectionWidget::PointSelectionWidget(PointSelectionController* controller, QWidget* parent)
    : QWidget(parent), controller_(controller), ui_(new Ui::PointSelectionWidget)
{
    ui_->setupUi(this);
    connect(controller_, &PointSelectionController::selectionChanged, this,
            &PointSelectionWidget::onPointSelectionChanged);
    ui_->frame->setStyleSheet(SelectionPanelStyle::frameStyleSheet());
    ui_->btnClearAllPoints->setStyleSheet(SelectionPanelStyle::buttonStyleSheet());
    ui_->btnRemoveLastPoint->setStyleSheet(SelectionPanelStyle::buttonStyleSheet());
    ui_->txtNSelectedPoints->setText(QString::number(controller_->pointsCount()));
}

PointSelectionWidget::~PointSelectionWidget()
{
    disconnect(controller_, &PointSelectionController::selectionChanged, this,
               &PointSelectionWidget::onPointSelectionChanged);
    delete ui_;
}

void PointSelectionWidget::on_btnClearAllPoints_clicked()
{
    controller_->clearAll();
}

void PointSelectionWidget::on_btnRemoveLastPoint_clicked()
{
    controller_->removeLast();
}

void PointSelectionWidget::onPointSelectionChanged()
{
    ui_->txtNSelectedPoints->setText(QString::number(controller_->pointsCount()));
}
