#pragma once
// Work modes for tests: they follow the framework's rules (availability by the
// loaded models, the four flag slots, Done and Cancel through releaseRequest)
// and record what was done to them.
#include "Tarnwick/Tools/Tool.h"

#include <QStringList>
#include <functional>

namespace TestSupport {

class TestTool : public Tools::Tool {
public:
    using Availability = std::function<bool()>;

    TestTool(ControllerMain* controllerMain, const QString& name, Availability available, QStringList* journal)
        : Tools::Tool(controllerMain, name), available_(std::move(available)), journal_(journal)
    {}

    void initialize() override
    {
        journal_->append(name() + " initialize");
        if (endsInInitialize)
            emit releaseRequest(Tools::Done);
    }
    void release(Tools::ToolReleaseAction action) override
    {
        journal_->append(name() + (action == Tools::Done ? " release Done" : " release Cancel"));
    }
    bool isAvailable() const override { return available_(); }

    // What a mode's controller and panel would do.
    void beginEditing() { startEditing(); }
    void endEditing() { finishEditing(); }
    void beginComputing() { startComputing(); }
    void endComputing() { finishComputing(); }
    void panelDone() { emit releaseRequest(Tools::Done); }
    void panelCancel() { emit releaseRequest(Tools::Cancel); }

    bool endsInInitialize = false;  // like the subset mode entered in its Apply phase

private:
    Availability available_;
    QStringList* journal_;
};

// The five modes in the main window's order with their availability rules,
// asked of the given loaded-state queries.
struct LoadedState {
    std::function<bool()> templateLoaded;
    std::function<bool()> targetLoaded;
    std::function<bool()> targetTextureLoaded;
};

inline QList<TestTool*> makeFiveTools(ControllerMain* controllerMain, const LoadedState& s, QStringList* journal)
{
    auto both = [s] { return s.templateLoaded() && s.targetLoaded(); };
    return {
        new TestTool(controllerMain, "Quick alignment", both, journal),
        new TestTool(controllerMain, "Registration", both, journal),
        new TestTool(
            controllerMain, "Texture trasfer", [s, both] { return both() && s.targetTextureLoaded(); }, journal),
        new TestTool(controllerMain, "Brush", both, journal),
        new TestTool(controllerMain, "Subset (Select)", s.templateLoaded, journal),
    };
}

}  // namespace TestSupport
