// The HID report library: the four operations through which the program reaches
// the remote. Implementations live in hid/ (real devices) and sim/ (a simulated
// remote); any of them links into the program unchanged.
#ifndef TOBRISK_HID_REPORT_LIBRARY_H
#define TOBRISK_HID_REPORT_LIBRARY_H

#include <stdint.h>

#ifdef __cplusplus
extern "C" {
#endif

typedef int32_t HidHandle;

#define HID_NO_DEVICE ((HidHandle)-1)  /* OpenHidHandle found nothing it could open */
#define HID_REPORT_BUFFER_SIZE 256     /* every report buffer handed to the library */

/* Opens the first device with these IDs. Returns its handle, or HID_NO_DEVICE. */
HidHandle OpenHidHandle(uint16_t vendorId, uint16_t productId);

/* How long ReadReport waits at most for a report. One read covers the start-up
   probe's 100 ms window, so a remote whose first report comes late in the window
   still passes; a close on another thread ends the wait early. */
#define HID_READ_WAIT_MS 100

/* Waits at most HID_READ_WAIT_MS for the next input report and puts it in buffer
   (HID_REPORT_BUFFER_SIZE bytes), report ID in byte 0. Returns the report's length
   (> 0); 0 when no report came in time; -1 when the handle is not open or the device
   failed. On 0 or -1 the buffer is left exactly as it was. outWord may be filled
   with the length; the program never reads it. */
int32_t ReadReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord);

/* Sends the output report at the start of buffer, report ID in byte 0; its length
   follows from the ID. Returns the number of bytes sent (> 0), or -1 when the
   handle is not open or the device failed. outWord may be filled with the count. */
int32_t WriteReport(HidHandle handle, uint8_t* buffer, uint32_t* outWord);

/* Releases the handle. A read in progress on it on another thread ends with -1. */
void CloseHidHandle(HidHandle handle);

#ifdef __cplusplus
}
#endif

#endif
