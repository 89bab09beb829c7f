#pragma once
// The X server's stacking order, read over a connection of its own: which
// window a person sees on top, whatever the toolkit believes.
#include <QtGlobal>

namespace TestSupport {

// Position of the window among the screen's top-level windows, bottom first;
// a window inside a window manager's frame counts as its frame. -1 when the
// server does not know it or no display answers.
int stackingPosition(quintptr window);

}  // namespace TestSupport
