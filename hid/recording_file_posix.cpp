#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "recording_file.h"

RecordingFileTry TryRecordingFile(const std::string& path, std::FILE*& file, std::string& why) {
    struct stat info {};
    if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
        why = "not a regular file";
        return RecordingFileTry::Refused;
    }
    // Not blocking: a FIFO put in its place meanwhile fails at once.
    const int fd = open(path.c_str(), O_WRONLY | O_CREAT | O_NONBLOCK | O_CLOEXEC, 0666);
    if (fd < 0) {
        why = std::strerror(errno);
        return RecordingFileTry::Refused;
    }
    if (fstat(fd, &info) != 0 || !S_ISREG(info.st_mode)) {
        close(fd);
        why = "not a regular file";
        return RecordingFileTry::Refused;
    }
    if (flock(fd, LOCK_EX | LOCK_NB) != 0) {
        const int error = errno;
        close(fd);
        why = std::strerror(error);
        return error == EWOULDBLOCK ? RecordingFileTry::Busy : RecordingFileTry::Refused;
    }
    file = ftruncate(fd, 0) == 0 ? fdopen(fd, "wb") : nullptr;
    if (file == nullptr) {
        why = std::strerror(errno);
        close(fd);
        return RecordingFileTry::Refused;
    }
    return RecordingFileTry::Taken;
}
