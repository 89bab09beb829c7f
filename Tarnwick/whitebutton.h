#pragma once
// The square skinned push button of the view tool strips.
#include <QPushButton>

class WhiteButton : public QPushButton {
    Q_OBJECT
public:
    explicit WhiteButton(QWidget* parent = nullptr);

    // The skin's style sheet for buttons of the given class name.
    static QString skinStyleSheet(const QString& selector);

private:
    void applyStyle();
};
