// kivaro-sim --render draws, with no display, the picture the desktop program draws of the
// same state: the ball toy after half a second, run once by the simulator into a PNG and
// once in this process by the tester application on its offscreen device.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <QGuiApplication>
#include <QImage>
#include <cstdlib>
#include <filesystem>
#include <fstream>

#include "definition/FieldCatalog.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldTick.h"
#include "render/GlDevice.h"
#include "render/GlDeviceProvider.h"
#include "render/GlObjectFactory.h"
#include "support/TestSupport.h"
#include "tester/MirelApplication.h"
#include "tester/MirelConfig.h"

namespace {

constexpr int kTicks = 30;

int RunSimulator(const std::string& arguments) {
    const std::string command = std::string("env -u DISPLAY -u WAYLAND_DISPLAY ") + KIVARO_BINARY_DIR +
                                "/bin/kivaro-sim --root '" + KIVARO_SOURCE_DIR + "' " + arguments +
                                " > /dev/null 2> /tmp/kivaro-render-test.txt";
    const int status = std::system(command.c_str());
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
}

/// Pixels whose colour differs by more than antialiasing does, outside the frame rate's corner.
int DifferingPixels(const QImage& first, const QImage& second) {
    int differing = 0;
    for (int y = 0; y < first.height(); ++y) {
        for (int x = 0; x < first.width(); ++x) {
            if (x >= first.width() - 80 && y < 40) {
                continue;
            }
            const QColor a = first.pixelColor(x, y);
            const QColor b = second.pixelColor(x, y);
            const int difference = std::max({std::abs(a.red() - b.red()), std::abs(a.green() - b.green()),
                                             std::abs(a.blue() - b.blue())});
            differing += difference > 24 ? 1 : 0;
        }
    }
    return differing;
}

TEST(HeadlessRenderTest, TheSimulatorsPictureIsTheDesktopFrameOfTheSameState) {
    TemporaryDirectory folder;
    const std::string picture = folder.Path() + "/ball.png";
    ASSERT_EQ(
        RunSimulator("--ticks " + std::to_string(kTicks) + " --render '" + picture + "' items/ball/ball.wtf"),
        0);
    const QImage rendered(QString::fromStdString(picture));
    ASSERT_EQ(rendered.size(), QSize(640, 480));
    // the ball and its shadow are in it: without them the picture is another
    const std::string emptyPicture = folder.Path() + "/empty.png";
    std::ofstream(folder.Path() + "/empty.wtf") << "<Field format=\"110\"/>";
    ASSERT_EQ(RunSimulator("--ticks " + std::to_string(kTicks) + " --render '" + emptyPicture + "' '" +
                           folder.Path() + "/empty.wtf'"),
              0);
    EXPECT_GT(DifferingPixels(rendered, QImage(QString::fromStdString(emptyPicture))), 100);
    // a bad size or camera is refused before anything runs
    EXPECT_EQ(RunSimulator("--render x.png --size 0x480 items/ball/ball.wtf"), 2);
    EXPECT_EQ(RunSimulator("--render x.png --view 2 items/ball/ball.wtf"), 2);

    if (qEnvironmentVariableIsEmpty("DISPLAY") && qgetenv("QT_QPA_PLATFORM") != "offscreen") {
        GTEST_SKIP() << "no display for the desktop program's frame";
    }
    static int argc = 1;
    static char name[] = "headless_render_test";
    static char* argv[] = {name, nullptr};
    if (qGuiApp == nullptr) {
        new QGuiApplication(argc, argv);
    }
    ScopedLogCapture log;
    const std::filesystem::path previous = std::filesystem::current_path();
    std::filesystem::current_path(KIVARO_SOURCE_DIR);
    D3DObjectManager::Destroy();
    D3DObjectManager::Instance().SetFactory(std::make_unique<GlObjectFactory>());
    GlDeviceProvider provider;
    QImage frame;
    {
        MirelApplication application(nullptr, nullptr);
        application.SetDeviceProvider(&provider);
        Direct3DConfig config;
        application.GetDirect3DConfig(config);
        application.Direct3D::Create(config);
        application.CreateApplicationMain();
        FieldItemWorld& world = *application.World();
        FieldCatalog catalog;
        catalog.Update();
        catalog.Add(L"items\\ball\\ball.wtf", world, nullptr,
                    SimulationParameters::Instance().playerStartPosition.y);
        world.SetSettings(MirelConfig::Instance().StepSettings());
        for (int tick = 0; tick < kTicks; ++tick) {
            RunTick(world, nullptr);
        }
        application.Draw(0);
        frame = static_cast<GlDevice*>(application.Direct3D::Device())->ReadFrame();
    }
    D3DObjectManager::Destroy();
    std::filesystem::current_path(previous);

    // the same picture but for the frame rate in the upper right corner and edge noise
    const int differing = DifferingPixels(frame, rendered);
    EXPECT_LT(differing, 640 * 480 / 1000) << differing << " pixels differ";
}

} // namespace
