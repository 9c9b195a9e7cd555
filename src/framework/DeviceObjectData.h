#pragma once
// The buffered input record of the keyboard and the mouse (20 bytes: offset, data,
// time stamp, sequence, application data) with the offsets of the standard mouse
// format and the key codes the program looks at. Key codes are the keyboard's
// scan codes as the input part reports them.

#include <cstddef>
#include <cstdint>

struct DIDEVICEOBJECTDATA {
    /// Key code for the keyboard; axis or button offset for the mouse.
    std::uint32_t dwOfs;
    /// Signed movement for a mouse axis; for keys and buttons bit 7 set means pressed.
    std::uint32_t dwData;
    /// Milliseconds of the framework's clock when the event happened.
    std::uint32_t dwTimeStamp;
    /// Events that happened together (the two axes of one move) share a number.
    std::uint32_t dwSequence;
    std::uint32_t uAppData;
};
static_assert(sizeof(DIDEVICEOBJECTDATA) == 20);
static_assert(offsetof(DIDEVICEOBJECTDATA, dwData) == 4 && offsetof(DIDEVICEOBJECTDATA, dwTimeStamp) == 8 &&
              offsetof(DIDEVICEOBJECTDATA, dwSequence) == 12 && offsetof(DIDEVICEOBJECTDATA, uAppData) == 16);

// offsets of the standard relative mouse format
constexpr std::uint32_t DIMOFS_X = 0;
constexpr std::uint32_t DIMOFS_Y = 4;
/// Wheel movement: 120 per notch, positive away from the user.
constexpr std::uint32_t DIMOFS_Z = 8;
/// Left button.
constexpr std::uint32_t DIMOFS_BUTTON0 = 12;
/// Right button.
constexpr std::uint32_t DIMOFS_BUTTON1 = 13;
/// Middle button.
constexpr std::uint32_t DIMOFS_BUTTON2 = 14;
constexpr std::uint32_t DIMOFS_BUTTON3 = 15;

/// Bit 7 of a key's or a button's data: pressed.
constexpr std::uint32_t kPressedBit = 0x80;
/// One notch of the mouse wheel.
constexpr int kWheelNotch = 120;

// key codes (scan codes of the PC keyboard; keys behind an E0 prefix carry bit 7)
constexpr std::uint32_t DIK_ESCAPE = 0x01;
constexpr std::uint32_t DIK_1 = 0x02;
constexpr std::uint32_t DIK_2 = 0x03;
constexpr std::uint32_t DIK_MINUS = 0x0C;
constexpr std::uint32_t DIK_EQUALS = 0x0D;
constexpr std::uint32_t DIK_P = 0x19;
constexpr std::uint32_t DIK_LCONTROL = 0x1D;
constexpr std::uint32_t DIK_S = 0x1F;
constexpr std::uint32_t DIK_G = 0x22;
constexpr std::uint32_t DIK_C = 0x2E;
constexpr std::uint32_t DIK_CAPITAL = 0x3A;
constexpr std::uint32_t DIK_F1 = 0x3B;
constexpr std::uint32_t DIK_F3 = 0x3D;
constexpr std::uint32_t DIK_F10 = 0x44;
constexpr std::uint32_t DIK_F12 = 0x58;
constexpr std::uint32_t DIK_KANA = 0x70;
constexpr std::uint32_t DIK_CONVERT = 0x79;
constexpr std::uint32_t DIK_NOCONVERT = 0x7B;
constexpr std::uint32_t DIK_YEN = 0x7D;
constexpr std::uint32_t DIK_KANJI = 0x94;
constexpr std::uint32_t DIK_NUMPADENTER = 0x9C;
constexpr std::uint32_t DIK_RCONTROL = 0x9D;
constexpr std::uint32_t DIK_UP = 0xC8;
constexpr std::uint32_t DIK_LEFT = 0xCB;
constexpr std::uint32_t DIK_RIGHT = 0xCD;
constexpr std::uint32_t DIK_DOWN = 0xD0;

/// The key code of an X11 key code (evdev keyboards: the key code minus 8, with the
/// keys that evdev numbers apart from the PC scan codes mapped to theirs); 0 for a key
/// that has no key code.
std::uint32_t ScanCodeFromX11KeyCode(std::uint32_t x11KeyCode);
