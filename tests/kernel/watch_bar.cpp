// Watches one row of a window's pixels for as long as the window lives, or until
// SIGTERM or SIGINT, so that a bar shown for a moment is not missed: it reads the
// row again and again, finds where the black pixels in it begin and end, and at the
// end prints each extent it saw with how many reads showed it, in the order first
// seen ("250 353 812", or "none 0 3" when a read had no black pixel), then
// "reads N".
//
// A millisecond's pause between reads leaves the machine to the program watched.
//
// Usage: watch_bar WINDOW_ID Y X_FROM X_TO
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include <time.h>

#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <string>
#include <utility>
#include <vector>

namespace {

volatile std::sig_atomic_t stopAsked = 0;
bool windowGone = false;

void AskStop(int) {
    stopAsked = 1;
}

// A read of a window that has gone fails with an X error; it ends the watch.
int NoteWindowGone(Display*, XErrorEvent*) {
    windowGone = true;
    return 0;
}

// Where the black pixels of one read of the row lie: "first last", or "none".
std::string BlackExtent(XImage* row, int from, int width) {
    int first = -1;
    int last = -1;
    for (int x = 0; x < width; ++x) {
        if ((XGetPixel(row, x, 0) & 0xFFFFFF) == 0) {
            first = first < 0 ? x : first;
            last = x;
        }
    }
    return first < 0 ? "none" : std::to_string(from + first) + " " + std::to_string(from + last);
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 5) {
        std::fputs("usage: watch_bar WINDOW_ID Y X_FROM X_TO\n", stderr);
        return 2;
    }
    Display* display = XOpenDisplay(nullptr);
    if (display == nullptr) {
        std::fputs("watch_bar: cannot open display\n", stderr);
        return 1;
    }
    const Window window = std::strtoul(argv[1], nullptr, 0);
    const int y = std::atoi(argv[2]);
    const int from = std::atoi(argv[3]);
    const int width = std::atoi(argv[4]) - from + 1;
    std::signal(SIGTERM, AskStop);
    std::signal(SIGINT, AskStop);
    XSetErrorHandler(NoteWindowGone);

    std::vector<std::pair<std::string, long>> seen;
    long reads = 0;
    while (stopAsked == 0 && !windowGone) {
        XImage* row = XGetImage(display, window, from, y, static_cast<unsigned>(width), 1,
                                AllPlanes, ZPixmap);
        XSync(display, False);
        if (row == nullptr) {
            break;
        }
        std::string extent = BlackExtent(row, from, width);
        XDestroyImage(row);
        ++reads;
        bool known = false;
        for (auto& [shown, count] : seen) {
            if (shown == extent) {
                ++count;
                known = true;
            }
        }
        if (!known) {
            seen.emplace_back(std::move(extent), 1);
        }
        const timespec pause = {0, 1000000};
        nanosleep(&pause, nullptr);
    }
    for (const auto& [shown, count] : seen) {
        std::printf("%s %ld\n", shown.c_str(), count);
    }
    std::printf("reads %ld\n", reads);
    XCloseDisplay(display);
    return 0;
}
