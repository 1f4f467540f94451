// The handle table: the part of the HID report library that every platform shares.
// It hands out handles for open devices and keeps the four operations safe whatever
// the caller passes: handles are never reused, calls on a handle that is not open do
// nothing, reads wait a bounded time in slices, and a close waits for the calls that
// are inside the device to leave before the device is closed. With TINY_HID_RECORD
// set, each open handle records the reports it reads and sends (hid_recording.h).
//
// Threading: every function may be called from any thread at any time. The table is
// guarded by one lock that is never held across a device call; a read notices a
// close between two device waits, so a close waits at most one for a read to leave.
#ifndef TOBRISK_HID_HANDLE_TABLE_H
#define TOBRISK_HID_HANDLE_TABLE_H

#include <cstdint>

#include "hid_device.h"
#include "hid_report_library.h"
#include "remote_protocol.h"

constexpr int kReadSliceMs = 10;  // the longest device wait; a close is noticed between two
constexpr int kCloseWaitMs = 500; // how long a close waits for a write stuck in the device

// Opens the first device with these IDs through calls; when the original Wii Remote
// is asked for and none can be opened, the later model instead. Returns a new handle,
// never one given out before, or HID_NO_DEVICE.
HidHandle OpenDeviceHandle(const HidDeviceCalls& calls, uint16_t vendorId, uint16_t productId);

// Waits up to HID_READ_WAIT_MS for one input report, in device waits of at most
// kReadSliceMs kept to that deadline on a monotonic clock (a device wait may last
// longer than asked, as Windows' do at its timer's resolution: the deadline, not a
// count of waits, ends the read, and the last wait asks only for the time left),
// and copies the report, at most HID_REPORT_BUFFER_SIZE bytes, into buffer. Returns its length (>
// 0) and puts it in *outWord (when outWord is not null); 0 when none came in time; -1 when the
// handle is not open, the device failed, or the handle was closed meanwhile. On 0 or -1 neither
// buffer nor *outWord is touched.
int32_t ReadDeviceReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord);

// Sends OutputReportLength(buffer[0]) bytes from buffer. Returns the bytes sent (> 0)
// and puts them in *outWord (when outWord is not null), or -1 when the handle is not
// open or the device failed.
int32_t WriteDeviceReport(HidHandle handle, const uint8_t* buffer, uint32_t* outWord);

// Closes the handle: later calls with it fail; a read in progress on another thread
// ends with -1 within one slice; the device is closed once no call is inside it. If
// a call is still inside after kCloseWaitMs, it returns and that call closes the
// device as it leaves. A handle that is not open is ignored.
void CloseDeviceHandle(HidHandle handle);

#endif
