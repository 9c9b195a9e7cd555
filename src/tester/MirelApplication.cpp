#include "tester/MirelApplication.h"

#include <cmath>
#include <cstdlib>
#include <ctime>

#include "collision/CollisionRegistry.h"
#include "common/LogWriter.h"
#include "framework/MainWindowLink.h"
#include "physics/DrawContext.h"
#include "physics/FieldItemWorld.h"
#include "physics/PlayerLocal.h"
#include "physics/SimulationParameters.h"
#include "physics/TickInput.h"
#include "physics/ViewWindow.h"
#include "physics/WorldHistory.h"
#include "tester/ImpactSoundListener.h"
#include "tester/KeyBindings.h"
#include "tester/MirelConfig.h"
#include "tester/PHSound.h"

namespace {

const std::wstring kPlayerName = L"localplayer";

constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
/// The frame-rate text's top-left corner, from the right edge of the window.
constexpr int kFpsTextRight = 60;
constexpr int kFpsTextTop = 20;

/// The view as the world and its player see it: the cursor where the input part last
/// saw it (a press comes with its own position), else where the view window has it; the
/// buttons as the input part holds them now.
class InputViewWindow : public ViewWindow {
public:
    InputViewWindow(const DirectInput& input, const ViewWindow* view) : input_(input), view_(view) {}
    bool CursorClientPosition(int& x, int& y) const override {
        return input_.CursorPosition(x, y) || (view_ != nullptr && view_->CursorClientPosition(x, y));
    }
    bool IsButtonDown(int button) const override { return input_.IsButtonDown(button); }

private:
    const DirectInput& input_;
    const ViewWindow* view_;
};

/// The player's settings, read from the configuration at every use.
class ConfigViewerSettings : public ViewerSettings {
public:
    int ScreenWidth() const override { return MirelConfig::Instance().ScreenWidth(); }
    int ScreenHeight() const override { return MirelConfig::Instance().ScreenHeight(); }
    int ViewMode() const override { return MirelConfig::Instance().viewMode; }
    bool Stereogram() const override { return MirelConfig::Instance().stereogram; }
    int Zoom() const override { return MirelConfig::Instance().zoom; }
    void SetZoom(int step) override { MirelConfig::Instance().SetZoom(step); }
};

/// The configuration as the world's next tick runs with it: a time step too short to end a
/// tick is taken as the shortest one that does.
WorldSettings TickSettings() {
    WorldSettings settings = MirelConfig::Instance().StepSettings();
    if (!(settings.timeStep >= MirelApplication::kMinimumTimeStep)) {
        settings.timeStep = MirelApplication::kMinimumTimeStep;
    }
    return settings;
}

} // namespace

MirelApplication::MirelApplication(void* instance, MainWindowLink* window, ViewWindow* view,
                                   MillisecondClock& clock)
    : Application(instance, window, clock), viewWindow_(view),
      inputView_(std::make_unique<InputViewWindow>(*this, view)),
      viewerSettings_(std::make_unique<ConfigViewerSettings>()), impactSound_(std::make_unique<PHSound>()),
      impactListener_(std::make_unique<ImpactSoundListener>(*impactSound_)),
      history_(std::make_unique<WorldHistory>()) {
    std::srand(static_cast<unsigned>(std::time(nullptr)));

    // graphics, input and sound; one thread draws, then executes
    useDirect3D_ = true;
    useDirectInput_ = true;
    useDirectAudio_ = true;
    useDirectDraw_ = false;
    useDirectPlay_ = false;
    splitThreads_ = false;
    SetKeyRepeat(false);

    RegisterCollisionDetectors();
}

MirelApplication::~MirelApplication() {
    FreeApplication();
    DestroyCollisionDetectors();
    D3DObjectManager::Destroy();
}

void MirelApplication::CreateApplicationMain() {
    // the world's items reach the devices through the parameters
    SimulationParameters& parameters = SimulationParameters::Instance();
    parameters.graphicsDevice = this;
    parameters.soundDevice = this;

    world_ = std::make_unique<FieldItemWorld>(inputView_.get());
    world_->SetImpactListener(impactListener_.get());
    world_->Initialize(Placement{});
    world_->CommitPending();
    world_->UpdateWorld(nullptr, nullptr);
    if (PlayerLocal* player = Player()) {
        player->SetSettings(viewerSettings_.get());
    }
}

void MirelApplication::FreeApplicationPost() {
    history_->Clear();
    world_.reset();
    // the parameters outlive the application: they must not point at it
    SimulationParameters& parameters = SimulationParameters::Instance();
    if (parameters.graphicsDevice == this) {
        parameters.graphicsDevice = nullptr;
    }
    if (parameters.soundDevice == this) {
        parameters.soundDevice = nullptr;
    }
}

void MirelApplication::GetDirect3DConfig(Direct3DConfig& config) {
    const MirelConfig& settings = MirelConfig::Instance();
    config.fullScreen = false;
    config.width = settings.ScreenWidth();
    config.height = settings.ScreenHeight();
    config.refreshRate = 0;
}

void MirelApplication::OnDeviceCreated() {
    std::lock_guard lock(execLock_);
    D3DObjectManager& manager = D3DObjectManager::Instance();
    manager.SetDevice(this);
    fpsFont_ = manager.CreateFont(L"Ariel", 12);
    SetupDeviceState();
}

void MirelApplication::OnDeviceReleasing() {
    std::lock_guard lock(execLock_);
    D3DObjectManager::Instance().OnLostDevice();
}

void MirelApplication::SetupDeviceState() {
    painter_.SetupDeviceState(Direct3D::Device());
}

PlayerLocal* MirelApplication::Player() const {
    return world_ != nullptr ? dynamic_cast<PlayerLocal*>(world_->Find(kPlayerName)) : nullptr;
}

void MirelApplication::Exec(int /*ticks*/) {
    std::unique_lock lock(execLock_);
    if (!Direct3D::HasDevice() || world_ == nullptr) {
        return;
    }
    try {
        RunTick();
    } catch (const myexception&) {
        lock.unlock();
        Log(kLogSource, __LINE__, L"error!", 1);
        throw;
    }
}

void MirelApplication::RunTick() {
    // 1/60 s of simulated time, however long the tick took, with the settings as it starts
    const WorldSettings settings = TickSettings();
    world_->SetSettings(settings);
    const double tick = 1.0 / 60.0;
    bool stepped = false;
    for (double simulated = 0.0; simulated < tick; simulated += settings.timeStep) {
        // keys take effect at the step that reads them
        TickInput input;
        try {
            input.mouse = ReadMouse(input.mouseCount);
            input.keyboard = ReadKeyboard(input.keyboardCount);
        } catch (const exec_error&) {
            // the input is gone for now: this tick ends here, quietly
            return;
        }
        HandleKeys(input.keyboard, input.keyboardCount);

        if (paused && !singleStep) {
            // only the viewer moves
            if (PlayerLocal* player = Player()) {
                player->Control(&input);
                player->Integrate(&input);
                player->UpdateWorld(nullptr, nullptr);
            }
        } else {
            stepped = true;
            world_->DetectCollisions();
            world_->Control(&input);
            world_->Integrate(&input);
            world_->UpdateWorld(nullptr, nullptr);
        }
    }
    singleStep = false;

    // additions go live and deletions go away once per tick, between steps
    world_->CommitPending();
    world_->PurgeDeleted();
    world_->UpdateWorld(nullptr, nullptr);
    // the history keeps the ticks the world went through, not those it stood still
    if (stepped) {
        history_->Record(*world_);
    }
}

bool MirelApplication::StepBack() {
    std::lock_guard lock(execLock_);
    return paused && world_ != nullptr && history_->Back(*world_);
}

bool MirelApplication::StepForward() {
    std::lock_guard lock(execLock_);
    return paused && world_ != nullptr && history_->Forward(*world_);
}

void MirelApplication::HandleKeys(const DIDEVICEOBJECTDATA* events, int count) {
    for (int i = 0; i < count; ++i) {
        const bool pressed = (events[i].dwData & kPressedBit) != 0;
        const std::uint32_t key = events[i].dwOfs;
        if (key == DIK_LCONTROL || key == DIK_RCONTROL) {
            controlDown_ = pressed;
            continue;
        }
        if (!pressed) {
            continue;
        }
        const KeyBindings::Binding* binding =
            KeyBindings::Find(key, controlDown_ ? KeyBindings::kControl : KeyBindings::kNoModifier);
        if (binding != nullptr) {
            RunKeyAction(binding->action);
        }
    }
}

void MirelApplication::RunKeyAction(KeyBindings::Action action) {
    switch (action) {
    case KeyBindings::Action::kViewIsometric: {
        std::lock_guard lock(execLock_);
        MirelConfig::Instance().viewMode = 0;
        break;
    }
    case KeyBindings::Action::kViewTop: {
        std::lock_guard lock(execLock_);
        MirelConfig::Instance().viewMode = 1;
        break;
    }
    case KeyBindings::Action::kPause:
        paused = true;
        break;
    case KeyBindings::Action::kGo:
        paused = false;
        singleStep = false;
        break;
    case KeyBindings::Action::kStep:
        paused = true;
        singleStep = true;
        break;
    case KeyBindings::Action::kHistoryBack:
        StepBack();
        break;
    case KeyBindings::Action::kHistoryForward:
        StepForward();
        break;
    default:
        break;
    }
}

void MirelApplication::Draw(int /*ticks*/) {
    std::unique_lock lock(execLock_);
    RenderDevice* device = Direct3D::Device();
    if (device == nullptr || world_ == nullptr) {
        return;
    }
    try {
        if (!device->BeginScene()) {
            return;
        }
        const int passes = MirelConfig::Instance().stereogram ? 2 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            DrawPass(*device, pass);
        }
        device->EndScene();
        device->Present();
    } catch (const myexception&) {
        lock.unlock();
        Log(kLogSource, __LINE__, L"error!", 1);
        throw;
    }
}

void MirelApplication::DrawPass(RenderDevice& device, int pass) {
    const MirelConfig& config = MirelConfig::Instance();
    WorldPainter::View view;
    view.width = config.ScreenWidth();
    view.height = config.ScreenHeight();
    view.stereogram = config.stereogram;
    view.viewMode = config.viewMode;
    view.zoomFactor = config.ZoomFactor();
    painter_.DrawPass(device, *world_, Player(), view, pass);
    const int width = view.width;

    // the frame rate, white over a black shadow one pixel down and right
    const std::wstring fps = std::to_wstring(ThreadFps()) + L"fps";
    if (!device.DrawText(fpsFont_, fps, width - kFpsTextRight, kFpsTextTop, kBlack)) {
        Log(kLogSource, __LINE__, L"DrawText 失敗", 1);
    }
    if (!device.DrawText(fpsFont_, fps, width - kFpsTextRight - 1, kFpsTextTop - 1, kWhite)) {
        Log(kLogSource, __LINE__, L"DrawText 失敗", 1);
    }
}

void MirelApplication::ResetDevice() {
    std::unique_lock lock(execLock_);
    RenderDevice* device = Direct3D::Device();
    if (device == nullptr) {
        // a device forgotten after a failed reset stays gone
        return;
    }
    const MirelConfig& config = MirelConfig::Instance();
    const int width = config.ScreenWidth();
    const int height = config.ScreenHeight();
    try {
        D3DObjectManager& manager = D3DObjectManager::Instance();
        manager.OnLostDevice();
        device->Reset(width, height);
        manager.OnResetDevice();
        if (MainWindowLink* window = GetWindow()) {
            window->ResizeClient(width, height);
        }
        SetupDeviceState();
    } catch (const myexception& error) {
        // nothing more is drawn or simulated; the window stays open
        ForgetDevice();
        lock.unlock();
        Log(kLogSource, __LINE__, std::wstring(L"ResetDevice: ") + error.what(), 1);
        if (MainWindowLink* window = GetWindow()) {
            window->ShowMessage(error.what());
        }
    }
}

void MirelApplication::ReloadDeviceObjects() {
    std::lock_guard lock(execLock_);
    D3DObjectManager& manager = D3DObjectManager::Instance();
    manager.OnLostDevice();
    manager.OnResetDevice();
}

void MirelApplication::SetStereogram(bool on) {
    std::lock_guard lock(execLock_);
    MirelConfig::Instance().stereogram = on;
}

void MirelApplication::ShowVersion() {
    if (MainWindowLink* window = GetWindow()) {
        window->ShowVersion();
    }
}
