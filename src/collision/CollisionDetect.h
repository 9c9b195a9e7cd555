#pragma once
// A stateless narrow-phase detector for one pair of shape kinds, in one order of the pair.
// The registry hands every detector its own order (the first item of its name first); the
// other order goes through ReversedDetect, which turns the normals round.

#include <memory>
#include <vector>

#include "collision/Contact.h"
#include "physics/WorldSettings.h"

class FieldItem;

/// What a detector needs besides the two items, handed in by the caller (the world passes
/// its step's values), as Jolt passes CollideShapeSettings.
struct CollideSettings {
    /// Surfaces closer than this touch, m; picking rays enlarge every shape by half of it.
    double contactTolerance = kBuiltInSettings.contactTolerance;
};

class CollisionDetect {
public:
    virtual ~CollisionDetect() = default;
    /// Appends zero or more contacts of first against second; never changes the items.
    /// Normals point from second towards first.
    virtual void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                        std::vector<Contact>& contacts) const = 0;
};

/// The detector of a mixed pair for the swapped order: it hands the pair to the detector in
/// that detector's own order and turns the normals it appends round, so that they point from
/// second towards first again (Jolt's reversed collide function, Box2D's flipped manifold).
class ReversedDetect : public CollisionDetect {
public:
    explicit ReversedDetect(std::unique_ptr<CollisionDetect> detector) : detector_(std::move(detector)) {}

    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& settings,
                std::vector<Contact>& contacts) const override {
        const std::size_t before = contacts.size();
        detector_->Detect(second, first, settings, contacts);
        for (std::size_t i = before; i < contacts.size(); ++i) {
            contacts[i].normal = -contacts[i].normal;
        }
    }

    const CollisionDetect& Detector() const { return *detector_; }

private:
    std::unique_ptr<CollisionDetect> detector_;
};
