#include "texture/WidgetParamsTextureTransfer.h"

#include "texture/ControllerTextureTransfer.h"
#include "ui_WidgetParamsTextureTransfer.h"

WidgetParamsTextureTransfer::WidgetParamsTextureTransfer(ControllerTextureTransfer* controller, QWidget* parent)
    : QWidget(parent), controller(controller), ui(new Ui::WidgetParamsTextureTransfer)
{
    ui->setupUi(this);
    if (controller->fillHoles() == 1)
        ui->radioBtnFillHoles->setChecked(true);
    else
        ui->radioBtnPadding->setChecked(true);
    ui->spinPadding->setEnabled(ui->radioBtnPadding->isChecked());
    connect(ui->btnDone, &QPushButton::clicked, this, &WidgetParamsTextureTransfer::done);
    connect(controller, &ControllerTextureTransfer::progressChangedTransfer, this,
            &WidgetParamsTextureTransfer::onProgressChanged);
    connect(controller, &ControllerTextureTransfer::progressChangedPadding, this,
            &WidgetParamsTextureTransfer::onProgressChanged);
    connect(controller, &ControllerTextureTransfer::progressRangeChangedTransfer, this,
            &WidgetParamsTextureTransfer::onProgressRangeChanged);
    connect(controller, &ControllerTextureTransfer::progressRangeChangedPadding, this,
            &WidgetParamsTextureTransfer::onProgressRangeChanged);
    connect(controller, &ControllerTextureTransfer::transferStarted, this,
            &WidgetParamsTextureTransfer::onTransferStart);
    connect(controller, &ControllerTextureTransfer::paddingStarted, this, &WidgetParamsTextureTransfer::onPaddingStart);
    connect(controller, &ControllerTextureTransfer::transferFinished, this,
            &WidgetParamsTextureTransfer::onTransferFinish);
    connect(controller, &ControllerTextureTransfer::paddingFinished, this,
            &WidgetParamsTextureTransfer::onPaddingFinish);
}

WidgetParamsTextureTransfer::~WidgetParamsTextureTransfer()
{
    delete ui;
}

void WidgetParamsTextureTransfer::on_btnTransfer_clicked()
{
    controller->paddingWidth = ui->spinPadding->value();
    controller->limitDistance = ui->chkDistance->isChecked();
    controller->setMaxRelativeDistance(ui->spinDistance->value());
    controller->height = ui->spinHeight->value();
    controller->width = ui->spinWidth->value();
    controller->setFillHoles(ui->radioBtnFillHoles->isChecked());
    controller->startTransfer();
}

void WidgetParamsTextureTransfer::onProgressChanged(int value)
{
    ui->progressBar->setValue(value);
}

void WidgetParamsTextureTransfer::onProgressRangeChanged(int maxValue)
{
    ui->progressBar->setMaximum(maxValue);
}

void WidgetParamsTextureTransfer::setBusy(bool busy)
{
    ui->widgetParamsPlaceholder->setEnabled(!busy);
    ui->btnDone->setEnabled(!busy);
    ui->btnTransfer->setEnabled(!busy);
}

void WidgetParamsTextureTransfer::onTransferStart()
{
    setBusy(true);
}

void WidgetParamsTextureTransfer::onPaddingStart()
{
    setBusy(true);
}

void WidgetParamsTextureTransfer::onTransferFinish()
{
    ui->progressBar->setValue(0);
    setBusy(false);
}

void WidgetParamsTextureTransfer::onPaddingFinish()
{
    ui->progressBar->setValue(0);
    setBusy(false);
}

void WidgetParamsTextureTransfer::on_btnExcludePolygons_clicked(bool checked)
{
    if (checked)
        controller->enterPolygonSelectionMode();
    else
        controller->exitPolygonSelectionMode();
    ui->btnDone->setEnabled(!checked);
    ui->btnTransfer->setEnabled(!checked);
    ui->groupBoxParameters->setEnabled(!checked);
}

void WidgetParamsTextureTransfer::on_chkDistance_clicked(bool checked)
{
    ui->spinDistance->setEnabled(checked);
}

void WidgetParamsTextureTransfer::on_radioBtnFillHoles_clicked(bool checked)
{
    ui->spinPadding->setEnabled(!checked);
}

void WidgetParamsTextureTransfer::on_radioBtnPadding_clicked(bool checked)
{
    ui->spinPadding->setEnabled(checked);
}
