// The one record that the UI thread, the probe thread and the sampler thread share.
#ifndef TOBRISK_DEVICE_STATE_H
#define TOBRISK_DEVICE_STATE_H

#include <atomic>
#include <cstdint>

#include "hid_report_library.h"
#include "remote_protocol.h" // kRemoteVendorId and kRemoteProductId, the remote every program opens
#include "win32.h"

// The named mutex that keeps two Tobrisk programs (the window, the measuring
// companion) from talking to one remote at once.
constexpr const char* kInstanceLockName = "tobrisk-001";

// Single fields are atomics, read and written whole. The two buffers are used by
// turns: inputReport by the thread that reads reports (the probe, then the
// sampler); outputReport only inside the report channel's send lock.
struct DeviceState {
    std::atomic<HidHandle> hidHandle;            // from OpenHidHandle; HID_NO_DEVICE when none
    uint8_t inputReport[HID_REPORT_BUFFER_SIZE];  // last input report read; byte 0 is its ID
    uint32_t readOutWord;                         // handed to ReadReport, never read
    uint8_t outputReport[HID_REPORT_BUFFER_SIZE]; // report being sent; never cleared, on
                                                  // purpose: a report leaves the bytes
                                                  // past its own as the last one did
    uint32_t writeOutWord;                        // handed to WriteReport, never read
    std::atomic<uint8_t> buttonByte1;             // byte 1 of the last data report (D-pad, Plus)
    std::atomic<uint8_t> buttonByte2;             // byte 2 of the last data report; 0x80 is Home
    std::atomic<uint8_t> accelX;                  // raw accelerations, centred on 128
    std::atomic<uint8_t> accelY;
    std::atomic<uint8_t> accelZ;
    std::atomic<int32_t> gyroValue;               // last gyro reading, -32766 to 32768
    std::atomic<uint8_t> probeRunning;            // 1 while the probe thread is to go on polling;
                                                  // written by ProbeRemote and StopProbeThread only
    std::atomic<uint8_t> probeActive;             // 1 while the probe thread is in its loop
    std::atomic<uintptr_t> probeThread;           // the probe thread
    std::atomic<HWND> mainWindow;                 // null until the window exists
    std::atomic<uint8_t> remoteClosed;            // 1 once the device has been closed
    std::atomic<uint8_t> samplingStopped;         // 1 once the session's stop has begun: no sample
                                                  // starts after it and a reply wait ends; written
                                                  // by EndSession only, never cleared
};

// The process-wide instance, zero-filled at start. Its value-initialised state is
// that zero-filled start, so a reset can build it anew without naming any field.
extern DeviceState deviceState;

#endif
