// Built on POSIX open/read/write.

#include "common/FileBytes.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>

#include "common/FilePath.h"

std::optional<std::string> ReadFileBytes(const std::wstring& path, std::size_t limit, bool* tooLarge) {
    if (tooLarge != nullptr) {
        *tooLarge = false;
    }
    // non-blocking, so that a fifo under the name cannot stall the reader
    const int file = open(ToNativePath(path).c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (file < 0) {
        return std::nullopt;
    }
    auto refuse = [&]() -> std::optional<std::string> {
        close(file);
        if (tooLarge != nullptr) {
            *tooLarge = true;
        }
        return std::nullopt;
    };
    struct stat status {};
    const bool sized = fstat(file, &status) == 0 && status.st_size >= 0;
    if (sized && static_cast<std::size_t>(status.st_size) > limit) {
        return refuse();
    }
    // room for the size the file had and one byte beyond, which tells a file that grew
    // meanwhile (or a device) from one that fits; grown up to one byte past the bound
    const std::size_t roomLimit = limit + 1;
    std::string bytes(
        std::min(sized ? static_cast<std::size_t>(status.st_size) + 1 : std::size_t{65536}, roomLimit), '\0');
    std::size_t filled = 0;
    for (;;) {
        if (filled == bytes.size()) {
            if (bytes.size() == roomLimit) {
                break;
            }
            bytes.resize(bytes.size() > roomLimit / 2 ? roomLimit
                                                      : std::max<std::size_t>(bytes.size() * 2, 1));
        }
        const ssize_t count = read(file, bytes.data() + filled, bytes.size() - filled);
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
        filled += static_cast<std::size_t>(count);
    }
    if (filled > limit) {
        return refuse();
    }
    close(file);
    bytes.resize(filled);
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
