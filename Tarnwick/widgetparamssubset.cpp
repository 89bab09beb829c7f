#include "Tarnwick/widgetparamssubset.h"

#include "ui_widgetparamssubset.h"

WidgetParamsSubset::WidgetParamsSubset(QWidget* parent) : QWidget(parent), ui(new Ui::WidgetParamsSubset)
{
    ui->setupUi(this);
}

WidgetParamsSubset::~WidgetParamsSubset()
{
    delete ui;
}

void WidgetParamsSubset::on_btnDone_clicked()
{
    emit done();
}

void WidgetParamsSubset::on_btnCancel_clicked()
{
    emit cancel();
}
