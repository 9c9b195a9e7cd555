#include "framework/DeviceObjectData.h"

#include <array>
#include <utility>

namespace {

// evdev numbers the keys of the main block like the PC scan codes (1 to 83); the
// others, mostly keys behind an E0 prefix and the Japanese keys, are listed here
constexpr std::array<std::pair<std::uint32_t, std::uint32_t>, 37> kEvdevToKeyCode{{
    {85, DIK_KANJI},       // zenkaku/hankaku
    {86, 0x56},            // the 102nd key
    {87, 0x57},            // F11
    {88, 0x58},            // F12
    {89, 0x73},            // ro
    {90, DIK_KANA},        // katakana
    {91, DIK_KANA},        // hiragana
    {92, DIK_CONVERT},     // henkan
    {93, DIK_KANA},        // katakana/hiragana
    {94, DIK_NOCONVERT},   // muhenkan
    {95, 0xB3},            // keypad comma
    {96, DIK_NUMPADENTER}, // keypad enter
    {97, DIK_RCONTROL},    // right control
    {98, 0xB5},            // keypad divide
    {99, 0xB7},            // print screen
    {100, 0xB8},           // right alt
    {102, 0xC7},           // home
    {103, DIK_UP},         // up
    {104, 0xC9},           // page up
    {105, DIK_LEFT},       // left
    {106, DIK_RIGHT},      // right
    {107, 0xCF},           // end
    {108, DIK_DOWN},       // down
    {109, 0xD1},           // page down
    {110, 0xD2},           // insert
    {111, 0xD3},           // delete
    {113, 0xA0},           // mute
    {114, 0xAE},           // volume down
    {115, 0xB0},           // volume up
    {116, 0xDE},           // power
    {117, 0x8D},           // keypad equals
    {119, 0xC5},           // pause
    {124, DIK_YEN},        // yen
    {125, 0xDB},           // left windows key
    {126, 0xDC},           // right windows key
    {127, 0xDD},           // menu
    {142, 0xDF},           // sleep
}};

} // namespace

std::uint32_t ScanCodeFromX11KeyCode(std::uint32_t x11KeyCode) {
    // X11 key codes are the evdev codes plus 8
    if (x11KeyCode < 8 + 1) {
        return 0;
    }
    const std::uint32_t evdev = x11KeyCode - 8;
    if (evdev <= 83) {
        return evdev;
    }
    for (const auto& [from, to] : kEvdevToKeyCode) {
        if (from == evdev) {
            return to;
        }
    }
    return 0;
}
