// The Win32 subset the program uses, declared with Win32's own names, types and
// constants and implemented by this layer on POSIX systems.
#ifndef TOBRISK_WIN32_H
#define TOBRISK_WIN32_H

#include <stdint.h>

typedef int BOOL;
typedef uint8_t BYTE;
typedef uint32_t DWORD;
typedef void* HANDLE;

struct HWND__;
typedef struct HWND__* HWND;

#define TRUE 1
#define FALSE 0

#endif
