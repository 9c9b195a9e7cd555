#pragma once
// The drawing pass shared by the drawn primitives: the body with its own materials,
// then its planar shadow.

class D3DObject;
class FieldItem;
struct DrawContext;

/// Draws the item's object scaled by (sx, sy, sz), then its shadow; nothing without an object.
void DrawPrimitive(FieldItem& item, D3DObject* object, DrawContext* context, double sx, double sy, double sz);
