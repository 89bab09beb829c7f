#pragma once
// Holds the work modes in the order they were added, enters and leaves them by
// index, and relays each mode's signals with its index. It checks nothing: its
// callers only ask for what the tool bar lets the user press.
#include "Tarnwick/Tools/Tool.h"

#include <QList>
#include <QObject>

namespace Tools {

class ToolsController : public QObject {
    Q_OBJECT
public:
    explicit ToolsController(QObject* parent = nullptr);

    void addTool(Tools::Tool* tool);
    int toolCount() const;
    int currentToolIndex() const;
    QString toolName(int index) const;
    bool isToolAvailable(int index) const;
    bool isToolEditing(int index) const;
    bool isToolComputing(int index) const;
    Tools::Tool* tool(int index) const;

    void initializeTool(int index);
    void releaseTool(int index, Tools::ToolReleaseAction releaseAction);

    QList<Tools::Tool*> tools;

signals:
    void toolInitialized(int toolInd);
    void toolReleased(int toolInd);
    void editionStarted(int toolInd);
    void editionFinished(int toolInd);
    void computationStarted(int toolInd);
    void computationFinished(int toolInd);
    void toolNameChanged(int toolInd);

public slots:
    void onReleaseRequest(Tools::ToolReleaseAction releaseAction);
    void onEditionStarted();
    void onEditionFinished();
    void onComputationStarted();
    void onComputationFinished();
    void onToolNameChanged();

private:
    int senderIndex() const;

    int currentToolIndex_ = -1;
};

}  // namespace Tools
