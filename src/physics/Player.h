#pragma once
// A viewer in the world: an item that carries the camera but is no body. It has no
// mass, is never integrated, takes part in no collision or gravity and draws nothing.

#include <string>

#include "physics/FieldItemLeaf.h"

class Player : public FieldItemLeaf {
public:
    std::wstring TypeName() const override { return L"player"; }
    /// Applies the placement only: a player has no shape and no mass.
    void Initialize(const Placement& record) override;
    /// A player moves only through its own Control.
    void Integrate(const TickInput* input) override;
};
