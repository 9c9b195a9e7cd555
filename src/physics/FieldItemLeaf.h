#pragma once
// Base of every item that is not a group: primitives, land, sky and the player.

#include "physics/FieldItem.h"

class FieldItemLeaf : public FieldItem {
public:
    bool IsComposite() const override { return false; }
};
