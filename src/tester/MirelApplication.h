#pragma once
// The program's one application: owns the world, and on every tick of its single
// timing thread reads the keyboard and the mouse, advances the world by 1/60 s of
// simulated time in fixed steps and draws it (clear, light, camera, the world with
// planar shadows, the frame rate), once or twice side by side for a stereogram.
// The exec lock serialises that thread against the user-interface thread.

#include <atomic>
#include <memory>
#include <mutex>
#include <string>

#include "framework/Application.h"
#include "framework/D3DObjectManager.h"
#include "physics/Matrix4.h"

class FieldItemWorld;
class D3DFont;
class ViewWindow;

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

    /// instance: the program's module (opaque); window: the main window (may be null in
    /// tests); view: the window whose client area shows the world (may be null).
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

    ExecLock& Lock() { return execLock_; }
    /// Null before CreateApplicationMain and after FreeApplicationPost.
    FieldItemWorld* World() const { return world_.get(); }

    /// Written without the lock by both threads (single bytes, as the design has them).
    std::atomic<bool> paused{false};
    std::atomic<bool> singleStep{false};

    const Matrix4& ViewMatrix() const { return view_; }
    const Matrix4& ProjectionMatrix() const { return projection_; }
    const Matrix4& ShadowMatrix() const { return shadowMatrix_; }
    const MaterialRecord& ShadowMaterial() const { return shadowMaterial_; }

private:
    ViewWindow* viewWindow_;
    std::unique_ptr<FieldItemWorld> world_;
    ExecLock execLock_{L"MirelExec"};
    Matrix4 view_;
    Matrix4 projection_;
    Matrix4 shadowMatrix_;
    MaterialRecord shadowMaterial_;
    D3DFont* fpsFont_ = nullptr;
};
