#include "editing/polygonselectionwidget.h"

#include "editing/SelectionPanelStyle.h"
#include "editing/polygonselectioncontroller.h"
#include "ui_polygonselectionwidget.h"

PolygonSelectionWidget::PolygonSelectionWidget(PolygonSelectionController* controller, QWidget* parent)
    : QWidget(parent), controller_(controller), ui_(new Ui::PolygonSelectionWidget)
{
    ui_->setupUi(this);
    const QVector<QString>& names = controller_->geometry()->polygroupNames;
    if (!names.isEmpty()) {
        for (const QString& name : names)
            ui_->comboBoxPolygroups->addItem(name);
        ui_->comboBoxPolygroups->setCurrentIndex(0);
    } else {
        ui_->comboBoxPolygroups->setEnabled(false);
        ui_->btnDeselectByPolygroup->setEnabled(false);
        ui_->btnSelectByPolygroup->setEnabled(false);
    }
    setAutoFillBackground(true);
    ui_->frame->setStyleSheet(SelectionPanelStyle::frameStyleSheet());
    for (QWidget* button :
         {ui_->btnSelectAll, ui_->btnClearSelection, ui_->btnInvertSelection, ui_->btnSelectByPolygroup,
          ui_->btnDeselectByPolygroup, ui_->btnHideSelected, ui_->btnUnhideAll})
        button->setStyleSheet(SelectionPanelStyle::buttonStyleSheet());
}

PolygonSelectionWidget::~PolygonSelectionWidget()
{
    delete ui_;
}

void PolygonSelectionWidget::on_btnSelectAll_clicked()
{
    controller_->selectAll();
}

void PolygonSelectionWidget::on_btnClearSelection_clicked()
{
    controller_->clearSelection();
}

void PolygonSelectionWidget::on_btnInvertSelection_clicked()
{
    controller_->invertSelection();
}

void PolygonSelectionWidget::on_btnSelectByPolygroup_clicked()
{
    const int index = ui_->comboBoxPolygroups->currentIndex();
    if (index != -1)
        controller_->selectByPolygroup(index);
}

void PolygonSelectionWidget::on_btnDeselectByPolygroup_clicked()
{
    const int index = ui_->comboBoxPolygroups->currentIndex();
    if (index != -1)
        controller_->deselectByPolygroup(index);
}

void PolygonSelectionWidget::on_btnHideSelected_clicked()
{
    controller_->hideSelected();
}

void PolygonSelectionWidget::on_btnUnhideAll_clicked()
{
    controller_->unhideAll();
}
