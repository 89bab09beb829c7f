#pragma once
// A work mode. Entering it (initialize) creates its controller and panel;
// leaving it (release) removes them and applies or discards the result.
// Its editing and computing flags tell the tool bar and the strips when the
// mode must not be interrupted.
#include <QObject>
#include <QString>

class ControllerMain;
class QWidget;

namespace Tools {

enum ToolReleaseAction { Cancel = 0, Done = 1 };

class Tool : public QObject {
    Q_OBJECT
public:
    Tool(ControllerMain* controllerMain, const QString& name, QObject* parent = nullptr);

    QString name() const;
    void setName(const QString& name);
    bool isEditing() const;
    bool isComputing() const;

    // Enters the mode.
    virtual void initialize();
    // Leaves the mode.
    virtual void release(Tools::ToolReleaseAction releaseAction);
    // Whether the mode can be entered with the models loaded now.
    virtual bool isAvailable() const;
    // Stops a running computation and returns once its work has ended; the
    // window calls it when it closes during a computation. The base has none.
    virtual void interruptAndWait();

signals:
    void editionStarted();
    void editionFinished();
    void computationStarted();
    void computationFinished();
    void releaseRequest(Tools::ToolReleaseAction releaseAction);
    void nameChaged(QString name);

protected slots:
    // The flag changes before the signal, so whoever reacts already reads the new value.
    void startEditing();
    void finishEditing();
    void startComputing();
    void finishComputing();
    // A panel's Done and Cancel: the tools controller then leaves the mode.
    void onDone();
    void onCancel();

protected:
    // A controller's signals that open and close an interactive selection set and clear the editing flag.
    template <typename Controller, typename Started, typename Finished>
    void relayEditing(const Controller* controller, Started started, Finished finished)
    {
        connect(controller, started, this, &Tool::startEditing);
        connect(controller, finished, this, &Tool::finishEditing);
    }
    // The same for a computation and the computing flag.
    template <typename Controller, typename Started, typename Finished>
    void relayComputing(const Controller* controller, Started started, Finished finished)
    {
        connect(controller, started, this, &Tool::startComputing);
        connect(controller, finished, this, &Tool::finishComputing);
    }

    // Puts the mode's panel into the parameters area.
    void showPanel(QWidget* panel);
    // Takes the panel out of the parameters area at once; it hears nothing
    // more from its controller, and it is deleted once the event being
    // delivered is over, since release usually runs inside a click on it.
    template <typename Panel>
    void removePanel(Panel*& panel, const QObject* controller = nullptr)
    {
        dismissPanel(panel, controller);
        panel = nullptr;
    }

    ControllerMain* controllerMain_;

private:
    void dismissPanel(QWidget* panel, const QObject* controller);

    QString name_;
    bool editing_ = false;
    bool computing_ = false;
};

}  // namespace Tools
