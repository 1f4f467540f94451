// The process entry on POSIX systems: hands WinMain what Windows' start-up code
// would, and ends the process with its result however many threads still run.
#include <unistd.h>

#include <cstdio>

#include "handles.h"
#include "win32.h"

// Calls WinMain with an instance handle, no previous instance, an empty command
// line and SW_SHOWDEFAULT; then flushes stdio and ends the process at once, so that
// worker threads still running are stopped where they stand instead of meeting
// the process's static objects being destroyed under them.
int main() {
    static char emptyCommandLine[] = "";
    HINSTANCE instance = reinterpret_cast<HINSTANCE>(
        win32_layer::FixedHandleValue(win32_layer::HandleKind::Instance, 1));
    int code = WinMain(instance, nullptr, emptyCommandLine, SW_SHOWDEFAULT);
    std::fflush(nullptr);
    _exit(code);
}
