#pragma once
// The texture-transfer mode: the 2D view stands in place of the results view
// while the transfer controller and its panel run; Done makes the transferred
// image the template's texture.
#include "Tarnwick/Tools/Tool.h"

class ControllerTextureTransfer;
class WidgetParamsTextureTransfer;

namespace Tools {

class ToolTextureTransfer : public Tool {
    Q_OBJECT
public:
    using Tool::Tool;

    void initialize() override;
    void release(Tools::ToolReleaseAction releaseAction) override;
    bool isAvailable() const override;
    void interruptAndWait() override;

    ControllerTextureTransfer* getController() const { return controller; }
    WidgetParamsTextureTransfer* getPanel() const { return panel_; }

private:
    ControllerTextureTransfer* controller = nullptr;
    WidgetParamsTextureTransfer* panel_ = nullptr;
};

}  // namespace Tools
