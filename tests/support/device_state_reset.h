// Puts the process-wide device state back to its zero-filled start. Call it while
// no other thread touches the record.
#ifndef TOBRISK_TESTS_DEVICE_STATE_RESET_H
#define TOBRISK_TESTS_DEVICE_STATE_RESET_H

void ResetDeviceState();

#endif
