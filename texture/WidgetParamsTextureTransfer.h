#pragma once
// The texture-transfer mode's panel: the transfer's parameters, the exclusion
// toggle, the progress of the transfer and of the padding, Transfer and Done.
#include <QWidget>

class ControllerTextureTransfer;

namespace Ui {
class WidgetParamsTextureTransfer;
}

class WidgetParamsTextureTransfer : public QWidget {
    Q_OBJECT
public:
    explicit WidgetParamsTextureTransfer(ControllerTextureTransfer* controller, QWidget* parent = nullptr);
    ~WidgetParamsTextureTransfer() override;

signals:
    void done();

private slots:
    void on_btnTransfer_clicked();
    void onProgressChanged(int value);
    void onProgressRangeChanged(int maxValue);
    void onTransferStart();
    void onPaddingStart();
    void onTransferFinish();
    void onPaddingFinish();
    void on_btnExcludePolygons_clicked(bool checked);
    void on_chkDistance_clicked(bool checked);
    void on_radioBtnFillHoles_clicked(bool checked);
    void on_radioBtnPadding_clicked(bool checked);

private:
    void setBusy(bool busy);

    ControllerTextureTransfer* controller;
    Ui::WidgetParamsTextureTransfer* ui;
};
