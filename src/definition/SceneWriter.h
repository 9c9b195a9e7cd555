#pragma once
// Writes the world as a field definition file (format 110, UTF-8) that the definition
// parser reads back: every user item made from a field definition, as the item type it
// was added as, with its parameters and its present placement and motion as the
// standard parameters, under an Information element with the scene's name, author and date.

#include <string>

class FieldItemWorld;

class SceneWriter {
public:
    /// The folder the scenes are written into, below the item folder.
    static constexpr const wchar_t* kSceneFolder = L"items\\scenes";
    /// A scene's name is cut to this many characters in its file name.
    static constexpr std::size_t kMaximumFileNameLength = 80;

    struct Information {
        std::wstring name;
        std::wstring author;
        std::wstring date;
    };

    /// The file text of the world's user items. lowering: the height the main page takes off
    /// every added item, given back here so that adding the file puts the items where they
    /// are. Items made otherwise than from a field definition, and items whose state is not
    /// finite any more, are left out and counted in skipped (when given).
    static std::string Text(FieldItemWorld& world, const Information& information, float lowering,
                            int* skipped = nullptr);

    /// The path of the scene file of a name typed by the user: in the scene folder, with every
    /// character that a file name cannot hold or that would leave the folder replaced by "_".
    static std::wstring PathFor(const std::wstring& name);
    /// True when a file or directory is at the path.
    static bool Exists(const std::wstring& path);
    /// Writes the text to the path, making the scene folder when needed; an existing file is
    /// replaced only when overwrite is true (false and nothing written otherwise). The text
    /// goes to a temporary file first, so that a failed write leaves the old file whole.
    /// Throws file_error naming the path when the file cannot be written.
    static bool Write(const std::wstring& path, const std::string& text, bool overwrite);

    /// Today's local date as "YYYY-MM-DD".
    static std::wstring Today();
    /// The login name of the user running the program; empty when the system has none.
    static std::wstring UserName();
};
