#include <gtest/gtest.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <string>
#include <thread>

#include "common/ApplicationConfigIni.h"
#include "common/ApplicationConfigMFC.h"
#include "common/FileBytes.h"
#include "common/WideText.h"
#include "physics/SimulationParameters.h"
#include "support/TestSupport.h"
#include "tester/MirelConfig.h"

namespace {

const std::array<std::wstring, 10> kDefaultItems = {
    L"items\\ball\\ball.wtf",      L"items\\dice\\dice.wtf",         L"items\\coin\\coin.wtf",
    L"items\\ring\\ring.wtf",      L"items\\rolypoly\\rolypoly.wtf", L"items\\15puzzle\\15puzzle.wtf",
    L"items\\domino\\dominos.wtf", L"items\\billiard\\billiard.wtf", L"items\\swing\\swing.wtf",
    L"items\\car\\car.wtf"};

class CountingObserver : public MirelConfig::ConfigObserver {
public:
    void Notify() override { ++calls; }
    int calls = 0;
};

/// Runs each test in a fresh empty current directory, where the settings file and the
/// profile file are looked for.
class MirelConfigFiles : public ::testing::Test {
protected:
    void SetUp() override {
        previous_ = std::filesystem::current_path();
        std::filesystem::current_path(directory_.Path());
        ApplicationConfigMFC::SetProfileFile(L".\\Kivaro.ini");
    }
    void TearDown() override { std::filesystem::current_path(previous_); }

    /// Writes a settings text as the program's files are written: UTF-16LE with a byte-order mark.
    static void WriteText(const std::wstring& file, const std::wstring& text) {
        ASSERT_TRUE(WriteFileBytes(file, std::string("\xFF\xFE", 2) + ToUtf16LE(text)));
    }
    static bool Exists(const char* file) { return std::filesystem::exists(file); }

private:
    TemporaryDirectory directory_;
    std::filesystem::path previous_;
};

} // namespace

TEST(MirelConfigTest, StepSettingsCarryTheUsersConstantsWithTheBuiltInOnes) {
    // a fresh configuration runs the world on exactly its built-in settings
    MirelConfig config;
    const WorldSettings fresh = config.StepSettings();
    const WorldSettings& builtIn = kBuiltInSettings;
    for (auto field :
         {&WorldSettings::timeStep, &WorldSettings::gravity, &WorldSettings::restitution,
          &WorldSettings::staticFriction, &WorldSettings::friction, &WorldSettings::dragDivisor,
          &WorldSettings::contactTolerance, &WorldSettings::contactStiffness,
          &WorldSettings::gravitationalConstant, &WorldSettings::earthMass, &WorldSettings::earthRadius,
          &WorldSettings::heavyMass, &WorldSettings::mouseForce, &WorldSettings::zoomFactor}) {
        EXPECT_EQ(fresh.*field, builtIn.*field);
    }
    // G M / R^2 of the built-in constants: about 9.77 m/s^2
    EXPECT_NEAR(fresh.gravitationalConstant * fresh.earthMass / (fresh.earthRadius * fresh.earthRadius), 9.77,
                0.005);

    // what the user changes reaches the world; the constants come from the simulation parameters
    config.timeStep = 0.002;
    config.gravity = 0.5;
    config.restitution = 0.3;
    config.staticFriction = 0.8;
    config.friction = 0.2;
    config.dragDivisor = 100.0;
    config.mouseForce = 20.0;
    config.SetZoom(15);
    double& tolerance = SimulationParameters::Instance().contactTolerance;
    const double builtInTolerance = tolerance;
    tolerance = 0.04;
    const WorldSettings changed = config.StepSettings();
    tolerance = builtInTolerance;
    EXPECT_EQ(changed.timeStep, 0.002);
    EXPECT_EQ(changed.gravity, 0.5);
    EXPECT_EQ(changed.restitution, 0.3);
    EXPECT_EQ(changed.staticFriction, 0.8);
    EXPECT_EQ(changed.friction, 0.2);
    EXPECT_EQ(changed.dragDivisor, 100.0);
    EXPECT_EQ(changed.mouseForce, 20.0);
    EXPECT_EQ(changed.zoomFactor, 3.5);
    EXPECT_EQ(changed.contactTolerance, 0.04);
}

TEST(MirelConfigTest, InstanceIsSharedUntilDestroyed) {
    MirelConfig::Destroy();
    MirelConfig& first = MirelConfig::Instance();
    EXPECT_EQ(&MirelConfig::Instance(), &first);
    first.timeStep = 0.002;
    EXPECT_EQ(MirelConfig::Instance().timeStep, 0.002);
    MirelConfig::Destroy();
    EXPECT_EQ(MirelConfig::Instance().timeStep, 0.0015);
    MirelConfig::Destroy();
}

TEST(MirelConfigTest, ScreenSizeTakesOnlyTableEntries) {
    MirelConfig config;
    config.SetScreenSize(4);
    EXPECT_EQ(config.screenSize, 4);
    EXPECT_EQ(config.ScreenWidth(), 1600);
    EXPECT_EQ(config.ScreenHeight(), 1200);
    config.SetScreenSize(9);
    config.SetScreenSize(-1);
    config.SetScreenSize(5);
    EXPECT_EQ(config.screenSize, 4);
    config.SetScreenSize(1);
    EXPECT_EQ(config.ScreenWidth(), 800);
    EXPECT_EQ(config.ScreenHeight(), 600);

    // an index set from outside the table answers the first entry's size
    config.screenSize = 9;
    EXPECT_EQ(config.ScreenWidth(), 640);
    EXPECT_EQ(config.ScreenHeight(), 480);
    config.screenSize = -7;
    EXPECT_EQ(config.ScreenWidth(), 640);
    EXPECT_EQ(config.ScreenHeight(), 480);
}

TEST(MirelConfigTest, ZoomStepsNotifyTheZoomObserverAndScaleTheView) {
    MirelConfig config;
    CountingObserver zoomObserver;
    CountingObserver otherObserver;
    config.Observers()[L"zoom"] = &zoomObserver;
    config.Observers()[L"screen"] = &otherObserver;

    config.SetZoom(16);
    config.SetZoom(0);
    config.SetZoom(-3);
    EXPECT_EQ(config.zoom, 10);
    EXPECT_EQ(zoomObserver.calls, 0);

    config.SetZoom(15);
    EXPECT_EQ(config.zoom, 15);
    EXPECT_EQ(zoomObserver.calls, 1);
    EXPECT_DOUBLE_EQ(config.ZoomFactor(), 3.5);
    config.SetZoom(1);
    EXPECT_EQ(zoomObserver.calls, 2);
    EXPECT_DOUBLE_EQ(config.ZoomFactor(), 0.1);
    config.SetZoom(5);
    EXPECT_DOUBLE_EQ(config.ZoomFactor(), 0.5);
    config.SetZoom(10);
    EXPECT_DOUBLE_EQ(config.ZoomFactor(), 1.0);
    config.SetZoom(12);
    EXPECT_DOUBLE_EQ(config.ZoomFactor(), 2.0);
    EXPECT_EQ(zoomObserver.calls, 5);
    EXPECT_EQ(otherObserver.calls, 0);

    // without an observer the setter still works
    config.Observers().clear();
    config.SetZoom(7);
    EXPECT_EQ(config.zoom, 7);
    EXPECT_EQ(zoomObserver.calls, 5);
}

TEST_F(MirelConfigFiles, SaveWritesWhatLoadReadsBack) {
    ScopedLogCapture capture;
    MirelConfig saved;
    saved.windowX = 0;
    saved.windowY = 1536;
    saved.toolboxX = 2048;
    saved.toolboxY = 0;
    saved.SetScreenSize(3);
    saved.SetZoom(15);
    saved.itemFiles[0] = L"items\\mine\\a;b.wtf";
    saved.itemFiles[9] = L"items\\日本語\\おもちゃ.wtf";
    saved.itemFiles[4] = L"";
    // not saved: every start begins with the built-in values
    saved.timeStep = 0.004;
    saved.gravity = 2.0;
    saved.viewMode = 1;
    saved.Save();

    EXPECT_TRUE(Exists("Kivaro_u.ini"));
    EXPECT_FALSE(Exists("Kivaro_u.lock"));
    EXPECT_FALSE(Exists("Kivaro_u.tmp"));
    const std::string bytes = ReadFileBytes(L"Kivaro_u.ini").value_or("");
    ASSERT_GE(bytes.size(), 2u);
    EXPECT_EQ(bytes.substr(0, 2), std::string("\xFF\xFE", 2));
    const std::wstring text = FromUtf16LE(std::string_view(bytes).substr(2));
    EXPECT_EQ(text.find(L"[Settings]\r\n"), 0u);
    EXPECT_NE(text.find(L"Zoom=15\r\n"), std::wstring::npos);
    EXPECT_EQ(text.find(L"TimeStep"), std::wstring::npos);
    // the viewer's tools at their defaults leave the file as it was before them
    EXPECT_EQ(text.find(L"Speed"), std::wstring::npos);
    EXPECT_EQ(text.find(L"CaptureFolder"), std::wstring::npos);

    MirelConfig loaded;
    loaded.Load();
    EXPECT_EQ(loaded.windowX, 0);
    EXPECT_EQ(loaded.windowY, 1536);
    EXPECT_EQ(loaded.toolboxX, 2048);
    EXPECT_EQ(loaded.toolboxY, 0);
    EXPECT_EQ(loaded.screenSize, 3);
    EXPECT_EQ(loaded.zoom, 15);
    EXPECT_EQ(loaded.itemFiles, saved.itemFiles);
    EXPECT_EQ(loaded.timeStep, 0.0015);
    EXPECT_EQ(loaded.gravity, 1.0);
    EXPECT_EQ(loaded.viewMode, 0);

    // saving the loaded configuration again gives the same file byte for byte
    loaded.Save();
    EXPECT_EQ(ReadFileBytes(L"Kivaro_u.ini").value_or(""), bytes);

    // slow motion and the capture folder are kept; back at full speed the key says so
    loaded.SetSpeedDivisor(3);
    EXPECT_EQ(loaded.speedDivisor, 1);
    loaded.SetSpeedDivisor(4);
    loaded.captureFolder = L"/tmp/キャプチャ";
    loaded.Save();
    MirelConfig slow;
    slow.Load();
    EXPECT_EQ(slow.speedDivisor, 4);
    EXPECT_EQ(slow.captureFolder, L"/tmp/キャプチャ");
    slow.SetSpeedDivisor(1);
    slow.Save();
    MirelConfig full;
    full.SetSpeedDivisor(8);
    full.Load();
    EXPECT_EQ(full.speedDivisor, 1);
    WriteText(L"Kivaro_u.ini", L"[Settings]\r\nSpeed=3\r\n");
    full.Load();
    EXPECT_EQ(full.speedDivisor, 1);
}

TEST_F(MirelConfigFiles, LoadReplacesOutOfRangePositionsAndZoom) {
    ScopedLogCapture capture;
    WriteText(L"Kivaro_u.ini", L"[Settings]\r\n"
                               L"WindowX=5000\r\n"
                               L"WindowY=-1\r\n"
                               L"ToolboxSheetX=2049\r\n"
                               L"ToolboxSheetY=-50\r\n"
                               L"ScreenSize=9\r\n"
                               L"Zoom=0\r\n"
                               L"Item3=items\\x\\x.wtf\r\n"
                               L"Item10=items\\ignored.wtf\r\n");
    MirelConfig config;
    config.Load();
    EXPECT_EQ(config.windowX, 70);
    EXPECT_EQ(config.windowY, 40);
    EXPECT_EQ(config.toolboxX, 720);
    EXPECT_EQ(config.toolboxY, 50);
    // an unknown screen size is kept as it is; the sizes fall back to the first entry
    EXPECT_EQ(config.screenSize, 9);
    EXPECT_EQ(config.ScreenWidth(), 640);
    EXPECT_EQ(config.ScreenHeight(), 480);
    // a zoom step outside 1..15 would leave no usable zoom factor
    EXPECT_EQ(config.zoom, 10);
    EXPECT_DOUBLE_EQ(config.ZoomFactor(), 1.0);
    EXPECT_EQ(config.itemFiles[3], L"items\\x\\x.wtf");
    EXPECT_EQ(config.itemFiles[2], kDefaultItems[2]);

    // values read from a file go through the same tests; the current values are the defaults of missing keys
    WriteText(L"Kivaro_u.ini", L"[Settings]\r\nZoom=16\r\nWindowX=12abc\r\n");
    MirelConfig other;
    other.toolboxY = 99;
    other.Load();
    EXPECT_EQ(other.zoom, 10);
    EXPECT_EQ(other.windowX, 12);
    EXPECT_EQ(other.toolboxY, 99);
    EXPECT_EQ(other.windowY, 40);

    // a key outside the section is not a setting
    WriteText(L"Kivaro_u.ini", L"Zoom=3\r\n[Other]\r\nZoom=4\r\n");
    MirelConfig outside;
    outside.Load();
    EXPECT_EQ(outside.zoom, 10);
}

TEST_F(MirelConfigFiles, WithoutAnySettingsTheDefaultsStayAndTheFirstSaveCreatesTheFile) {
    ScopedLogCapture capture;
    MirelConfig config;
    config.windowX = 123;
    config.Load();
    EXPECT_EQ(config.windowX, 123);
    EXPECT_EQ(config.zoom, 10);
    EXPECT_EQ(config.itemFiles, kDefaultItems);
    EXPECT_FALSE(Exists("Kivaro_u.ini"));
    EXPECT_FALSE(Exists("Kivaro.ini"));

    config.Save();
    EXPECT_TRUE(Exists("Kivaro_u.ini"));
    MirelConfig loaded;
    loaded.Load();
    EXPECT_EQ(loaded.windowX, 123);
}

TEST_F(MirelConfigFiles, ProfileIsReadOnlyUntilTheSettingsFileExists) {
    ScopedLogCapture capture;
    {
        ApplicationConfigMFC profile;
        profile.SetSection(L"Settings");
        profile.SetInt(L"WindowX", 300);
        profile.SetInt(L"Zoom", 4);
        profile.SetString(L"Item1", L"items\\profile.wtf");
    }
    MirelConfig fromProfile;
    fromProfile.Load();
    EXPECT_EQ(fromProfile.windowX, 300);
    EXPECT_EQ(fromProfile.zoom, 4);
    EXPECT_EQ(fromProfile.itemFiles[1], L"items\\profile.wtf");

    // saving never touches the profile; from then on the settings file is read instead
    const std::string profileBytes = ReadFileBytes(L"Kivaro.ini").value_or("");
    fromProfile.windowX = 400;
    fromProfile.Save();
    EXPECT_EQ(ReadFileBytes(L"Kivaro.ini").value_or(""), profileBytes);
    MirelConfig fromFile;
    fromFile.Load();
    EXPECT_EQ(fromFile.windowX, 400);
    EXPECT_EQ(fromFile.zoom, 4);
}

TEST_F(MirelConfigFiles, UnreadableSettingsFileKeepsTheDefaultsAndIsReplacedAtTheNextSave) {
    ScopedLogCapture capture(4, true);
    const std::wstring broken = L"[Settings]\r\nWindowX=100\r\n[abc\r\nZoom=3\r\n";
    WriteText(L"Kivaro_u.ini", broken);

    MirelConfig config;
    config.Load();
    // nothing of the file is taken over, and the failure is logged
    EXPECT_EQ(config.windowX, 70);
    EXPECT_EQ(config.zoom, 10);
    EXPECT_EQ(config.itemFiles, kDefaultItems);
    ASSERT_EQ(capture.Writer().Errors().size(), 1u);
    EXPECT_NE(capture.Writer().Errors()[0].message.find(L"[abc]"), std::wstring::npos);
    EXPECT_FALSE(Exists("Kivaro_u.lock"));

    // the next save writes a good file and keeps the unreadable one aside
    config.SetZoom(6);
    config.Save();
    EXPECT_FALSE(Exists("Kivaro_u.lock"));
    EXPECT_EQ(ReadFileBytes(L"Kivaro_u.bad").value_or(""), std::string("\xFF\xFE", 2) + ToUtf16LE(broken));
    capture.Writer().Clear();
    MirelConfig reloaded;
    reloaded.Load();
    EXPECT_TRUE(capture.Writer().Errors().empty());
    EXPECT_EQ(reloaded.zoom, 6);
    EXPECT_EQ(reloaded.windowX, 70);
}

TEST_F(MirelConfigFiles, EmptyAndTruncatedSettingsFilesDoNotStopTheProgram) {
    ScopedLogCapture capture(4, true);
    ASSERT_TRUE(WriteFileBytes(L"Kivaro_u.ini", ""));
    MirelConfig empty;
    empty.Load();
    EXPECT_EQ(empty.windowX, 70);

    // a file cut in the middle of a code unit and of a line
    std::string truncated = std::string("\xFF\xFE", 2) + ToUtf16LE(L"[Settings]\r\nWindowX=33\r\nZoo");
    truncated.push_back('m');
    ASSERT_TRUE(WriteFileBytes(L"Kivaro_u.ini", truncated));
    MirelConfig cut;
    cut.Load();
    EXPECT_EQ(cut.windowX, 33);
    EXPECT_EQ(cut.zoom, 10);
}
