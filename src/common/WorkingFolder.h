#pragma once
// The folder the programs work in. Both front ends read items/ and data/ and write their
// settings and log relative to the current directory. Started in a folder that holds
// items/ (the source tree, or one a user prepared), they stay there. An installed program
// started elsewhere (from the desktop's menu, in the user's home) works in a folder of the
// user's own instead, made on the first start from the installed toy box and assets.

#include <filesystem>

class WorkingFolder {
public:
    /// Where the choice fell.
    enum class Kind {
        kCurrent, ///< the current directory holds items/, or nothing is installed to copy
        kUser,    ///< the user's own folder, already filled by an earlier start
        kUserNew, ///< the user's own folder, made and filled by this start
    };

    struct Choice {
        std::filesystem::path folder;
        Kind kind = Kind::kCurrent;
    };

    /// The installed share folder: ../share/kivaro beside the running executable's folder.
    static std::filesystem::path InstalledShareFolder();

    /// $XDG_DATA_HOME/kivaro when that is an absolute path, otherwise $HOME/.local/share/kivaro;
    /// empty when neither is set.
    static std::filesystem::path UserFolder();

    /// Chooses the folder for a start in `current` and makes it ready: a user folder that is
    /// missing is created, and each of items/ and data/ it lacks is copied from `share`.
    /// Files already there are never overwritten. Throws myexception with a user-readable
    /// text when the user's folder cannot be made or filled. Does not change directory.
    static Choice Prepare(const std::filesystem::path& current, const std::filesystem::path& share,
                          const std::filesystem::path& user);

    /// Prepare for the current directory, the installed share folder and the user's folder,
    /// then changes into the chosen folder.
    static Choice Enter();
};
