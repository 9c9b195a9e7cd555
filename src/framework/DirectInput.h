#pragma once
// The input part of the application, built on the main window's events: the
// window layer pushes key and mouse events into it (WindowInputSink), and the
// application reads them back as buffered keyboard and mouse records in the
// layout of DIDEVICEOBJECTDATA. It can synthesise key repeats from the desktop's
// keyboard settings and run a polling thread that calls two callbacks.

#include <atomic>
#include <cstdint>
#include <deque>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "framework/AutoResetEvent.h"
#include "framework/DeviceObjectData.h"
#include "framework/DirectX.h"
#include "framework/MillisecondClock.h"

/// The configuration record: how many events each device returns per read.
struct DirectInputConfig {
    std::int32_t bufferSize = 16;
};

/// A callback of the polling thread.
class InputCallback {
public:
    virtual ~InputCallback() = default;
    virtual void Call() = 0;
};

/// What the window layer tells the input part. Positions are client coordinates of
/// the view; keys report physical transitions only (the desktop's own auto-repeat is
/// left out by the window layer). Called on the user-interface thread.
class WindowInputSink {
public:
    virtual ~WindowInputSink() = default;
    /// A key went down or up; scanCode as ScanCodeFromX11KeyCode gives it.
    virtual void KeyEvent(std::uint32_t scanCode, bool pressed) = 0;
    /// The cursor moved to (x, y).
    virtual void MouseMoved(int x, int y) = 0;
    /// Button 0 left, 1 right, 2 middle, 3 fourth went down or up at (x, y).
    virtual void MouseButtonEvent(int button, bool pressed, int x, int y) = 0;
    /// The wheel turned by delta (120 per notch, positive away from the user).
    virtual void MouseWheelEvent(int delta) = 0;
    /// The window became the active window or stopped being it.
    virtual void WindowActivated(bool active) = 0;
};

class DirectInput : public DirectX, public WindowInputSink {
public:
    /// Events a device keeps between reads; beyond it, newer events are lost.
    static constexpr std::size_t kDeviceQueueCapacity = 1024;
    static constexpr std::int32_t kMaximumBufferSize = 4096;

    explicit DirectInput(MillisecondClock& clock = SystemClock());
    ~DirectInput() override;

    /// Stores the buffer size and creates the devices (not acquired).
    virtual void Create(const DirectInputConfig& config);
    void Free() override;
    /// Acquires the keyboard and the mouse: from now on, while the window is active,
    /// their events are buffered.
    virtual void Acquire();
    /// Unacquires both devices and forgets the held keys.
    virtual void Unacquire();
    virtual void SetKeyRepeat(bool on);
    /// Reads up to the buffer size of keyboard events (with key repeats when on). The
    /// records stay valid until the next keyboard read; null with count 0 without devices.
    virtual DIDEVICEOBJECTDATA* ReadKeyboard(int& count);
    /// Reads up to the buffer size of mouse events; valid until the next mouse read.
    virtual DIDEVICEOBJECTDATA* ReadMouse(int& count);
    /// Callback objects are not owned; set them before Create to start the polling thread.
    virtual void SetCallback1(InputCallback* callback);
    virtual void SetCallback2(InputCallback* callback);
    virtual void CreateDevices();
    virtual void ReleaseDevices();
    /// Kanji, Caps Lock and Kana never repeat.
    virtual bool IsNoRepeatKey(std::uint32_t code) const;
    /// The polling thread's loop.
    virtual void InputThread();

    // the window layer's events
    void KeyEvent(std::uint32_t scanCode, bool pressed) override;
    void MouseMoved(int x, int y) override;
    void MouseButtonEvent(int button, bool pressed, int x, int y) override;
    void MouseWheelEvent(int delta) override;
    void WindowActivated(bool active) override;

    /// The last cursor position in the view's client coordinates; false before any is known.
    bool CursorPosition(int& x, int& y) const;
    /// Whether mouse button 0 left, 1 right, 2 middle or 3 is down at this moment.
    bool IsButtonDown(int button) const;

    bool KeyRepeat() const;
    int KeyboardDelay() const { return keyboardDelay_; }
    int KeyboardSpeed() const { return keyboardSpeed_; }
    int BufferSize() const { return bufferSize_; }

    /// Converts a desktop's repeat delay in milliseconds to the 0-3 scale of KeyboardDelay.
    static int KeyboardDelayFromMilliseconds(int milliseconds);
    /// Converts a desktop's repeat interval in milliseconds to the 0-31 scale of KeyboardSpeed.
    static int KeyboardSpeedFromInterval(int milliseconds);

private:
    enum class ReadResult { ok, notAcquired, inputLost };

    struct Device {
        bool acquired = false;
        /// Acquired, then the window stopped being active.
        bool lost = false;
        std::deque<DIDEVICEOBJECTDATA> queue;
        std::vector<DIDEVICEOBJECTDATA> buffer;
    };

    struct HeldKey {
        std::uint32_t time;
        bool repeating;
    };

    ReadResult GetDeviceData(Device& device, int& count);
    void AcquireDevice(Device& device);
    void ReadKeyRepeatSettings();
    void AppendKeyRepeats(int& count);
    void Push(Device& device, std::uint32_t offset, std::uint32_t data, std::uint32_t sequence);

    MillisecondClock& clock_;
    std::int32_t bufferSize_ = 0;

    // devices, the held keys and the cursor state: written by the user-interface thread,
    // read by the application thread
    mutable std::mutex mutex_;
    bool created_ = false;
    bool windowActive_ = true;
    Device keyboard_;
    Device mouse_;
    std::uint32_t sequence_ = 0;
    bool keysDown_[256] = {};
    std::map<std::uint32_t, HeldKey> heldKeys_;
    bool cursorKnown_ = false;
    int cursorX_ = 0;
    int cursorY_ = 0;
    bool buttonsDown_[4] = {};

    bool keyRepeat_ = true; // guarded by mutex_
    // read from the desktop while the devices are created, before any read
    int keyboardDelay_ = 0;
    int keyboardSpeed_ = 49;

    std::atomic<InputCallback*> callback1_{nullptr};
    std::atomic<InputCallback*> callback2_{nullptr};
    std::unique_ptr<AutoResetEvent> stopEvent_;
    std::thread pollingThread_;
};
