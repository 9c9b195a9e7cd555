// The tester application's own drawing on the render library's offscreen device: real
// pixels of a frame with the land, the sky, a ball and its shadow. Skips without a display.

#include <gtest/gtest.h>
#include <unistd.h>

#include <QGuiApplication>
#include <QImage>
#include <QProcess>
#include <QStandardPaths>
#include <cmath>
#include <filesystem>

#include "framework/DeviceObjectData.h"
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

    /// A ball of radius 0.25 m whose centre is at the point.
    void AddBall(const Vector3& centre) {
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
    AddBall(centre);
    const QImage frame = DrawFrame();
    FieldItemWorld& world = *application_->World();

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
    int differing = 0;
    for (int y = 0; y < frame.height(); y += 4) {
        for (int x = 0; x < frame.width(); x += 4) {
            differing += ChannelDifference(frame, top, QPoint(x, y)) > 16 ? 1 : 0;
        }
    }
    EXPECT_GT(differing, frame.width() / 4 * frame.height() / 4 / 4);
}

/// How many pixels of the region differ by more than the threshold in a channel.
int DifferingPixels(const QImage& a, const QImage& b, const QRect& region, int threshold = 8) {
    int differing = 0;
    for (int y = region.top(); y <= region.bottom(); ++y) {
        for (int x = region.left(); x <= region.right(); ++x) {
            differing += ChannelDifference(a, b, QPoint(x, y)) > threshold ? 1 : 0;
        }
    }
    return differing;
}

TEST_F(MirelApplicationPixelTest, TimingPanelAndContactsDrawInTheirPlacesAndOffLeaveTheFrameAlone) {
    // a ball resting in the contact band of the land beside the look-at point
    const Vector3 centre(0.5f, 0.25f + 0.005f, 1.0f);
    AddBall(centre);
    FieldItemWorld& world = *application_->World();
    world.DetectCollisions();
    std::vector<Contact> contacts;
    world.LastContacts(contacts);
    ASSERT_EQ(contacts.size(), 1u);
    const QImage plain = DrawFrame();
    const Vector3 viewer = world.Find(L"localplayer")->WorldPosition();
    const QRect whole(0, 0, plain.width(), plain.height());
    const QRect topLeft(0, 0, 120, 120);
    const QPoint contact = ScreenPoint(*application_, contacts[0].point - viewer);
    const QRect aroundContact(contact - QPoint(12, 40), contact + QPoint(12, 6));

    application_->RunKeyAction(KeyBindings::Action::kTimingOverlay);
    const QImage timing = DrawFrame();
    EXPECT_GT(DifferingPixels(timing, plain, topLeft), 120 * 120 / 4);
    EXPECT_EQ(DifferingPixels(timing, plain, QRect(0, 240, 640, 240)), 0);

    // the contact's cross and normal over the ball's bottom, nothing elsewhere
    application_->RunKeyAction(KeyBindings::Action::kTimingOverlay);
    application_->RunKeyAction(KeyBindings::Action::kContactDisplay);
    const QImage shown = DrawFrame();
    const int nearContact = DifferingPixels(shown, plain, aroundContact, 30);
    EXPECT_GT(nearContact, 6);
    EXPECT_EQ(DifferingPixels(shown, plain, whole, 30), nearContact);
    // near the band's outer edge the contact is green
    int green = 0;
    for (int y = aroundContact.top(); y <= aroundContact.bottom(); ++y) {
        for (int x = aroundContact.left(); x <= aroundContact.right(); ++x) {
            const QRgb pixel = shown.pixel(x, y);
            green += ChannelDifference(shown, plain, QPoint(x, y)) > 30 && qGreen(pixel) > qRed(pixel) + 100
                         ? 1
                         : 0;
        }
    }
    EXPECT_GT(green, nearContact / 2);

    // all off: the very same frame
    application_->RunKeyAction(KeyBindings::Action::kContactDisplay);
    EXPECT_EQ(DrawFrame(), plain);
}

TEST_F(MirelApplicationPixelTest, ScreenshotIsTheFrameAndARecordingTakesOneFramePerTick) {
    const TemporaryDirectory temporary;
    const std::filesystem::path folder = temporary.Path();
    MirelConfig::Instance().captureFolder = folder.wstring();

    // the screenshot is the frame as drawn, at the view's size, with no status text in it
    const QImage plain = DrawFrame();
    application_->RunKeyAction(KeyBindings::Action::kScreenshot);
    const QImage withStatus = DrawFrame();
    const std::string shot = application_->LastCapturePath();
    ASSERT_EQ(std::filesystem::path(shot).parent_path(), folder);
    EXPECT_EQ(std::filesystem::path(shot).filename().string().rfind("Kivaro-", 0), 0u) << shot;
    const QImage saved(QString::fromStdString(shot));
    ASSERT_EQ(saved.size(), plain.size());
    EXPECT_EQ(saved.convertToFormat(QImage::Format_RGB32), plain);
    EXPECT_NE(withStatus, plain);

    // a dropped ball: one frame per 1/60 s of simulated time, without the recording dot; the
    // encoder where the machine has one, numbered pictures where it has none
    {
        // without a window the keyboard's repeat settings cannot be read, which is said at level 1
        ScopedLogCapture quiet(4, true);
        application_->DirectInput::Create(DirectInputConfig{});
        application_->Acquire();
    }
    AddBall(Vector3(0.0f, 1.5f, 1.0f));
    const bool encoder = !QStandardPaths::findExecutable("ffprobe").isEmpty() &&
                         !QStandardPaths::findExecutable("ffmpeg").isEmpty();
    for (const std::string& program : {std::string("kivaro-no-such-encoder"), std::string("ffmpeg")}) {
        if (program == "ffmpeg" && !encoder) {
            continue;
        }
        // 2 s through the encoder, 1/2 s as pictures (each takes its time to write)
        const int ticks = program == "ffmpeg" ? 120 : 30;
        application_->SetVideoEncoder(program);
        application_->RunKeyAction(KeyBindings::Action::kRecordVideo);
        for (int tick = 0; tick < ticks - 1; ++tick) {
            application_->Draw(0);
            application_->Exec(1);
        }
        const QImage shown = DrawFrame();
        application_->Exec(1);
        EXPECT_TRUE(application_->IsRecording());
        application_->RunKeyAction(KeyBindings::Action::kRecordVideo);
        application_->Draw(0);
        EXPECT_FALSE(application_->IsRecording());
        const QRgb dot = shown.pixel(shown.width() - 20, shown.height() - 20);
        EXPECT_GT(qRed(dot), 200);
        EXPECT_LT(qGreen(dot), 60) << program;

        const std::filesystem::path target = application_->LastCapturePath();
        if (program != "ffmpeg") {
            int frames = 0;
            for (const auto& entry : std::filesystem::directory_iterator(target)) {
                frames += entry.path().extension() == ".png" ? 1 : 0;
            }
            EXPECT_EQ(frames, ticks);
            const QImage last(QString::fromStdString((target / "frame-000030.png").string()));
            ASSERT_FALSE(last.isNull());
            const QRgb corner = last.pixel(last.width() - 20, last.height() - 20);
            EXPECT_LT(qRed(corner), 200) << "the dot is not recorded";
        } else {
            EXPECT_EQ(target.extension(), ".mp4");
            QProcess probe;
            probe.start(QStringLiteral("ffprobe"),
                        {QStringLiteral("-v"), QStringLiteral("error"), QStringLiteral("-count_frames"),
                         QStringLiteral("-select_streams"), QStringLiteral("v:0"),
                         QStringLiteral("-show_entries"),
                         QStringLiteral("stream=nb_read_frames,width,height"), QStringLiteral("-of"),
                         QStringLiteral("csv=p=0"), QString::fromStdString(target.string())});
            ASSERT_TRUE(probe.waitForFinished(60000));
            EXPECT_EQ(probe.readAllStandardOutput().trimmed(), QByteArray("640,480,120"));
        }
    }
}

} // namespace
