#include "sim_replay.h"

#include <algorithm>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "hid_recording.h"

namespace {

constexpr std::uintmax_t kMaxFileBytes = 64u << 20; // hours of reports; more is not a recording

// The recording's whole text; false when it cannot be read as a regular file.
bool ReadWholeFile(const std::string& path, std::string& text) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) ||
        std::filesystem::file_size(path, error) > kMaxFileBytes || error) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    std::ostringstream contents;
    contents << file.rdbuf();
    text = contents.str();
    return static_cast<bool>(file);
}

// The moment the replay starts from: the first mode report sent, else the first
// input report.
int64_t StartOfReplay(const std::vector<RecordedReport>& reports) {
    for (const RecordedReport& report : reports) {
        if (report.output && report.bytes[0] == kRecordingModeReportId) {
            return report.us;
        }
    }
    for (const RecordedReport& report : reports) {
        if (!report.output) {
            return report.us;
        }
    }
    return 0;
}

} // namespace

bool LoadSimReplay(const std::string& path, SimReplay& replay, std::string& error) {
    std::string text;
    if (!ReadWholeFile(path, text)) {
        error = "cannot be read as a recording";
        return false;
    }
    std::vector<RecordedReport> recorded;
    int badLine = 0;
    std::string why;
    if (!ParseRecording(text, recorded, badLine, why)) {
        error = "line " + std::to_string(badLine) + ": " + why;
        return false;
    }
    const int64_t startUs = StartOfReplay(recorded);
    replay.reports.clear();
    for (const RecordedReport& report : recorded) {
        if (report.output || report.us < startUs) {
            continue;
        }
        if (report.bytes.size() > kSimMaxReportLength) {
            error = "line " + std::to_string(report.line) +
                    ": longer than the remote's reports (22 bytes)";
            return false;
        }
        SimReport replayed{report.us - startUs, static_cast<uint8_t>(report.bytes.size()), {}};
        std::copy(report.bytes.begin(), report.bytes.end(), replayed.bytes.begin());
        replay.reports.push_back(replayed);
    }
    return true;
}
