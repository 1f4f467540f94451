#include "recording_file.h"

#include <filesystem>

namespace {

constexpr int kLastNeighbour = 9; // "<name>.2" to "<name>.9"

} // namespace

std::FILE* OpenRecordingFile(const std::string& path, std::string& chosen, std::string& why) {
    for (int number = 1; number <= kLastNeighbour; ++number) {
        chosen = number == 1 ? path : path + "." + std::to_string(number);
        std::FILE* file = nullptr;
        switch (TryRecordingFile(chosen, file, why)) {
        case RecordingFileTry::Taken:
            return file;
        case RecordingFileTry::Refused:
            return nullptr;
        case RecordingFileTry::Busy:
            break;
        }
    }
    why = "it and its neighbours up to '" + chosen + "' are all being recorded into";
    return nullptr;
}

bool IsSameFile(const std::string& first, const std::string& second) {
    std::error_code error;
    const bool same = std::filesystem::equivalent(first, second, error);
    return same && !error;
}
