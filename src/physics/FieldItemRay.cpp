#include "physics/FieldItemRay.h"

void FieldItemRay::Initialize(const Placement& placement) {
    Record record;
    static_cast<Placement&>(record) = placement;
    Initialize(record);
}

void FieldItemRay::Initialize(const Record& record) {
    FieldItem::Initialize(record);
    direction_ = record.direction;
    // no mass, no model: only the world placement, so that the ray can be cast at once
    UpdateWorld(nullptr, nullptr);
}

void FieldItemRay::Integrate(const TickInput* /*input*/) {}
