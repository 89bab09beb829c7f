#pragma once
// The brush mode's panel: the brush choice and the brush parameters of a
// BrushController, plus Cancel and Done. Every value lives in the controller;
// the panel only shows and forwards them.
#include <QList>
#include <QWidget>

class BrushController;
class QRadioButton;

namespace Ui {
class WidgetBrushController;
}

class WidgetBrushController : public QWidget {
    Q_OBJECT
public:
    // The controller is not owned and outlives the panel.
    WidgetBrushController(BrushController* controller, QWidget* parent = nullptr);
    ~WidgetBrushController() override;

signals:
    void done();
    void cancel();

private slots:
    void onControllerBrushRadiusChange(double brushRadius);
    void onBrushRadioButtonChecked(bool checked);
    void on_spinBrushRadius_valueChanged(double value);
    void on_spinMaxProjectionDist_valueChanged(double value);
    void on_spinBrushIntensity_valueChanged(double value);
    void on_chkProtectBoundaries_toggled(bool checked);
    void on_chkRecomputeNormals_toggled(bool checked);
    void on_btnDone_clicked();
    void on_btnCancel_clicked();

private:
    void createBrushRadioButtons();

    QList<QRadioButton*> brushRadioButtons_;  // owned by the brush type group box
    BrushController* controller_;
    bool updatingControls_ = false;  // the panel itself is writing into its controls
    Ui::WidgetBrushController* ui_;
};
