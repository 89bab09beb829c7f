#pragma once
// The buttons of a polygon selection: all, clear, invert, select or deselect
// a polygroup, hide the selection and unhide everything. Every value lives in
// the controller, which the panel does not own.
#include <QWidget>

class PolygonSelectionController;

namespace Ui {
class PolygonSelectionWidget;
}

class PolygonSelectionWidget : public QWidget {
    Q_OBJECT
public:
    // Without polygroups the polygroup box and its buttons stay disabled.
    explicit PolygonSelectionWidget(PolygonSelectionController* controller, QWidget* parent = nullptr);
    ~PolygonSelectionWidget() override;

private slots:
    void on_btnSelectAll_clicked();
    void on_btnClearSelection_clicked();
    void on_btnInvertSelection_clicked();
    void on_btnSelectByPolygroup_clicked();
    void on_btnDeselectByPolygroup_clicked();
    void on_btnHideSelected_clicked();
    void on_btnUnhideAll_clicked();

private:
    PolygonSelectionController* controller_;
    Ui::PolygonSelectionWidget* ui_;
};
