// Built on POSIX open with O_EXCL for the lock file and rename for the replacement.

#include "common/ApplicationConfigIni.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <thread>
#include <utility>

#include "common/FileBytes.h"
#include "common/FilePath.h"
#include "common/LogWriter.h"
#include "common/Messages.h"
#include "common/myexception.h"

namespace {

/// The settings file's bytes, nothing when it is absent or cannot be read; a file (or
/// anything else under its name) larger than the bound is an exec_error, so that it is
/// treated as an unreadable one without being read whole.
std::optional<std::string> ReadSettingsBytes(const std::wstring& path) {
    bool tooLarge = false;
    std::optional<std::string> bytes = ReadFileBytes(path, ApplicationConfigIni::kMaxFileSize, &tooLarge);
    if (tooLarge) {
        throw exec_error(CommonMessage(116) + L"[" + path + L"] is larger than " +
                         std::to_wstring(ApplicationConfigIni::kMaxFileSize) + L" bytes");
    }
    return bytes;
}

} // namespace

int LeadingInteger(const std::wstring& text) {
    std::size_t position = 0;
    while (position < text.size() && (text[position] == L' ' || text[position] == L'\t')) {
        ++position;
    }
    bool negative = false;
    if (position < text.size() && (text[position] == L'+' || text[position] == L'-')) {
        negative = text[position] == L'-';
        ++position;
    }
    long long magnitude = 0;
    for (; position < text.size() && text[position] >= L'0' && text[position] <= L'9'; ++position) {
        // past the range of int the value is pinned, so long texts cannot overflow
        magnitude = std::min(magnitude * 10 + (text[position] - L'0'), static_cast<long long>(INT_MAX) + 1);
    }
    long long value = negative ? -magnitude : magnitude;
    return static_cast<int>(
        std::clamp(value, static_cast<long long>(INT_MIN), static_cast<long long>(INT_MAX)));
}

ApplicationConfigIni::ApplicationConfigIni(std::wstring baseName, bool writable, LockWait wait)
    : baseName_(std::move(baseName)), writable_(writable) {
    AcquireLock(wait);
    try {
        if (std::optional<std::string> bytes = ReadSettingsBytes(baseName_ + L".ini")) {
            file_.Parse(*bytes);
        }
    } catch (...) {
        // the destructor will not run: the lock must not outlive the failed store
        ReleaseLock();
        throw;
    }
}

ApplicationConfigIni::~ApplicationConfigIni() {
    if (writable_) {
        WriteFile();
    }
    ReleaseLock();
}

/// The process a lock file names, or 0 when it names none (empty, being written, foreign).
pid_t LockHolder(const std::string& lockPath) {
    const int lock = open(lockPath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (lock < 0) {
        return 0;
    }
    char text[32] = {};
    const ssize_t count = read(lock, text, sizeof text - 1);
    close(lock);
    if (count <= 0) {
        return 0;
    }
    long long holder = 0;
    for (ssize_t index = 0; index < count && text[index] >= '0' && text[index] <= '9'; ++index) {
        holder = std::min(holder * 10 + (text[index] - '0'), static_cast<long long>(INT_MAX) + 1);
    }
    return holder > 0 && holder <= INT_MAX ? static_cast<pid_t>(holder) : 0;
}

void ApplicationConfigIni::AcquireLock(const LockWait& wait) {
    std::string lockPath = ToNativePath(baseName_ + L".lock");
    bool tookOver = false;
    for (int attempt = 0; attempt < wait.attempts; ++attempt) {
        int lock = open(lockPath.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0644);
        if (lock >= 0) {
            // the holder's process, so that a lock left by a killed program can be recognised
            const std::string holder = std::to_string(getpid()) + "\n";
            const ssize_t written = write(lock, holder.data(), holder.size());
            static_cast<void>(written); // a lock without its holder is only waited for, as before
            close(lock);
            holdsLock_ = true;
            return;
        }
        if (errno != EEXIST) {
            break;
        }
        // a holder that no longer exists will never remove its lock: take it over at once
        // (once only, so that two stores taking over together cannot remove each other's lock
        // for ever)
        const pid_t holder = LockHolder(lockPath);
        if (!tookOver && holder != 0 && kill(holder, 0) != 0 && errno == ESRCH) {
            Log(L".\\ApplicationConfigIni", __LINE__,
                L"stale lock file of the ended process " + std::to_wstring(holder) + L" taken over: " +
                    baseName_ + L".lock",
                2);
            unlink(lockPath.c_str());
            tookOver = true;
            --attempt;
            continue;
        }
        std::this_thread::sleep_for(wait.interval);
    }
    // the store goes on without the lock: a lock file whose holder cannot be told must not
    // keep the settings out of reach for ever
    Log(L".\\ApplicationConfigIni", __LINE__, L"lock file not obtained: " + baseName_ + L".lock", 2);
}

void ApplicationConfigIni::ReleaseLock() {
    // removed even when another store made it, which clears a lock left by a dead process
    unlink(ToNativePath(baseName_ + L".lock").c_str());
    holdsLock_ = false;
}

void ApplicationConfigIni::WriteFile() {
    std::wstring temporary = baseName_ + L".tmp";
    // a file that was not written whole must never replace the previous settings
    if (!WriteFileBytes(temporary, file_.Serialize())) {
        unlink(ToNativePath(temporary).c_str());
        Log(L".\\ApplicationConfigIni", __LINE__, L"settings file not written: " + temporary, 2);
        return;
    }
    // rename replaces the old file in one step, so no moment passes without a settings file
    std::rename(ToNativePath(temporary).c_str(), ToNativePath(baseName_ + L".ini").c_str());
}

int ApplicationConfigIni::GetInt(const std::wstring& key, int defaultValue) const {
    return LeadingInteger(GetString(key, std::to_wstring(defaultValue)));
}

std::wstring ApplicationConfigIni::GetString(const std::wstring& key,
                                             const std::wstring& defaultValue) const {
    const std::wstring* value = file_.Find(section_, key);
    return value != nullptr ? *value : defaultValue;
}

bool ApplicationConfigIni::GetBool(const std::wstring& key, bool defaultValue) const {
    return GetString(key, defaultValue ? L"1" : L"0") == L"1";
}

void ApplicationConfigIni::SetInt(const std::wstring& key, int value) {
    SetString(key, std::to_wstring(value));
}

void ApplicationConfigIni::SetString(const std::wstring& key, const std::wstring& value) {
    file_.Set(section_, key, value);
}

void ApplicationConfigIni::SetBool(const std::wstring& key, bool value) {
    SetString(key, value ? L"1" : L"0");
}
