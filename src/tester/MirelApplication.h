#pragma once
// The program's one application: owns the world, and on every tick of its single
// timing thread reads the keyboard and the mouse, advances the world by 1/60 s of
// simulated time in fixed steps and draws it (clear, light, camera, the world with
// planar shadows, the frame rate), once or twice side by side for a stereogram.
// The exec lock serialises that thread against the user-interface thread.

#include <atomic>
#include <chrono>
#include <memory>
#include <mutex>
#include <string>

#include "framework/Application.h"
#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"
#include "physics/Matrix4.h"
#include "physics/StepTiming.h"
#include "tester/KeyBindings.h"
#include "tester/ViewOverlay.h"
#include "tester/WorldPainter.h"

class FieldItemWorld;
class D3DFont;
class ImpactSoundListener;
class PHSound;
class PlayerLocal;
class VideoRecorder;
class ViewerSettings;
class ViewWindow;
class WorldHistory;

class MirelApplication : public Application {
public:
    /// The recursive lock with its name and the count of entries held (for the log and tests).
    class ExecLock {
    public:
        explicit ExecLock(std::wstring name) : name_(std::move(name)) {}
        void lock() {
            mutex_.lock();
            ++count_;
        }
        void unlock() {
            --count_;
            mutex_.unlock();
        }
        bool try_lock() {
            if (!mutex_.try_lock()) {
                return false;
            }
            ++count_;
            return true;
        }
        const std::wstring& Name() const { return name_; }
        int Count() const { return count_; }
        /// The mutex itself, for code that takes a std::recursive_mutex (FieldCatalog::Add).
        std::recursive_mutex& Mutex() { return mutex_; }

    private:
        std::recursive_mutex mutex_;
        std::wstring name_;
        std::atomic<int> count_{0};
    };

    /// Time steps below this are taken as this long, s: a tick must end.
    static constexpr double kMinimumTimeStep = 0.0001;
    /// The source of this class's log records.
    static constexpr const wchar_t* kLogSource = L".\\MirelApplication";

    /// instance: the program's module (opaque); window: the main window (may be null in
    /// tests); view: the window whose client area shows the world (may be null). The local
    /// player takes the cursor from the input part's events, else from the view, and the
    /// buttons from the input part. Fills the detector registry.
    MirelApplication(void* instance, MainWindowLink* window, ViewWindow* view = nullptr,
                     MillisecondClock& clock = SystemClock());
    /// FreeApplication, then the detector registry, then the object manager.
    ~MirelApplication() override;

    void CreateApplicationMain() override;
    void FreeApplicationPost() override;
    void Draw(int ticks) override;
    void Exec(int ticks) override;
    void GetDirect3DConfig(Direct3DConfig& config) override;
    void OnDeviceCreated() override;

    /// Render states, light, shadow matrix and shadow material.
    void SetupDeviceState();
    /// Resizes the back buffer and the main window to the configured screen size; a
    /// failure forgets the device (nothing more is drawn or simulated) and is shown.
    void ResetDevice();
    /// The object manager's lost then reset, under the exec lock.
    void ReloadDeviceObjects();
    /// Stores the flag in the configuration under the exec lock.
    void SetStereogram(bool on);
    /// Shows the version dialog through the main window.
    void ShowVersion();
    /// The object manager loses the device resources of its objects before the device goes.
    void OnDeviceReleasing() override;

    ExecLock& Lock() { return execLock_; }
    /// Null before CreateApplicationMain and after FreeApplicationPost.
    FieldItemWorld* World() const { return world_.get(); }

    /// While paused, shows the world one tick earlier (StepBack) or later (StepForward) in its
    /// history, under the exec lock; false at either end, while running, or without a history.
    /// Going on (a step or Go) continues from the state shown.
    bool StepBack();
    bool StepForward();
    /// The last seconds of the world's items, one entry per tick.
    const WorldHistory& History() const { return *history_; }

    /// Written without the lock by both threads (single bytes, as the design has them).
    std::atomic<bool> paused{false};
    std::atomic<bool> singleStep{false};

    // the viewer's tools, switched by their keys (any thread)
    std::atomic<bool> keyHelp{false};
    std::atomic<bool> timingOverlay{false};
    std::atomic<bool> contactDisplay{false};

    /// What a key of the key table does; the keyboard's keys come here on the application thread.
    void RunKeyAction(KeyBindings::Action action);
    /// Replaces the program that encodes recordings ("ffmpeg"); one that cannot be started makes
    /// recordings numbered PNG files. Not while recording.
    void SetVideoEncoder(const std::string& program);
    bool IsRecording() const;
    /// The file or folder of the last screenshot or recording begun; empty before the first.
    std::string LastCapturePath() const;
    /// How many world steps the last tick ran.
    int LastTickSteps() const { return lastTickSteps_; }

    const Matrix4& ViewMatrix() const { return painter_.ViewMatrix(); }
    const Matrix4& ProjectionMatrix() const { return painter_.ProjectionMatrix(); }
    const Matrix4& ShadowMatrix() const { return painter_.ShadowMatrix(); }
    const MaterialRecord& ShadowMaterial() const { return painter_.ShadowMaterial(); }

private:
    /// The steps of one tick and the tick's end; the caller holds the exec lock.
    void RunTick();
    /// The keys of one read of the keyboard, through the key table.
    void HandleKeys(const DIDEVICEOBJECTDATA* events, int count);
    /// The key help and the timing panel over the finished passes.
    void DrawOverlays(RenderDevice& device);
    /// The screenshot asked for and the recording's frame when one is due, from the finished frame.
    void CaptureFrame(RenderDevice& device);
    /// What is shown but never captured: the recording dot and the last status text.
    void DrawMarks(RenderDevice& device);
    /// Tells the user in the log, the window's status text and the view.
    void ShowStatus(const std::wstring& text, bool failure);
    /// "<folder>/Kivaro-YYYYMMDD-HHMMSS" with a number added when a file of the name exists.
    std::string CaptureBase(const std::string& extension) const;
    /// One pass of a frame: the whole view, or one half of a stereogram.
    void DrawPass(RenderDevice& device, int pass);
    PlayerLocal* Player() const;

    ViewWindow* viewWindow_;
    /// What the world and its player see of the view: the cursor and the buttons.
    std::unique_ptr<ViewWindow> inputView_;
    /// What the player sees of the configuration.
    std::unique_ptr<ViewerSettings> viewerSettings_;
    /// The world's impacts play on the sound part.
    std::unique_ptr<PHSound> impactSound_;
    std::unique_ptr<ImpactSoundListener> impactListener_;
    std::unique_ptr<FieldItemWorld> world_;
    std::unique_ptr<WorldHistory> history_;
    ExecLock execLock_{L"MirelExec"};
    /// Draws the frames, with the light and the shadows.
    WorldPainter painter_;
    D3DFont* fpsFont_ = nullptr;
    /// A control key is held, as the keyboard's events last told (application thread).
    bool controlDown_ = false;

    // slow motion: the share of a tick's steps not run yet
    double stepsOwed_ = 0.0;
    std::atomic<int> lastTickSteps_{0};
    /// The phases' times summed over the last tick's steps, and the last frame's drawing time, s.
    StepTiming tickTiming_;
    double drawSeconds_ = 0.0;

    // screenshots and recordings, under the exec lock
    bool screenshotWanted_ = false;
    bool recordToggleWanted_ = false;
    std::unique_ptr<VideoRecorder> recorder_;
    /// Frames owed to the recording: one per tick's worth of simulated time.
    double framesDue_ = 0.0;
    std::string lastCapturePath_;
    std::wstring statusText_;
    /// The status text shows until then.
    std::chrono::steady_clock::time_point statusUntil_;
    ViewOverlay helpPanel_;
    ViewOverlay timingPanel_;
    ViewOverlay marks_;
};
