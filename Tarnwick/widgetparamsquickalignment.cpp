#include "Tarnwick/widgetparamsquickalignment.h"

#include "Tarnwick/controllerquickalignment.h"
#include "ui_widgetparamsquickalignment.h"

WidgetParamsQuickAlignment::WidgetParamsQuickAlignment(ControllerQuickAlignment* controller, QWidget* parent)
    : QWidget(parent), controller(controller), ui(new Ui::WidgetParamsQuickAlignment)
{
    ui->setupUi(this);
    ui->btnAlign->setEnabled(controller->canEvaluate());
    connect(ui->btnDone, &QPushButton::clicked, this, &WidgetParamsQuickAlignment::done);
}

WidgetParamsQuickAlignment::~WidgetParamsQuickAlignment()
{
    delete ui;
}

void WidgetParamsQuickAlignment::on_btnAlign_clicked()
{
    controller->evaluate();
}

void WidgetParamsQuickAlignment::on_btnSetCorrespondencePoints_clicked(bool checked)
{
    if (checked) {
        controller->enterSetCorrespondentPointsMode();
        ui->btnAlign->setEnabled(false);
    } else {
        controller->exitSetCorrespondentPointsMode();
        ui->btnAlign->setEnabled(controller->canEvaluate());
    }
    ui->btnDone->setEnabled(!checked);
}
