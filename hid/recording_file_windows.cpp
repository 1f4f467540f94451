#include <fcntl.h>
#include <io.h>
#include <windows.h>

#include "recording_file.h"

RecordingFileTry TryRecordingFile(const std::string& path, std::FILE*& file, std::string& why) {
    // Readers may share it; a second writer may not, so its open fails at once.
    const HANDLE handle = CreateFileA(path.c_str(), GENERIC_WRITE, FILE_SHARE_READ, nullptr,
                                      OPEN_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
    if (handle == INVALID_HANDLE_VALUE) {
        const DWORD error = GetLastError();
        why = "Windows error " + std::to_string(error);
        return error == ERROR_SHARING_VIOLATION ? RecordingFileTry::Busy
                                                : RecordingFileTry::Refused;
    }
    if (GetFileType(handle) != FILE_TYPE_DISK || !SetEndOfFile(handle)) {
        CloseHandle(handle);
        why = "not a regular file";
        return RecordingFileTry::Refused;
    }
    const int fd = _open_osfhandle(reinterpret_cast<intptr_t>(handle), _O_WRONLY | _O_BINARY);
    file = fd >= 0 ? _fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        fd >= 0 ? _close(fd) : CloseHandle(handle);
        why = "cannot open it as a stream";
        return RecordingFileTry::Refused;
    }
    return RecordingFileTry::Taken;
}
