#pragma once
// The subset mode's panel: Cancel and Done.
#include <QWidget>

namespace Ui {
class WidgetParamsSubset;
}

class WidgetParamsSubset : public QWidget {
    Q_OBJECT
public:
    explicit WidgetParamsSubset(QWidget* parent = nullptr);
    ~WidgetParamsSubset() override;

signals:
    void done();
    void cancel();

private slots:
    void on_btnDone_clicked();
    void on_btnCancel_clicked();

private:
    Ui::WidgetParamsSubset* ui;
};
