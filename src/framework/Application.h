#pragma once
// Base class of a real-time program: combines the device parts, initialises the
// ones a derived class selects in a fixed order, runs timing threads (std::thread)
// that call the derived class's Draw and Exec at a 60 Hz cadence, and tears
// everything down again. Every step is written to the process-wide log.

#include <atomic>
#include <cstdint>
#include <future>
#include <memory>
#include <thread>

#include "framework/AutoResetEvent.h"
#include "framework/Direct3D.h"
#include "framework/DirectAudio.h"
#include "framework/DirectDraw.h"
#include "framework/DirectInput.h"
#include "framework/DirectPlay.h"
#include "framework/MillisecondClock.h"

class MainWindowLink;

class Application : public DirectDraw,
                    public Direct3D,
                    public DirectInput,
                    public DirectPlay,
                    public DirectAudio {
public:
    /// The waits for the timing threads give up after this long (and then wait on, see FreeApplication).
    static constexpr int kThreadWaitMilliseconds = 3000;
    /// What a wait reports: the thread ended, or the time-out passed first.
    static constexpr int kWaitEnded = 0;
    static constexpr int kWaitTimedOut = 258;

    /// instance: the program's module (opaque); window: the main window, may be null;
    /// clock: the time of the timing loops and of key repeat.
    Application(void* instance, MainWindowLink* window, MillisecondClock& clock = SystemClock());
    /// Destroys the parts; the derived class's destructor must have called FreeApplication.
    ~Application() override;

    /// Initialises the selected parts, runs the creation hooks and starts the timing
    /// threads. Throws what a part or hook throws; nothing is undone (FreeApplication does it).
    virtual void CreateApplication();
    /// Stops the threads and releases the parts; safe after a partial CreateApplication.
    virtual void FreeApplication();
    /// Freeing any part frees the whole application.
    void Free() override { FreeApplication(); }
    MainWindowLink* GetWindow() override { return window_; }
    void* GetInstance() override { return instance_; }

    // hooks of the creation and free sequences; empty here
    virtual void ReadRegistry() {}
    virtual void WriteRegistry() {}
    virtual void CreateApplicationPre() {}
    virtual void CreateApplicationMain() {}
    virtual void CreateApplicationPost() {}
    virtual void FreeApplicationPre() {}
    virtual void FreeApplicationMain() {}
    virtual void FreeApplicationPost() {}

    /// ticks: whole 1/60 s units elapsed since the previous call (the fraction is carried).
    virtual void Draw(int ticks) = 0;
    virtual void Exec(int ticks) = 0;

    /// The last measured frame rates; readable from any thread.
    int DrawFps() const { return drawFps_; }
    int ExecFps() const { return execFps_; }
    int ThreadFps() const { return threadFps_; }

    /// Loop of the single thread: Draw then Exec with the same tick count.
    virtual void Thread();
    /// Loop of the drawing thread.
    virtual void DrawThread();
    /// Loop of the execution thread.
    virtual void ExecThread();

    virtual void GetDirectDrawConfig(DirectDrawConfig& config);
    virtual void GetDirect3DConfig(Direct3DConfig& config);
    virtual void GetDirectInputConfig(DirectInputConfig& config);
    virtual void GetDirectAudioConfig(DirectAudioConfig& config);
    virtual void GetDirectPlayConfig(DirectPlayConfig& config);

    /// Set by the first loop that sees the stop event; stays set.
    bool StopFlag() const { return stopFlag_; }

protected:
    /// true: separate drawing and execution threads; false: one thread calls Draw then Exec.
    bool splitThreads_ = true;
    // the parts CreateApplication initialises and FreeApplication releases
    bool useDirectDraw_ = false;
    bool useDirect3D_ = false;
    bool useDirectInput_ = false;
    bool useDirectAudio_ = false;
    bool useDirectPlay_ = false;

private:
    enum class LoopKind { draw, exec, single };

    struct LoopThread {
        std::thread thread;
        /// Set from the start until FreeApplication has waited for the loop, or until the
        /// loop ended on an error.
        std::atomic<bool> running{false};
        /// Ready once the thread has left its loop function.
        std::future<void> ended;
    };

    void StartLoop(LoopThread& loop, void (Application::*body)());
    void StopLoop(LoopThread& loop, const wchar_t* waitText, const wchar_t* endText);
    void RunLoop(LoopKind kind);
    LoopThread& LoopOf(LoopKind kind);

    void* instance_;
    MainWindowLink* window_;
    MillisecondClock& clock_;

    LoopThread drawThread_;
    LoopThread execThread_;
    LoopThread singleThread_;
    /// Created by CreateApplication, signalled by FreeApplication; exists while the loops run.
    std::unique_ptr<AutoResetEvent> stopEvent_;
    std::atomic<bool> stopFlag_{false};
    // each written by its own loop only
    std::atomic<int> drawFps_{0};
    std::atomic<int> execFps_{0};
    std::atomic<int> threadFps_{0};
};
