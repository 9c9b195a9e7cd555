#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "support/TestSupport.h"

namespace {

struct Outcome {
    int exitCode = -1;
    std::vector<std::string> lines;
    std::string errors;
};

/// A number of a JSON line by key; NaN when absent.
double NumberOf(const std::string& line, const std::string& key) {
    std::size_t at = line.find("\"" + key + "\":");
    if (at == std::string::npos) {
        return std::nan("");
    }
    return std::strtod(line.c_str() + at + key.size() + 3, nullptr);
}

/// Component i of an array of a JSON line by key.
double ComponentOf(const std::string& line, const std::string& key, int index) {
    std::size_t at = line.find("\"" + key + "\":[");
    if (at == std::string::npos) {
        return std::nan("");
    }
    const char* cursor = line.c_str() + at + key.size() + 4;
    for (int i = 0; i < index; ++i) {
        cursor = std::strchr(cursor, ',') + 1;
    }
    return std::strtod(cursor, nullptr);
}

std::string TextOf(const std::string& line, const std::string& key) {
    std::size_t at = line.find("\"" + key + "\":\"");
    if (at == std::string::npos) {
        return "";
    }
    std::size_t start = at + key.size() + 4;
    return line.substr(start, line.find('"', start) - start);
}

class KivaroSimTest : public ::testing::Test {
protected:
    void Write(const std::string& relative, const std::string& text) {
        std::filesystem::path path = std::filesystem::path(root_.Path()) / relative;
        std::filesystem::create_directories(path.parent_path());
        std::ofstream(path, std::ios::binary) << text;
    }

    /// Runs the simulator in the test's folder with the given arguments.
    Outcome Run(const std::string& arguments, const char* language = "C") {
        std::string errorsPath = root_.Path() + "/stderr.txt";
        std::string command = std::string("LC_ALL= LC_MESSAGES= LANG=") + language + " " + KIVARO_BINARY_DIR +
                              "/bin/kivaro-sim --root '" + root_.Path() + "' " + arguments + " 2>'" +
                              errorsPath + "'";
        Outcome outcome;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return outcome;
        }
        char buffer[4096];
        std::string text;
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            text += buffer;
        }
        int status = pclose(pipe);
        outcome.exitCode = WIFEXITED(status) ? WEXITSTATUS(status) : -1;
        std::istringstream stream(text);
        for (std::string line; std::getline(stream, line);) {
            outcome.lines.push_back(line);
        }
        std::ifstream errors(errorsPath);
        outcome.errors.assign(std::istreambuf_iterator<char>(errors), {});
        return outcome;
    }

    /// A ball of radius 0.1 m and density 1000 dropped from `height` above the land.
    void WriteBallFolder(double height) {
        Write("items/sphere.wti", R"(<?xml version="1.0"?>
<FieldItem name="HalvaneSystem.sphere" format="110">
  <Attribute name="texture" type="string"/><Attribute name="r" type="float"/>
  <Attribute name="density" type="float"/><Attribute name="position" type="vector"/>
</FieldItem>)");
        // the field's position is lowered by the player's start height of 0.5 m
        Write("items/ball/ball.wtf", R"(<?xml version="1.0"?>
<Field format="110" date="2026-12-07">
  <Information xml:lang="en" name="Ball" author="Kivaro" comment="one\r\nball"/>
  <Information xml:lang="ja" name="ボール" author="Kivaro" comment="玉"/>
  <Const name="h" type="float">)" + std::to_string(height + 0.5) +
                                         R"(</Const>
  <Item name="ball" type="HalvaneSystem.sphere">
    <Parameter name="texture" type="string">"ball.png"</Parameter>
    <Parameter name="r" type="float">0.1</Parameter>
    <Parameter name="density" type="float">1000</Parameter>
    <Parameter name="position" type="vector">0,h,0</Parameter>
  </Item>
</Field>)");
    }

    TemporaryDirectory root_;
};

TEST_F(KivaroSimTest, EvalPrintsTheResultOrTheMessage) {
    Outcome good = Run("--eval '1+2*3'");
    EXPECT_EQ(good.exitCode, 0);
    ASSERT_EQ(good.lines.size(), 1u);
    EXPECT_EQ(good.lines[0], R"({"result":"7"})");

    Outcome bad = Run("--eval '1/0'");
    EXPECT_EQ(bad.exitCode, 1);
    ASSERT_EQ(bad.lines.size(), 1u);
    EXPECT_EQ(bad.lines[0], R"({"error":"Division by zero."})");
}

TEST_F(KivaroSimTest, CheckReportsEveryFileAndGoesOnAfterFailures) {
    WriteBallFolder(1.0);
    Write("items/broken/broken.wtf", R"(<Field format="110"><Item name="x" type="nothing"/></Field>)");
    Write("items/broken/bad.wti", R"(<FieldItem name="bad" format="999"/>)");
    Write("items/ignored/ball.WTF", R"(<Field format="110"/>)");
    // a header that reads well over items that Add refuses: two of one name
    const std::string kSphere = R"(<Parameter name="texture" type="string">"ball.png"</Parameter>
    <Parameter name="r" type="float">0.1</Parameter><Parameter name="density" type="float">1</Parameter>
    <Parameter name="position" type="vector">0,1,0</Parameter>)";
    Write("items/twins/twins.wtf", R"(<Field format="110">
  <Information xml:lang="en" name="Twins"/>
  <Item name="t" type="HalvaneSystem.sphere">)" +
                                       kSphere + R"(</Item>
  <Item name="t" type="HalvaneSystem.sphere">)" +
                                       kSphere + R"(</Item>
</Field>)");

    Outcome outcome = Run("--check");
    EXPECT_EQ(outcome.exitCode, 1);
    ASSERT_EQ(outcome.lines.size(), 4u) << outcome.errors;
    EXPECT_EQ(TextOf(outcome.lines[3], "path"), "items\\\\twins\\\\twins.wtf");
    EXPECT_NE(outcome.lines[3].find("Another Object with the same name has been found."), std::string::npos)
        << outcome.lines[3];
    // the failing item definition file first, then the field files in listing order
    EXPECT_EQ(TextOf(outcome.lines[0], "path"), "items\\\\broken\\\\bad.wti");
    EXPECT_NE(outcome.lines[0].find("This file format is not supported."), std::string::npos);
    EXPECT_EQ(TextOf(outcome.lines[1], "path"), "items\\\\ball\\\\ball.wtf");
    EXPECT_EQ(TextOf(outcome.lines[1], "name"), "Ball");
    EXPECT_NE(outcome.lines[1].find(R"("comment":"one\r\nball")"), std::string::npos);
    EXPECT_EQ(TextOf(outcome.lines[2], "path"), "items\\\\broken\\\\broken.wtf");
    EXPECT_NE(outcome.lines[2].find("Type[nothing]\\r\\nFieldItem is not defined."), std::string::npos);

    Outcome japanese = Run("--check", "ja_JP.UTF-8");
    ASSERT_EQ(japanese.lines.size(), 4u);
    EXPECT_EQ(TextOf(japanese.lines[1], "name"), "ボール");
}

TEST_F(KivaroSimTest, DroppedBallComesToRestAtTheSpringEquilibrium) {
    WriteBallFolder(0.5);
    Outcome outcome = Run("--seconds 3 --every 60 items/ball/ball.wtf");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    ASSERT_EQ(outcome.lines.size(), 3u);
    const std::string& last = outcome.lines.back();
    EXPECT_EQ(NumberOf(last, "tick"), 180);
    EXPECT_EQ(TextOf(last, "name"), "ball0");
    EXPECT_EQ(TextOf(last, "type"), "sphere");
    double mass = NumberOf(last, "mass");
    EXPECT_NEAR(mass, 1000.0 * 4.0 / 3.0 * M_PI * 0.001, 1e-6);
    // weight balanced by the spring: core radius + tolerance * (1 - m g / stiffness)
    double gravity = 6.67e-11 * 6e24 / (6.4e6 * 6.4e6);
    double rest = (0.1 - 0.015) + 0.03 * (1.0 - mass * gravity / 2000.0);
    EXPECT_NEAR(ComponentOf(last, "position", 1), rest, 1e-3);
    EXPECT_NEAR(ComponentOf(last, "velocity", 1), 0.0, 1e-2);
    EXPECT_NEAR(ComponentOf(last, "position", 0), 0.0, 1e-4);
    // the first report, after one second, still has the ball falling or bouncing above rest
    EXPECT_EQ(NumberOf(outcome.lines[0], "tick"), 60);
}

TEST_F(KivaroSimTest, ContactsAndImpactsAreReportedPerStep) {
    WriteBallFolder(1.0);
    Outcome outcome = Run("--seconds 4 --contacts --impacts items/ball/ball.wtf");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    int contacts = 0;
    int impacts = 0;
    int firstStep = 1000;
    int lastStep = -1;
    for (const std::string& line : outcome.lines) {
        if (line.find("\"impact\"") != std::string::npos) {
            ++impacts;
            EXPECT_EQ(TextOf(line, "impact"), "ball0");
            // the sound starts at 2000 times an acceleration peak above 100 m/s^2
            EXPECT_GT(NumberOf(line, "amplitude"), 200000.0);
        } else if (line.find("\"first\"") != std::string::npos) {
            ++contacts;
            EXPECT_EQ(NumberOf(line, "tick"), 240) << "contacts are printed for reported ticks only";
            bool ballFirst = TextOf(line, "first") == "ball0";
            EXPECT_EQ(TextOf(line, ballFirst ? "second" : "first"), "land");
            // the normal points from the second item towards the first
            EXPECT_NEAR(ComponentOf(line, "normal", 1), ballFirst ? 1.0 : -1.0, 1e-4);
            EXPECT_LT(NumberOf(line, "distance"), 0.03);
            const int step = static_cast<int>(NumberOf(line, "step"));
            firstStep = std::min(firstStep, step);
            lastStep = std::max(lastStep, step);
        }
    }
    EXPECT_GT(contacts, 0);
    // the resting ball touches the land in every step of the tick: steps 0 to 11 of 1.5 ms
    EXPECT_EQ(firstStep, 0);
    EXPECT_EQ(lastStep, 11);
    EXPECT_GE(impacts, 1);
    EXPECT_NE(outcome.lines.back().find("\"tick\":240"), std::string::npos);
}

TEST_F(KivaroSimTest, TimingLineCountsStepsAndBodies) {
    WriteBallFolder(0.2);
    Outcome outcome = Run("--ticks 10 --step 0.0015 --threads 2 --timing items/ball/ball.wtf");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    const std::string& timing = outcome.lines.back();
    EXPECT_EQ(NumberOf(timing, "ticks"), 10);
    EXPECT_EQ(NumberOf(timing, "steps"), 120); // 12 steps of 1.5 ms cover each 1/60 s
    EXPECT_GT(NumberOf(timing, "step_seconds"), 0.0);
    EXPECT_GT(NumberOf(timing, "body_steps_per_second"), 0.0);
    // the world's own clocks time each of its phases
    for (const char* phase :
         {"contacts_seconds", "forces_seconds", "integration_seconds", "refresh_seconds"}) {
        EXPECT_GT(NumberOf(timing, phase), 0.0) << phase;
    }
}

TEST_F(KivaroSimTest, RefillReplacesEveryUserItemWithNewlyAddedOnes) {
    WriteBallFolder(1.0);
    Outcome outcome = Run("--ticks 5 --every 1 --refill 2 items/ball/ball.wtf");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    // one ball a tick: the first until tick 2, its replacement (next name, back at the start) after
    ASSERT_EQ(outcome.lines.size(), 5u);
    EXPECT_EQ(TextOf(outcome.lines[1], "name"), "ball0");
    EXPECT_EQ(TextOf(outcome.lines[2], "name"), "ball1");
    EXPECT_EQ(TextOf(outcome.lines[4], "name"), "ball2");
    EXPECT_GT(ComponentOf(outcome.lines[2], "position", 1), ComponentOf(outcome.lines[1], "position", 1));
}

TEST_F(KivaroSimTest, FieldsAreLiftedClearOfEarlierOnesAndPushesSetVelocities) {
    WriteBallFolder(0.5);
    Outcome outcome = Run("--gravity 0 --ticks 2 --every 1 --push ball0=1.5,0,-3@2 --push ball1=0,0,0.5 "
                          "items/ball/ball.wtf items/ball/ball.wtf");
    ASSERT_EQ(outcome.exitCode, 0) << outcome.errors;
    ASSERT_EQ(outcome.lines.size(), 4u);
    // the second field's ball has risen clear of the first one's (two core radii of 0.085 m)
    EXPECT_EQ(TextOf(outcome.lines[0], "name"), "ball0");
    EXPECT_NEAR(ComponentOf(outcome.lines[0], "position", 1), 0.5, 1e-6);
    EXPECT_GT(ComponentOf(outcome.lines[1], "position", 1), 0.5 + 0.17);
    // ball1 moves from tick 1 on, ball0 from tick 2 on
    EXPECT_NEAR(ComponentOf(outcome.lines[1], "velocity", 2), 0.5, 1e-6);
    EXPECT_NEAR(ComponentOf(outcome.lines[1], "position", 2), 0.5 * 0.018, 1e-5); // 12 steps of 1.5 ms
    EXPECT_EQ(ComponentOf(outcome.lines[0], "velocity", 0), 0.0);
    EXPECT_NEAR(ComponentOf(outcome.lines[2], "velocity", 0), 1.5, 1e-6);
    EXPECT_NEAR(ComponentOf(outcome.lines[2], "velocity", 2), -3.0, 1e-6);
    EXPECT_NEAR(ComponentOf(outcome.lines[2], "position", 0), 1.5 * 0.018, 1e-5);

    Outcome unknown = Run("--ticks 1 --push ball7=1,0,0 items/ball/ball.wtf");
    EXPECT_EQ(unknown.exitCode, 2);
    EXPECT_TRUE(unknown.lines.empty());
    EXPECT_NE(unknown.errors.find("ball7"), std::string::npos) << unknown.errors;
}

TEST_F(KivaroSimTest, BadArgumentsAndFailingLoadsExitWithTwo) {
    WriteBallFolder(1.0);
    for (const char* arguments :
         {"--ticks -1 items/ball/ball.wtf", "--step 0 items/ball/ball.wtf", "--bogus",
          "--ticks 1 --step 1e-300 items/ball/ball.wtf", "--step 9e-7 items/ball/ball.wtf",
          "--step nan items/ball/ball.wtf", "--push ball0=1,0 items/ball/ball.wtf",
          "--push =1,0,0 items/ball/ball.wtf", "--push ball0=1,0,0@0 items/ball/ball.wtf", ""}) {
        Outcome outcome = Run(arguments);
        EXPECT_EQ(outcome.exitCode, 2) << arguments;
        EXPECT_FALSE(outcome.errors.empty()) << arguments;
        EXPECT_TRUE(outcome.lines.empty()) << arguments;
    }
    // asked for, the usage goes to standard output and is no failure
    Outcome help = Run("--help --bogus");
    EXPECT_EQ(help.exitCode, 0);
    ASSERT_FALSE(help.lines.empty());
    EXPECT_EQ(help.lines.front().rfind("usage: kivaro-sim", 0), 0u) << help.lines.front();
    Outcome missing = Run("items/none.wtf");
    EXPECT_EQ(missing.exitCode, 2);
    EXPECT_NE(missing.errors.find("Failed to load the Field definition file [items/none.wtf]."),
              std::string::npos)
        << missing.errors;
}

} // namespace

TEST_F(KivaroSimTest, TenToysGiveTheSameOutputInEveryRunAndForAnyWorkerCount) {
    // the bundled toys in one world: every order that feeds a sum depends on member names alone,
    // so neither where the items land in memory nor the worker count changes a digit
    const std::string toys = "items/15puzzle/15puzzle.wtf items/ball/ball.wtf items/billiard/billiard.wtf "
                             "items/car/car.wtf items/coin/coin.wtf items/dice/dice.wtf "
                             "items/domino/dominos.wtf items/ring/ring.wtf items/rolypoly/rolypoly.wtf "
                             "items/swing/swing.wtf";
    auto simulate = [&](const std::string& environment, int workers) {
        const std::string command = environment + " " + KIVARO_BINARY_DIR + "/bin/kivaro-sim --root '" +
                                    KIVARO_SOURCE_DIR + "' --threads " + std::to_string(workers) +
                                    " --seconds 3 --every 30 " + toys + " 2>&1";
        std::string text;
        if (FILE* pipe = popen(command.c_str(), "r")) {
            char buffer[4096];
            while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
                text += buffer;
            }
            EXPECT_EQ(pclose(pipe), 0) << command;
        }
        return text;
    };
    // a different heap layout: glibc's per-thread cache off and freed memory filled
    const std::string first = simulate("", 1);
    ASSERT_GT(std::count(first.begin(), first.end(), '\n'), 40 * 5) << first;
    EXPECT_EQ(simulate("GLIBC_TUNABLES=glibc.malloc.tcache_count=0 MALLOC_PERTURB_=77", 1), first);
    EXPECT_EQ(simulate("", 2), first);
}
