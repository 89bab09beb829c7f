#pragma once
// The main window's tool bar: one checkable text button per work mode.
// Checking a button enters its mode, unchecking it cancels the mode; after
// every change of models or modes it recomputes which buttons may be pressed.
#include <QList>
#include <QToolBar>

class QAbstractButton;
namespace Tools {
class ToolsController;
}

class ToolbarMain2 : public QToolBar {
    Q_OBJECT
public:
    explicit ToolbarMain2(Tools::ToolsController* toolsController, QWidget* parent = nullptr);

    QList<QAbstractButton*> buttons;

public slots:
    void onToolButtonToggled(bool checked);
    void updateButtonStates();

private:
    Tools::ToolsController* toolsController_;
    // True while the tool bar sets its own buttons, whose toggles then enter or leave nothing.
    bool updating = false;
};
