#pragma once
// A work mode. Entering it (initialize) creates its controller and panel;
// leaving it (release) removes them and applies or discards the result.
// Its editing and computing flags tell the tool bar and the strips when the
// mode must not be interrupted.
#include <QObject>
#include <QString>

class ControllerMain;

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
    // Subclasses connect their controller's signals here; the flag changes
    // before the signal, so whoever reacts already reads the new value.
    void startEditing();
    void finishEditing();
    void startComputing();
    void finishComputing();

protected:
    ControllerMain* controllerMain_;

private:
    QString name_;
    bool editing_ = false;
    bool computing_ = false;
};

}  // namespace Tools
