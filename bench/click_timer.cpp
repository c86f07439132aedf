// Clicks a point of a top-level X window and times how long it takes until a
// new top-level window with a given title is mapped (for example the message
// box that ends a conversion):
//
//   click-timer WINDOW-TITLE X Y NEW-WINDOW-TITLE [TIMEOUT-SECONDS]
//
// X and Y are relative to WINDOW-TITLE's top-left corner. Prints the seconds
// from the click to the new window's MapNotify, e.g. "0.412345", and exits 0;
// exits 1 on a timeout, 2 when the window is never found, 64 on wrong usage.
//
// The click is sent with the XTEST extension, as a real mouse would, and the
// helper waits blocked on the X connection for the server's MapNotify, so it
// takes no processor time from the program under test. Both instants are read
// from CLOCK_MONOTONIC in this process; what they can be off by is the X round
// trip (well under a millisecond on a local server).
#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <X11/extensions/XTest.h>

#include <poll.h>

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <thread>

namespace {

using Clock = std::chrono::steady_clock;

Clock::duration seconds(double s)
{
    return std::chrono::duration_cast<Clock::duration>(std::chrono::duration<double>(s));
}

std::string windowName(Display *dpy, Window w)
{
    char *name = nullptr;
    std::string result;
    if (XFetchName(dpy, w, &name) && name)
        result = name;
    if (name)
        XFree(name);
    return result;
}

// A viewable child of the root with the given title (no window manager
// reparents windows under Xvfb, so top-levels are the root's children).
Window findTopLevel(Display *dpy, const std::string &title)
{
    Window root = DefaultRootWindow(dpy), parent = 0, *children = nullptr;
    unsigned int count = 0;
    Window found = 0;
    if (!XQueryTree(dpy, root, &root, &parent, &children, &count))
        return 0;
    for (unsigned int i = count; i-- > 0 && !found;) { // topmost first
        XWindowAttributes a;
        if (XGetWindowAttributes(dpy, children[i], &a) && a.map_state == IsViewable
            && windowName(dpy, children[i]) == title)
            found = children[i];
    }
    if (children)
        XFree(children);
    return found;
}

// Waits until the connection has an event or the deadline passes.
bool waitForEvent(Display *dpy, Clock::time_point deadline)
{
    while (!XPending(dpy)) {
        const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
        if (left <= 0)
            return false;
        pollfd p{ConnectionNumber(dpy), POLLIN, 0};
        poll(&p, 1, int(left));
    }
    return true;
}

} // namespace

int main(int argc, char **argv)
{
    if (argc < 5) {
        std::fputs("usage: click-timer WINDOW-TITLE X Y NEW-WINDOW-TITLE [TIMEOUT-SECONDS]\n", stderr);
        return 64;
    }
    const std::string title = argv[1];
    const int x = std::atoi(argv[2]), y = std::atoi(argv[3]);
    const std::string newTitle = argv[4];
    const double timeout = argc > 5 ? std::atof(argv[5]) : 60.0;

    Display *dpy = XOpenDisplay(nullptr);
    if (!dpy) {
        std::fputs("click-timer: cannot open the display\n", stderr);
        return 2;
    }
    int ev = 0, er = 0, major = 0, minor = 0;
    if (!XTestQueryExtension(dpy, &ev, &er, &major, &minor)) {
        std::fputs("click-timer: the X server has no XTEST extension\n", stderr);
        return 2;
    }
    const Window root = DefaultRootWindow(dpy);

    const auto findDeadline = Clock::now() + seconds(timeout);
    Window target = 0;
    while (!(target = findTopLevel(dpy, title))) {
        if (Clock::now() > findDeadline) {
            std::fprintf(stderr, "click-timer: no window titled '%s'\n", title.c_str());
            return 2;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    }

    // Watch the root for windows being mapped before anything can happen.
    XSelectInput(dpy, root, SubstructureNotifyMask);
    int rx = 0, ry = 0;
    Window child = 0;
    XTranslateCoordinates(dpy, target, root, x, y, &rx, &ry, &child);
    XTestFakeMotionEvent(dpy, -1, rx, ry, CurrentTime);
    XSync(dpy, False);
    // Let the program see the pointer arrive over the button before it is pressed.
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    XSync(dpy, True); // drop whatever was mapped before the click

    const auto clicked = Clock::now();
    XTestFakeButtonEvent(dpy, 1, True, CurrentTime);
    XTestFakeButtonEvent(dpy, 1, False, CurrentTime);
    XFlush(dpy);

    const auto deadline = clicked + seconds(timeout);
    for (;;) {
        if (!waitForEvent(dpy, deadline)) {
            std::fprintf(stderr, "click-timer: no window titled '%s' appeared within %g s\n", newTitle.c_str(),
                         timeout);
            return 1;
        }
        XEvent e;
        XNextEvent(dpy, &e);
        if (e.type != MapNotify || e.xmap.override_redirect || e.xmap.window == target)
            continue;
        const auto mapped = Clock::now();
        if (windowName(dpy, e.xmap.window) != newTitle)
            continue;
        std::printf("%.6f\n", std::chrono::duration<double>(mapped - clicked).count());
        XCloseDisplay(dpy);
        return 0;
    }
}
