// The console handler of tobrisk-measure on Windows, which CatchStopRequests
// installs; named here for the check that runs it under Wine.
#ifndef TOBRISK_MEASURE_CONSOLE_WINDOWS_H
#define TOBRISK_MEASURE_CONSOLE_WINDOWS_H

#include "win32.h"

// Asks the run to stop; for the console's closing, logoff and shutdown, returns
// only once RunEnded has been called, or after 4.5 s.
BOOL WINAPI MeasureConsoleEvent(DWORD event);

#endif
