#include "sim_log.h"

#include <cstdio>
#include <cstdlib>
#include <mutex>
#include <optional>
#include <string>

#include "sim_control.h"

namespace {

// The log's state. The lock guards every field and every write to the file; it
// may be taken while the remote's lock is held, never the other way round.
struct SimLog {
    std::mutex lock;
    std::optional<std::string> pathOverride; // from SimSetLogPath
    bool chosen = false;                     // whether path has been chosen yet
    std::string path;                        // where lines go; empty for nowhere
    std::FILE* file = nullptr;               // open on openPath, or null
    std::string openPath;                    // the path file was opened on
    std::string failedPath;                  // the last path that could not be opened
};

// The one log. Never destroyed, so a thread still logging while the process ends
// touches no destroyed object.
SimLog& Log() {
    static SimLog& log = *new SimLog;
    return log;
}

// Sets path from the override or the environment. Called with the lock held.
void ChooseFile(SimLog& log) {
    const char* fromEnvironment = std::getenv("TINY_HID_SIM_LOG");
    log.path = log.pathOverride ? *log.pathOverride : fromEnvironment ? fromEnvironment : "";
    log.chosen = true;
}

// The file to append to, opened on first use or when the path changed; null when
// there is none. Called with the lock held.
std::FILE* LogFile(SimLog& log) {
    if (!log.chosen) {
        ChooseFile(log);
    }
    if (log.file != nullptr && log.openPath != log.path) {
        std::fclose(log.file);
        log.file = nullptr;
    }
    if (log.file == nullptr && !log.path.empty()) {
        log.file = std::fopen(log.path.c_str(), "a");
        log.openPath = log.path;
        if (log.file == nullptr && log.failedPath != log.path) {
            std::fprintf(stderr, "tiny_hid_sim: cannot open log file '%s'\n", log.path.c_str());
            log.failedPath = log.path;
        }
    }
    return log.file;
}

// Appends one whole line and flushes it.
void AppendLine(const std::string& line) {
    SimLog& log = Log();
    std::lock_guard<std::mutex> hold(log.lock);
    std::FILE* file = LogFile(log);
    if (file != nullptr) {
        std::fputs(line.c_str(), file);
        std::fflush(file);
    }
}

} // namespace

void SimLogChooseFile() {
    SimLog& log = Log();
    std::lock_guard<std::mutex> hold(log.lock);
    ChooseFile(log);
}

void SimSetLogPath(const char* path) {
    SimLog& log = Log();
    std::lock_guard<std::mutex> hold(log.lock);
    log.pathOverride = path ? std::optional<std::string>(path) : std::nullopt;
    ChooseFile(log);
}

void SimLogEvent(int64_t ms, std::string_view event) {
    std::string line = std::to_string(ms);
    line += ' ';
    line += event;
    line += '\n';
    AppendLine(line);
}

void SimLogReport(int64_t ms, std::string_view event, const uint8_t* report, size_t length) {
    static const char kHexDigits[] = "0123456789abcdef";
    std::string line = std::to_string(ms) + " " + std::string(event);
    for (size_t i = 0; i < length; ++i) {
        line += ' ';
        line += kHexDigits[report[i] >> 4];
        line += kHexDigits[report[i] & 0x0F];
    }
    line += '\n';
    AppendLine(line);
}
