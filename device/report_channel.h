// The way out to the remote: every output report, and the close, pass through one
// send lock that also knows whether the device has been closed.
#ifndef TOBRISK_REPORT_CHANNEL_H
#define TOBRISK_REPORT_CHANNEL_H

#include <cstdint>
#include <initializer_list>
#include <mutex>

// Holds the send lock for a run of reports that must reach the remote together,
// with nothing from another thread between them (the shutdown reports and the
// close). The lock is recursive: senders called while it is held go through.
std::unique_lock<std::recursive_mutex> HoldReportChannel();

// Writes bytes over the start of outputReport, leaving every later byte as it was,
// and hands the buffer to WriteReport, all inside the send lock. Once the remote is
// closed it touches neither the buffer nor the library. What the write returns is
// not examined: a report that does not reach the remote shows in what comes back.
void SendOutputReport(std::initializer_list<uint8_t> bytes);

// Closes the device handle once, inside the send lock; later calls do nothing.
void CloseRemote();

// Whether CloseRemote has run.
bool IsRemoteClosed();

#endif
