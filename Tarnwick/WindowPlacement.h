#pragma once
// Where a tool window of the main window appears: centred over the main window
// and above it, once the main window is on screen. Shown any earlier, it lands
// where nobody looks: at the screen's corner without a window manager, and
// below the main window under a window manager that maps the main window after it.
class QWidget;

namespace WindowPlacement {

// Shows the window with its frame centred over the frame of `over` (kept within
// the available area of that screen), raised and active, from the event loop
// once `over` is on screen.
void showOver(QWidget* window, QWidget* over);

}  // namespace WindowPlacement
