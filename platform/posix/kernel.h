// What the rest of the layer and its test library need of the kernel services:
// the threads that _beginthread started and the named mutexes' lock files.
// Internal to platform/posix.
#ifndef TOBRISK_PLATFORM_KERNEL_H
#define TOBRISK_PLATFORM_KERNEL_H

#include <string>

namespace win32_layer {

// How many threads started by _beginthread have not returned yet.
int RunningThreadCount();

// Waits at most timeoutMs until no thread started by _beginthread runs; returns
// whether none does.
bool WaitUntilNoThreadRuns(int timeoutMs);

// Keeps the named mutexes' lock files in folder from now on; "" goes back to the
// usual place ($XDG_RUNTIME_DIR, or a private folder under /tmp).
void SetLockFolder(const std::string& folder);

// Releases every named mutex of the process.
void ResetKernelObjects();

} // namespace win32_layer

#endif
