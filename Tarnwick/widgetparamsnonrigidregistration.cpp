#include "Tarnwick/widgetparamsnonrigidregistration.h"

#include "Tarnwick/controllernonrigidregistration.h"
#include "ui_widgetparamsnonrigidregistration.h"

#include <QAction>

WidgetParamsNonRigidRegistration::WidgetParamsNonRigidRegistration(ControllerNonRigidRegistration* controller,
                                                                   QWidget* parent)
    : QWidget(parent), controller(controller), ui(new Ui::WidgetParamsNonRigidRegistration)
{
    ui->setupUi(this);
    connect(ui->btnDone, &QPushButton::clicked, this, &WidgetParamsNonRigidRegistration::done);
    connect(controller, &ControllerNonRigidRegistration::optimizationComplete, this,
            &WidgetParamsNonRigidRegistration::onOptimizationComplete);
    connect(controller, &ControllerNonRigidRegistration::levelChanged, this,
            &WidgetParamsNonRigidRegistration::onLevelChanged);
    loadParamsFromController();

    actionSelectControlPoints_ = new QAction(QStringLiteral("Select control points"), &menuControlPoints_);
    actionLoadControlPoints_ =
        new QAction(QStringLiteral("Load template control points selection from file"), &menuControlPoints_);
    actionSaveControlPoints_ =
        new QAction(QStringLiteral("Save template control points selection to file"), &menuControlPoints_);
    connect(actionSelectControlPoints_, &QAction::triggered, this,
            &WidgetParamsNonRigidRegistration::onSelectControlPointsTriggered);
    connect(actionLoadControlPoints_, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openLoadControlPointsDialog);
    connect(actionLoadControlPoints_, &QAction::triggered, this, &WidgetParamsNonRigidRegistration::recheckRunButton);
    connect(actionSaveControlPoints_, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openSaveControlPointsDialog);
    menuControlPoints_.addAction(actionSelectControlPoints_);
    menuControlPoints_.addAction(actionLoadControlPoints_);
    menuControlPoints_.addAction(actionSaveControlPoints_);
    ui->btnSelectControlPoints->setPopupMode(QToolButton::MenuButtonPopup);
    ui->btnSelectControlPoints->setMenu(&menuControlPoints_);

    actionSelectFreePolygons_ = new QAction(QStringLiteral("Select free polygons"), &menuFreePolygons_);
    actionLoadFreePolygons_ = new QAction(QStringLiteral("Load free polygons selection from file"), &menuFreePolygons_);
    actionSaveFreePolygons_ = new QAction(QStringLiteral("Save free polygons selection to file"), &menuFreePolygons_);
    connect(actionSelectFreePolygons_, &QAction::triggered, this,
            &WidgetParamsNonRigidRegistration::onSelectFreePolygonsTriggered);
    connect(actionLoadFreePolygons_, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openLoadFreePolygonsDialog);
    connect(actionSaveFreePolygons_, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openSaveFreePolygonsDialog);
    menuFreePolygons_.addAction(actionSelectFreePolygons_);
    menuFreePolygons_.addAction(actionLoadFreePolygons_);
    menuFreePolygons_.addAction(actionSaveFreePolygons_);
    ui->btnSelectFreePolygons->setPopupMode(QToolButton::MenuButtonPopup);
    ui->btnSelectFreePolygons->setMenu(&menuFreePolygons_);
}

WidgetParamsNonRigidRegistration::~WidgetParamsNonRigidRegistration()
{
    delete ui;
}

void WidgetParamsNonRigidRegistration::loadParamsFromController()
{
    ui->spinGraphInitialDensity->setValue(controller->initialDensity());
    ui->spinGraphDensityMultiplier->setValue(controller->densityMultiplier());
    ui->spinInitialRigidness->setValue(controller->initialRigidness());
    ui->spinFinalRigidness->setValue(controller->finalRigidness());
    ui->spinMaxIterations->setValue(controller->maxIterations());
}

void WidgetParamsNonRigidRegistration::on_btnResetParamsToDefault_clicked()
{
    controller->resetParamsToDefault();
    loadParamsFromController();
}

void WidgetParamsNonRigidRegistration::on_btnRestart_clicked()
{
    if (controller->isRunning()) {
        ui->btnRestart->setText(QStringLiteral("Aborting..."));
        ui->btnRestart->setEnabled(false);
        controller->terminate();
        return;
    }
    ui->btnRestart->setText(QStringLiteral("Abort"));
    ui->btnDone->setEnabled(false);
    ui->btnSelectControlPoints->setEnabled(false);
    ui->btnSelectFreePolygons->setEnabled(false);
    ui->tabWidgetParams->setEnabled(false);
    ui->btnResetParamsToDefault->setEnabled(false);
    controller->setInitialDensity(ui->spinGraphInitialDensity->value());
    controller->setDensityMultiplier(ui->spinGraphDensityMultiplier->value());
    controller->setInitialRigidness(ui->spinInitialRigidness->value());
    controller->setFinalRigidness(ui->spinFinalRigidness->value());
    controller->setMaxIterations(ui->spinMaxIterations->value());
    ui->progressBar->setMaximum(0);
    ui->progressBar->setValue(0);
    controller->evaluate();
}

void WidgetParamsNonRigidRegistration::onLevelChanged(int levelInd, int nLevels)
{
    ui->progressBar->setMaximum(nLevels);
    ui->progressBar->setValue(levelInd);
}

void WidgetParamsNonRigidRegistration::onOptimizationComplete()
{
    ui->btnRestart->setText(QStringLiteral("Restart"));
    ui->btnRestart->setEnabled(true);
    ui->btnDone->setEnabled(true);
    ui->btnSelectControlPoints->setEnabled(true);
    ui->btnSelectFreePolygons->setEnabled(true);
    ui->tabWidgetParams->setEnabled(true);
    ui->btnResetParamsToDefault->setEnabled(true);
    ui->progressBar->setMaximum(1);
    ui->progressBar->setValue(0);
}

void WidgetParamsNonRigidRegistration::recheckRunButton()
{
    if (!controller->isRunning() && !ui->btnSelectControlPoints->isChecked() && !ui->btnSelectFreePolygons->isChecked())
        ui->btnRestart->setEnabled(controller->isControlPointsCountEqual());
}

void WidgetParamsNonRigidRegistration::setOthersEnabled(bool enabled)
{
    ui->btnDone->setEnabled(enabled);
    ui->tabWidgetParams->setEnabled(enabled);
    ui->btnResetParamsToDefault->setEnabled(enabled);
}

void WidgetParamsNonRigidRegistration::onSelectControlPointsTriggered()
{
    controller->enterSelectControlPointsMode();
    ui->btnSelectControlPoints->setChecked(true);
    ui->btnSelectControlPoints->setMenu(nullptr);
    setOthersEnabled(false);
    ui->btnRestart->setEnabled(false);
    ui->btnSelectFreePolygons->setEnabled(false);
}

void WidgetParamsNonRigidRegistration::onSelectControlPointsReleased()
{
    controller->exitSelectControlPointsMode();
    ui->btnSelectControlPoints->setMenu(&menuControlPoints_);
    setOthersEnabled(true);
    ui->btnRestart->setEnabled(controller->isControlPointsCountEqual());
    ui->btnSelectFreePolygons->setEnabled(true);
}

void WidgetParamsNonRigidRegistration::on_btnSelectControlPoints_clicked(bool checked)
{
    if (checked)
        onSelectControlPointsTriggered();
    else
        onSelectControlPointsReleased();
}

void WidgetParamsNonRigidRegistration::onSelectFreePolygonsTriggered()
{
    controller->enterSelectFreePolygonsMode();
    ui->btnSelectFreePolygons->setChecked(true);
    ui->btnSelectFreePolygons->setMenu(nullptr);
    setOthersEnabled(false);
    ui->btnRestart->setEnabled(false);
    ui->btnSelectControlPoints->setEnabled(false);
}

void WidgetParamsNonRigidRegistration::onSelectFreePolygonsReleased()
{
    controller->exitSelectFreePolygonsMode();
    ui->btnSelectFreePolygons->setMenu(&menuFreePolygons_);
    setOthersEnabled(true);
    ui->btnRestart->setEnabled(controller->isControlPointsCountEqual());
    ui->btnSelectControlPoints->setEnabled(true);
}

void WidgetParamsNonRigidRegistration::on_btnSelectFreePolygons_clicked(bool checked)
{
    if (checked)
        onSelectFreePolygonsTriggered();
    else
        onSelectFreePolygonsReleased();
}
