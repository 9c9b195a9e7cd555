// The bundled toys do what their real counterparts do, seen from outside through the
// headless simulator: each toy's field is run from the source folder, pushed where a user
// would push it, and judged from the reported states.

#include <gtest/gtest.h>

#include <sys/wait.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <string>
#include <vector>

#include "physics/Quaternion.h"
#include "physics/Vector3.h"
#include "support/TestSupport.h"

namespace {

/// One reported state of a world member.
struct State {
    long long tick = 0;
    double mass = 0.0;
    Vector3 position;
    Quaternion orientation;
    Vector3 velocity;
    Vector3 angularVelocity;

    /// The world direction of one of the member's own axes.
    Vector3 Axis(const Vector3& own) const { return Rotate(orientation, own); }
    double Upright() const { return Axis(Vector3(0.0f, 1.0f, 0.0f)).y; }
};

/// The states of every member by its name in the world; the simulator numbers the items
/// of the first field in the order of their names from 0 ("seat" of the swing is "seat1").
using History = std::map<std::string, std::vector<State>>;

/// The numbers of the array after the key, or nothing when the key is absent.
std::vector<float> ArrayOf(const std::string& line, const std::string& key) {
    std::vector<float> values;
    std::size_t at = line.find("\"" + key + "\":[");
    if (at == std::string::npos) {
        return values;
    }
    const char* cursor = line.c_str() + at + key.size() + 4;
    for (;;) {
        char* end = nullptr;
        values.push_back(std::strtof(cursor, &end));
        if (end == cursor || *end != ',') {
            return values;
        }
        cursor = end + 1;
    }
}

Vector3 VectorOf(const std::string& line, const std::string& key) {
    std::vector<float> v = ArrayOf(line, key);
    EXPECT_EQ(v.size(), 3u) << key << " in " << line;
    return v.size() == 3 ? Vector3(v[0], v[1], v[2]) : Vector3(NAN, NAN, NAN);
}

double HorizontalDistance(const Vector3& a, const Vector3& b) {
    return std::hypot(a.x - b.x, a.z - b.z);
}

class ToyBehaviourTest : public ::testing::Test {
protected:
    /// Runs the simulator on the folder with the arguments and returns every state it reported.
    static History Simulate(const std::string& arguments, const std::string& root = KIVARO_SOURCE_DIR) {
        const std::string command =
            std::string(KIVARO_BINARY_DIR) + "/bin/kivaro-sim --root '" + root + "' " + arguments;
        History history;
        FILE* pipe = popen(command.c_str(), "r");
        if (pipe == nullptr) {
            ADD_FAILURE() << "cannot run " << command;
            return history;
        }
        std::string line;
        char buffer[1024];
        while (std::fgets(buffer, sizeof buffer, pipe) != nullptr) {
            line += buffer;
            if (line.back() != '\n') {
                continue;
            }
            const std::size_t name = line.find("\"name\":\"");
            if (name != std::string::npos) {
                const std::size_t start = name + 8;
                State state;
                state.tick = std::atoll(line.c_str() + line.find("\"tick\":") + 7);
                state.mass = std::atof(line.c_str() + line.find("\"mass\":") + 7);
                state.position = VectorOf(line, "position");
                std::vector<float> q = ArrayOf(line, "orientation");
                EXPECT_EQ(q.size(), 4u) << line;
                if (q.size() == 4) {
                    state.orientation = Quaternion(q[0], q[1], q[2], q[3]);
                }
                state.velocity = VectorOf(line, "velocity");
                state.angularVelocity = VectorOf(line, "angular_velocity");
                history[line.substr(start, line.find('"', start) - start)].push_back(state);
            }
            line.clear();
        }
        const int status = pclose(pipe);
        EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << command;
        return history;
    }

    /// The member's states; fails the test when it never was reported.
    static const std::vector<State>& Of(const History& history, const std::string& name) {
        static const std::vector<State> none(1);
        auto found = history.find(name);
        if (found == history.end() || found->second.empty()) {
            ADD_FAILURE() << "no states of " << name;
            return none;
        }
        return found->second;
    }

    /// The state at the tick (the last one reported before it when it was not reported).
    static const State& At(const std::vector<State>& states, long long tick) {
        const State* found = &states.front();
        for (const State& state : states) {
            if (state.tick <= tick) {
                found = &state;
            }
        }
        return *found;
    }
};

TEST_F(ToyBehaviourTest, SwingSeatSwingsOnTheBarForSeveralPeriodsAfterAPush) {
    // settled for half a second, then pushed forwards
    History history = Simulate("--seconds 8 --every 1 --push seat1=0,0,1.5@30 items/swing/swing.wtf");
    const std::vector<State>& seat = Of(history, "seat1");
    const std::vector<State>& frame = Of(history, "frame0");
    const State rest = At(seat, 29);

    // the seat passes below the bar again and again, its swings shrinking slowly
    int crossings = 0;
    double firstSwing = 0.0;
    double lastSwing = 0.0;
    for (std::size_t i = 1; i < seat.size(); ++i) {
        const double offset = seat[i].position.z - rest.position.z;
        if (seat[i].tick > 30 && (seat[i - 1].position.z - rest.position.z) * offset < 0.0) {
            ++crossings;
        }
        if (seat[i].tick < 150) {
            firstSwing = std::max(firstSwing, std::fabs(offset));
        }
        if (seat[i].tick > 360) {
            lastSwing = std::max(lastSwing, std::fabs(offset));
        }
        // hanging from the bar: it never drops below where it hung, nor swings sideways
        EXPECT_GT(seat[i].position.y, rest.position.y - 0.01) << "tick " << seat[i].tick;
        EXPECT_LT(std::fabs(seat[i].position.x - rest.position.x), 0.05) << "tick " << seat[i].tick;
    }
    EXPECT_GE(crossings, 7);
    EXPECT_GT(firstSwing, 0.25);
    EXPECT_GT(lastSwing, 0.5 * firstSwing);
    // the frame is fixed
    EXPECT_EQ(frame.front().position, frame.back().position);
}

TEST_F(ToyBehaviourTest, CarRollsOnTurningWheelsFarFartherThanABoxSlides) {
    // a box as heavy as the whole car, beside it, in a copy of the item folder
    TemporaryDirectory root;
    namespace fs = std::filesystem;
    fs::copy(fs::path(KIVARO_SOURCE_DIR) / "items", fs::path(root.Path()) / "items",
             fs::copy_options::recursive);
    fs::create_directory_symlink(fs::path(KIVARO_SOURCE_DIR) / "data", fs::path(root.Path()) / "data");
    double carMass = 0.0;
    for (const auto& [name, states] : Simulate("--ticks 0 items/car/car.wtf")) {
        carMass += states.front().mass;
    }
    std::ofstream(fs::path(root.Path()) / "items" / "box.wtf")
        << R"(<?xml version="1.0"?><Field format="110" date="2026-12-07">
<Item name="box" type="HalvaneSystem.box">
<Parameter name="texture_top" type="string">"data\wood.png"</Parameter>
<Parameter name="texture_bottom" type="string">"data\wood.png"</Parameter>
<Parameter name="texture_left" type="string">"data\wood.png"</Parameter>
<Parameter name="texture_right" type="string">"data\wood.png"</Parameter>
<Parameter name="texture_front" type="string">"data\wood.png"</Parameter>
<Parameter name="texture_rear" type="string">"data\wood.png"</Parameter>
<Parameter name="size_x" type="float">1.0</Parameter><Parameter name="size_y" type="float">0.12</Parameter>
<Parameter name="size_z" type="float">0.5</Parameter>
<Parameter name="density" type="float">)"
        << carMass / (1.0 * 0.12 * 0.5) << R"(</Parameter>
<Parameter name="position" type="vector">0,0.65,3</Parameter>
<Parameter name="angle" type="vector">0,0,0</Parameter></Item></Field>)";

    // every part of the car and the box pushed forwards at 3 m/s once they have settled
    History history =
        Simulate("--seconds 6 --every 6 --push body2=3,0,0@30 --push axle_front0=3,0,0@30 "
                 "--push axle_rear1=3,0,0@30 --push box3=3,0,0@30 items/car/car.wtf items/box.wtf",
                 root.Path());
    const std::vector<State>& body = Of(history, "body2");
    const std::vector<State>& box = Of(history, "box3");
    ASSERT_NEAR(box.front().mass, carMass, 0.01 * carMass);

    // while the car rolls, each axle's wheels turn at its speed over their radius about the
    // axle (its own z), and the axles stay under the body; a wheel of 20 cm rolls on its
    // collision core, 1.5 cm (half the contact band) smaller
    const double rollingRadius = 0.2 - 0.015;
    int rolling = 0;
    for (const char* name : {"axle_front0", "axle_rear1"}) {
        SCOPED_TRACE(name);
        for (const State& axle : Of(history, name)) {
            const double speed = axle.velocity.x;
            if (axle.tick <= 40 || speed < 0.5) {
                continue;
            }
            ++rolling;
            EXPECT_NEAR(-axle.angularVelocity.z * rollingRadius, speed, 0.06 * speed) << "tick " << axle.tick;
            EXPECT_NEAR(std::fabs(axle.position.x - At(body, axle.tick).position.x), 0.4, 0.05);
            EXPECT_NEAR(axle.Axis(Vector3(0.0f, 0.0f, 1.0f)).z, 1.0, 0.01);
        }
    }
    EXPECT_GT(rolling, 40);
    const double rolled = body.back().position.x - At(body, 29).position.x;
    const double slid = box.back().position.x - At(box, 29).position.x;
    EXPECT_GT(slid, 0.1);
    EXPECT_GT(rolled, 5.0 * slid) << "slid " << slid;
    EXPECT_GT(body.back().Upright(), 0.99);
}

TEST_F(ToyBehaviourTest, CueBallBreaksTheRackAndTheBallsSpreadOverTheTable) {
    History history = Simulate("--seconds 6 --every 15 --push cue9=-4,0,0@30 items/billiard/billiard.wtf");
    int spread = 0;
    int objectBalls = 0;
    for (const auto& [name, states] : history) {
        if (name == "table10") {
            continue;
        }
        SCOPED_TRACE(name);
        // on the bed, inside the cushions' inner faces at x = +-1.1 and z = +-0.55, all along;
        // the cue ball hops a little as it strikes
        const float bed = states.front().position.y;
        EXPECT_NEAR(states.back().position.y, bed, 0.01);
        for (const State& state : states) {
            EXPECT_GT(state.position.y, bed - 0.01f) << "tick " << state.tick;
            EXPECT_LT(state.position.y, bed + 0.05f) << "tick " << state.tick;
            EXPECT_LT(std::fabs(state.position.x), 1.1f) << "tick " << state.tick;
            EXPECT_LT(std::fabs(state.position.z), 0.55f) << "tick " << state.tick;
        }
        if (name != "cue9") {
            ++objectBalls;
            spread += HorizontalDistance(states.back().position, states.front().position) > 0.2 ? 1 : 0;
        }
    }
    EXPECT_EQ(objectBalls, 9);
    EXPECT_GE(spread, 5);
}

TEST_F(ToyBehaviourTest, SpunCoinWobblesDownAndEndsLyingFlat) {
    History history = Simulate("--seconds 20 --every 60 items/coin/coin.wtf");
    for (const char* name : {"spinning1", "resting0"}) {
        SCOPED_TRACE(name);
        const std::vector<State>& coin = Of(history, name);
        EXPECT_GT(std::fabs(coin.back().Upright()), 0.99);
        EXPECT_LT(Length(coin.back().velocity), 0.01);
        EXPECT_LT(coin.back().position.y, 0.05);
    }
    // it spent seconds spinning down on its rim
    const std::vector<State>& spun = Of(history, "spinning1");
    EXPECT_GT(Length(At(spun, 60).angularVelocity), 5.0f);
    EXPECT_LT(std::fabs(At(spun, 180).Upright()), 0.95);
}

TEST_F(ToyBehaviourTest, RingRollsAwayAndEndsLyingFlat) {
    History history = Simulate("--seconds 30 --every 60 items/ring/ring.wtf");
    const std::vector<State>& ring = Of(history, "ring0");
    EXPECT_LT(std::fabs(ring.front().Upright()), 0.01);
    EXPECT_GT(HorizontalDistance(ring.back().position, ring.front().position), 1.0);
    EXPECT_GT(std::fabs(ring.back().Upright()), 0.99);
    EXPECT_LT(Length(ring.back().velocity), 0.02);
}

TEST_F(ToyBehaviourTest, RingStoodUprightFallsOverWhileItemsOnTheirFacesStay) {
    // the ring stood on its rim at rest, beside a domino standing on its end and a die on a face
    TemporaryDirectory root;
    namespace fs = std::filesystem;
    fs::copy(fs::path(KIVARO_SOURCE_DIR) / "items", fs::path(root.Path()) / "items",
             fs::copy_options::recursive);
    fs::create_directory_symlink(fs::path(KIVARO_SOURCE_DIR) / "data", fs::path(root.Path()) / "data");
    std::ofstream(fs::path(root.Path()) / "items" / "upright.wtf") << R"(<?xml version="1.0"?>
<Field format="110" date="2026-12-08">
<Item name="ring" type="Kivaro.ring"><Parameter name="position" type="vector">-0.8,0.82,0</Parameter>
<Parameter name="angle" type="vector">PI/2,0,0</Parameter><Parameter name="velocity" type="vector">0,0,0</Parameter>
<Parameter name="angular_velocity" type="vector">0,0,0</Parameter><Parameter name="r" type="float">0.25</Parameter></Item>
<Item name="domino" type="Kivaro.domino"><Parameter name="position" type="vector">0.5,0.72,0</Parameter>
<Parameter name="angle" type="vector">0,0,0</Parameter><Parameter name="velocity" type="vector">0,0,0</Parameter>
<Parameter name="angular_velocity" type="vector">0,0,0</Parameter></Item>
<Item name="die" type="Kivaro.die"><Parameter name="position" type="vector">1.2,0.595,0</Parameter>
<Parameter name="angle" type="vector">0,0,0</Parameter><Parameter name="velocity" type="vector">0,0,0</Parameter>
<Parameter name="angular_velocity" type="vector">0,0,0</Parameter><Parameter name="size" type="float">0.15</Parameter></Item>
</Field>)";
    History history = Simulate("--seconds 6 --every 30 items/upright.wtf", root.Path());

    // the balance on one point of the rim is unstable: the ring falls and ends lying flat
    const std::vector<State>& ring = Of(history, "ring2");
    EXPECT_LT(std::fabs(ring.front().Upright()), 0.01);
    EXPECT_GT(std::fabs(ring.back().Upright()), 0.99);
    EXPECT_LT(ring.back().position.y, 0.1f);
    // resting on faces is stable: the domino and the die stay where they were put
    for (const char* name : {"domino1", "die0"}) {
        SCOPED_TRACE(name);
        const std::vector<State>& item = Of(history, name);
        EXPECT_GT(item.back().Upright(), 0.9999);
        EXPECT_LT(Length(item.back().position - item.front().position), 0.002f);
    }
}

TEST_F(ToyBehaviourTest, ThrownDiceComeToRestOnAFace) {
    History history = Simulate("--seconds 5 --every 60 items/dice/dice.wtf");
    for (const char* name : {"die10", "die21"}) {
        SCOPED_TRACE(name);
        const State& die = Of(history, name).back();
        double flattest = 0.0;
        for (const Vector3& own :
             {Vector3(1.0f, 0.0f, 0.0f), Vector3(0.0f, 1.0f, 0.0f), Vector3(0.0f, 0.0f, 1.0f)}) {
            flattest = std::max(flattest, std::fabs(static_cast<double>(die.Axis(own).y)));
        }
        EXPECT_GT(flattest, 0.999);
        EXPECT_LT(Length(die.velocity), 0.01);
        // half its 15 cm above the ground, in the contact band
        EXPECT_LT(die.position.y, 0.1f);
    }
}

TEST_F(ToyBehaviourTest, RolyPolyRightsItselfWhenKnockedOver) {
    History history =
        Simulate("--seconds 6 --every 1 --push rolypoly0=1.5,0,0@60 items/rolypoly/rolypoly.wtf");
    const std::vector<State>& doll = Of(history, "rolypoly0");
    // started tilted, it has rocked itself upright before the knock
    EXPECT_LT(doll.front().Upright(), 0.9);
    EXPECT_GT(At(doll, 59).Upright(), 0.95);
    double leastUpright = 1.0;
    for (const State& state : doll) {
        leastUpright = state.tick > 60 ? std::min(leastUpright, state.Upright()) : leastUpright;
    }
    EXPECT_LT(leastUpright, 0.3);
    EXPECT_GT(doll.back().Upright(), 0.97);
}

TEST_F(ToyBehaviourTest, DominoesFallOneAfterAnotherWhenTheFirstIsPushed) {
    History history = Simulate("--seconds 5 --every 1 --push domino010=-0.6,0,0@30 items/domino/dominos.wtf");
    long long previous = 30;
    for (int i = 1; i <= 10; ++i) {
        // domino01 is the first in the row and domino10 the last
        const std::string name = (i < 10 ? "domino0" : "domino") + std::to_string(i) + std::to_string(i - 1);
        SCOPED_TRACE(name);
        long long fell = 0;
        for (const State& state : Of(history, name)) {
            if (fell == 0 && state.Upright() < 0.5) {
                fell = state.tick;
            }
        }
        EXPECT_GT(fell, previous);
        previous = fell;
        EXPECT_LT(Of(history, name).back().Upright(), 0.5);
    }
}

TEST_F(ToyBehaviourTest, PuzzleTileSlidesIntoTheEmptyPlaceAndTheOthersStay) {
    // tile 12 sits at the end of the third row, beside the empty place
    History history =
        Simulate("--seconds 2 --every 30 --push tile1211=0,0,-1@30 items/15puzzle/15puzzle.wtf");
    for (const auto& [name, states] : history) {
        SCOPED_TRACE(name);
        const Vector3 start = states.front().position;
        const Vector3 end = states.back().position;
        EXPECT_NEAR(end.y, start.y, 0.005);
        if (name == "tile1211") {
            EXPECT_LT(end.z - start.z, -0.05f);
            // stopped by the frame's wall at z = -0.305, the tile's half width of 7 cm before it
            EXPECT_GT(end.z, -0.305f + 0.07f);
        } else {
            EXPECT_LT(HorizontalDistance(end, start), 0.01);
        }
    }
    EXPECT_EQ(history.size(), 16u);
}

TEST_F(ToyBehaviourTest, DroppedBallBouncesAndComesToRest) {
    History history = Simulate("--seconds 4 --every 1 items/ball/ball.wtf");
    const std::vector<State>& ball = Of(history, "ball0");
    int bounces = 0;
    for (std::size_t i = 1; i < ball.size(); ++i) {
        bounces += ball[i - 1].velocity.y < -0.1f && ball[i].velocity.y > 0.0f ? 1 : 0;
    }
    EXPECT_GE(bounces, 2);
    EXPECT_LT(Length(ball.back().velocity), 0.01);
    // resting on the ground: its radius of 10 cm in the contact band
    EXPECT_LT(ball.back().position.y, 0.12f);
}

} // namespace
