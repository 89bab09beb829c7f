#include "Tarnwick/demodialog.h"

#include "Tarnwick/Tools/ToolNonRigidRegistration.h"
#include "Tarnwick/Tools/ToolsController.h"
#include "Tarnwick/controllermain.h"
#include "Tarnwick/controllernonrigidregistration.h"
#include "Tarnwick/demoscenes.h"
#include "rendering/Viewport3D2.h"
#include "rendering/Viewport3DLayered/viewport3dlayered.h"
#include "ui_demodialog.h"

#include <QCoreApplication>
#include <QQuaternion>

namespace {
const int registrationToolIndex = 1;
}

DemoDialog::DemoDialog(ControllerMain* controllerMain, Tools::ToolsController* toolsController,
                       Tools::Tool* registrationTool, QWidget* parent)
    : QWidget(parent),
      controllerMain_(controllerMain),
      toolsController_(toolsController),
      registrationTool_(registrationTool),
      ui_(new Ui::DemoDialog)
{
    ui_->setupUi(this);
    setWindowFlags(Qt::Tool | Qt::MSWindowsFixedSizeDialogHint);
    connect(toolsController_, &Tools::ToolsController::toolInitialized, this, &DemoDialog::disableDemoButtons);
    connect(toolsController_, &Tools::ToolsController::toolReleased, this, &DemoDialog::enableDemoButtons);
}

DemoDialog::~DemoDialog()
{
    delete ui_;
}

bool DemoDialog::isLoadDemoContentOnStart() const
{
    return ui_->checkLoadDemoContentOnStart->isChecked();
}

void DemoDialog::on_btnLoadDemoHand_clicked()
{
    loadScene(0);
}

void DemoDialog::on_btnLoadDemoTorso_clicked()
{
    loadScene(1);
}

void DemoDialog::on_btnLoadDemoHead_clicked()
{
    loadScene(2);
}

void DemoDialog::enableDemoButtons()
{
    // A mode that ends inside its own start releases before it reports its
    // start: the buttons follow whether a mode is active, not the signal order.
    setButtonsEnabled(toolsController_->currentToolIndex() < 0);
}

void DemoDialog::disableDemoButtons()
{
    setButtonsEnabled(toolsController_->currentToolIndex() < 0);
}

void DemoDialog::on_btnStartWithEmptyScene_clicked()
{
    controllerMain_->removeTemplate();
    controllerMain_->removeTarget();
    for (Viewport3D::Viewport3D2* view : {controllerMain_->viewport3DTemplate, controllerMain_->viewport3DTarget}) {
        view->makeCurrent();
        view->setCameraPosition(QQuaternion(1, 0, 0, 0), QVector3D(0, 0, 0), 3.0);
        view->update();
    }
    controllerMain_->viewport3DResults->makeCurrent();
    controllerMain_->viewport3DResults->fitToView();
    controllerMain_->viewport3DResults->update();
}

// Each step runs only when the one before succeeded; the model controller has
// already logged a failed load, so the dialog itself says nothing.
void DemoDialog::loadScene(int scene)
{
    const DemoScenes::Scene s = DemoScenes::scenes().at(scene);
    const QString folder = QCoreApplication::applicationDirPath();
    if (!controllerMain_->loadTemplate(folder + s.templateFile).isEmpty())
        return;
    if (!controllerMain_->loadTarget(folder + s.scanFile).isEmpty())
        return;
    toolsController_->initializeTool(registrationToolIndex);
    auto* registration = qobject_cast<Tools::ToolNonRigidRegistration*>(registrationTool_);
    if (!s.templateControlPoints.isEmpty() && registration && registration->controller()) {
        registration->controller()->setSrcControlPoints(s.templateControlPoints);
        registration->controller()->setDstControlPoints(s.targetControlPoints);
    }
}

void DemoDialog::setButtonsEnabled(bool enabled)
{
    ui_->btnLoadDemoHand->setEnabled(enabled);
    ui_->btnLoadDemoTorso->setEnabled(enabled);
    ui_->btnLoadDemoHead->setEnabled(enabled);
    ui_->btnStartWithEmptyScene->setEnabled(enabled);
}
