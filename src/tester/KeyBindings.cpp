#include "tester/KeyBindings.h"

#include <array>

#include "common/Messages.h"
#include "framework/DeviceObjectData.h"

namespace {

using Action = KeyBindings::Action;
using Binding = KeyBindings::Binding;
constexpr unsigned kNone = KeyBindings::kNoModifier;

// ids 2200-2299 of the program's string table: 2200-2219 the mouse rows, 2220 on the keys
constexpr std::array kTable{
    Binding{0, kNone, Action::kMouse, 2200, 2201},
    Binding{0, kNone, Action::kMouse, 2202, 2203},
    Binding{0, kNone, Action::kMouse, 2204, 2205},
    Binding{0, kNone, Action::kMouse, 2206, 2207},
    Binding{0, kNone, Action::kMouse, 2208, 2209},
    Binding{0, kNone, Action::kMouse, 2210, 2211},
    Binding{DIK_1, kNone, Action::kViewIsometric, 2220, 2221},
    Binding{DIK_2, kNone, Action::kViewTop, 2222, 2223},
    Binding{DIK_P, kNone, Action::kPause, 2224, 2225},
    Binding{DIK_S, kNone, Action::kStep, 2226, 2227},
    Binding{DIK_G, kNone, Action::kGo, 2228, 2229},
    Binding{DIK_LEFT, kNone, Action::kHistoryBack, 2244, 2245},
    Binding{DIK_RIGHT, kNone, Action::kHistoryForward, 2246, 2247},
    Binding{DIK_S, KeyBindings::kControl, Action::kSaveScene, 2248, 2249},
    Binding{DIK_MINUS, kNone, Action::kSlower, 2230, 2231},
    Binding{DIK_EQUALS, kNone, Action::kFaster, 2232, 2233},
    Binding{DIK_C, kNone, Action::kContactDisplay, 2234, 2235},
    Binding{DIK_F1, kNone, Action::kKeyHelp, 2236, 2237},
    Binding{DIK_F3, kNone, Action::kTimingOverlay, 2238, 2239},
    Binding{DIK_F10, kNone, Action::kRecordVideo, 2240, 2241},
    Binding{DIK_F12, kNone, Action::kScreenshot, 2242, 2243},
};

} // namespace

std::span<const KeyBindings::Binding> KeyBindings::Table() {
    return kTable;
}

const KeyBindings::Binding* KeyBindings::Find(std::uint32_t key, unsigned modifiers) {
    if (key == 0) {
        return nullptr;
    }
    for (const Binding& binding : kTable) {
        if (binding.key == key && binding.modifiers == modifiers) {
            return &binding;
        }
    }
    return nullptr;
}

std::wstring KeyBindings::KeyText(const Binding& binding) {
    return ProgramMessage(binding.keyTextId);
}

std::wstring KeyBindings::Description(const Binding& binding) {
    return ProgramMessage(binding.descriptionId);
}
