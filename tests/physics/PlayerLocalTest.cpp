#include "physics/PlayerLocal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <utility>
#include <vector>

#include "physics/TickInput.h"
#include "physics/ViewWindow.h"
#include "physics/support/WorldTestSupport.h"
#include "support/TestSupport.h"

namespace {

/// A view whose cursor and buttons the test sets.
class TestView : public ViewWindow {
public:
    bool CursorClientPosition(int& x, int& y) const override {
        x = cursorX;
        y = cursorY;
        return true;
    }
    bool IsButtonDown(int button) const override { return buttons[button]; }

    int cursorX = 320;
    int cursorY = 240;
    bool buttons[3] = {};
};

/// A fresh configuration's view settings with a zoom step that the wheel changes.
class TestSettings : public ViewerSettings {
public:
    int ScreenWidth() const override { return 640; }
    int ScreenHeight() const override { return 480; }
    int ViewMode() const override { return 0; }
    bool Stereogram() const override { return false; }
    int Zoom() const override { return zoom; }
    void SetZoom(int step) override {
        if (1 <= step && step <= 15) {
            zoom = step;
        }
    }

    int zoom = 10;
};

DIDEVICEOBJECTDATA Event(std::uint32_t offset, int data) {
    return DIDEVICEOBJECTDATA{offset, static_cast<std::uint32_t>(data), 0, 0, 0};
}
DIDEVICEOBJECTDATA Press(std::uint32_t button) {
    return Event(button, static_cast<int>(kPressedBit));
}
DIDEVICEOBJECTDATA Release(std::uint32_t button) {
    return Event(button, 0);
}

/// Where a world point appears in the 640 x 480 isometric view of an unturned viewer at
/// zoom 10: a pinhole camera at the eye offset above the viewer, looking at the viewer's
/// position with the vertical field of view pi/4.
std::pair<int, int> ScreenPoint(const Vector3& point, const Vector3& viewer) {
    const Vector3 eye = viewer + Vector3(0.0f, 2.0f, -5.0f);
    const Vector3 forward = Normalize(viewer - eye);
    const Vector3 right = Normalize(Cross(forward, Vector3(0.0f, 1.0f, 0.0f)));
    const Vector3 up = Cross(right, forward);
    const Vector3 offset = point - eye;
    const double depth = Dot(offset, forward);
    const double focal = 1.0 / std::tan(std::numbers::pi / 8.0);
    const double x = 320.0 + Dot(offset, right) / depth * focal / (640.0 / 480.0) * 320.0;
    const double y = 240.0 - Dot(offset, up) / depth * focal * 240.0;
    return {static_cast<int>(std::lround(x)), static_cast<int>(std::lround(y))};
}

class PlayerLocalTest : public WorldTest {
protected:
    void SetUp() override {
        WorldTest::SetUp();
        PlayerLocal::leftHeld = PlayerLocal::rightHeld = PlayerLocal::middleHeld = false;
        world = std::make_unique<FieldItemWorld>(&view, 1);
        world->Initialize(Placement());
        world->CommitPending();
        world->UpdateWorld(nullptr, nullptr);
        player = dynamic_cast<PlayerLocal*>(world->Find(L"localplayer"));
        ASSERT_NE(player, nullptr);
        player->SetSettings(&settings);
    }
    void TearDown() override {
        world.reset();
        WorldTest::TearDown();
    }

    /// One step of the world with these mouse events.
    void Step(std::vector<DIDEVICEOBJECTDATA> events) {
        TickInput input;
        input.mouseCount = static_cast<std::int32_t>(events.size());
        input.mouse = events.data();
        world->DetectCollisions();
        world->Control(&input);
        world->Integrate(&input);
        world->UpdateWorld(nullptr, nullptr);
    }
    /// A ball of radius 0.3 floating at the point, in the view.
    FieldItem* AddBall(const Vector3& position) {
        return AddLive(*world, L"ball", MakeSphere(position, 0.3));
    }
    void PointAt(const Vector3& point) {
        std::tie(view.cursorX, view.cursorY) = ScreenPoint(point, player->WorldPosition());
    }

    TestView view;
    TestSettings settings;
    std::unique_ptr<FieldItemWorld> world;
    PlayerLocal* player = nullptr;
};

TEST_F(PlayerLocalTest, LeftDragPansTheViewerAlongItsOwnAxesByTheZoomedRate) {
    view.buttons[0] = true;
    // 100 units right at zoom step 10 is 1 m along x; down is forward
    Step({Press(DIMOFS_BUTTON0), Event(DIMOFS_X, 100), Event(DIMOFS_Y, 50)});
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(1.0f, 0.5f, 0.5f), 1e-5f);

    // at half the zoom the same drag covers twice the ground
    WorldSettings zoomedOut;
    zoomedOut.zoomFactor = 0.5;
    world->SetSettings(zoomedOut);
    Step({Event(DIMOFS_X, 100)});
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(3.0f, 0.5f, 0.5f), 1e-5f);

    // a right drag of 157 units turns the view a quarter turn about the vertical; the
    // left drag then runs along the turned x axis
    Step({Release(DIMOFS_BUTTON0), Press(DIMOFS_BUTTON1), Event(DIMOFS_X, 157), Release(DIMOFS_BUTTON1)});
    Vector3 turnedX(1.0f, 0.0f, 0.0f);
    player->ToWorld(turnedX);
    EXPECT_NEAR(std::fabs(turnedX.z), 1.0f, 1e-3f);
    const Vector3 before = player->WorldPosition();
    Step({Press(DIMOFS_BUTTON0), Event(DIMOFS_X, 50)});
    EXPECT_VECTOR_NEAR(player->WorldPosition(), before + turnedX * 1.0f, 1e-4f);

    // a release the events missed ends the drag at the next move
    view.buttons[0] = false;
    Step({Event(DIMOFS_X, 100)});
    EXPECT_FALSE(PlayerLocal::leftHeld);
    EXPECT_VECTOR_NEAR(player->WorldPosition(), before + turnedX * 1.0f, 1e-4f);
}

TEST_F(PlayerLocalTest, MiddleDragRaisesTheViewerWithinTheHeightLimits) {
    view.buttons[2] = true;
    Step({Press(DIMOFS_BUTTON2), Event(DIMOFS_Y, 100)});
    EXPECT_FLOAT_EQ(player->WorldPosition().y, 1.5f);
    Step({Event(DIMOFS_Y, 100000)});
    EXPECT_FLOAT_EQ(player->WorldPosition().y, 5.0f);
    Step({Event(DIMOFS_Y, -100000)});
    EXPECT_FLOAT_EQ(player->WorldPosition().y, 0.0f);
    // sideways moves nothing without a picked item
    Step({Event(DIMOFS_X, 100)});
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(0.0f, 0.0f, 0.0f), 1e-6f);
}

TEST_F(PlayerLocalTest, EachWheelNotchChangesTheZoomStepByOneWithinItsRange) {
    Step({Event(DIMOFS_Z, 120), Event(DIMOFS_Z, 240)});
    EXPECT_EQ(settings.zoom, 12);
    settings.zoom = 15;
    Step({Event(DIMOFS_Z, 120)});
    EXPECT_EQ(settings.zoom, 15);
    Step({Event(DIMOFS_Z, -120)});
    EXPECT_EQ(settings.zoom, 14);
}

TEST_F(PlayerLocalTest, PickFindsTheItemUnderTheCursor) {
    // a ball off to one side, where the view shows it
    const Vector3 centre(0.8f, 0.8f, 1.0f);
    FieldItem* ball = AddBall(centre);
    PointAt(centre);
    EXPECT_EQ(player->Pick(view.cursorX, view.cursorY), ball);
    // hit on its surface, on the side facing the eye
    EXPECT_NEAR(Length(PlayerLocal::grabPoint), 0.3f, 0.02f);
    EXPECT_LT(PlayerLocal::grabPoint.z, 0.0f);

    // bare land below it, and a point just beside it, hold nothing
    EXPECT_EQ(player->Pick(view.cursorX, 470), nullptr);
    EXPECT_EQ(player->Pick(view.cursorX - 40, view.cursorY), nullptr);

    // a press on nothing keeps what is held; a press outside the view changes nothing
    player->SetGrabbedItem(ball);
    view.cursorY = 470;
    Step({Press(DIMOFS_BUTTON0)});
    EXPECT_EQ(player->GrabbedItem(), ball);
    EXPECT_TRUE(PlayerLocal::leftHeld);
    PlayerLocal::leftHeld = false;
    view.cursorY = 481;
    Step({Press(DIMOFS_BUTTON0)});
    EXPECT_FALSE(PlayerLocal::leftHeld);
}

TEST_F(PlayerLocalTest, LeftDragPushesThePickedItemAtTheGrabPoint) {
    FieldItem* ball = AddBall(Vector3(0.0f, 2.0f, 0.0f));
    PointAt(Vector3(0.0f, 2.1f, 0.0f));
    view.buttons[0] = true;
    // 10 units right: 10 N per unit, towards the viewer's -x (screen right)
    TickInput input;
    std::vector<DIDEVICEOBJECTDATA> events = {Press(DIMOFS_BUTTON0), Event(DIMOFS_X, 10)};
    input.mouseCount = 2;
    input.mouse = events.data();
    player->Control(&input);
    ASSERT_EQ(player->GrabbedItem(), ball);
    EXPECT_VECTOR_NEAR(ball->Force(), Vector3(-100.0f, 0.0f, 0.0f), 1e-4f);
    // hit above and in front of the centre: the push turns the ball about an axis across it
    EXPECT_GT(ball->Torque().y, 5.0f);
    EXPECT_GT(ball->Torque().z, 5.0f);
    EXPECT_NEAR(Dot(ball->Torque(), ball->Force()), 0.0f, 1e-2f);

    // the viewer stays put while it pushes; any release lets go
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(0.0f, 0.5f, 0.0f), 1e-6f);
    Step({Release(DIMOFS_BUTTON0)});
    EXPECT_EQ(player->GrabbedItem(), nullptr);
}

TEST_F(PlayerLocalTest, HoldingTheMiddleButtonCarriesThePickedItemsWeight) {
    FieldItem* ball = AddBall(Vector3(0.0f, 2.0f, 0.0f));
    PointAt(Vector3(0.0f, 2.0f, 0.0f));
    view.buttons[2] = true;
    Step({Press(DIMOFS_BUTTON2)});
    ASSERT_EQ(player->GrabbedItem(), ball);
    for (int i = 0; i < 30; ++i) {
        Step({});
    }
    EXPECT_NEAR(ball->Velocity().y, 0.0f, 1e-3f);

    // let go: it falls
    view.buttons[2] = false;
    Step({Release(DIMOFS_BUTTON2)});
    for (int i = 0; i < 30; ++i) {
        Step({});
    }
    EXPECT_LT(ball->Velocity().y, -0.4f);

    // a held item that the user removes is dropped at the purge
    view.buttons[2] = true;
    Step({Press(DIMOFS_BUTTON2)});
    world->Remove(L"ball");
    world->PurgeDeleted();
    EXPECT_EQ(player->GrabbedItem(), nullptr);
    Step({Event(DIMOFS_Y, 10)});
}

} // namespace
