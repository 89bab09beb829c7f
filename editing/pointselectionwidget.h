#pragma once
// The strip of a point selection: "Clear All", "Remove last" and the number
// of picked points. Every value lives in the controller, which the panel does
// not own.
#include <QWidget>

class PointSelectionController;

namespace Ui {
class PointSelectionWidget;
}

class PointSelectionWidget : public QWidget {
    Q_OBJECT
public:
    explicit PointSelectionWidget(PointSelectionController* controller, QWidget* parent = nullptr);
    ~PointSelectionWidget() override;

private slots:
    void on_btnClearAllPoints_clicked();
    void on_btnRemoveLastPoint_clicked();
    void onPointSelectionChanged();

private:
    PointSelectionController* controller_;
    Ui::PointSelectionWidget* ui_;
};
