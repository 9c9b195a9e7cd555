#pragma once
// The settings store kept in a UTF-16LE text file "<base>.ini" of its own format,
// guarded by the lock file "<base>.lock" and replaced through "<base>.tmp".

#include <chrono>
#include <cstddef>
#include <string>

#include "common/ApplicationConfig.h"
#include "common/IniFile.h"

/// How long a text-file store waits for another live store's lock file to disappear.
struct IniLockWait {
    std::chrono::milliseconds interval{1000};
    int attempts = 21;
};

class ApplicationConfigIni : public ApplicationConfig {
public:
    using LockWait = IniLockWait;
    /// Larger settings files are refused unread, like malformed ones: the program's own
    /// file holds a few hundred bytes.
    static constexpr std::size_t kMaxFileSize = 1u << 20;

    /// Takes the lock file, which records this process (waiting as `wait` says for a live
    /// holder, taking over at once one whose process has ended, and proceeding regardless
    /// after the wait), and loads
    /// "<baseName>.ini" when it exists. Throws exec_error for a malformed file or one larger
    /// than kMaxFileSize, releasing
    /// the lock first.
    ApplicationConfigIni(std::wstring baseName, bool writable, LockWait wait = LockWait());
    /// A writable store writes its file here; the lock file is removed in every case.
    ~ApplicationConfigIni() override;

    ApplicationConfigIni(const ApplicationConfigIni&) = delete;
    ApplicationConfigIni& operator=(const ApplicationConfigIni&) = delete;

    void SetSection(const std::wstring& name) override { section_ = name; }
    void EndSection() override { section_.clear(); }
    int GetInt(const std::wstring& key, int defaultValue) const override;
    std::wstring GetString(const std::wstring& key, const std::wstring& defaultValue) const override;
    bool GetBool(const std::wstring& key, bool defaultValue) const override;
    void SetInt(const std::wstring& key, int value) override;
    void SetString(const std::wstring& key, const std::wstring& value) override;
    void SetBool(const std::wstring& key, bool value) override;
    std::wstring Kind() const override { return L"ini"; }

    /// True when the lock file was created by this store.
    bool HoldsLock() const { return holdsLock_; }
    const IniFile& File() const { return file_; }

private:
    void AcquireLock(const LockWait& wait);
    void ReleaseLock();
    void WriteFile();

    std::wstring baseName_;
    std::wstring section_;
    bool writable_;
    bool holdsLock_ = false;
    IniFile file_;
};
