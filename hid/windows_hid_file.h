// Reports through an open device file on Windows: the read, write and close of the
// Windows backend's device calls (hid_device.h), apart from how the device is found,
// so that tests can run them over any file that takes overlapped I/O.
//
// Reads: ReadFile hands over the device's whole input report length (22 bytes for
// the remote) whatever the report's ID, and a read passes all of it on, up to the
// caller's length; the report's own length is for the caller to know from its ID.
//
// Writes: how a report reaches the remote depends on the Bluetooth stack (see
// write_method.h). Each device starts with the method its backend chose at open and
// keeps the method that last worked, so once a fallback has worked, later writes go
// straight to it. Writes start through the device's HidFileCalls, the system's own
// calls except in tests, which put a fake device below this layer.
//
// Waits: every read and write waits a bounded time. An I/O that has not completed
// in time is cancelled by the thread that started it (CancelIo cancels the calling
// thread's own I/O, on every Windows version), and the call waits, bounded again,
// for the cancellation to land before it returns. So no I/O is ever pending
// between two calls, a report that the driver has not handed over stays in its
// queue for the next read, and the close has nothing to cancel. Should a
// cancellation not land in time, the device is marked stuck: its buffers and
// events are never freed, since the driver may still write into them.
//
// Locking: each device has one read slot and one write slot (an OVERLAPPED, its
// event and a buffer). Reads take turns among themselves, and writes among
// themselves; a read and a write may be inside the device at once, as an
// overlapped handle allows. The write method is only looked at in a write's
// turn. The close must come after every read and write has left, as the handle
// table ensures.
#ifndef TOBRISK_HID_WINDOWS_HID_FILE_H
#define TOBRISK_HID_WINDOWS_HID_FILE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "hid_device.h"
#include "write_method.h"

constexpr DWORD kWriteWaitMs = 250;   // a write method the device has not taken by then fails
constexpr DWORD kCancelWaitMs = 1000; // how long a cancelled I/O may take to land

// The calls that start a write on a device file. Each returns as WriteFile does
// for an overlapped handle: TRUE when done, FALSE with ERROR_IO_PENDING when the
// I/O completes later through overlapped, FALSE with another error when refused.
struct HidFileCalls {
    // Starts a WriteFile of length bytes of data.
    BOOL (*startWrite)(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped);
    // Starts the set-output-report request (IOCTL_HID_SET_OUTPUT_REPORT) with the
    // length bytes of data as the report, ID first.
    BOOL (*startSetOutputReport)(HANDLE file, uint8_t* data, DWORD length, OVERLAPPED* overlapped);
};

// The system's calls, for real devices.
const HidFileCalls& SystemHidFileCalls();

// Takes over file, opened with FILE_FLAG_OVERLAPPED, as a device whose input and
// output reports are these lengths, report ID included (0: it has none), that is
// written firstMethod first, through calls (which must outlive the device). Returns
// nullptr, with file closed, when the device's events cannot be made.
HidDevice* WrapHidFile(HANDLE file, size_t inputLength, size_t outputLength,
                       WriteMethod firstMethod, const HidFileCalls& calls);

// Waits at most timeoutMs for one input report and puts at most length bytes of it
// in data. Returns the bytes put there (> 0), 0 when none came in time, -1 when the
// device failed or has no input reports.
int ReadHidFile(HidDevice* device, uint8_t* data, size_t length, int timeoutMs);

// Sends one output report of length bytes, report ID in byte 0: the method that worked
// last, else the first method, then the one NextWriteMethod names after each refusal.
// A padded write sends the report, then zeros up to the device's output report
// length; the others send the report's own length bytes. Each method waits at most
// kWriteWaitMs. Returns the bytes handed over (the output report length when
// padded, else length), or -1 when the report is longer than the device's output
// reports, or no method delivered it in time.
int WriteHidFile(HidDevice* device, const uint8_t* data, size_t length);

// Closes the file and frees the device, unless it is stuck.
void CloseHidFile(HidDevice* device);

#endif
