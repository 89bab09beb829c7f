#include "Tarnwick/WindowPlacement.h"

#include <QEvent>
#include <QLayout>
#include <QPointer>
#include <QScreen>
#include <QTimer>
#include <QWidget>
#include <QWindow>

namespace WindowPlacement {

namespace {

void centreOver(QWidget* window, const QWidget* over)
{
    // Take the size the window will be shown at: its style and layout may still
    // enlarge it, and a window never resized takes its size hint, as showing does.
    window->ensurePolished();
    if (QLayout* layout = window->layout())
        layout->activate();
    if (!window->testAttribute(Qt::WA_Resized))
        window->adjustSize();
    const QRect overFrame = over->frameGeometry();
    const QRect overInside = over->geometry();
    // A window not yet shown has no frame: take the decoration of `over` as its likely one.
    const QMargins decoration(overInside.left() - overFrame.left(), overInside.top() - overFrame.top(),
                              overFrame.right() - overInside.right(), overFrame.bottom() - overInside.bottom());
    const QRect ownFrame = window->isVisible() ? window->frameGeometry() : window->geometry() + decoration;
    QRect placed(QPoint(0, 0), ownFrame.size());
    placed.moveCenter(overFrame.center());
    if (const QScreen* screen = over->screen()) {
        const QRect available = screen->availableGeometry();
        placed.moveRight(qMin(placed.right(), available.right()));
        placed.moveBottom(qMin(placed.bottom(), available.bottom()));
        placed.moveLeft(qMax(placed.left(), available.left()));
        placed.moveTop(qMax(placed.top(), available.top()));
    }
    window->move(placed.topLeft());
}

void showCentredAndActive(QWidget* window, const QWidget* over)
{
    centreOver(window, over);
    window->show();
    window->raise();
    window->activateWindow();
}

// Waits on the main window's native window for its first exposure, then shows
// the tool window from the event loop, after the main window's first paint.
class ShowWhenExposed : public QObject {
public:
    ShowWhenExposed(QWidget* window, QWidget* over) : QObject(window), window_(window), over_(over) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* native = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && native && native->isExposed()) {
            native->removeEventFilter(this);
            showSoon(window_, over_);
            deleteLater();
        }
        return false;
    }

    static void showSoon(QWidget* window, QWidget* over)
    {
        QPointer<QWidget> guardedOver(over);
        QTimer::singleShot(0, window, [window, guardedOver] {
            if (guardedOver)
                showCentredAndActive(window, guardedOver);
        });
    }

private:
    QWidget* window_;
    QPointer<QWidget> over_;
};

}  // namespace

void showOver(QWidget* window, QWidget* over)
{
    QWindow* native = over->window()->windowHandle();
    if (native && native->isExposed()) {
        ShowWhenExposed::showSoon(window, over);
        return;
    }
    if (!native) {
        over->window()->createWinId();
        native = over->window()->windowHandle();
    }
    native->installEventFilter(new ShowWhenExposed(window, over));
}

}  // namespace WindowPlacement
