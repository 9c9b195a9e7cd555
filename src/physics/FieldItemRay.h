#pragma once
// A ray for picking: an origin (its position) and a direction in body axes. It has no
// mass and no model, is never drawn and never integrated as a body.

#include <string>

#include "physics/FieldItemLeaf.h"

class FieldItemRay : public FieldItemLeaf {
public:
    struct Record : Placement {
        /// Body axes; detectors normalise it.
        Vector3 direction{0.0f, 0.0f, 1.0f};
    };

    std::wstring TypeName() const override { return L"ray"; }
    /// Places a ray along the record's default direction.
    void Initialize(const Placement& placement) override;
    /// Places the ray and stores its direction; nothing else.
    void Initialize(const Record& record);
    /// A ray has no mass: integrating it does nothing.
    void Integrate(const TickInput* input) override;

    /// The direction in body axes, not necessarily of unit length.
    virtual Vector3& Direction() { return direction_; }
    const Vector3& Direction() const { return direction_; }

private:
    Vector3 direction_{0.0f, 0.0f, 1.0f};
};
