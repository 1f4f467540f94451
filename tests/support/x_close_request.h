// Asking an X11 window to close as a window manager's close button does: a
// WM_DELETE_WINDOW client message. Used by the close tool of the end-to-end
// scripts and by the X11 tests. Header only.
#ifndef TOBRISK_TESTS_X_CLOSE_REQUEST_H
#define TOBRISK_TESTS_X_CLOSE_REQUEST_H

#include <X11/Xlib.h>

// Sends the close request to window and flushes it to the server.
inline void SendCloseRequest(Display* display, Window window) {
    XEvent event = {};
    event.xclient.type = ClientMessage;
    event.xclient.window = window;
    event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
    event.xclient.format = 32;
    event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
    event.xclient.data.l[1] = CurrentTime;
    XSendEvent(display, window, False, NoEventMask, &event);
    XFlush(display);
}

#endif
