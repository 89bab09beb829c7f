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

    actionSelectControlPoints = new QAction(QStringLiteral("Select control points"), &menuControlPoints);
    actionLoadControlPoints =
        new QAction(QStringLiteral("Load template control points selection from file"), &menuControlPoints);
    actionSaveControlPoints =
        new QAction(QStringLiteral("Save template control points selection to file"), &menuControlPoints);
    connect(actionSelectControlPoints, &QAction::triggered, this,
            &WidgetParamsNonRigidRegistration::onSelectControlPointsTriggered);
    connect(actionLoadControlPoints, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openLoadControlPointsDialog);
    connect(actionLoadControlPoints, &QAction::triggered, this, &WidgetParamsNonRigidRegistration::recheckRunButton);
    connect(actionSaveControlPoints, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openSaveControlPointsDialog);
    menuControlPoints.addAction(actionSelectControlPoints);
    menuControlPoints.addAction(actionLoadControlPoints);
    menuControlPoints.addAction(actionSaveControlPoints);
    ui->btnSelectControlPoints->setPopupMode(QToolButton::MenuButtonPopup);
    ui->btnSelectControlPoints->setMenu(&menuControlPoints);

    actionSelectFreePolygons = new QAction(QStringLiteral("Select free polygons"), &menuFreePolygons);
    actionLoadFreePolygons = new QAction(QStringLiteral("Load free polygons selection from file"), &menuFreePolygons);
    actionSaveFreePolygons = new QAction(QStringLiteral("Save free polygons selection to file"), &menuFreePolygons);
    connect(actionSelectFreePolygons, &QAction::triggered, this,
            &WidgetParamsNonRigidRegistration::onSelectFreePolygonsTriggered);
    connect(actionLoadFreePolygons, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openLoadFreePolygonsDialog);
    connect(actionSaveFreePolygons, &QAction::triggered, controller,
            &ControllerNonRigidRegistration::openSaveFreePolygonsDialog);
    menuFreePolygons.addAction(actionSelectFreePolygons);
    menuFreePolygons.addAction(actionLoadFreePolygons);
    menuFreePolygons.addAction(actionSaveFreePolygons);
    ui->btnSelectFreePolygons->setPopupMode(QToolButton::MenuButtonPopup);
    ui->btnSelectFreePolygons->setMenu(&menuFreePolygons);
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
    ui->btnSelectControlPoints->setMenu(&menuControlPoints);
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
    ui->btnSelectFreePolygons->setMenu(&menuFreePolygons);
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
