#pragma once
// The registration mode's panel: the control-point and free-polygon selections
// with their file menus, the five run parameters on two tabs, a progress bar,
// and "Register" (which becomes "Abort" during a run and "Restart" after it)
// beside "Done".
#include <QMenu>
#include <QWidget>

class ControllerNonRigidRegistration;
class QAction;
namespace Ui {
class WidgetParamsNonRigidRegistration;
}

class WidgetParamsNonRigidRegistration : public QWidget {
    Q_OBJECT
public:
    explicit WidgetParamsNonRigidRegistration(ControllerNonRigidRegistration* controller, QWidget* parent = nullptr);
    ~WidgetParamsNonRigidRegistration() override;

    QMenu* controlPointsMenu() { return &menuControlPoints_; }
    QMenu* freePolygonsMenu() { return &menuFreePolygons_; }

signals:
    void done();

private slots:
    void on_btnSelectControlPoints_clicked(bool checked);
    void on_btnSelectFreePolygons_clicked(bool checked);
    void on_btnRestart_clicked();
    void onOptimizationComplete();
    void onLevelChanged(int levelInd, int nLevels);
    void loadParamsFromController();
    void on_btnResetParamsToDefault_clicked();
    void onSelectControlPointsTriggered();
    void onSelectControlPointsReleased();
    void onSelectFreePolygonsTriggered();
    void onSelectFreePolygonsReleased();

private:
    // A control-point file loaded from the menu may leave the counts unequal: the run button follows.
    void recheckRunButton();
    void setOthersEnabled(bool enabled);

    ControllerNonRigidRegistration* controller;
    QMenu menuControlPoints_;
    QMenu menuFreePolygons_;
    QAction* actionSelectControlPoints_ = nullptr;
    QAction* actionLoadControlPoints_ = nullptr;
    QAction* actionSaveControlPoints_ = nullptr;
    QAction* actionSelectFreePolygons_ = nullptr;
    QAction* actionLoadFreePolygons_ = nullptr;
    QAction* actionSaveFreePolygons_ = nullptr;
    Ui::WidgetParamsNonRigidRegistration* ui;
};
