#include "common/ApplicationConfigMFC.h"

#include <cerrno>
#include <cstdio>
#include <mutex>

#include "common/FileBytes.h"
#include "common/FilePath.h"
#include "common/IniFile.h"
#include "common/Messages.h"
#include "common/myexception.h"

namespace {

// guards the profile file's name and every read-modify-write of the file in this process
std::mutex profileMutex;
std::wstring profileFile = L".\\Kivaro.ini";

IniFile LoadProfile(const std::wstring& path) {
    IniFile file;
    if (std::optional<std::string> bytes = ReadFileBytes(path)) {
        file.Parse(*bytes);
    }
    return file;
}

} // namespace

void ApplicationConfigMFC::SetProfileFile(const std::wstring& path) {
    std::lock_guard<std::mutex> lock(profileMutex);
    profileFile = path;
}

std::wstring ApplicationConfigMFC::ProfileFile() {
    std::lock_guard<std::mutex> lock(profileMutex);
    return profileFile;
}

int ApplicationConfigMFC::GetInt(const std::wstring& key, int defaultValue) const {
    std::lock_guard<std::mutex> lock(profileMutex);
    IniFile file = LoadProfile(profileFile);
    const std::wstring* value = file.Find(section_, key);
    return value != nullptr ? LeadingInteger(*value) : defaultValue;
}

std::wstring ApplicationConfigMFC::GetString(const std::wstring& key,
                                             const std::wstring& defaultValue) const {
    std::lock_guard<std::mutex> lock(profileMutex);
    IniFile file = LoadProfile(profileFile);
    const std::wstring* value = file.Find(section_, key);
    return value != nullptr ? *value : defaultValue;
}

bool ApplicationConfigMFC::GetBool(const std::wstring& key, bool defaultValue) const {
    return GetInt(key, defaultValue ? 1 : 0) > 0;
}

void ApplicationConfigMFC::SetInt(const std::wstring& key, int value) {
    Write(key, std::to_wstring(value), L"WriteProfileInt");
}

void ApplicationConfigMFC::SetString(const std::wstring& key, const std::wstring& value) {
    Write(key, value, L"WriteProfileString");
}

void ApplicationConfigMFC::SetBool(const std::wstring& key, bool value) {
    Write(key, value ? L"1" : L"0", L"WriteProfileInt");
}

void ApplicationConfigMFC::Write(const std::wstring& key, const std::wstring& value,
                                 const wchar_t* callName) {
    std::lock_guard<std::mutex> lock(profileMutex);
    IniFile file = LoadProfile(profileFile);
    file.Set(section_, key, value);
    std::wstring temporary = profileFile + L".tmp";
    bool written = WriteFileBytes(temporary, file.Serialize()) &&
                   std::rename(ToNativePath(temporary).c_str(), ToNativePath(profileFile).c_str()) == 0;
    if (!written) {
        int error = errno;
        std::remove(ToNativePath(temporary).c_str());
        throw exec_error(CommonMessage(101) + L"[" + callName + L"(" + std::to_wstring(error) + L")]");
    }
}
