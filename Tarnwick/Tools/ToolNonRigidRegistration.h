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
    using Tool::Tool;

    void initialize() override;
    void release(Tools::ToolReleaseAction releaseAction) override;
    bool isAvailable() const override;
    void interruptAndWait() override;

    WidgetParamsNonRigidRegistration* getPanel() const { return panel_; }
    // The mode's controller while the mode is current, else null.
    ControllerNonRigidRegistration* controller() const { return controller_; }

private:
    ControllerNonRigidRegistration* controller_ = nullptr;
    WidgetParamsNonRigidRegistration* panel_ = nullptr;
};

}  // namespace Tools
