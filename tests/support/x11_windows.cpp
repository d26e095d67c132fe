#include "tests/support/x11_windows.h"

#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <memory>
#include <thread>

namespace pw::testing {
namespace {

struct DisplayCloser {
    void operator()(Display* d) const { XCloseDisplay(d); }
};
using DisplayPtr = std::unique_ptr<Display, DisplayCloser>;

std::optional<long> WindowPid(Display* d, Window w) {
    const Atom netWmPid = XInternAtom(d, "_NET_WM_PID", False);
    Atom type = 0;
    int format = 0;
    unsigned long count = 0, after = 0;
    unsigned char* data = nullptr;
    if (XGetWindowProperty(d, w, netWmPid, 0, 1, False, XA_CARDINAL, &type, &format, &count, &after, &data) !=
            Success ||
        !data)
        return std::nullopt;
    std::optional<long> pid;
    if (type == XA_CARDINAL && format == 32 && count == 1) pid = *reinterpret_cast<long*>(data);
    XFree(data);
    return pid;
}

std::string WindowTitle(Display* d, Window w) {
    char* name = nullptr;
    std::string title;
    if (XFetchName(d, w, &name) && name) {
        title = name;
        XFree(name);
    }
    return title;
}

std::optional<Window> FindWindow(Display* d, pid_t pid, const std::string& title) {
    Window root = 0, parent = 0;
    Window* children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(d, DefaultRootWindow(d), &root, &parent, &children, &count)) return std::nullopt;
    std::optional<Window> found;
    for (unsigned int i = 0; i < count && !found; ++i) {
        XWindowAttributes attributes{};
        if (!XGetWindowAttributes(d, children[i], &attributes) || attributes.map_state != IsViewable) continue;
        if (WindowPid(d, children[i]) == static_cast<long>(pid) && WindowTitle(d, children[i]) == title)
            found = children[i];
    }
    if (children) XFree(children);
    return found;
}

}  // namespace

std::optional<unsigned long> WaitForTopLevelWindow(pid_t pid, const std::string& title,
                                                   std::chrono::milliseconds limit) {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return std::nullopt;
    const auto until = std::chrono::steady_clock::now() + limit;
    for (;;) {
        if (auto w = FindWindow(display.get(), pid, title)) return *w;
        if (std::chrono::steady_clock::now() > until) return std::nullopt;
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
}

bool RequestWindowClose(unsigned long window) {
    DisplayPtr display(XOpenDisplay(nullptr));
    if (!display) return false;
    Display* d = display.get();
    XEvent event{};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(d, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(d, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    const bool sent = XSendEvent(d, window, False, NoEventMask, &event) != 0;
    XSync(d, False);
    return sent;
}

}  // namespace pw::testing
