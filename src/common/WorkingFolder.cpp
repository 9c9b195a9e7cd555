#include "common/WorkingFolder.h"

#include <cstdlib>
#include <system_error>

#include "common/WideText.h"
#include "common/myexception.h"

namespace fs = std::filesystem;

namespace {

/// The folders a working folder holds that an installation provides.
constexpr const char* kProvidedFolders[] = {"items", "data"};

[[noreturn]] void Fail(const std::wstring& action, const fs::path& path, const std::error_code& error) {
    throw file_error(L"Cannot " + action + L" " + FromUtf8(path.string()) + L": " +
                     FromUtf8(error.message()));
}

} // namespace

fs::path WorkingFolder::InstalledShareFolder() {
    std::error_code error;
    const fs::path executable = fs::read_symlink("/proc/self/exe", error);
    if (error) {
        return {};
    }
    return (executable.parent_path().parent_path() / "share" / "kivaro").lexically_normal();
}

fs::path WorkingFolder::UserFolder() {
    // the XDG base directory rule: a relative XDG_DATA_HOME is ignored
    if (const char* dataHome = std::getenv("XDG_DATA_HOME"); dataHome && fs::path(dataHome).is_absolute()) {
        return fs::path(dataHome) / "kivaro";
    }
    if (const char* home = std::getenv("HOME"); home && *home) {
        return fs::path(home) / ".local" / "share" / "kivaro";
    }
    return {};
}

WorkingFolder::Choice WorkingFolder::Prepare(const fs::path& current, const fs::path& share,
                                             const fs::path& user) {
    // a folder that holds a toy box is used as it is
    std::error_code error;
    if (fs::is_directory(current / "items", error)) {
        return {current, Kind::kCurrent};
    }
    // without an installation to copy from (a build tree run from elsewhere) nothing changes
    if (share.empty() || user.empty() || !fs::is_directory(share / "items", error)) {
        return {current, Kind::kCurrent};
    }

    // the user's folder: made once; only what it lacks is copied, so edits and deletions stay
    Kind kind = Kind::kUser;
    if (!fs::is_directory(user, error)) {
        fs::create_directories(user, error);
        if (error) {
            Fail(L"create the folder", user, error);
        }
        kind = Kind::kUserNew;
    }
    for (const char* name : kProvidedFolders) {
        const fs::path target = user / name;
        if (fs::exists(target, error) || !fs::is_directory(share / name, error)) {
            continue;
        }
        // copied beside the target and renamed, so that an interrupted copy is never taken
        // for a complete one on the next start
        const fs::path partial = user / (std::string(name) + ".partial");
        fs::remove_all(partial, error);
        fs::copy(share / name, partial, fs::copy_options::recursive, error);
        if (error) {
            Fail(L"copy into", partial, error);
        }
        fs::rename(partial, target, error);
        if (error) {
            Fail(L"rename", partial, error);
        }
    }
    return {user, kind};
}

WorkingFolder::Choice WorkingFolder::Enter() {
    std::error_code error;
    const fs::path current = fs::current_path(error);
    Choice choice = Prepare(current, InstalledShareFolder(), UserFolder());
    if (choice.folder != current) {
        fs::current_path(choice.folder, error);
        if (error) {
            Fail(L"change into", choice.folder, error);
        }
    }
    return choice;
}
