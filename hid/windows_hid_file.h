// Reports through an open device file on Windows: the read, write and close of the
// Windows backend's device calls (hid_device.h), apart from how the device is found,
// so that tests can run them over any file that takes overlapped I/O.
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
// overlapped handle allows. The close must come after every read and write has
// left, as the handle table ensures.
#ifndef TOBRISK_HID_WINDOWS_HID_FILE_H
#define TOBRISK_HID_WINDOWS_HID_FILE_H

#include <windows.h>

#include <cstddef>
#include <cstdint>

#include "hid_device.h"

constexpr DWORD kWriteWaitMs = 250;   // a write the device does not take by then fails
constexpr DWORD kCancelWaitMs = 1000; // how long a cancelled I/O may take to land

// Takes over file, opened with FILE_FLAG_OVERLAPPED, as a device whose input and
// output reports are these lengths, report ID included (0: it has none). Returns
// nullptr, with file closed, when the device's events cannot be made.
HidDevice* WrapHidFile(HANDLE file, size_t inputLength, size_t outputLength);

// Waits at most timeoutMs for one input report and puts at most length bytes of it
// in data. Returns the bytes put there (> 0), 0 when none came in time, -1 when the
// device failed or has no input reports.
int ReadHidFile(HidDevice* device, uint8_t* data, size_t length, int timeoutMs);

// Sends one output report of length bytes, report ID in byte 0, padded with zeros to
// the device's output report length (Windows takes only whole reports), waiting at
// most kWriteWaitMs. Returns that length, or -1 when the report is longer, or the
// device did not take it in time or failed.
int WriteHidFile(HidDevice* device, const uint8_t* data, size_t length);

// Closes the file and frees the device, unless it is stuck.
void CloseHidFile(HidDevice* device);

#endif
