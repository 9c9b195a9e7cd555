// Built on POSIX open/read/write.

#include "common/FileBytes.h"

#include <fcntl.h>
#include <unistd.h>

#include <cerrno>

#include "common/FilePath.h"

std::optional<std::string> ReadFileBytes(const std::wstring& path) {
    int file = open(ToNativePath(path).c_str(), O_RDONLY | O_CLOEXEC);
    if (file < 0) {
        return std::nullopt;
    }
    std::string bytes;
    char block[65536];
    for (;;) {
        ssize_t count = read(file, block, sizeof block);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count < 0) {
            close(file);
            return std::nullopt;
        }
        if (count == 0) {
            break;
        }
        bytes.append(block, static_cast<std::size_t>(count));
    }
    close(file);
    return bytes;
}

bool WriteFileBytes(const std::wstring& path, const std::string& bytes) {
    int file = open(ToNativePath(path).c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    if (file < 0) {
        return false;
    }
    std::size_t written = 0;
    while (written < bytes.size()) {
        ssize_t count = write(file, bytes.data() + written, bytes.size() - written);
        if (count < 0 && errno == EINTR) {
            continue;
        }
        if (count <= 0) {
            int error = count < 0 ? errno : EIO;
            close(file);
            errno = error;
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    if (close(file) != 0) {
        return false;
    }
    return true;
}
