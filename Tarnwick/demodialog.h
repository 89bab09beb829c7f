#pragma once
// The small tool window of sample scenes shown at start: each picture button
// loads a prepared template and scan from beside the executable and starts the
// registration mode on them; a fourth button clears the scene.
#include <QWidget>

class ControllerMain;
namespace Tools {
class Tool;
class ToolsController;
}  // namespace Tools
namespace Ui {
class DemoDialog;
}

class DemoDialog : public QWidget {
    Q_OBJECT
public:
    DemoDialog(ControllerMain* controllerMain, Tools::ToolsController* toolsController, Tools::Tool* registrationTool,
               QWidget* parent = nullptr);
    ~DemoDialog() override;

    bool isLoadDemoContentOnStart() const;

private slots:
    void on_btnLoadDemoHand_clicked();
    void on_btnLoadDemoTorso_clicked();
    void on_btnLoadDemoHead_clicked();
    void enableDemoButtons();
    void disableDemoButtons();
    void on_btnStartWithEmptyScene_clicked();

private:
    void loadScene(int scene);
    void setButtonsEnabled(bool enabled);

    ControllerMain* controllerMain_;
    Tools::ToolsController* toolsController_;
    Tools::Tool* registrationTool_;
    Ui::DemoDialog* ui_;
};
