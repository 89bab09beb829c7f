#pragma once
// The quick alignment's panel: a toggle for picking the point pairs, "Align"
// (enabled once the pairs suffice) and "Done".
#include <QWidget>

class ControllerQuickAlignment;
namespace Ui {
class WidgetParamsQuickAlignment;
}

class WidgetParamsQuickAlignment : public QWidget {
    Q_OBJECT
public:
    explicit WidgetParamsQuickAlignment(ControllerQuickAlignment* controller, QWidget* parent = nullptr);
    ~WidgetParamsQuickAlignment() override;

signals:
    void done();

private slots:
    void on_btnAlign_clicked();
    void on_btnSetCorrespondencePoints_clicked(bool checked);

private:
    ControllerQuickAlignment* controller;
    Ui::WidgetParamsQuickAlignment* ui;
};
