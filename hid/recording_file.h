// The file a recording goes into (TINY_HID_RECORD). Opening it never waits, and no
// two live openings ever write one file: while another opening, in this process or
// another, records into the file named, the recording goes into the first of
// "<name>.2" to "<name>.9" that nobody records into. Only a regular file is taken
// (or a name where there is none yet): a FIFO, a device or a folder would hold up
// the device's calls or take what is no recording. CMake picks the platform's file:
// recording_file_posix.cpp (an advisory lock) or recording_file_windows.cpp (a
// share mode that admits one writer).
#ifndef TOBRISK_HID_RECORDING_FILE_H
#define TOBRISK_HID_RECORDING_FILE_H

#include <cstdio>
#include <string>

// The outcome of one try at one name.
enum class RecordingFileTry {
    Taken,   // the file is open, ours alone, and empty
    Busy,    // another live opening records into it
    Refused, // it cannot be written, or is no regular file (why says which)
};

// Tries to take the file at path: on Taken, file is open for writing in binary.
RecordingFileTry TryRecordingFile(const std::string& path, std::FILE*& file, std::string& why);

// The file for a recording named path: path itself, or the first free one of its
// numbered neighbours; sets chosen to its name. Null, with why set, when none can
// be had.
std::FILE* OpenRecordingFile(const std::string& path, std::string& chosen, std::string& why);

// Whether two names are the one file that exists (through a link, or written
// another way); false when either is not there.
bool IsSameFile(const std::string& first, const std::string& second);

#endif
