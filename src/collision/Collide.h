#pragma once
// Pair dispatch: unwraps composites down to their primitives, filters pairs with a
// cheap bounding test and hands each primitive pair to its registered detector.

#include <vector>

#include "collision/CollisionRegistry.h"
#include "collision/Contact.h"

class FieldItem;

/// The registered shape kind of an item: decided by its class for the built-in
/// primitives and the land, by its type name for anything else.
ShapeKind ShapeKindOf(const FieldItem& item);

/// The bounding test that a pair must pass before any detector runs (single precision).
/// Pairs with the land or a ray always pass; deleted items pass nothing else.
bool PairFilterAccepts(FieldItem& first, FieldItem& second);

/// Appends the contacts of first against second. Normals point from second towards first.
/// Called from several worker threads at once; reads the registry only.
void Collide(FieldItem& first, FieldItem& second, std::vector<Contact>& contacts);
