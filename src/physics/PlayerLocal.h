#pragma once
// The viewer of this machine, held by the world under the name "localplayer": its
// position and orientation carry the camera, and it turns the user's mouse into
// moving the viewer or pushing and lifting a picked item. Left drag pans the viewer
// over the ground or pushes the picked item at the point where it was hit; middle
// drag raises the viewer or lifts the item against its weight; right drag turns the
// view about the vertical; the wheel changes the zoom step.

#include <cstdint>

#include "physics/Matrix4.h"
#include "physics/Player.h"
#include "physics/Vector3.h"

class ViewWindow;

/// What the viewer reads of the user's view settings, at every use; the force, zoom factor
/// and gravity come with the world's step settings. The tester application answers from its
/// configuration; without one the viewer uses the defaults of a fresh one.
class ViewerSettings {
public:
    virtual ~ViewerSettings() = default;
    /// Client size of the view in pixels.
    virtual int ScreenWidth() const = 0;
    virtual int ScreenHeight() const = 0;
    /// 0 isometric view, 1 view from above.
    virtual int ViewMode() const = 0;
    /// The view is drawn twice side by side.
    virtual bool Stereogram() const = 0;
    /// Zoom step, 1 to 15.
    virtual int Zoom() const = 0;
    /// Sets the zoom step; steps outside 1 to 15 are ignored.
    virtual void SetZoom(int step) = 0;
};

/// Where a view of the viewer looks from, in the viewer's axes.
struct ViewerCamera {
    Vector3 eye;
    Vector3 lookAt;
    Vector3 up;
};

class PlayerLocal : public Player {
public:
    /// Picking sees no farther than this, m.
    static constexpr double kPickRange = 100.0;
    /// Vertical field of view of every view, rad (pi/4 as a float).
    static constexpr float kFieldOfView = 0.7853982f;
    /// Near and far planes of the views.
    static constexpr float kNearPlane = 0.1f;
    static constexpr float kFarPlane = 15.0f;

    /// The view window is the one the cursor is measured in; not owned, may be null.
    explicit PlayerLocal(ViewWindow* viewWindow) : viewWindow_(viewWindow) {}

    /// The mouse events of the step: pans, raises or turns the viewer, pushes or lifts the
    /// picked item, changes the zoom step.
    void Control(const TickInput* input) override;
    /// The nearest world member (other than the sky and the land) under the client-area
    /// point (x, y), within the pick range; null when the ray meets nothing. Remembers where
    /// it was hit as the grab point.
    FieldItem* Pick(int x, int y);

    ViewWindow* View() const { return viewWindow_; }
    /// The settings read from now on; not owned; null goes back to the defaults.
    void SetSettings(ViewerSettings* settings) { settings_ = settings; }
    /// The item picked by the last button press; not owned, null when nothing is held.
    FieldItem* GrabbedItem() const { return grabbed_; }
    void SetGrabbedItem(FieldItem* item) { grabbed_ = item; }
    /// Lets go of the item if it is the one held (the world calls this before destroying an item).
    void Forget(const FieldItem* item) {
        if (grabbed_ == item) {
            grabbed_ = nullptr;
        }
    }

    /// The camera of a view mode (0 isometric, anything else from above), its eye moved by
    /// eyeShift along x (the halves of a stereogram).
    static ViewerCamera CameraOf(int viewMode, float eyeShift);
    /// Right-handed look-at view matrix of the camera.
    static Matrix4 LookAt(const ViewerCamera& camera);
    /// Right-handed perspective projection of every view, for the width-to-height ratio.
    static Matrix4 Projection(float aspect);
    /// The eye shift of the stereogram half that holds x of a view width wide: minus the
    /// built-in shift in the left half, plus it in the right half; 0 without stereogram.
    static float EyeShiftAt(int x, int width, bool stereogram);

    /// Button state as the mouse events report it, shared by all players (there is only one).
    static inline bool leftHeld = false;
    static inline bool rightHeld = false;
    static inline bool middleHeld = false;
    /// Where the grabbed item was hit, in its body axes.
    static inline Vector3 grabPoint;

private:
    const ViewerSettings& Settings() const;
    /// Where the cursor is in the view; false when outside it or not known.
    bool CursorInView(int& x, int& y) const;
    /// Whether the system reports the button down (true when the view cannot tell).
    bool ButtonDown(int button) const;

    ViewWindow* viewWindow_;
    [[maybe_unused]] std::int32_t reserved_ = 0;
    FieldItem* grabbed_ = nullptr;
    ViewerSettings* settings_ = nullptr;
};
