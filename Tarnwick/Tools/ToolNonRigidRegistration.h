#pragma once
// The registration mode: its controller and panel while the mode is current;
// Done makes the registered template the program's template and keeps the
// chosen index-file folders in the settings.
#include "Tarnwick/Tools/Tool.h"

class ControllerNonRigidRegistration;
class WidgetParamsNonRigidRegistration;

namespace Tools {

class ToolNonRigidRegistration : public Tool {
    Q_OBJECT
public:
    ToolNonRigidRegistration(ControllerMain* controllerMain, const QString& name, QObject* parent = nullptr);

    void initialize() override;
    void release(Tools::ToolReleaseAction releaseAction) override;
    bool isAvailable() const override;
    void interruptAndWait() override;

    ControllerNonRigidRegistration* getController() const { return controller; }
    WidgetParamsNonRigidRegistration* getPanel() const { return panel; }

private slots:
    void onDone();

private:
    ControllerNonRigidRegistration* controller = nullptr;
    WidgetParamsNonRigidRegistration* panel = nullptr;
};

}  // namespace Tools
