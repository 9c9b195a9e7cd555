#include "tester/MirelApplication.h"

#include <gtest/gtest.h>

#include <future>
#include <limits>
#include <tuple>
#include <vector>

#include "framework/MainWindowLink.h"
#include "physics/DrawContext.h"
#include "physics/FieldItemLeaf.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "support/TestSupport.h"
#include "tester/MirelConfig.h"

namespace {

/// What the device was asked to do; owned by the test, so that it outlives a forgotten device.
struct DeviceCalls {
    int scenes = 0;
    std::vector<Viewport> viewports;
    std::vector<Matrix4> views, projections;
    std::vector<LightRecord> lights;
    std::vector<std::tuple<std::wstring, int, int, std::uint32_t>> texts;
    std::vector<D3DFont*> fonts;
    std::vector<std::pair<int, int>> resets;
    bool failReset = false;
};

class RecordingDevice : public RenderDevice {
public:
    explicit RecordingDevice(DeviceCalls& calls) : calls_(calls) {}
    bool BeginScene() override { return ++calls_.scenes > 0; }
    void EndScene() override {}
    void Present() override {}
    void SetViewport(const Viewport& viewport) override { calls_.viewports.push_back(viewport); }
    void Clear(std::uint32_t, float, std::uint32_t) override {}
    void SetTransform(TransformState state, const Matrix4& matrix) override {
        if (state != TransformState::world) {
            (state == TransformState::view ? calls_.views : calls_.projections).push_back(matrix);
        }
    }
    void SetRenderState(RenderState, std::uint32_t) override {}
    void SetLight(int, const LightRecord& light) override { calls_.lights.push_back(light); }
    void LightEnable(int, bool) override {}
    void SetMaterial(const MaterialRecord&) override {}
    void SetTexture(int, D3DTexture*) override {}
    void DrawTriangleStrip(const TileVertex*, int) override {}
    bool DrawText(D3DFont* font, const std::wstring& text, int x, int y, std::uint32_t color) override {
        calls_.texts.emplace_back(text, x, y, color);
        calls_.fonts.push_back(font);
        return true;
    }
    void Reset(int width, int height) override {
        if (calls_.failReset) {
            throw DirectX::init_error(L"The device cannot be reset.");
        }
        calls_.resets.emplace_back(width, height);
    }
    int Width() const override { return 640; }
    int Height() const override { return 480; }

private:
    DeviceCalls& calls_;
};

class RecordingProvider : public RenderDeviceProvider {
public:
    explicit RecordingProvider(DeviceCalls& calls) : calls_(calls) {}
    std::unique_ptr<RenderDevice> CreateDevice(const Direct3DConfig&) override {
        return std::make_unique<RecordingDevice>(calls_);
    }

private:
    DeviceCalls& calls_;
};

class RecordingWindow : public MainWindowLink {
public:
    void RequestClose() override {}
    bool ReadKeyboardSetting(const std::wstring&, std::wstring& value) override {
        value = L"0";
        return true;
    }
    void ResizeClient(int width, int height) override { resizes.emplace_back(width, height); }
    void ShowMessage(const std::wstring& text) override { messages.push_back(text); }
    std::vector<std::pair<int, int>> resizes;
    std::vector<std::wstring> messages;
};

/// A member of the world that counts the world's steps (each calls every member's Control
/// once), keeps what drawing hands it, and fails on request.
class ProbeItem : public FieldItemLeaf {
public:
    std::wstring TypeName() const override { return L"probe"; }
    void Control(const TickInput*) override {
        ++steps;
        if (fail) {
            throw myexception(L"probe failed");
        }
    }
    void Integrate(const TickInput*) override {}
    void Draw(DrawContext* context) override {
        contexts.push_back(*context);
        if (fail) {
            throw myexception(L"probe failed");
        }
    }
    int steps = 0;
    std::vector<DrawContext> contexts;
    bool fail = false;
};

class MirelApplicationTest : public ::testing::Test {
protected:
    void SetUp() override {
        MirelConfig::Destroy();
        SimulationParameters::Destroy();
        D3DObjectManager::Destroy();
        application = std::make_unique<MirelApplication>(nullptr, &window);
        application->SetDeviceProvider(&provider);
        // the creation sequence without the timing thread: the test calls Draw and Exec
        application->DirectInput::Create(DirectInputConfig{});
        application->Acquire();
        Direct3DConfig config;
        application->GetDirect3DConfig(config);
        application->Direct3D::Create(config);
        application->CreateApplicationMain();
        auto item = std::make_unique<ProbeItem>();
        probe = item.get();
        application->World()->AddItem(L"probe", std::move(item));
        application->World()->CommitPending();
    }
    void TearDown() override {
        application.reset();
        MirelConfig::Destroy();
        SimulationParameters::Destroy();
    }

    void Press(std::uint32_t key) {
        application->KeyEvent(key, true);
        application->KeyEvent(key, false);
    }
    /// How many world steps one tick ran.
    int TickSteps() {
        const int before = probe->steps;
        application->Exec(0);
        return probe->steps - before;
    }
    FieldItem* Player() const { return application->World()->Find(L"localplayer"); }

    ScopedLogCapture log{1};
    DeviceCalls calls;
    RecordingProvider provider{calls};
    RecordingWindow window;
    std::unique_ptr<MirelApplication> application;
    ProbeItem* probe = nullptr;
};

TEST_F(MirelApplicationTest, ATickCoversOneSixtiethOfASecondInTimeSteps) {
    // a step too short to end a tick is taken as 0.1 ms
    const double nan = std::numeric_limits<double>::quiet_NaN();
    for (const auto& [timeStep, steps] : std::vector<std::pair<double, int>>{
             {0.0015, 12}, {0.01, 2}, {1.0 / 60.0, 1}, {0.0, 167}, {nan, 167}}) {
        MirelConfig::Instance().timeStep = timeStep;
        EXPECT_EQ(TickSteps(), steps) << "time step " << timeStep;
    }
    // the items integrate over the step the tick counted
    EXPECT_EQ(application->World()->StepSettings().timeStep, MirelApplication::kMinimumTimeStep);
}

TEST_F(MirelApplicationTest, SlowMotionKeysRunAShareOfATicksStepsWithTheSameTimeStep) {
    // a key takes effect from the next tick on
    Press(DIK_MINUS);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_EQ(TickSteps(), 6);
    EXPECT_EQ(TickSteps(), 6);
    // an eighth: 1.5 steps a tick, the half carried over
    Press(DIK_MINUS);
    Press(DIK_MINUS);
    Press(DIK_MINUS);
    TickSteps();
    EXPECT_EQ(MirelConfig::Instance().speedDivisor, 8);
    int steps = 0;
    for (int tick = 0; tick < 4; ++tick) {
        steps += TickSteps();
    }
    EXPECT_EQ(steps, 6);
    EXPECT_EQ(application->World()->StepSettings().timeStep, 0.0015);
    // with one step a tick, an eighth owes a step every eighth tick; a single step runs at once
    MirelConfig::Instance().timeStep = 1.0 / 60.0;
    steps = 0;
    for (int tick = 0; tick < 16; ++tick) {
        steps += TickSteps();
    }
    EXPECT_EQ(steps, 2);
    Press(DIK_P);
    TickSteps();
    Press(DIK_S);
    EXPECT_EQ(TickSteps(), 1);
    EXPECT_EQ(TickSteps(), 0);
    Press(DIK_G);
    MirelConfig::Instance().timeStep = 0.0015;
    for (int press = 0; press < 4; ++press) {
        Press(DIK_EQUALS);
    }
    TickSteps();
    EXPECT_EQ(MirelConfig::Instance().speedDivisor, 1);
    EXPECT_EQ(TickSteps(), 12);
}

TEST_F(MirelApplicationTest, PauseStepAndGoKeysHoldTheWorldButNotTheViewer) {
    Press(DIK_P);
    // while paused the viewer still follows a left drag: 100 units is 1 m
    application->MouseButtonEvent(0, true, 100, 100);
    application->MouseMoved(200, 100);
    EXPECT_EQ(TickSteps(), 0);
    EXPECT_FLOAT_EQ(Player()->WorldPosition().x, 1.0f);

    // S runs one tick, then the world stands again; G lets it run
    Press(DIK_S);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_EQ(TickSteps(), 0);
    Press(DIK_G);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_EQ(TickSteps(), 12);
}

TEST_F(MirelApplicationTest, ViewKeysAndStereogramChooseTheCameras) {
    const SimulationParameters& parameters = SimulationParameters::Instance();
    Press(DIK_2);
    application->Exec(0);
    application->Draw(0);
    // the eye is the origin of the view; the look-at point lies straight ahead (-z)
    EXPECT_VECTOR_NEAR(TransformCoord(parameters.topEyeOffset, calls.views.back()), Vector3(), 1e-5f);
    EXPECT_VECTOR_NEAR(TransformCoord(parameters.topLookAt, calls.views.back()),
                       Vector3(0.0f, 0.0f, -Length(parameters.topEyeOffset)), 1e-5f);

    // the stereogram draws the isometric view twice, from eyes 0.15 m left and right
    Press(DIK_1);
    application->Exec(0);
    application->SetStereogram(true);
    calls = DeviceCalls{};
    application->Draw(0);
    ASSERT_EQ(calls.viewports.size(), 2u);
    const Vector3 shift(0.15f, 0.0f, 0.0f);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(std::make_tuple(calls.viewports[pass].x, calls.viewports[pass].width,
                                  calls.viewports[pass].height),
                  std::make_tuple(320 * pass, 320, 480));
        EXPECT_NEAR(calls.projections[pass]._22 / calls.projections[pass]._11, 640.0f / 480.0f / 2.0f, 1e-5f);
        const Vector3 eye = parameters.isometricEyeOffset + shift * (pass == 0 ? -1.0f : 1.0f);
        EXPECT_VECTOR_NEAR(TransformCoord(eye, calls.views[pass]), Vector3(), 1e-5f);
    }
    EXPECT_EQ(calls.scenes, 1);
}

TEST_F(MirelApplicationTest, DrawSeesTheWorldFromTheViewerWithItsFrameRate) {
    FieldItem* player = Player();
    player->Transform() = MatrixTranslation(1.0f, 2.0f, 3.0f);
    player->Orientation() = QuaternionRotationAxis(Vector3(0.0f, 1.0f, 0.0f), 1.5707964f);
    player->UpdateWorld(nullptr, nullptr);
    MirelConfig::Instance().zoom = 15;
    application->Draw(0);

    ASSERT_EQ(probe->contexts.size(), 1u);
    const DrawContext& context = probe->contexts[0];
    EXPECT_EQ(context.device, application->Direct3D::Device());
    EXPECT_EQ(context.zoomFactor, 3.5);
    EXPECT_VECTOR_NEAR(context.view.Translation(), Vector3(-1.0f, -2.0f, -3.0f), 0.0f);
    EXPECT_QUATERNION_NEAR(QuaternionMultiply(player->Orientation(), context.viewRotation), Quaternion(),
                           1e-6f);
    // the light keeps its direction in the world, seen from the turned viewer
    Vector3 light = calls.lights.at(0).direction;
    player->ToWorld(light);
    EXPECT_VECTOR_NEAR(light, Normalize(SimulationParameters::Instance().lightDirection), 1e-6f);

    // white over black one pixel down and right, in the top right corner
    using Text = std::tuple<std::wstring, int, int, std::uint32_t>;
    EXPECT_EQ(calls.texts,
              (std::vector<Text>{{L"0fps", 580, 20, 0xFF000000u}, {L"0fps", 579, 19, 0xFFFFFFFFu}}));
    EXPECT_EQ(calls.fonts.at(0)->FaceName(), L"Ariel");
    EXPECT_EQ(calls.fonts.at(0)->Height(), 12);
}

TEST_F(MirelApplicationTest, ShadowsFallAlongTheLightOntoTheGround) {
    const Matrix4& shadow = application->ShadowMatrix();
    const Vector3 point(1.0f, 2.0f, 3.0f);
    const float w = point.x * shadow._14 + point.y * shadow._24 + point.z * shadow._34 + shadow._44;
    const Vector3 flat = TransformCoord(point, shadow) * (1.0f / w);
    EXPECT_NEAR(flat.y, 0.005f, 1e-6f);
    const Vector3 light = SimulationParameters::Instance().lightDirection;
    EXPECT_VECTOR_NEAR(Cross(flat - point, light), Vector3(), 1e-5f);
    EXPECT_GT(Dot(flat - point, light), 0.0f);
}

TEST_F(MirelApplicationTest, AFailedDeviceResetStopsDrawingAndSimulating) {
    MirelConfig::Instance().SetScreenSize(1);
    application->ResetDevice();
    EXPECT_EQ(calls.resets, (std::vector<std::pair<int, int>>{{800, 600}}));
    EXPECT_EQ(window.resizes, (std::vector<std::pair<int, int>>{{800, 600}}));

    log.ExpectFailures();
    calls.failReset = true;
    application->ResetDevice();
    EXPECT_EQ(application->Direct3D::Device(), nullptr);
    EXPECT_EQ(window.messages, std::vector<std::wstring>{L"The device cannot be reset."});
    const int scenes = calls.scenes;
    application->Draw(0);
    EXPECT_EQ(calls.scenes, scenes);
    EXPECT_EQ(TickSteps(), 0);
    EXPECT_EQ(application->Lock().Count(), 0);
}

TEST_F(MirelApplicationTest, AFailureInDrawOrExecLeavesTheLockLogsAndIsRethrown) {
    log.ExpectFailures();
    probe->fail = true;
    EXPECT_THROW(application->Draw(0), myexception);
    EXPECT_THROW(application->Exec(0), myexception);
    EXPECT_TRUE(std::async(std::launch::async, [&] {
                    const bool taken = application->Lock().try_lock();
                    if (taken) {
                        application->Lock().unlock();
                    }
                    return taken;
                }).get());
    const auto errors = log.Writer().Errors();
    ASSERT_EQ(errors.size(), 2u);
    for (const auto& error : errors) {
        EXPECT_EQ(std::make_pair(error.sourceFile, error.message),
                  std::make_pair(std::wstring(L".\\MirelApplication"), std::wstring(L"error!")));
    }
}

} // namespace
