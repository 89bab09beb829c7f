#include "editing/WidgetBrushController.h"

#include "editing/BrushController.h"
#include "ui_WidgetBrushController.h"

#include <QRadioButton>
#include <QVBoxLayout>

WidgetBrushController::WidgetBrushController(BrushController* controller, QWidget* parent)
    : QWidget(parent), controller_(controller), ui_(new Ui::WidgetBrushController)
{
    ui_->setupUi(this);

    updatingControls_ = true;
    ui_->spinBrushRadius->setValue(controller_->brushRadius());
    ui_->spinBrushRadius->setSingleStep(0.2 * controller_->initialBrushRadius());
    ui_->spinBrushIntensity->setValue(controller_->brushIntensity());
    ui_->spinMaxProjectionDist->setValue(controller_->maxProjectionDist());
    ui_->spinMaxProjectionDist->setSingleStep(0.2 * controller_->initialMaxProjectionDist());
    ui_->chkProtectBoundaries->setChecked(controller_->protectBoundaries());
    ui_->chkRecomputeNormals->setChecked(controller_->recomputeNormals());
    updatingControls_ = false;

    createBrushRadioButtons();

    connect(controller_, &BrushController::brushRadiusChanged, this,
            &WidgetBrushController::onControllerBrushRadiusChange);
}

WidgetBrushController::~WidgetBrushController()
{
    delete ui_;
    brushRadioButtons_.clear();
}

void WidgetBrushController::createBrushRadioButtons()
{
    auto* box = new QVBoxLayout;
    for (const QString& name : controller_->brushNames()) {
        auto* button = new QRadioButton(name);
        connect(button, &QRadioButton::toggled, this, &WidgetBrushController::onBrushRadioButtonChecked);
        box->addWidget(button);
        brushRadioButtons_.append(button);
    }
    updatingControls_ = true;
    const int current = controller_->currentBrushIndex();
    if (current >= 0 && current < brushRadioButtons_.size())
        brushRadioButtons_.at(current)->setChecked(true);
    updatingControls_ = false;
    ui_->groupBoxBrushType->setLayout(box);
}

void WidgetBrushController::onControllerBrushRadiusChange(double brushRadius)
{
    updatingControls_ = true;
    ui_->spinBrushRadius->setValue(brushRadius);
    updatingControls_ = false;
}

void WidgetBrushController::onBrushRadioButtonChecked(bool checked)
{
    if (updatingControls_ || !checked)
        return;
    for (int i = 0; i < brushRadioButtons_.size(); ++i)
        if (brushRadioButtons_.at(i)->isChecked())
            controller_->setCurrentBrush(i);
}

void WidgetBrushController::on_spinBrushRadius_valueChanged(double value)
{
    if (!updatingControls_)
        controller_->setBrushRadius(value);
}

void WidgetBrushController::on_spinMaxProjectionDist_valueChanged(double value)
{
    if (!updatingControls_)
        controller_->setMaxProjectionDist(value);
}

void WidgetBrushController::on_spinBrushIntensity_valueChanged(double value)
{
    if (!updatingControls_)
        controller_->setBrushIntensity(value);
}

void WidgetBrushController::on_chkProtectBoundaries_toggled(bool checked)
{
    if (!updatingControls_)
        controller_->setProtectBoundaries(checked);
}

void WidgetBrushController::on_chkRecomputeNormals_toggled(bool checked)
{
    if (!updatingControls_)
        controller_->setRecomputeNormals(checked);
}

void WidgetBrushController::on_btnDone_clicked()
{
    emit done();
}

void WidgetBrushController::on_btnCancel_clicked()
{
    emit cancel();
}
