// Test helper: takes the named mutex given as argument, prints
// "handle=<0|1> error=<code>" and, when it holds the name, keeps it until it is
// killed (or a minute has passed).
#include <cstdio>

#include "win32.h"

int main(int argc, char** argv) {
    if (argc != 2) {
        std::fprintf(stderr, "usage: mutex_holder NAME\n");
        return 2;
    }
    HANDLE mutex = CreateMutexA(nullptr, TRUE, argv[1]);
    DWORD error = GetLastError();
    std::printf("handle=%d error=%u\n", mutex != nullptr ? 1 : 0, static_cast<unsigned>(error));
    std::fflush(stdout);
    if (mutex != nullptr && error == 0) {
        Sleep(60000);
    }
    return 0;
}
