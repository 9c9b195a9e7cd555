// The tester application's own drawing on the render library's offscreen device: real
// pixels of a frame with the land, the sky, a ball and its shadow. Skips without a display.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <cmath>
#include <filesystem>

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

/// Where a point of the viewer's axes lands in the last frame, through the application's
/// view and projection.
QPoint ScreenPoint(const MirelApplication& application, const Vector3& point) {
    const Vector3 inView = TransformCoord(point, application.ViewMatrix());
    const Matrix4& projection = application.ProjectionMatrix();
    const float depth = -inView.z;
    return {static_cast<int>(std::lround(320.0f + inView.x * projection._11 / depth * 320.0f)),
            static_cast<int>(std::lround(240.0f - inView.y * projection._22 / depth * 240.0f))};
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

        application_ = std::make_unique<MirelApplication>(nullptr, nullptr);
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
    record.texture = L"data\\ball.png";
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
    EXPECT_GT(ChannelDifference(frame, empty, ScreenPoint(*application_, centre - viewer)), 30);
    EXPECT_LE(
        ChannelDifference(frame, empty, ScreenPoint(*application_, centre - viewer - Vector3(0.75f, 0, 0))),
        2);

    // its shadow lies on the ground along the light, darker than the bare ground there
    const Vector3 light = SimulationParameters::Instance().lightDirection;
    const float reach = (centre.y - 0.005f) / -light.y;
    const QPoint shadowPixel = ScreenPoint(*application_, centre + light * reach - viewer);
    // blended once over the land at half strength: not over the clear colour, not twice
    const int bareGround = qGray(empty.pixel(shadowPixel));
    EXPECT_GT(qGray(frame.pixel(shadowPixel)), bareGround * 35 / 100);
    EXPECT_LT(qGray(frame.pixel(shadowPixel)), bareGround * 65 / 100);
    // the ground under the look-at point is the land's green texture, not the sky behind it
    const QRgb ground = empty.pixel(ScreenPoint(*application_, Vector3(0.0f, 0.0f, 0.0f) - viewer));
    EXPECT_GT(qGreen(ground), qRed(ground) + 20);
    EXPECT_GT(qGreen(ground), qBlue(ground) + 20);

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
