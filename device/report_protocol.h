// The remote's report protocol: three output reports and the two ways the program
// reads input reports. Everything works on deviceState and the report channel.
#ifndef TOBRISK_REPORT_PROTOCOL_H
#define TOBRISK_REPORT_PROTOCOL_H

#include <cstdint>

// The report IDs, modes, LED and button bits and IsHomeAlone the program uses.
#include "remote_protocol.h"

// How long ReadGyroRegister waits for the read reply before it gives up.
constexpr int kReplyWaitLimitMs = 250;

// 0x11: LED bits, bits 4 to 7 for LEDs 1 to 4.
void SetLeds(uint8_t bits);

// 0x12: flags, then the ID of the data report wanted.
void SetReportingMode(uint8_t flags, uint8_t mode);

// 0x17: read sizeLow bytes of register space at addressHigh 0x00 addressLow.
void SendReadRequest(uint8_t addressHigh, uint8_t sizeLow, uint8_t addressLow);

// Leaves the remote in button-only reporting with its first LED alone and closes
// it, holding the send lock throughout so that no report from another thread falls
// between these reports or after them.
void ReleaseRemote();

// Reads one input report; a data report (0x30 to 0x3F) sets buttonByte2 and, when
// bit 0 of its ID is set, the three accelerations. Anything else changes nothing,
// and so does a read that brought no report. Run by the probe thread.
void PollDataReport();

// Asks for the two bytes at register 0x920090 and waits for the 0x21 reply for that
// address (bytes 4 and 5 are 00 90), taking buttons and accelerations from every
// 0x31 report that arrives meanwhile. Replies to other reads of the remote (the
// Linux kernel's driver reads it beside us) are passed over like any other report.
// Returns true with the reply's bytes 6 and 7 in high and low, whatever its error
// code; false, with high and low untouched, when the remote refused the request (a
// 0x22 acknowledgement of 0x17 with a nonzero error code), no reply came within
// kReplyWaitLimitMs, the library reported a failure, the sampling was stopped
// (samplingStopped) or the remote was closed. Run by the thread that samples.
bool ReadGyroRegister(uint8_t& high, uint8_t& low);

#endif
