#pragma once
// The quick alignment mode: its controller and panel while the mode is
// current; Done moves, scales and turns the template as aligned.
#include "Tarnwick/Tools/Tool.h"

class ControllerQuickAlignment;
class WidgetParamsQuickAlignment;

namespace Tools {

class ToolQuickAlignment : public Tool {
    Q_OBJECT
public:
    using Tool::Tool;

    void initialize() override;
    void release(Tools::ToolReleaseAction releaseAction) override;
    bool isAvailable() const override;

    ControllerQuickAlignment* getController() const { return controller; }
    WidgetParamsQuickAlignment* getPanel() const { return panel_; }

private:
    ControllerQuickAlignment* controller = nullptr;
    WidgetParamsQuickAlignment* panel_ = nullptr;
};

}  // namespace Tools
