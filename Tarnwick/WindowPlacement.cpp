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
    QRect placed(QPoint(0, 0), window->size().grownBy(decoration));
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

void showSoon(QWidget* window, QWidget* over)
{
    QPointer<QWidget> guardedOver(over);
    QTimer::singleShot(0, window, [window, guardedOver] {
        if (guardedOver)
            showCentredAndActive(window, guardedOver);
    });
}

// Waits on the main window's native window for its first exposure, then shows
// the tool window (its parent) from the event loop, after the main window's first paint.
class ShowWhenExposed : public QObject {
public:
    ShowWhenExposed(QWidget* window, QWidget* over) : QObject(window), over_(over) {}

    bool eventFilter(QObject* watched, QEvent* event) override
    {
        auto* native = qobject_cast<QWindow*>(watched);
        if (event->type() == QEvent::Expose && native && native->isExposed()) {
            native->removeEventFilter(this);
            showSoon(static_cast<QWidget*>(parent()), over_);
            deleteLater();
        }
        return false;
    }

private:
    QPointer<QWidget> over_;
};

}  // namespace

void showOver(QWidget* window, QWidget* over)
{
    QWidget* topLevel = over->window();
    topLevel->createWinId();  // nothing to do once it has its native window
    QWindow* native = topLevel->windowHandle();
    if (native->isExposed())
        showSoon(window, over);
    else
        native->installEventFilter(new ShowWhenExposed(window, over));
}

}  // namespace WindowPlacement
