#include <pthread.h>
#include <signal.h>
#include <unistd.h>

#include <thread>

#include "measure_console.h"

// SIGINT and SIGTERM are blocked in every thread and taken by a thread of their
// own, so that none of them lands in a read of the remote: the HID library's wait
// would end with EINTR, and the sample would count as a missed reply.
void CatchStopRequests(std::atomic<bool>& stop) {
    static sigset_t stopSignals;
    sigemptyset(&stopSignals);
    sigaddset(&stopSignals, SIGINT);
    sigaddset(&stopSignals, SIGTERM);
    pthread_sigmask(SIG_BLOCK, &stopSignals, nullptr);
    std::thread([&stop] {
        for (;;) {
            int taken = 0;
            if (sigwait(&stopSignals, &taken) == 0) {
                stop = true;
            }
        }
    }).detach();
}

bool OnTerminal() {
    return isatty(STDOUT_FILENO) != 0;
}

// Nothing waits for it here: the process ends when the program returns.
void RunEnded() {}
