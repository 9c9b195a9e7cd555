#pragma once
// A stateless narrow-phase detector for one pair of shape kinds.

#include <vector>

#include "collision/Contact.h"

class FieldItem;

class CollisionDetect {
public:
    virtual ~CollisionDetect() = default;
    /// Appends zero or more contacts of first against second; never changes the items.
    /// Normals point from second towards first, whichever order the shapes come in.
    virtual void Detect(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts) = 0;
};
