#pragma once
// The last seconds of the world's user items, one entry per tick: each item's position,
// orientation, velocity and angular velocity, within a memory budget. While the world
// stands still the user moves through the entries, and the items take the state of the
// entry shown; the next recorded tick goes on from there and drops the entries after it.
// A change of the set of items (added, deleted) clears the history.

#include <cstddef>
#include <memory>
#include <string>
#include <vector>

class FieldItem;
class FieldItemWorld;

class WorldHistory {
public:
    /// Simulated time kept at most: ten seconds of 1/60 s ticks.
    static constexpr int kMaximumTicks = 600;
    /// The state of all items of all entries stays within this many bytes (64 MiB).
    static constexpr std::size_t kBudgetBytes = std::size_t{64} << 20;
    /// Position 3, orientation 4, velocity 3, angular velocity 3.
    static constexpr std::size_t kFloatsPerItem = 13;

    /// Records the state of the world's user items after a tick. A set of items other than
    /// the recorded one clears the history first; entries after the one shown are dropped.
    void Record(FieldItemWorld& world);
    /// Shows the entry one tick older (Back) or newer (Forward): the items take its state.
    /// False, and nothing changed, at either end or when the items are no longer the
    /// recorded ones (the history is then cleared).
    bool Back(FieldItemWorld& world);
    bool Forward(FieldItemWorld& world);
    void Clear();

    /// Entries held.
    int Size() const { return count_; }
    /// The shown entry, 0 the oldest; Size() - 1 unless rewound.
    int Shown() const { return shown_; }
    /// Ticks the budget allows for the recorded set of items (at most kMaximumTicks).
    int CapacityTicks() const { return capacity_; }
    /// Bytes of item state the history has reserved.
    std::size_t MemoryBytes() const { return stateCount_ * sizeof(float); }

private:
    /// True when the world's user items are the recorded ones, in the same order.
    bool SameItems(FieldItemWorld& world) const;
    /// Starts over for the world's present user items.
    void Reset(FieldItemWorld& world);
    bool Show(FieldItemWorld& world, int entry);
    float* Entry(int entry) { return states_.get() + Slot(entry) * stride_; }
    std::size_t Slot(int entry) const { return (static_cast<std::size_t>(first_) + entry) % capacity_; }

    std::vector<FieldItem*> items_;
    std::vector<std::wstring> names_;
    std::size_t stride_ = 0;
    int capacity_ = 0;
    /// Ring of capacity_ entries of stride_ floats; first_ is the oldest slot. Left uninitialised:
    /// its pages are touched only as ticks fill them.
    std::unique_ptr<float[]> states_;
    std::size_t stateCount_ = 0;
    int first_ = 0;
    int count_ = 0;
    int shown_ = -1;
};
