#include "tester/MirelApplication.h"

#include <cmath>
#include <cstdlib>
#include <ctime>
#include <filesystem>

#include "collision/CollisionRegistry.h"
#include "common/FilePath.h"
#include "common/LogWriter.h"
#include "common/Messages.h"
#include "common/WideText.h"
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
#include "tester/VideoRecorder.h"

namespace {

const std::wstring kPlayerName = L"localplayer";

constexpr std::uint32_t kBlack = 0xFF000000;
constexpr std::uint32_t kWhite = 0xFFFFFFFF;
/// The frame-rate text's top-left corner, from the right edge of the window.
constexpr int kFpsTextRight = 60;
constexpr int kFpsTextTop = 20;
/// The slow-motion factor's text, left of the frame rate.
constexpr int kSpeedTextRight = kFpsTextRight + 40;
/// The recording dot: red, in the bottom-right corner.
constexpr std::uint32_t kRecordingRed = 0xFFE01010;
constexpr int kDotRadius = 8;
constexpr int kDotInset = 20;
constexpr int kPanelInset = 10;
/// How long a status text shows in the view.
constexpr std::chrono::seconds kStatusTime{4};

/// A text of the string table with %1 and %2 replaced.
std::wstring Format(int id, const std::wstring& first, const std::wstring& second = {}) {
    std::wstring text = ProgramMessage(id);
    for (const auto& [mark, value] :
         {std::pair{std::wstring(L"%1"), first}, std::pair{std::wstring(L"%2"), second}}) {
        const std::size_t at = text.find(mark);
        if (at != std::wstring::npos) {
            text.replace(at, mark.size(), value);
        }
    }
    return text;
}

std::wstring Milliseconds(double seconds) {
    wchar_t text[32];
    std::swprintf(text, 32, L"%.2f ms", seconds * 1000.0);
    return text;
}

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
    int fullSteps = 0;
    for (double simulated = 0.0; simulated < tick; simulated += settings.timeStep) {
        ++fullSteps;
    }
    // slow motion runs a share of those steps, the fractions carried to the next tick; the
    // time step stays as it is, so the motion is the same, only slower
    const int divisor = MirelConfig::Instance().speedDivisor;
    int steps = fullSteps;
    if (divisor > 1) {
        stepsOwed_ += static_cast<double>(fullSteps) / divisor;
        steps = static_cast<int>(stepsOwed_);
        stepsOwed_ -= steps;
    } else {
        stepsOwed_ = 0.0;
    }
    const StepTiming before = world_->TotalStepTiming();
    int stepsRun = 0;
    // a tick without a step of its own still reads the input and moves the viewer
    for (int index = 0; index < std::max(steps, 1); ++index) {
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

        const bool stepWanted = index < steps || (singleStep && stepsRun == 0);
        if ((paused && !singleStep) || !stepWanted) {
            // only the viewer moves
            if (PlayerLocal* player = Player()) {
                player->Control(&input);
                player->Integrate(&input);
                player->UpdateWorld(nullptr, nullptr);
            }
        } else {
            world_->Step(&input);
            ++stepsRun;
        }
    }
    singleStep = false;

    // additions go live and deletions go away once per tick, between steps
    world_->CommitPending();
    world_->PurgeDeleted();
    world_->UpdateWorld(nullptr, nullptr);
    // the history keeps the ticks the world went through, not those it stood still
    if (stepsRun > 0) {
        history_->Record(*world_);
    }

    // what the timing panel and the recording learn of the tick
    const StepTiming& after = world_->TotalStepTiming();
    tickTiming_.contacts = after.contacts - before.contacts;
    tickTiming_.forces = after.forces - before.forces;
    tickTiming_.integration = after.integration - before.integration;
    tickTiming_.refresh = after.refresh - before.refresh;
    lastTickSteps_ = stepsRun;
    if (recorder_ && recorder_->IsRecording()) {
        framesDue_ += static_cast<double>(stepsRun) / fullSteps;
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
    case KeyBindings::Action::kKeyHelp:
        keyHelp = !keyHelp;
        break;
    case KeyBindings::Action::kTimingOverlay:
        timingOverlay = !timingOverlay;
        break;
    case KeyBindings::Action::kContactDisplay:
        contactDisplay = !contactDisplay;
        break;
    case KeyBindings::Action::kSlower:
    case KeyBindings::Action::kFaster: {
        std::lock_guard lock(execLock_);
        MirelConfig& config = MirelConfig::Instance();
        const int divisor =
            action == KeyBindings::Action::kSlower ? config.speedDivisor * 2 : config.speedDivisor / 2;
        config.SetSpeedDivisor(std::clamp(divisor, 1, 8));
        break;
    }
    case KeyBindings::Action::kScreenshot: {
        std::lock_guard lock(execLock_);
        screenshotWanted_ = true;
        break;
    }
    case KeyBindings::Action::kRecordVideo: {
        std::lock_guard lock(execLock_);
        recordToggleWanted_ = !recordToggleWanted_;
        break;
    }
    case KeyBindings::Action::kMouse:
    case KeyBindings::Action::kSaveScene:
        // the mouse is the player's; the view saves the scene on the user-interface thread
        break;
    }
}

void MirelApplication::SetVideoEncoder(const std::string& program) {
    std::lock_guard lock(execLock_);
    if (!recorder_ || !recorder_->IsRecording()) {
        recorder_ = std::make_unique<VideoRecorder>(program);
    }
}

bool MirelApplication::IsRecording() const {
    std::lock_guard lock(const_cast<ExecLock&>(execLock_));
    return recorder_ && recorder_->IsRecording();
}

std::string MirelApplication::LastCapturePath() const {
    std::lock_guard lock(const_cast<ExecLock&>(execLock_));
    return lastCapturePath_;
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
        const auto drawStart = std::chrono::steady_clock::now();
        const int passes = MirelConfig::Instance().stereogram ? 2 : 1;
        for (int pass = 0; pass < passes; ++pass) {
            DrawPass(*device, pass);
        }
        DrawOverlays(*device);
        drawSeconds_ = std::chrono::duration<double>(std::chrono::steady_clock::now() - drawStart).count();
        CaptureFrame(*device);
        DrawMarks(*device);
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

    // the contacts over the world, in the items' own drawing transform without an item's size:
    // scaled by the zoom, moved by the viewer's position, turned back by its orientation
    PlayerLocal* player = Player();
    if (contactDisplay && player != nullptr) {
        std::vector<Contact> contacts;
        world_->LastContacts(contacts);
        const auto zoom = static_cast<float>(view.zoomFactor);
        Matrix4 viewTranslation = player->Transform();
        viewTranslation._41 *= -zoom;
        viewTranslation._42 *= -zoom;
        viewTranslation._43 *= -zoom;
        const Matrix4 contactWorld =
            MatrixMultiply(MatrixMultiply(MatrixScaling(zoom, zoom, zoom), viewTranslation),
                           MatrixRotationQuaternion(QuaternionInverse(player->Orientation())));
        marks_.DrawContacts(device, contacts, contactWorld, world_->StepSettings().contactTolerance);
    }

    // slow motion shows its factor beside the frame rate
    if (config.speedDivisor != 1) {
        const std::wstring factor = L"x1/" + std::to_wstring(config.speedDivisor);
        marks_.DrawLine(device, 0, factor, width - kSpeedTextRight, kFpsTextTop - 1);
    }

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

void MirelApplication::DrawOverlays(RenderDevice& device) {
    // the key help covers the middle of the view: the timing panel waits until it is closed
    if (timingOverlay && !keyHelp) {
        std::vector<Contact> contacts;
        world_->LastContacts(contacts);
        const std::size_t items = world_->Members().size();
        timingPanel_.DrawPanel(device, kPanelInset, kPanelInset,
                               {{ProgramMessage(2260), std::to_wstring(lastTickSteps_)},
                                {ProgramMessage(2261), Milliseconds(tickTiming_.contacts)},
                                {ProgramMessage(2262), Milliseconds(tickTiming_.forces)},
                                {ProgramMessage(2263), Milliseconds(tickTiming_.integration)},
                                {ProgramMessage(2264), Milliseconds(tickTiming_.refresh)},
                                {ProgramMessage(2265), Milliseconds(drawSeconds_)},
                                {ProgramMessage(2266), std::to_wstring(ThreadFps())},
                                {ProgramMessage(2267), std::to_wstring(items)},
                                {ProgramMessage(2268), std::to_wstring(contacts.size())}});
    }
    if (keyHelp) {
        std::vector<ViewOverlay::Row> rows{{ProgramMessage(2269), L""}};
        for (const KeyBindings::Binding& binding : KeyBindings::Table()) {
            rows.emplace_back(KeyBindings::KeyText(binding), KeyBindings::Description(binding));
        }
        helpPanel_.DrawPanel(device, -1, -1, rows);
    }
}

std::string MirelApplication::CaptureBase(const std::string& extension) const {
    const std::wstring& folder = MirelConfig::Instance().captureFolder;
    const std::filesystem::path directory =
        folder.empty() ? std::filesystem::path(".") : std::filesystem::path(ToNativePath(folder));
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    char stamp[32];
    std::strftime(stamp, sizeof stamp, "Kivaro-%Y%m%d-%H%M%S", &local);
    // two in one second: the later one gets a number, nothing is overwritten
    std::string base = folder.empty() ? std::string(stamp) : (directory / stamp).string();
    std::error_code error;
    for (int number = 2;
         std::filesystem::exists(base + extension, error) || std::filesystem::exists(base, error); ++number) {
        const std::string numbered = std::string(stamp) + "-" + std::to_string(number);
        base = folder.empty() ? numbered : (directory / numbered).string();
    }
    return base;
}

void MirelApplication::CaptureFrame(RenderDevice& device) {
    const bool recording = recorder_ && recorder_->IsRecording();
    const bool frameDue = recording && framesDue_ >= 1.0 - 1e-9;
    if (!screenshotWanted_ && !frameDue && recordToggleWanted_ == recording) {
        return;
    }
    FrameImage frame;
    const bool read = device.ReadBackBuffer(frame);

    if (screenshotWanted_) {
        screenshotWanted_ = false;
        const std::string path = CaptureBase(".png") + ".png";
        const bool written = read && device.WritePng(frame, path);
        lastCapturePath_ = path;
        ShowStatus(Format(written ? 2250 : 2251, FromUtf8(path)), !written);
    }

    // a recording begins with the frame of its key press and ends without a frame
    if (recordToggleWanted_ != recording) {
        if (!recorder_) {
            recorder_ = std::make_unique<VideoRecorder>();
        }
        if (recording) {
            const std::string target = recorder_->Target();
            try {
                recorder_->Stop();
                ShowStatus(Format(2253, FromUtf8(target), std::to_wstring(recorder_->FrameCount())), false);
            } catch (const myexception&) {
                ShowStatus(Format(2254, FromUtf8(target)), true);
            }
            return;
        }
        try {
            const std::string target = recorder_->Start(CaptureBase(".mp4"), device.Width(), device.Height());
            lastCapturePath_ = target;
            framesDue_ = 1.0;
            ShowStatus(Format(recorder_->UsesEncoder() ? 2252 : 2255, FromUtf8(target)), false);
        } catch (const myexception& error) {
            recordToggleWanted_ = false;
            ShowStatus(Format(2254, error.what()), true);
            return;
        }
    }
    if (recorder_ && recorder_->IsRecording() && framesDue_ >= 1.0 - 1e-9) {
        framesDue_ -= 1.0;
        try {
            if (!read) {
                throw exec_error(FromUtf8(recorder_->Target()));
            }
            recorder_->AddFrame(frame, device);
        } catch (const myexception&) {
            try {
                recorder_->Stop();
            } catch (const myexception&) {
                // told below
            }
        }
        if (!recorder_->IsRecording()) {
            // the frame could not be written or the encoder went away: the recording ends here
            recordToggleWanted_ = false;
            ShowStatus(Format(2254, FromUtf8(recorder_->Target())), true);
        }
    }
}

void MirelApplication::DrawMarks(RenderDevice& device) {
    if (recorder_ && recorder_->IsRecording()) {
        marks_.DrawDot(device, device.Width() - kDotInset, device.Height() - kDotInset, kDotRadius,
                       kRecordingRed);
    }
    if (!statusText_.empty()) {
        if (std::chrono::steady_clock::now() < statusUntil_) {
            marks_.DrawLine(device, 1, statusText_, kPanelInset,
                            device.Height() - 2 * kDotInset - 2 * kDotRadius);
        } else {
            statusText_.clear();
        }
    }
}

void MirelApplication::ShowStatus(const std::wstring& text, bool failure) {
    Log(kLogSource, __LINE__, text, failure ? 1 : 2);
    statusText_ = text;
    statusUntil_ = std::chrono::steady_clock::now() + kStatusTime;
    if (MainWindowLink* window = GetWindow()) {
        window->ShowStatus(text);
    }
}
