// The tester application's own drawing on the render library's offscreen device: real
// pixels of a frame with the land, the sky, a ball and its shadow. Skips without a display.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <filesystem>
#include <numbers>

#include "framework/MainWindowLink.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "render/GlDevice.h"
#include "render/GlDeviceProvider.h"
#include "render/GlObjectFactory.h"
#include "support/TestSupport.h"
#include "tester/MirelApplication.h"
#include "tester/MirelConfig.h"

namespace {

class SilentWindow : public MainWindowLink {
public:
    void RequestClose() override {}
    bool ReadKeyboardSetting(const std::wstring&, std::wstring& value) override {
        value = L"0";
        return true;
    }
};

/// The process's GUI application, made by the first test that draws and never destroyed:
/// it must outlive every window system object.
void EnsureGuiApplication() {
    static int argc = 1;
    static char name[] = "tester_pixel_test";
    static char* argv[] = {name, nullptr};
    if (qGuiApp == nullptr) {
        new QGuiApplication(argc, argv);
    }
}

/// Where a world point appears in the 640 x 480 isometric view of an unturned viewer at
/// the given position, zoom step 10: a pinhole camera 2 m above and 5 m behind it, looking
/// at it, with the vertical field of view pi/4.
QPoint ScreenPoint(const Vector3& point, const Vector3& viewer) {
    const Vector3 eye = viewer + Vector3(0.0f, 2.0f, -5.0f);
    const Vector3 forward = Normalize(viewer - eye);
    const Vector3 right = Normalize(Cross(forward, Vector3(0.0f, 1.0f, 0.0f)));
    const Vector3 up = Cross(right, forward);
    const Vector3 offset = point - eye;
    const double depth = Dot(offset, forward);
    const double pixelsPerUnit = 240.0 / std::tan(std::numbers::pi / 8.0);
    return {static_cast<int>(std::lround(320.0 + Dot(offset, right) / depth * pixelsPerUnit)),
            static_cast<int>(std::lround(240.0 - Dot(offset, up) / depth * pixelsPerUnit))};
}

int Brightness(const QImage& frame, QPoint at) {
    const QColor colour = frame.pixelColor(at);
    return colour.red() + colour.green() + colour.blue();
}

int ChannelDifference(const QImage& a, const QImage& b, QPoint at) {
    const QColor first = a.pixelColor(at);
    const QColor second = b.pixelColor(at);
    return std::max({std::abs(first.red() - second.red()), std::abs(first.green() - second.green()),
                     std::abs(first.blue() - second.blue())});
}

class MirelApplicationPixelTest : public ::testing::Test {
protected:
    void SetUp() override {
        if (qEnvironmentVariableIsEmpty("DISPLAY") && qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") &&
            qgetenv("QT_QPA_PLATFORM") != "offscreen") {
            GTEST_SKIP() << "no display to draw on";
        }
        EnsureGuiApplication();
        // the world's meshes and textures are found under the working directory
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(KIVARO_SOURCE_DIR);
        MirelConfig::Destroy();
        SimulationParameters::Destroy();
        D3DObjectManager::Destroy();
        D3DObjectManager::Instance().SetFactory(std::make_unique<GlObjectFactory>());

        application_ = std::make_unique<MirelApplication>(nullptr, &window_);
        application_->SetDeviceProvider(&provider_);
        Direct3DConfig config;
        application_->GetDirect3DConfig(config);
        application_->Direct3D::Create(config);
        application_->CreateApplicationMain();
    }
    void TearDown() override {
        application_.reset();
        MirelConfig::Destroy();
        SimulationParameters::Destroy();
        if (!previous_.empty()) {
            std::filesystem::current_path(previous_);
        }
    }

    QImage DrawFrame() {
        application_->Draw(0);
        return static_cast<GlDevice*>(application_->Direct3D::Device())->ReadFrame();
    }

    ScopedLogCapture log_;
    SilentWindow window_;
    GlDeviceProvider provider_;
    std::unique_ptr<MirelApplication> application_;
    std::filesystem::path previous_;
};

TEST_F(MirelApplicationPixelTest, ABallAppearsWhereTheViewPutsItWithItsShadowOnTheGround) {
    const QImage empty = DrawFrame();

    // a ball floating beside the viewer's look-at point
    const Vector3 centre(0.5f, 0.6f, 1.0f);
    FieldItemSphere::Record record;
    record.position = centre;
    record.r = 0.25;
    auto ball = std::make_unique<FieldItemSphere>();
    ball->Initialize(record);
    FieldItemWorld& world = *application_->World();
    world.AddItem(L"ball", std::move(ball));
    world.CommitPending();
    world.UpdateWorld(nullptr, nullptr);
    const QImage frame = DrawFrame();
    frame.save("/tmp/tester-frame.png");

    // the ball covers its projected centre; well beside it the frame is unchanged
    const Vector3 viewer = world.Find(L"localplayer")->WorldPosition();
    const QPoint ballPixel = ScreenPoint(centre, viewer);
    EXPECT_GT(ChannelDifference(frame, empty, ballPixel), 30);
    const QPoint beside = ScreenPoint(centre + Vector3(-0.75f, 0.0f, 0.0f), viewer);
    EXPECT_LE(ChannelDifference(frame, empty, beside), 2);

    // its shadow lies on the ground along the light, darker than the bare ground there
    const Vector3 light = SimulationParameters::Instance().lightDirection;
    const float reach = (centre.y - 0.005f) / -light.y;
    const QPoint shadowPixel = ScreenPoint(centre + light * reach, viewer);
    EXPECT_LT(Brightness(frame, shadowPixel), Brightness(empty, shadowPixel) * 4 / 5);

    // the view from above shows another picture
    MirelConfig::Instance().viewMode = 1;
    const QImage top = DrawFrame();
    top.save("/tmp/tester-frame-top.png");
    int differing = 0;
    for (int y = 0; y < frame.height(); y += 4) {
        for (int x = 0; x < frame.width(); x += 4) {
            differing += ChannelDifference(frame, top, QPoint(x, y)) > 16 ? 1 : 0;
        }
    }
    EXPECT_GT(differing, frame.width() / 4 * frame.height() / 4 / 4);
}

} // namespace
