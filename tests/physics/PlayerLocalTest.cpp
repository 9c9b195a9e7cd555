#include "physics/PlayerLocal.h"

#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
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
        x = cursor.first;
        y = cursor.second;
        return true;
    }
    bool IsButtonDown(int button) const override { return buttons[button]; }
    std::pair<int, int> cursor{320, 240};
    bool buttons[3] = {true, true, true};
};

/// A fresh configuration's view settings with a zoom step that the wheel changes.
class TestSettings : public ViewerSettings {
public:
    int ScreenWidth() const override { return 640; }
    int ScreenHeight() const override { return 480; }
    int ViewMode() const override { return 0; }
    bool Stereogram() const override { return false; }
    int Zoom() const override { return zoom; }
    void SetZoom(int step) override { zoom = 1 <= step && step <= 15 ? step : zoom; }
    int zoom = 10;
};

DIDEVICEOBJECTDATA Event(std::uint32_t offset, int data) {
    return DIDEVICEOBJECTDATA{offset, static_cast<std::uint32_t>(data), 0, 0, 0};
}
DIDEVICEOBJECTDATA Press(std::uint32_t button) {
    return Event(button, static_cast<int>(kPressedBit));
}

/// Where a world point appears in the 640 x 480 isometric view of an unturned viewer at
/// zoom 10: a pinhole camera 2 m above and 5 m behind it, looking at it, with the vertical
/// field of view pi/4.
std::pair<int, int> ScreenPoint(const Vector3& point, const Vector3& viewer) {
    const Vector3 eye = viewer + Vector3(0.0f, 2.0f, -5.0f);
    const Vector3 forward = Normalize(viewer - eye);
    const Vector3 right = Normalize(Cross(forward, Vector3(0.0f, 1.0f, 0.0f)));
    const Vector3 offset = point - eye;
    const double pixelsPerUnit = 240.0 / std::tan(std::numbers::pi / 8.0) / Dot(offset, forward);
    return {static_cast<int>(std::lround(320.0 + Dot(offset, right) * pixelsPerUnit)),
            static_cast<int>(std::lround(240.0 - Dot(offset, Cross(right, forward)) * pixelsPerUnit))};
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
        player->SetSettings(&settings);
    }
    void TearDown() override {
        world.reset();
        WorldTest::TearDown();
    }

    /// One step of the world with these mouse events.
    void Step(std::vector<DIDEVICEOBJECTDATA> events = {}) {
        TickInput input;
        input.mouseCount = static_cast<std::int32_t>(events.size());
        input.mouse = events.data();
        world->DetectCollisions();
        world->Control(&input);
        world->Integrate(&input);
        world->UpdateWorld(nullptr, nullptr);
    }
    /// A ball of radius 0.3 floating at the point, with the cursor on its centre.
    FieldItem* AddBallUnderCursor(const Vector3& centre) {
        view.cursor = ScreenPoint(centre, player->WorldPosition());
        return AddLive(*world, L"ball", MakeSphere(centre, 0.3));
    }

    TestView view;
    TestSettings settings;
    std::unique_ptr<FieldItemWorld> world;
    PlayerLocal* player = nullptr;
};

TEST_F(PlayerLocalTest, DragsMoveTheViewerByTheZoomedRateWithinTheHeightLimits) {
    // 100 units right at zoom step 10 is 1 m along x; down is forward
    Step({Press(DIMOFS_BUTTON0), Event(DIMOFS_X, 100), Event(DIMOFS_Y, 50)});
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(1.0f, 0.5f, 0.5f), 1e-5f);
    // at half the zoom the same drag covers twice the ground
    WorldSettings zoomedOut;
    zoomedOut.zoomFactor = 0.5;
    world->SetSettings(zoomedOut);
    Step({Event(DIMOFS_X, 100), Event(DIMOFS_BUTTON0, 0)});
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(3.0f, 0.5f, 0.5f), 1e-5f);

    // the middle button raises and lowers the viewer between 0 and 5 m
    Step({Press(DIMOFS_BUTTON2), Event(DIMOFS_Y, 100000)});
    EXPECT_FLOAT_EQ(player->WorldPosition().y, 5.0f);
    Step({Event(DIMOFS_Y, -100000)});
    EXPECT_FLOAT_EQ(player->WorldPosition().y, 0.0f);
    // a release the events missed ends the drag
    view.buttons[0] = view.buttons[2] = false;
    Step({Event(DIMOFS_Y, 100)});
    EXPECT_FALSE(PlayerLocal::middleHeld);
    EXPECT_FLOAT_EQ(player->WorldPosition().y, 0.0f);

    // each wheel event is one zoom step, within 1 to 15
    Step({Event(DIMOFS_Z, 120), Event(DIMOFS_Z, 240)});
    EXPECT_EQ(settings.zoom, 12);
    settings.zoom = 15;
    Step({Event(DIMOFS_Z, 120)});
    EXPECT_EQ(settings.zoom, 15);
}

TEST_F(PlayerLocalTest, PickFindsTheItemUnderTheCursor) {
    FieldItem* ball = AddBallUnderCursor(Vector3(0.8f, 0.8f, 1.0f));
    EXPECT_EQ(player->Pick(view.cursor.first, view.cursor.second), ball);
    // hit on the side facing the eye
    EXPECT_NEAR(Length(PlayerLocal::grabPoint), 0.3f, 0.02f);
    EXPECT_LT(PlayerLocal::grabPoint.z, 0.0f);
    // bare land below it and a point beside it hold nothing
    EXPECT_EQ(player->Pick(view.cursor.first, 470), nullptr);
    EXPECT_EQ(player->Pick(view.cursor.first - 40, view.cursor.second), nullptr);

    // a press on nothing keeps what is held; one outside the view changes nothing
    player->SetGrabbedItem(ball);
    view.cursor.second = 470;
    Step({Press(DIMOFS_BUTTON0)});
    EXPECT_EQ(player->GrabbedItem(), ball);
    PlayerLocal::leftHeld = false;
    view.cursor.second = 481;
    Step({Press(DIMOFS_BUTTON0)});
    EXPECT_FALSE(PlayerLocal::leftHeld);
}

TEST_F(PlayerLocalTest, LeftDragPushesThePickedItemAtTheGrabPoint) {
    FieldItem* ball = AddBallUnderCursor(Vector3(0.0f, 2.0f, 0.0f));
    view.cursor.second -= 20;
    std::vector<DIDEVICEOBJECTDATA> events = {Press(DIMOFS_BUTTON0), Event(DIMOFS_X, 10)};
    TickInput input;
    input.mouseCount = 2;
    input.mouse = events.data();
    player->Control(&input);
    ASSERT_EQ(player->GrabbedItem(), ball);
    // 10 N per unit, towards the viewer's -x (screen right); the viewer stays put
    EXPECT_VECTOR_NEAR(ball->Force(), Vector3(-100.0f, 0.0f, 0.0f), 1e-4f);
    EXPECT_VECTOR_NEAR(player->WorldPosition(), Vector3(0.0f, 0.5f, 0.0f), 1e-6f);
    // hit above and in front of the centre: the push turns the ball about an axis across it
    EXPECT_GT(ball->Torque().y, 5.0f);
    EXPECT_GT(ball->Torque().z, 5.0f);
    EXPECT_NEAR(Dot(ball->Torque(), ball->Force()), 0.0f, 1e-2f);
}

TEST_F(PlayerLocalTest, HoldingTheMiddleButtonCarriesThePickedItemsWeight) {
    FieldItem* ball = AddBallUnderCursor(Vector3(0.0f, 2.0f, 0.0f));
    Step({Press(DIMOFS_BUTTON2)});
    ASSERT_EQ(player->GrabbedItem(), ball);
    for (int i = 0; i < 30; ++i) {
        Step();
    }
    EXPECT_NEAR(ball->Velocity().y, 0.0f, 1e-3f);
    // let go: it falls
    Step({Event(DIMOFS_BUTTON2, 0)});
    for (int i = 0; i < 30; ++i) {
        Step();
    }
    EXPECT_LT(ball->Velocity().y, -0.4f);

    // a held item that the user removes is dropped at the purge
    Step({Press(DIMOFS_BUTTON2)});
    world->Remove(L"ball");
    world->PurgeDeleted();
    EXPECT_EQ(player->GrabbedItem(), nullptr);
}

} // namespace
