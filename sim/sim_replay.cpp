#include "sim_replay.h"

#include <algorithm>
#include <filesystem>
#include <fstream>

#include "hid_recording.h"

namespace {

constexpr std::uintmax_t kMaxFileBytes = 64u << 20; // hours of reports; more is not a recording

// The recording's whole text; false when it cannot be read as a regular file or is
// longer than kMaxFileBytes. The cap holds for the read itself, whatever the file
// said its size was when it was looked at.
bool ReadWholeFile(const std::string& path, std::string& text) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error) || error) {
        return false;
    }
    std::ifstream file(path, std::ios::binary);
    text.clear();
    char chunk[1 << 16];
    while (file.read(chunk, sizeof(chunk)) || file.gcount() > 0) {
        if (text.size() + static_cast<size_t>(file.gcount()) > kMaxFileBytes) {
            return false;
        }
        text.append(chunk, static_cast<size_t>(file.gcount()));
    }
    return file.eof();
}

// Where the replay starts: the first mode report sent, else (a recording without
// output reports) the first input report.
size_t StartOfReplay(const std::vector<RecordedReport>& reports) {
    for (size_t i = 0; i < reports.size(); ++i) {
        if (reports[i].output && reports[i].bytes[0] == kReportReportingMode) {
            return i;
        }
    }
    for (size_t i = 0; i < reports.size(); ++i) {
        if (!reports[i].output) {
            return i;
        }
    }
    return reports.size();
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
    const size_t start = StartOfReplay(recorded);
    const int64_t startUs = start < recorded.size() ? recorded[start].us : 0;
    replay.reports.clear();
    for (size_t i = start; i < recorded.size(); ++i) {
        const RecordedReport& report = recorded[i];
        if (report.output) {
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
