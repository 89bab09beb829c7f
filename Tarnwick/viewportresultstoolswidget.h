#pragma once
// The tool strip above the results view: fit to view and "Show target".
#include <QWidget>

namespace Ui {
class ViewportResultsToolsWidget;
}
class QCheckBox;
class WhiteButton;

class ViewportResultsToolsWidget : public QWidget {
    Q_OBJECT
public:
    explicit ViewportResultsToolsWidget(QWidget* parent = nullptr);
    ~ViewportResultsToolsWidget() override;

    QSize sizeHint() const override;

    WhiteButton* fitToViewButton() const { return fitToView_; }
    QCheckBox* showTargetCheckBox() const { return showTarget_; }

signals:
    void fitToViewClicked();
    void showTargetModelChecked(bool checked);

public slots:
    void setEnabledFitToView(bool enabled);
    void setEnabledShowTargetModel(bool enabled);

private:
    WhiteButton* fitToView_;
    QCheckBox* showTarget_;
    Ui::ViewportResultsToolsWidget* ui_;
};
