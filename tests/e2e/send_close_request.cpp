// Asks an X11 window to close as a window manager's close button does.
// Usage: send_close_request WINDOW_ID
#include <cstdio>
#include <cstdlib>

#include "x_close_request.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fputs("usage: send_close_request WINDOW_ID\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("send_close_request: cannot open display\n", stderr);
        return 1;
    }
    SendCloseRequest(display, std::strtoul(argv[1], nullptr, 0));
    XCloseDisplay(display);
    return 0;
}
