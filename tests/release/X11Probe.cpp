// What tests of full-screen programs need from X where no window manager
// runs:
//   x11_probe close WINDOW-ID  sends the window the close request a window
//                              manager sends on Alt+F4 (WM_DELETE_WINDOW)
//   x11_probe cursor           prints "cursor visible N": how many pixels of
//                              the cursor shown now are not transparent
//   x11_probe window NAME      prints the id of a window named NAME, if any

#include <X11/Xlib.h>
#include <X11/extensions/Xfixes.h>

#include <cstdio>
#include <cstdlib>
#include <cstring>

namespace {

int SendClose(Display* display, Window window)
{
    XEvent event;
    std::memset(&event, 0, sizeof event);
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = (long)XInternAtom(display, "WM_DELETE_WINDOW", False);
    event.xclient.data.l[1] = CurrentTime;
    const Status sent = XSendEvent(display, window, False, NoEventMask, &event);
    XSync(display, False);
    return sent ? 0 : 1;
}

int PrintCursor(Display* display)
{
    int eventBase = 0, errorBase = 0;
    if (!XFixesQueryExtension(display, &eventBase, &errorBase)) {
        std::fprintf(stderr, "x11_probe: the server has no XFIXES\n");
        return 1;
    }
    XFixesCursorImage* image = XFixesGetCursorImage(display);
    if (image == nullptr) return 1;
    long visible = 0;
    for (long i = 0; i < (long)image->width * image->height; ++i) visible += (image->pixels[i] >> 24) != 0;
    std::printf("cursor visible %ld\n", visible);
    XFree(image);
    return 0;
}

// Windows come and go while the tree is read: their errors are no failure.
int IgnoreErrors(Display*, XErrorEvent*)
{
    return 0;
}

Window FindWindow(Display* display, Window under, const char* name)
{
    char* title = nullptr;
    if (XFetchName(display, under, &title) && title != nullptr) {
        const bool found = std::strcmp(title, name) == 0;
        XFree(title);
        if (found) return under;
    }
    Window root = 0, parent = 0, *children = nullptr;
    unsigned int count = 0;
    if (!XQueryTree(display, under, &root, &parent, &children, &count)) return 0;
    Window found = 0;
    for (unsigned int i = 0; i < count && found == 0; ++i) found = FindWindow(display, children[i], name);
    if (children != nullptr) XFree(children);
    return found;
}

}  // namespace

int main(int argc, char** argv)
{
    const bool close = argc == 3 && std::strcmp(argv[1], "close") == 0;
    const bool cursor = argc == 2 && std::strcmp(argv[1], "cursor") == 0;
    const bool window = argc == 3 && std::strcmp(argv[1], "window") == 0;
    if (!close && !cursor && !window) {
        std::fprintf(stderr, "usage: x11_probe close WINDOW-ID | x11_probe cursor | x11_probe window NAME\n");
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fprintf(stderr, "x11_probe: cannot open the display\n");
        return 1;
    }
    XSetErrorHandler(IgnoreErrors);
    int status = 0;
    if (close) {
        status = SendClose(display, (Window)std::strtoul(argv[2], nullptr, 0));
    } else if (cursor) {
        status = PrintCursor(display);
    } else {
        const Window found = FindWindow(display, DefaultRootWindow(display), argv[2]);
        if (found != 0) std::printf("%lu\n", (unsigned long)found);
        status = found != 0 ? 0 : 1;
    }
    XCloseDisplay(display);
    return status;
}
