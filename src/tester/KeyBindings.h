#pragma once
// Every key and mouse action of the view in one table: the tester's key handling finds a
// key's action here, and the key-help overlay and the how-to page list the same rows, so
// that they cannot disagree. Texts come from the program's string table (English and
// Japanese).

#include <cstdint>
#include <span>
#include <string>

class KeyBindings {
public:
    /// What a row does. Mouse rows are handled by the local player, not through this table.
    enum class Action {
        kMouse,
        kViewIsometric,
        kViewTop,
        kPause,
        kStep,
        kGo,
        kKeyHelp,
        kTimingOverlay,
        kContactDisplay,
        kScreenshot,
        kRecordVideo,
        kSlower,
        kFaster,
        /// While paused, one tick back or forward in the world's history.
        kHistoryBack,
        kHistoryForward,
        /// Handled by the view, whose window asks for the scene's name.
        kSaveScene,
    };

    /// Bits of the modifier keys held with a key.
    static constexpr unsigned kNoModifier = 0;
    static constexpr unsigned kControl = 1u << 0;

    struct Binding {
        /// The key's code as the input part reports it; 0 for a mouse row.
        std::uint32_t key;
        unsigned modifiers;
        Action action;
        /// String-table ids: the key or mouse action as the user makes it, and what it does.
        int keyTextId;
        int descriptionId;
    };

    /// Every row, mouse actions first, then the keys in the order the help lists them.
    static std::span<const Binding> Table();
    /// The row of a key pressed with exactly these modifiers, or null.
    static const Binding* Find(std::uint32_t key, unsigned modifiers);
    /// The row's key (or mouse action) and its description in the locale's language.
    static std::wstring KeyText(const Binding& binding);
    static std::wstring Description(const Binding& binding);
};
