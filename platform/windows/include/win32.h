// The Win32 subset the program uses, from the real system headers.
#ifndef TOBRISK_WIN32_H
#define TOBRISK_WIN32_H

#include <windows.h>
#include <process.h>

#endif
