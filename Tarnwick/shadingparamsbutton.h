#pragma once
// Tool button whose menu chooses how a model is drawn: textured and/or shaded,
// with or without its polygon edges. The button's icon shows the choice.
#include <QIcon>
#include <QMenu>
#include <QToolButton>

class QAction;

class ShadingParamsButton : public QToolButton {
    Q_OBJECT
public:
    ShadingParamsButton(bool textured, bool shaded, bool wireVisible, QWidget* parent = nullptr);

    // Shows the given flags without emitting anything.
    void setShadingParams(bool textured, bool shaded, bool wireVisible);

    bool textured() const { return textured_; }
    bool shaded() const { return shaded_; }
    bool wireVisible() const { return wireVisible_; }
    QMenu* shadingMenu() { return &menu_; }

signals:
    void shadingParamsChanged(bool textured, bool shaded, bool wireVisible);

public slots:
    void onTexturedAndShadedClick();
    void onTexturedClick();
    void onShadedClick();
    void onWireVisibleChecked(bool isChecked);

private:
    void createMenu();
    void updateButtonIcon();
    void updateActionIcons();
    void emitParams();

    bool textured_;
    bool shaded_;
    bool wireVisible_;
    QMenu menu_;
    QAction* texturedAndShaded_;
    QAction* texturedOnly_;
    QAction* shadedOnly_;
    QAction* showWire_;
    QIcon texturedIcon_;
    QIcon texturedWiredIcon_;
    QIcon shadedIcon_;
    QIcon shadedWiredIcon_;
    QIcon texturedShadedIcon_;
    QIcon texturedShadedWiredIcon_;
};
