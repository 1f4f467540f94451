// The calling thread's last error, which every other part of the layer sets and
// which depends on none of them.
#include "win32.h"

namespace {

thread_local DWORD lastError = ERROR_SUCCESS;

} // namespace

DWORD WINAPI GetLastError(void) {
    return lastError;
}

void WINAPI SetLastError(DWORD code) {
    lastError = code;
}
