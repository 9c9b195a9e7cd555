#pragma once
// The viewer of this machine, held by the world under the name "localplayer": its
// position and orientation carry the camera, and it turns the user's mouse into
// moving the viewer or pushing and lifting a picked item.

#include <cstdint>

#include "physics/Player.h"
#include "physics/Vector3.h"

class ViewWindow;

class PlayerLocal : public Player {
public:
    /// The view window is the one the cursor is measured in; not owned, may be null.
    explicit PlayerLocal(ViewWindow* viewWindow) : viewWindow_(viewWindow) {}

    /// Mouse control of the viewer and of a picked item; the mouse is not read yet, so
    /// the player stays where the world placed it.
    void Control(const TickInput* input) override;

    ViewWindow* View() const { return viewWindow_; }
    /// The item picked by the last button press; not owned, null when nothing is held.
    FieldItem* GrabbedItem() const { return grabbed_; }
    void SetGrabbedItem(FieldItem* item) { grabbed_ = item; }
    /// Lets go of the item if it is the one held (the world calls this before destroying an item).
    void Forget(const FieldItem* item) {
        if (grabbed_ == item) {
            grabbed_ = nullptr;
        }
    }

    /// Button state as the mouse events report it, shared by all players (there is only one).
    static inline bool leftHeld = false;
    static inline bool rightHeld = false;
    static inline bool middleHeld = false;
    /// Where the grabbed item was hit, in its body axes.
    static inline Vector3 grabPoint;

private:
    ViewWindow* viewWindow_;
    std::int32_t reserved_ = 0;
    FieldItem* grabbed_ = nullptr;
};
