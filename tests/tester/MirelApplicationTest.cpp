#include "tester/MirelApplication.h"

#include <gtest/gtest.h>

#include <cmath>
#include <future>
#include <limits>
#include <utility>
#include <vector>

#include "framework/MainWindowLink.h"
#include "physics/DrawContext.h"
#include "physics/FieldItemLeaf.h"
#include "physics/FieldItemWorld.h"
#include "physics/PlayerLocal.h"
#include "physics/SimulationParameters.h"
#include "physics/TickInput.h"
#include "support/TestSupport.h"
#include "tester/MirelConfig.h"

namespace {

/// What the recording device was asked to do; owned by the test, so that it outlives a
/// device the application forgets.
struct DeviceCalls {
    struct Text {
        D3DFont* font;
        std::wstring text;
        int x, y;
        std::uint32_t color;
    };
    int scenes = 0;
    int presents = 0;
    std::vector<Viewport> viewports;
    std::vector<Matrix4> views;
    std::vector<Matrix4> projections;
    std::vector<LightRecord> lights;
    std::vector<Text> texts;
    std::vector<std::pair<int, int>> resets;
    bool failReset = false;
};

class RecordingDevice : public RenderDevice {
public:
    explicit RecordingDevice(DeviceCalls& calls) : calls_(calls) {}
    bool BeginScene() override {
        ++calls_.scenes;
        return true;
    }
    void EndScene() override {}
    void Present() override { ++calls_.presents; }
    void SetViewport(const Viewport& viewport) override { calls_.viewports.push_back(viewport); }
    void Clear(std::uint32_t, float, std::uint32_t) override {}
    void SetTransform(TransformState state, const Matrix4& matrix) override {
        if (state == TransformState::view) {
            calls_.views.push_back(matrix);
        } else if (state == TransformState::projection) {
            calls_.projections.push_back(matrix);
        }
    }
    void SetRenderState(RenderState, std::uint32_t) override {}
    void SetLight(int, const LightRecord& light) override { calls_.lights.push_back(light); }
    void LightEnable(int, bool) override {}
    void SetMaterial(const MaterialRecord&) override {}
    void SetTexture(int, D3DTexture*) override {}
    void DrawTriangleStrip(const TileVertex*, int) override {}
    bool DrawText(D3DFont* font, const std::wstring& text, int x, int y, std::uint32_t color) override {
        calls_.texts.push_back({font, text, x, y, color});
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
/// once) and keeps what the drawing passes hand it; it can fail on request.
class ProbeItem : public FieldItemLeaf {
public:
    std::wstring TypeName() const override { return L"probe"; }
    void Control(const TickInput*) override {
        ++steps;
        if (failControl) {
            throw myexception(L"probe step failed");
        }
    }
    void Integrate(const TickInput*) override {}
    void Draw(DrawContext* context) override {
        contexts.push_back(*context);
        if (failDraw) {
            throw myexception(L"probe drawing failed");
        }
    }
    int steps = 0;
    std::vector<DrawContext> contexts;
    bool failControl = false;
    bool failDraw = false;
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

/// Where the view matrix takes a point of the viewer's axes.
Vector3 InView(const Matrix4& view, const Vector3& point) {
    return TransformCoord(point, view);
}

TEST_F(MirelApplicationTest, ATickCoversOneSixtiethOfASecondInTimeSteps) {
    MirelConfig& config = MirelConfig::Instance();
    const std::pair<double, int> cases[] = {
        {0.0015, 12},
        {0.01, 2},
        {1.0 / 60.0, 1},
        // a step too short to end a tick is taken as 0.1 ms
        {0.0, 167},
        {-1.0, 167},
        {std::numeric_limits<double>::quiet_NaN(), 167},
    };
    for (const auto& [timeStep, steps] : cases) {
        config.timeStep = timeStep;
        EXPECT_EQ(TickSteps(), steps) << "time step " << timeStep;
    }
    // the items integrate over the step the tick counted
    EXPECT_EQ(application->World()->StepSettings().timeStep, MirelApplication::kMinimumTimeStep);
}

TEST_F(MirelApplicationTest, PauseStepAndGoKeysHoldTheWorldButNotTheViewer) {
    Press(DIK_P);
    EXPECT_EQ(TickSteps(), 0);
    EXPECT_TRUE(application->paused);

    // while paused the viewer still follows a left drag: 100 units is 1 m
    application->MouseButtonEvent(0, true, 100, 100);
    application->MouseMoved(200, 100);
    EXPECT_EQ(TickSteps(), 0);
    EXPECT_FLOAT_EQ(Player()->WorldPosition().x, 1.0f);
    application->MouseButtonEvent(0, false, 200, 100);

    // S runs one tick, then the world stands again; each press one more tick
    Press(DIK_S);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_EQ(TickSteps(), 0);
    Press(DIK_S);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_TRUE(application->paused);
    EXPECT_FALSE(application->singleStep);

    Press(DIK_G);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_EQ(TickSteps(), 12);
    EXPECT_FALSE(application->paused);
}

TEST_F(MirelApplicationTest, ViewKeysSwitchBetweenTheIsometricAndTheTopView) {
    const SimulationParameters& parameters = SimulationParameters::Instance();
    Press(DIK_2);
    application->Exec(0);
    EXPECT_EQ(MirelConfig::Instance().viewMode, 1);
    application->Draw(0);
    ASSERT_EQ(calls.views.size(), 1u);
    // the eye is the origin of the view; the look-at point lies straight ahead (-z)
    EXPECT_VECTOR_NEAR(InView(calls.views[0], parameters.topEyeOffset), Vector3(), 1e-5f);
    const float distance = Length(parameters.topEyeOffset - parameters.topLookAt);
    EXPECT_VECTOR_NEAR(InView(calls.views[0], parameters.topLookAt), Vector3(0.0f, 0.0f, -distance), 1e-5f);

    Press(DIK_1);
    application->Exec(0);
    EXPECT_EQ(MirelConfig::Instance().viewMode, 0);
    application->Draw(0);
    ASSERT_EQ(calls.views.size(), 2u);
    EXPECT_VECTOR_NEAR(InView(calls.views[1], parameters.isometricEyeOffset), Vector3(), 1e-5f);
    // the up vector stays up on the screen
    const Vector3 above = InView(calls.views[1], parameters.isometricLookAt + Vector3(0.0f, 1.0f, 0.0f));
    EXPECT_GT(above.y, 0.5f);
}

TEST_F(MirelApplicationTest, StereogramDrawsTwoHalvesFromEyesApart) {
    application->SetStereogram(true);
    application->Draw(0);
    ASSERT_EQ(calls.viewports.size(), 2u);
    EXPECT_EQ(calls.viewports[0].x, 0);
    EXPECT_EQ(calls.viewports[1].x, 320);
    for (int pass = 0; pass < 2; ++pass) {
        EXPECT_EQ(calls.viewports[pass].width, 320);
        EXPECT_EQ(calls.viewports[pass].height, 480);
        // each half has the aspect of a half
        EXPECT_NEAR(calls.projections[pass]._22 / calls.projections[pass]._11, 640.0f / 480.0f / 2.0f, 1e-5f);
    }
    const Vector3 eye = SimulationParameters::Instance().isometricEyeOffset;
    EXPECT_VECTOR_NEAR(InView(calls.views[0], eye - Vector3(0.15f, 0.0f, 0.0f)), Vector3(), 1e-5f);
    EXPECT_VECTOR_NEAR(InView(calls.views[1], eye + Vector3(0.15f, 0.0f, 0.0f)), Vector3(), 1e-5f);
    EXPECT_EQ(calls.scenes, 1);
    EXPECT_EQ(calls.presents, 1);
}

TEST_F(MirelApplicationTest, DrawSeesTheWorldFromTheViewer) {
    // a viewer moved and turned a quarter turn about the vertical
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
    EXPECT_EQ(context.shadowMatrix, &application->ShadowMatrix());
    EXPECT_FLOAT_EQ(context.shadowMaterial->diffuse.a, 0.5f);

    // the light keeps its direction in the world: seen from the turned viewer
    ASSERT_EQ(calls.lights.size(), 1u);
    Vector3 light = calls.lights[0].direction;
    player->ToWorld(light);
    EXPECT_VECTOR_NEAR(light, Normalize(SimulationParameters::Instance().lightDirection), 1e-6f);

    // the frame rate in the top right corner, white over black one pixel down and right
    ASSERT_EQ(calls.texts.size(), 2u);
    EXPECT_EQ(calls.texts[0].text, L"0fps");
    EXPECT_EQ(std::make_pair(calls.texts[0].x, calls.texts[0].y), std::make_pair(580, 20));
    EXPECT_EQ(calls.texts[0].color, 0xFF000000u);
    EXPECT_EQ(calls.texts[1].text, L"0fps");
    EXPECT_EQ(std::make_pair(calls.texts[1].x, calls.texts[1].y), std::make_pair(579, 19));
    EXPECT_EQ(calls.texts[1].color, 0xFFFFFFFFu);
    ASSERT_NE(calls.texts[0].font, nullptr);
    EXPECT_EQ(calls.texts[0].font->FaceName(), L"Ariel");
    EXPECT_EQ(calls.texts[0].font->Height(), 12);
}

TEST_F(MirelApplicationTest, ShadowsFallAlongTheLightOntoTheGround) {
    // a point carried by the shadow matrix (row vector, then the projective divide)
    const Matrix4& shadow = application->ShadowMatrix();
    const float point[4] = {1.0f, 2.0f, 3.0f, 1.0f};
    float image[4] = {};
    for (int column = 0; column < 4; ++column) {
        for (int row = 0; row < 4; ++row) {
            image[column] += point[row] * shadow.At(row, column);
        }
    }
    const Vector3 flat(image[0] / image[3], image[1] / image[3], image[2] / image[3]);
    EXPECT_NEAR(flat.y, 0.005f, 1e-6f);
    // it moved along the light's direction
    const Vector3 light = SimulationParameters::Instance().lightDirection;
    const Vector3 moved = flat - Vector3(point[0], point[1], point[2]);
    EXPECT_VECTOR_NEAR(Cross(moved, light), Vector3(), 1e-5f);
    EXPECT_GT(Dot(moved, light), 0.0f);
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
    EXPECT_EQ(application->Lock().Count(), 0);

    const int scenes = calls.scenes;
    application->Draw(0);
    EXPECT_EQ(calls.scenes, scenes);
    EXPECT_EQ(TickSteps(), 0);
    application->ResetDevice();
    EXPECT_EQ(window.messages.size(), 1u);
}

TEST_F(MirelApplicationTest, AFailureInDrawOrExecLeavesTheLockLogsAndIsRethrown) {
    log.ExpectFailures();
    probe->failDraw = true;
    EXPECT_THROW(application->Draw(0), myexception);
    probe->failControl = true;
    EXPECT_THROW(application->Exec(0), myexception);

    // the lock is free for another thread
    EXPECT_EQ(application->Lock().Count(), 0);
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
        EXPECT_EQ(error.message, L"error!");
        EXPECT_EQ(error.sourceFile, L".\\MirelApplication");
    }
}

} // namespace
