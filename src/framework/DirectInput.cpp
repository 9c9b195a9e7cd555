#include "framework/DirectInput.h"

#include <algorithm>
#include <cassert>
#include <climits>

#include "common/LogWriter.h"
#include "common/Messages.h"
#include "framework/FramePacer.h"
#include "framework/MainWindowLink.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\DirectInput";

// a desktop setting as the registry would hold it: its leading decimal digits, 0 when none
int LeadingDecimal(const std::wstring& text) {
    long long value = 0;
    for (wchar_t c : text) {
        if (c < L'0' || c > L'9') {
            break;
        }
        value = std::min<long long>(value * 10 + (c - L'0'), INT_MAX);
    }
    return static_cast<int>(value);
}

} // namespace

DirectInput::DirectInput(MillisecondClock& clock) : clock_(clock) {}

DirectInput::~DirectInput() {
    // a derived class normally released the devices already; the polling thread must not outlive us
    if (pollingThread_.joinable()) {
        callback1_ = nullptr;
        callback2_ = nullptr;
        stopEvent_->Set();
        pollingThread_.join();
    }
}

void DirectInput::Create(const DirectInputConfig& config) {
    Log(kSource, __LINE__, L"DirectInput: DirectInput 初期化開始", 2);
    bufferSize_ = config.bufferSize;
    CreateDevices();
    Log(kSource, __LINE__, L"DirectInput: DirectInput 初期化終了", 2);
}

void DirectInput::Free() {
    Log(kSource, __LINE__, L"DirectInput: DirectInput 解放開始", 2);
    ReleaseDevices();
    Log(kSource, __LINE__, L"DirectInput: DirectInput 解放終了", 2);
}

void DirectInput::CreateDevices() {
    // a second creation replaces the devices of the first
    ReleaseDevices();

    if (bufferSize_ < 1 || bufferSize_ > kMaximumBufferSize) {
        Log(kSource, __LINE__, L"DirectInput: SetProperty 失敗[0x80070057]", 1);
        throw init_error(CommonMessage(125) + L"[SetProperty DIPROP_BUFFERSIZE(E_INVALIDARG)]");
    }
    Log(kSource, __LINE__, L"DirectInput: DirectInput 作成成功", 2);

    // keyboard: the window's key events in a buffer of bufferSize_ records
    Log(kSource, __LINE__, L"DirectInput: キーボードデバイスの作成開始", 2);
    Log(kSource, __LINE__, L"DirectInput: CreateDevice 成功", 2);
    Log(kSource, __LINE__, L"DirectInput: SetDataFormat 成功", 2);
    Log(kSource, __LINE__, L"DirectInput: SetCooperativeLevel 成功", 2);
    {
        std::lock_guard lock(mutex_);
        keyboard_ = Device{};
        keyboard_.buffer.assign(static_cast<std::size_t>(bufferSize_), DIDEVICEOBJECTDATA{});
    }
    ReadKeyRepeatSettings();
    Log(kSource, __LINE__, L"DirectInput: キーボードデバイスの作成終了", 2);

    // mouse: relative axes, wheel and four buttons
    Log(kSource, __LINE__, L"DirectInput: マウスデバイスの作成開始", 2);
    Log(kSource, __LINE__, L"DirectInput: CreateDevice 成功", 2);
    Log(kSource, __LINE__, L"DirectInput: SetDataFormat 成功", 2);
    Log(kSource, __LINE__, L"DirectInput: SetCooperativeLevel 成功", 2);
    {
        std::lock_guard lock(mutex_);
        mouse_ = Device{};
        mouse_.buffer.assign(static_cast<std::size_t>(bufferSize_), DIDEVICEOBJECTDATA{});
        created_ = true;
    }
    Log(kSource, __LINE__, L"DirectInput: マウスデバイスの作成終了", 2);

    // the polling thread runs only for a program that set a callback
    if (callback1_ != nullptr || callback2_ != nullptr) {
        Log(kSource, __LINE__, L"DirectInput: 入力スレッドの開始", 2);
        stopEvent_ = std::make_unique<AutoResetEvent>();
        pollingThread_ = std::thread([this] { InputThread(); });
    }
}

void DirectInput::ReadKeyRepeatSettings() {
    // the desktop's keyboard settings; whatever cannot be read keeps its value
    MainWindowLink* window = GetWindow();
    std::wstring value;
    bool complete = window != nullptr && window->ReadKeyboardSetting(L"KeyboardDelay", value);
    if (complete) {
        keyboardDelay_ = LeadingDecimal(value);
        complete = window->ReadKeyboardSetting(L"KeyboardSpeed", value);
        if (complete) {
            keyboardSpeed_ = LeadingDecimal(value);
        }
    }
    if (!complete) {
        Log(kSource, __LINE__, L"DirectInput: キーリピートレジストリ読み込み失敗", 1);
    }
}

void DirectInput::ReleaseDevices() {
    {
        std::lock_guard lock(mutex_);
        if (!created_) {
            return;
        }
    }
    callback1_ = nullptr;
    callback2_ = nullptr;
    if (pollingThread_.joinable()) {
        stopEvent_->Set();
        pollingThread_.join();
    }
    stopEvent_.reset();
    // the devices go in one step: a read from now on finds none and returns no events,
    // never a record of a buffer that is being freed
    {
        std::lock_guard lock(mutex_);
        created_ = false;
        keyboard_ = Device{};
        mouse_ = Device{};
    }
    Unacquire();
}

void DirectInput::AcquireDevice(Device& device) {
    // foreground level: only the active window can have the devices
    device.lost = false;
    device.acquired = windowActive_;
}

void DirectInput::Acquire() {
    {
        std::lock_guard lock(mutex_);
        if (created_) {
            AcquireDevice(keyboard_);
            AcquireDevice(mouse_);
        }
    }
    Log(kSource, __LINE__, L"DirectInput: Acquire 成功", 3);
}

void DirectInput::Unacquire() {
    {
        std::lock_guard lock(mutex_);
        for (Device* device : {&keyboard_, &mouse_}) {
            device->acquired = false;
            device->lost = false;
            device->queue.clear();
        }
        heldKeys_.clear();
    }
    Log(kSource, __LINE__, L"DirectInput: Unacquire 成功", 3);
}

void DirectInput::SetKeyRepeat(bool on) {
    std::lock_guard lock(mutex_);
    keyRepeat_ = on;
}

bool DirectInput::KeyRepeat() const {
    std::lock_guard lock(mutex_);
    return keyRepeat_;
}

DirectInput::ReadResult DirectInput::GetDeviceData(Device& device, int& count) {
    count = 0;
    if (device.lost) {
        return ReadResult::inputLost;
    }
    if (!device.acquired) {
        return ReadResult::notAcquired;
    }
    while (count < bufferSize_ && !device.queue.empty()) {
        device.buffer[static_cast<std::size_t>(count++)] = device.queue.front();
        device.queue.pop_front();
    }
    return ReadResult::ok;
}

DIDEVICEOBJECTDATA* DirectInput::ReadKeyboard(int& count) {
    std::unique_lock lock(mutex_);
    count = 0;
    if (!created_) {
        return nullptr;
    }

    // any failure: reacquire and read once more
    if (GetDeviceData(keyboard_, count) != ReadResult::ok) {
        AcquireDevice(keyboard_);
        AcquireDevice(mouse_);
        Log(kSource, __LINE__, L"DirectInput: Acquire 成功", 3);
        if (GetDeviceData(keyboard_, count) != ReadResult::ok) {
            count = 0;
            return keyboard_.buffer.data();
        }
    }
    if (!keyRepeat_) {
        return keyboard_.buffer.data();
    }

    // keys pressed now start their repeat delay; released keys stop repeating
    const std::uint32_t now = clock_.Now();
    for (int i = 0; i < count; ++i) {
        const DIDEVICEOBJECTDATA& event = keyboard_.buffer[static_cast<std::size_t>(i)];
        if (IsNoRepeatKey(event.dwOfs)) {
            continue;
        }
        if ((event.dwData & kPressedBit) == 0) {
            heldKeys_.erase(event.dwOfs);
        } else {
            heldKeys_[event.dwOfs] = HeldKey{now, false};
        }
    }
    AppendKeyRepeats(count);
    return keyboard_.buffer.data();
}

void DirectInput::AppendKeyRepeats(int& count) {
    const std::uint32_t now = clock_.Now();
    // delay (0-3): quarter seconds before the first repeat, minus one
    const long long delayMilliseconds = (static_cast<long long>(keyboardDelay_) + 1) * 250;
    // speed 0-31: from 500 ms down to 33 ms between repeats; beyond 33 the interval
    // turns negative and, compared as unsigned, is never reached
    const long long interval = 500 - static_cast<long long>(keyboardSpeed_) * 467 / 31;

    for (auto& [code, held] : heldKeys_) {
        const std::uint32_t sinceLast = now - held.time;
        if (!held.repeating && sinceLast > delayMilliseconds) {
            held.repeating = true;
        }
        if (held.repeating && interval >= 0 && sinceLast > interval) {
            // a release and a press of the key, when both fit in the buffer
            if (count + 2 <= bufferSize_) {
                for (std::uint32_t data : {0u, kPressedBit}) {
                    DIDEVICEOBJECTDATA& event = keyboard_.buffer[static_cast<std::size_t>(count++)];
                    event.dwOfs = code;
                    event.dwData = data;
                    event.dwTimeStamp = now;
                    event.dwSequence = ++sequence_;
                    event.uAppData = 0;
                }
            }
            held.time = now;
        }
    }
}

DIDEVICEOBJECTDATA* DirectInput::ReadMouse(int& count) {
    std::lock_guard lock(mutex_);
    count = 0;
    if (!created_) {
        return nullptr;
    }
    // only a lost device is reacquired; any other failure reports no events
    const ReadResult result = GetDeviceData(mouse_, count);
    if (result == ReadResult::inputLost) {
        AcquireDevice(keyboard_);
        AcquireDevice(mouse_);
        Log(kSource, __LINE__, L"DirectInput: Acquire 成功", 3);
        if (GetDeviceData(mouse_, count) != ReadResult::ok) {
            count = 0;
        }
    } else if (result != ReadResult::ok) {
        count = 0;
    }
    return mouse_.buffer.data();
}

void DirectInput::SetCallback1(InputCallback* callback) {
    callback1_ = callback;
}

void DirectInput::SetCallback2(InputCallback* callback) {
    callback2_ = callback;
}

bool DirectInput::IsNoRepeatKey(std::uint32_t code) const {
    return code == DIK_KANJI || code == DIK_CAPITAL || code == DIK_KANA;
}

void DirectInput::InputThread() {
    Log(kSource, __LINE__, L"InputThread 開始", 2);
    FramePacer pacer(clock_);
    while (!stopEvent_->TryWait()) {
        if (!pacer.Poll()) {
            continue;
        }
        const int ticks = pacer.StartFrame();
        if (InputCallback* callback = callback1_) {
            callback->Call();
        }
        if (InputCallback* callback = callback2_) {
            callback->Call();
        }
        pacer.FinishFrame(ticks);
    }
    Log(kSource, __LINE__, L"InputThread 終了", 2);
}

void DirectInput::Push(Device& device, std::uint32_t offset, std::uint32_t data, std::uint32_t sequence) {
    // an unacquired device buffers nothing; a full one loses the newer events
    if (!device.acquired || device.queue.size() >= kDeviceQueueCapacity) {
        return;
    }
    device.queue.push_back(DIDEVICEOBJECTDATA{offset, data, clock_.Now(), sequence, 0});
}

void DirectInput::KeyEvent(std::uint32_t scanCode, bool pressed) {
    if (scanCode == 0 || scanCode > 0xFF) {
        return;
    }
    std::lock_guard lock(mutex_);
    // only transitions count: a second press of a key that is down is the desktop's repeat
    if (keysDown_[scanCode] == pressed) {
        return;
    }
    keysDown_[scanCode] = pressed;
    Push(keyboard_, scanCode, pressed ? kPressedBit : 0, ++sequence_);
}

void DirectInput::MouseMoved(int x, int y) {
    std::lock_guard lock(mutex_);
    if (cursorKnown_ && (x != cursorX_ || y != cursorY_)) {
        // both axes of one move share a sequence number
        const std::uint32_t sequence = ++sequence_;
        if (x != cursorX_) {
            Push(mouse_, DIMOFS_X, static_cast<std::uint32_t>(x - cursorX_), sequence);
        }
        if (y != cursorY_) {
            Push(mouse_, DIMOFS_Y, static_cast<std::uint32_t>(y - cursorY_), sequence);
        }
    }
    cursorKnown_ = true;
    cursorX_ = x;
    cursorY_ = y;
}

void DirectInput::MouseButtonEvent(int button, bool pressed, int x, int y) {
    if (button < 0 || button > 3) {
        return;
    }
    // the move up to the click comes first
    MouseMoved(x, y);
    std::lock_guard lock(mutex_);
    if (buttonsDown_[button] == pressed) {
        return;
    }
    buttonsDown_[button] = pressed;
    Push(mouse_, DIMOFS_BUTTON0 + static_cast<std::uint32_t>(button), pressed ? kPressedBit : 0, ++sequence_);
}

void DirectInput::MouseWheelEvent(int delta) {
    if (delta == 0) {
        return;
    }
    std::lock_guard lock(mutex_);
    Push(mouse_, DIMOFS_Z, static_cast<std::uint32_t>(delta), ++sequence_);
}

void DirectInput::WindowActivated(bool active) {
    std::lock_guard lock(mutex_);
    windowActive_ = active;
    if (active) {
        return;
    }
    // another window took the input: acquired devices are lost with their events, and
    // releases of keys and buttons that are down now will not be seen (so no held key
    // may go on repeating)
    for (Device* device : {&keyboard_, &mouse_}) {
        if (device->acquired) {
            device->acquired = false;
            device->lost = true;
        }
        device->queue.clear();
    }
    heldKeys_.clear();
    std::fill(std::begin(keysDown_), std::end(keysDown_), false);
    std::fill(std::begin(buttonsDown_), std::end(buttonsDown_), false);
}

bool DirectInput::CursorPosition(int& x, int& y) const {
    std::lock_guard lock(mutex_);
    x = cursorX_;
    y = cursorY_;
    return cursorKnown_;
}

bool DirectInput::IsButtonDown(int button) const {
    if (button < 0 || button > 3) {
        return false;
    }
    std::lock_guard lock(mutex_);
    return buttonsDown_[button];
}

int DirectInput::KeyboardDelayFromMilliseconds(int milliseconds) {
    // (delay + 1) quarter seconds, rounded; wide enough for any int
    return static_cast<int>(std::clamp((static_cast<long long>(milliseconds) + 125) / 250 - 1, 0LL, 3LL));
}

int DirectInput::KeyboardSpeedFromInterval(int milliseconds) {
    // the interval is 500 - speed * 467 / 31 ms
    const long long speed = (500LL - milliseconds) * 31 / 467;
    return static_cast<int>(std::clamp(speed, 0LL, 31LL));
}
