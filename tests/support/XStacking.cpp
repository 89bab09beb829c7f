#include "XStacking.h"

#include <X11/Xlib.h>

namespace TestSupport {

namespace {

// The root's child that holds the window (itself, or the frame it was reparented into).
Window topLevelOf(Display* display, Window window)
{
    for (;;) {
        Window root = 0, parent = 0;
        Window* children = nullptr;
        unsigned int count = 0;
        if (!XQueryTree(display, window, &root, &parent, &children, &count))
            return 0;
        if (children)
            XFree(children);
        if (parent == root || parent == 0)
            return window;
        window = parent;
    }
}

// Xlib's default handler ends the process on an unknown window; the failed query says enough.
int ignoreError(Display*, XErrorEvent*)
{
    return 0;
}

}  // namespace

int stackingPosition(quintptr window)
{
    Display* display = XOpenDisplay(nullptr);
    if (!display)
        return -1;
    const auto previousHandler = XSetErrorHandler(ignoreError);
    int position = -1;
    const Window topLevel = topLevelOf(display, static_cast<Window>(window));
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (topLevel && XQueryTree(display, DefaultRootWindow(display), &root, &parent, &children, &count)) {
        for (unsigned int k = 0; k < count; ++k)
            if (children[k] == topLevel)
                position = static_cast<int>(k);
        if (children)
            XFree(children);
    }
    XSync(display, False);
    XSetErrorHandler(previousHandler);
    XCloseDisplay(display);
    return position;
}

}  // namespace TestSupport
