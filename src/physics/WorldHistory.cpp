#include "physics/WorldHistory.h"

#include <algorithm>

#include "physics/FieldItemWorld.h"

namespace {

bool IsUserItem(const std::wstring& name) {
    return !FieldItemWorld::IsBuiltInName(name);
}

} // namespace

bool WorldHistory::SameItems(FieldItemWorld& world) const {
    // names and addresses together: a new item at a freed address has a new name
    std::size_t index = 0;
    for (const auto& [name, item] : world.Members()) {
        if (!IsUserItem(name)) {
            continue;
        }
        if (index >= items_.size() || items_[index] != item.get() || names_[index] != name) {
            return false;
        }
        ++index;
    }
    return index == items_.size();
}

void WorldHistory::Reset(FieldItemWorld& world) {
    items_.clear();
    names_.clear();
    for (const auto& [name, item] : world.Members()) {
        if (IsUserItem(name)) {
            items_.push_back(item.get());
            names_.push_back(name);
        }
    }
    stride_ = items_.size() * kFloatsPerItem;
    // as many ticks as the budget holds for this many items, ten seconds at most
    const std::size_t entryBytes = std::max<std::size_t>(stride_ * sizeof(float), 1);
    capacity_ = static_cast<int>(std::min<std::size_t>(kMaximumTicks, kBudgetBytes / entryBytes));
    states_.reset();
    stateCount_ = static_cast<std::size_t>(capacity_) * stride_;
    states_.reset(stateCount_ > 0 ? new float[stateCount_] : nullptr);
    first_ = 0;
    count_ = 0;
    shown_ = -1;
}

void WorldHistory::Clear() {
    items_.clear();
    names_.clear();
    stride_ = 0;
    capacity_ = 0;
    states_.reset();
    stateCount_ = 0;
    first_ = 0;
    count_ = 0;
    shown_ = -1;
}

void WorldHistory::Record(FieldItemWorld& world) {
    if (!SameItems(world) || capacity_ == 0) {
        Reset(world);
    }
    if (capacity_ == 0 || items_.empty()) {
        return;
    }
    // going on from a rewound entry: what came after it did not happen
    count_ = shown_ + 1;
    if (count_ == capacity_) {
        first_ = (first_ + 1) % capacity_;
        --count_;
    }
    float* state = Entry(count_);
    for (FieldItem* item : items_) {
        const Matrix4& transform = item->Transform();
        const Quaternion& orientation = item->Orientation();
        const Vector3& velocity = item->Velocity();
        const Vector3& spin = item->AngularVelocity();
        const float values[kFloatsPerItem] = {transform._41, transform._42, transform._43, orientation.x,
                                              orientation.y, orientation.z, orientation.w, velocity.x,
                                              velocity.y,    velocity.z,    spin.x,        spin.y,
                                              spin.z};
        state = std::copy(std::begin(values), std::end(values), state);
    }
    ++count_;
    shown_ = count_ - 1;
}

bool WorldHistory::Show(FieldItemWorld& world, int entry) {
    if (entry < 0 || entry >= count_) {
        return false;
    }
    if (!SameItems(world)) {
        // the recorded items are gone or joined by others: their past is of no use
        Clear();
        return false;
    }
    const float* state = Entry(entry);
    for (FieldItem* item : items_) {
        Matrix4& transform = item->Transform();
        transform._41 = state[0];
        transform._42 = state[1];
        transform._43 = state[2];
        item->Orientation() = Quaternion(state[3], state[4], state[5], state[6]);
        item->Velocity() = Vector3(state[7], state[8], state[9]);
        item->AngularVelocity() = Vector3(state[10], state[11], state[12]);
        item->Force() = Vector3();
        item->Torque() = Vector3();
        state += kFloatsPerItem;
    }
    // parts, bounds and the broad phase follow the items
    world.UpdateWorld(nullptr, nullptr);
    shown_ = entry;
    return true;
}

bool WorldHistory::Back(FieldItemWorld& world) {
    return Show(world, shown_ - 1);
}

bool WorldHistory::Forward(FieldItemWorld& world) {
    return Show(world, shown_ + 1);
}
