// Recordings of a remote's session in the text format that Linux HID developers
// exchange (hid-recorder writes it, hid-replay reads it), and the reading of such
// files back. docs/simulator.md states the format's rules.
//
// Writing: when TINY_HID_RECORD names a file, each opening of the remote writes the
// header (a comment, the report descriptor as `R:` when the backend knows it, then
// `N:` name and `I:` bus, vendor and product), then one
// `E: <seconds>.<microseconds> <length> <bytes>` line per input report read and one
// `# O: ...` comment line, in the same shape, per output report sent. Times count
// from the opening, the seconds in six digits or more. Each opening starts its file
// anew; while another live opening records into the file named, it records into a
// numbered neighbour of it (recording_file.h). Without the variable nothing is
// opened and the library's calls see one null pointer.
//
// Threads: the calls on one recording may come from any thread; each line is
// written whole under the recording's own lock and flushed at once, so a recording
// stays readable up to its last report when the process ends without closing.
#ifndef TOBRISK_HID_RECORDING_H
#define TOBRISK_HID_RECORDING_H

#include <cstddef>
#include <cstdint>
#include <string>
#include <vector>

constexpr char kRecordVariable[] = "TINY_HID_RECORD";

struct HidRecording;

// The file TINY_HID_RECORD names; null when it is unset or empty.
const char* RecordingPath();

// Starts a recording into path (or a neighbour, said on standard error) for a device
// just opened with these IDs and this report descriptor (empty when unknown); null
// when no file can be written (one line on standard error says so, and the device
// works unrecorded).
HidRecording* StartRecording(const char* path, uint16_t vendorId, uint16_t productId,
                             const std::vector<uint8_t>& descriptor);

// Write one report with its time since the opening; a recording's times never go
// backwards (a time earlier than the last is written as the last). Null does nothing.
void RecordInputReport(HidRecording* recording, int64_t usSinceOpen, const uint8_t* bytes,
                       size_t length);
void RecordOutputReport(HidRecording* recording, int64_t usSinceOpen, const uint8_t* bytes,
                        size_t length);

// Closes the file and frees the recording. Null does nothing.
void StopRecording(HidRecording* recording);

// One report of a recording as read back.
struct RecordedReport {
    int64_t us = 0;             // its time in the recording
    bool output = false;        // a `# O:` line, else an `E:` line
    int line = 0;               // its line in the file, from 1
    std::vector<uint8_t> bytes; // report ID in byte 0
};

// Reads a recording's text. Returns false on a malformed line, with *badLine set to
// its number (from 1; the last line's number when the fault is the whole file's) and
// why to a short reason.
bool ParseRecording(const std::string& text, std::vector<RecordedReport>& reports, int& badLine,
                    std::string& why);

#endif
