#include "physics/BroadPhaseGrid.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>
#include <span>

namespace {

/// Key order is the order of the signed 32-bit keys; biased, it is the unsigned order.
std::uint64_t BiasedKey(std::int32_t key) {
    return static_cast<std::uint64_t>(static_cast<std::uint32_t>(key) ^ 0x80000000u);
}

int FloorToCell(double value) {
    // NaN compares false everywhere and lands on the lowest cell
    if (!(value >= BroadPhaseGrid::kCellIndexMinimum)) {
        return BroadPhaseGrid::kCellIndexMinimum;
    }
    if (value >= BroadPhaseGrid::kCellIndexMaximum) {
        return BroadPhaseGrid::kCellIndexMaximum;
    }
    return static_cast<int>(std::floor(value));
}

bool IsFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

/// Column of the neighbour search: floor(v / width), limited so that the packed key stays exact.
std::int64_t ColumnIndex(float value, double width) {
    constexpr double kLimit = 1.0e9;
    const double column = std::floor(static_cast<double>(value) / width);
    return static_cast<std::int64_t>(std::clamp(column, -kLimit, kLimit));
}

std::uint64_t ColumnKey(std::int64_t cx, std::int64_t cz) {
    constexpr std::int64_t kBias = std::int64_t{1} << 31;
    return static_cast<std::uint64_t>(cx + kBias) << 32 | static_cast<std::uint64_t>(cz + kBias);
}

/// Sorts a range by insertion, moving at most `limit` entries; false (with the entries in
/// some order) when that was not enough.
template <class Entry, class Less>
bool InsertionSort(std::vector<Entry>& entries, const Less& less, std::size_t limit) {
    std::size_t moves = 0;
    for (std::size_t i = 1; i < entries.size(); ++i) {
        if (!less(entries[i], entries[i - 1])) {
            continue;
        }
        const Entry moving = entries[i];
        std::size_t j = i;
        do {
            entries[j] = entries[j - 1];
            --j;
        } while (j > 0 && less(moving, entries[j - 1]) && ++moves <= limit);
        entries[j] = moving;
        if (moves > limit) {
            return false;
        }
    }
    return true;
}

} // namespace

void BroadPhaseGrid::CellRange(double xmin, double xmax, double zmin, double zmax, int& ix0, int& ix1,
                               int& iz0, int& iz1) {
    ix0 = FloorToCell(xmin);
    ix1 = FloorToCell(xmax);
    iz0 = FloorToCell(zmin);
    iz1 = FloorToCell(zmax);
}

void BroadPhaseGrid::Invalidate() {
    sweepKept_ = false;
    items_.clear();
    cells_.clear();
    members_.clear();
    sharedRows_.clear();
    maskCounts_.clear();
    neighbourBegin_.clear();
    neighbours_.clear();
    cellsValid_ = false;
    neighboursValid_ = false;
}

std::vector<std::int32_t> BroadPhaseGrid::CellKeys() const {
    std::vector<std::int32_t> keys;
    keys.reserve(cells_.size());
    for (const Cell& cell : cells_) {
        keys.push_back(cell.key);
    }
    return keys;
}

void BroadPhaseGrid::Refresh(const std::vector<Body>& bodies, int land, double tolerance) {
    Prepare(bodies.size(), land, tolerance);
    RangeChanges changes;
    RefreshRange(bodies, 0, static_cast<std::uint32_t>(bodies.size()), changes);
    Complete(bodies, changes);
}

void BroadPhaseGrid::Prepare(std::size_t bodyCount, int land, double tolerance) {
    countChanged_ = false;
    if (items_.size() != bodyCount) {
        items_.assign(bodyCount, Item());
        countChanged_ = true;
        cellsValid_ = false;
    }
    if (land != land_ || tolerance != builtTolerance_) {
        cellsValid_ = false;
        neighboursValid_ = false;
    }
    land_ = land;
    tolerance_ = tolerance;
}

void BroadPhaseGrid::RefreshRange(const std::vector<Body>& bodies, std::uint32_t begin, std::uint32_t end,
                                  RangeChanges& changes) {
    const double tolerance = tolerance_;
    // the cells each body's widened bounds cover
    for (std::uint32_t member = begin; member < end; ++member) {
        const Body& body = bodies[member];
        Item& item = items_[member];
        State state = State::kOut;
        Rect rect;
        // a body whose position is not finite, or whose extent is NaN, stays out of the grid
        if (body.takesPart && IsFinite(body.position) && !std::isnan(body.extent.x) &&
            !std::isnan(body.extent.z) && !std::isnan(body.extent.y)) {
            const double px = body.position.x, pz = body.position.z;
            const double ex = body.extent.x, ez = body.extent.z;
            CellRange(px - ex - tolerance, px + ex + tolerance, pz - ez - tolerance, pz + ez + tolerance,
                      rect.ix0, rect.ix1, rect.iz0, rect.iz1);
            const std::int64_t cellCount = (static_cast<std::int64_t>(rect.ix1) - rect.ix0 + 1) *
                                           (static_cast<std::int64_t>(rect.iz1) - rect.iz0 + 1);
            if (cellCount <= kMaximumCellsPerItem) {
                state = State::kRange;
            } else {
                // entered everywhere, and its own cell is made to exist
                state = State::kEverywhere;
                CellRange(px, px, pz, pz, rect.ix0, rect.ix1, rect.iz0, rect.iz1);
            }
        }
        if (state != item.state) {
            changes.membership = true;
        }
        if (state != item.state || !(rect == item.rect)) {
            changes.cells = true;
            item.state = state;
            item.rect = rect;
        }

        // whether the neighbour lists still hold every pair that can meet
        if (state == State::kRange && !changes.moved) {
            const Vector3 moved = body.position - item.builtPosition;
            const Vector3 grown = body.extent - item.builtExtent;
            if (!(std::fabs(moved.x) + std::max(grown.x, 0.0f) <= kNeighbourMargin &&
                  std::fabs(moved.y) + std::max(grown.y, 0.0f) <= kNeighbourMargin &&
                  std::fabs(moved.z) + std::max(grown.z, 0.0f) <= kNeighbourMargin)) {
                changes.moved = true;
            }
        }
    }
}

bool BroadPhaseGrid::CompleteBegin(const std::vector<Body>& bodies, const RangeChanges& changes) {
    const bool membershipChanged = changes.membership || countChanged_;
    if (membershipChanged) {
        neighboursValid_ = false;
        sweepKept_ = false;
        gridMembers_.clear();
        everywhere_.clear();
        for (std::uint32_t member = 0; member < items_.size(); ++member) {
            if (items_[member].state == State::kRange) {
                gridMembers_.push_back(member);
            } else if (items_[member].state == State::kEverywhere) {
                everywhere_.push_back(member);
            }
        }
    }
    if (changes.cells || !cellsValid_) {
        RebuildCells();
    }
    if (!neighboursValid_ || changes.moved) {
        builtTolerance_ = tolerance_;
        BeginNeighbours(bodies, tolerance_);
        return true;
    }
    return false;
}

void BroadPhaseGrid::Complete(const std::vector<Body>& bodies, const RangeChanges& changes) {
    if (CompleteBegin(bodies, changes)) {
        FindNeighbours(bodies, 0, 1, neighbourScratch_);
        const std::vector<std::uint64_t>* found[] = {&neighbourScratch_};
        CompleteEnd(found);
    }
}

void BroadPhaseGrid::RebuildCells() {
    ++cellRebuilds_;
    const std::uint32_t kCellMarker = std::numeric_limits<std::uint32_t>::max();

    // one entry per (cell, member); the cell of each item entered everywhere is made to exist
    entries_.clear();
    for (std::uint32_t member : gridMembers_) {
        const Rect& rect = items_[member].rect;
        for (int ix = rect.ix0; ix <= rect.ix1; ++ix) {
            for (int iz = rect.iz0; iz <= rect.iz1; ++iz) {
                entries_.push_back(BiasedKey(CellKey(ix, iz)) << 32 | member);
            }
        }
    }
    for (std::uint32_t member : everywhere_) {
        const Rect& rect = items_[member].rect;
        entries_.push_back(BiasedKey(CellKey(rect.ix0, rect.iz0)) << 32 | kCellMarker);
    }
    std::sort(entries_.begin(), entries_.end());

    // places of the items that lie in more than one cell
    std::uint32_t placeCount = 0;
    for (std::uint32_t member : gridMembers_) {
        Item& item = items_[member];
        const std::uint32_t count = static_cast<std::uint32_t>((item.rect.ix1 - item.rect.ix0 + 1) *
                                                               (item.rect.iz1 - item.rect.iz0 + 1));
        item.placesBegin = placeCount;
        item.placesEnd = placeCount;
        if (count > 1) {
            placeCount += count;
        }
    }
    places_.resize(placeCount);

    // the cells in key order, each with its members in member order
    cells_.clear();
    members_.clear();
    for (std::size_t e = 0; e < entries_.size();) {
        const std::uint64_t biased = entries_[e] >> 32;
        Cell cell;
        cell.key = static_cast<std::int32_t>(static_cast<std::uint32_t>(biased) ^ 0x80000000u);
        cell.ix = cell.key >> 16;
        cell.iz = static_cast<std::int16_t>(cell.key & 0xFFFF);
        cell.begin = static_cast<std::uint32_t>(members_.size());
        const std::uint32_t cellIndex = static_cast<std::uint32_t>(cells_.size());
        for (; e < entries_.size() && (entries_[e] >> 32) == biased; ++e) {
            const std::uint32_t member = static_cast<std::uint32_t>(entries_[e]);
            if (member == kCellMarker) {
                continue;
            }
            Item& item = items_[member];
            const std::uint32_t position = static_cast<std::uint32_t>(members_.size()) - cell.begin;
            if (IsSingle(item.rect)) {
                item.firstCell = cellIndex;
                item.firstPosition = position;
            } else {
                if (item.placesEnd == item.placesBegin) {
                    item.firstCell = cellIndex;
                    item.firstPosition = position;
                }
                places_[item.placesEnd++] = Place{cellIndex, position};
            }
            members_.push_back(member);
        }
        cell.end = static_cast<std::uint32_t>(members_.size());
        cells_.push_back(cell);
    }

    // rows of the items in several cells, with the pairs of each already taken earlier
    const std::uint64_t everywhereCount = everywhere_.size() + (land_ >= 0 ? 1 : 0);
    sharedRows_.clear();
    maskCounts_.assign(1, std::array<std::uint32_t, 8>{});
    std::uint64_t rank = 0;
    for (std::uint32_t cellIndex = 0; cellIndex < cells_.size(); ++cellIndex) {
        Cell& cell = cells_[cellIndex];
        cell.sharedBegin = static_cast<std::uint32_t>(sharedRows_.size());
        for (std::uint32_t i = cell.begin; i < cell.end; ++i) {
            const std::uint32_t member = members_[i];
            const Rect& rect = items_[member].rect;
            if (!IsSingle(rect)) {
                assert(Contains(rect, cell));
                sharedRows_.push_back(SharedRow{i - cell.begin, member, 0, 0, EarlierMask(rect, cell)});
                std::array<std::uint32_t, 8> counts = maskCounts_.back();
                ++counts[sharedRows_.back().mask];
                maskCounts_.push_back(counts);
            }
        }
        cell.sharedEnd = static_cast<std::uint32_t>(sharedRows_.size());

        std::uint64_t takenInCell = 0;
        for (std::uint32_t s = cell.sharedBegin; s < cell.sharedEnd; ++s) {
            SharedRow& row = sharedRows_[s];
            const Item& item = items_[row.member];
            row.taken =
                (item.firstCell == cellIndex ? 0 : 1 + everywhereCount) + TakenBetween(cell, s, UINT32_MAX);
            row.takenBefore = takenInCell;
            takenInCell += row.taken;
        }
        if (cellIndex != 0) {
            takenInCell += everywhereCount * (everywhereCount + 1) / 2;
        }

        const std::uint64_t length = (cell.end - cell.begin) + everywhereCount;
        cell.rankBase = rank;
        rank += length * (length + 1) / 2 - takenInCell;
    }
    cellsValid_ = true;
}

bool BroadPhaseGrid::PositionIn(std::uint32_t member, std::uint32_t cell, std::uint32_t& position) const {
    const Item& item = items_[member];
    if (IsSingle(item.rect)) {
        position = item.firstPosition;
        return item.firstCell == cell;
    }
    for (std::uint32_t p = item.placesBegin; p < item.placesEnd; ++p) {
        if (places_[p].cell == cell) {
            position = places_[p].position;
            return true;
        }
        if (places_[p].cell > cell) {
            break;
        }
    }
    return false;
}

std::uint64_t BroadPhaseGrid::TakenBetween(const Cell& cell, std::uint32_t shared,
                                           std::uint32_t limit) const {
    // the shared rows after this one and before the limit, by position
    const auto end =
        std::lower_bound(sharedRows_.begin() + shared + 1, sharedRows_.begin() + cell.sharedEnd, limit,
                         [](const SharedRow& row, std::uint32_t p) { return row.position < p; });
    const std::array<std::uint32_t, 8>& after = maskCounts_[shared + 1];
    const std::array<std::uint32_t, 8>& before = maskCounts_[end - sharedRows_.begin()];
    const unsigned char mask = sharedRows_[shared].mask;
    std::uint64_t taken = 0;
    for (unsigned other = 1; other < 8; ++other) {
        if ((other & mask) != 0) {
            taken += before[other] - after[other];
        }
    }
    return taken;
}

void BroadPhaseGrid::BeginNeighbours(const std::vector<Body>& bodies, double tolerance) {
    ++neighbourRebuilds_;
    const float widening = static_cast<float>(tolerance);
    widening_ = widening;

    // bounds widened by twice the margin (each of two items may move by one margin) and by a
    // little for rounding, so that every pair the exact bounding test can accept before the
    // next rebuild is among the neighbours
    const std::size_t memberCount = items_.size();
    fat_.resize(memberCount);
    for (std::uint32_t member : gridMembers_) {
        const Body& body = bodies[member];
        const float slack =
            1.0e-5f * (1.0f + std::max({std::fabs(body.position.x), std::fabs(body.position.y),
                                        std::fabs(body.position.z)}));
        const float grow = 2.0f * kNeighbourMargin + slack;
        fat_[member] = Vector3(body.extent.x + grow, body.extent.y + grow, body.extent.z + grow);
        items_[member].builtPosition = body.position;
        items_[member].builtExtent = body.extent;
    }

    // column width: the largest footprint among the items not far above the median; the
    // few larger ones are tested against every item
    sizes_.clear();
    for (std::uint32_t member : gridMembers_) {
        sizes_.push_back(2.0f * std::max(fat_[member].x, fat_[member].z) + widening);
    }
    float width = 1.0f;
    large_.clear();
    isLarge_.assign(memberCount, 0);
    if (!sizes_.empty()) {
        median_ = sizes_;
        std::nth_element(median_.begin(), median_.begin() + median_.size() / 2, median_.end());
        const float limit = 4.0f * median_[median_.size() / 2];
        width = 0.0f;
        for (std::size_t i = 0; i < gridMembers_.size(); ++i) {
            if (sizes_[i] <= limit) {
                width = std::max(width, sizes_[i]);
            } else {
                large_.push_back(gridMembers_[i]);
                isLarge_[gridMembers_[i]] = 1;
            }
        }
        width = std::max(width, 1.0e-3f) * 1.001f;
    }

    // the small items sorted by column, then by the bottom of their widened bounds; between two
    // rebuilds the items move little, so the last order, with each entry brought up to date,
    // is sorted again by insertion (a few moves), unless the small items changed or the moves
    // grow too many, when it is sorted from scratch
    const auto before = [](const SweepEntry& a, const SweepEntry& b) {
        if (a.column != b.column) {
            return a.column < b.column;
        }
        if (a.bottom != b.bottom) {
            return a.bottom < b.bottom;
        }
        return a.member < b.member;
    };
    const auto entry = [&](std::uint32_t member) {
        const Body& body = bodies[member];
        return SweepEntry{ColumnKey(ColumnIndex(body.position.x, width), ColumnIndex(body.position.z, width)),
                          body.position.y - fat_[member].y, body.position.y + fat_[member].y + widening, member};
    };
    std::size_t smallCount = 0;
    for (std::uint32_t member : gridMembers_) {
        smallCount += isLarge_[member] == 0 ? 1 : 0;
    }
    bool kept = sweepKept_ && sweep_.size() == smallCount;
    for (std::size_t i = 0; kept && i < sweep_.size(); ++i) {
        const std::uint32_t member = sweep_[i].member;
        kept = member < memberCount && items_[member].state == State::kRange && isLarge_[member] == 0;
        if (kept) {
            sweep_[i] = entry(member);
        }
    }
    if (!kept || !InsertionSort(sweep_, before, 4 * sweep_.size() + 64)) {
        sweep_.clear();
        for (std::uint32_t member : gridMembers_) {
            if (isLarge_[member] == 0) {
                sweep_.push_back(entry(member));
            }
        }
        std::sort(sweep_.begin(), sweep_.end(), before);
    }
    sweepKept_ = true;

    // the runs of one column
    columns_.clear();
    for (std::uint32_t i = 0; i < sweep_.size();) {
        std::uint32_t j = i;
        while (j < sweep_.size() && sweep_[j].column == sweep_[i].column) {
            ++j;
        }
        columns_.push_back(Column{sweep_[i].column, i, j});
        i = j;
    }
}

void BroadPhaseGrid::FindNeighbours(const std::vector<Body>& bodies, std::uint32_t part, std::uint32_t parts,
                                    std::vector<std::uint64_t>& found) const {
    const float widening = widening_;
    auto overlap = [&](std::uint32_t a, std::uint32_t b) {
        const Vector3 d = bodies[a].position - bodies[b].position;
        const Vector3& ea = fat_[a];
        const Vector3& eb = fat_[b];
        return std::fabs(d.x) <= ea.x + eb.x + widening && std::fabs(d.y) <= ea.y + eb.y + widening &&
               std::fabs(d.z) <= ea.z + eb.z + widening;
    };
    found.clear();
    auto testPair = [&](std::uint32_t a, std::uint32_t b) {
        if (overlap(a, b)) {
            if (a > b) {
                std::swap(a, b);
            }
            found.push_back(static_cast<std::uint64_t>(a) << 32 | b);
        }
    };

    // the part's columns, each against itself and its four forward neighbours, sweeping along y
    const std::size_t columnBegin = columns_.size() * part / parts;
    const std::size_t columnEnd = columns_.size() * (part + 1) / parts;
    for (std::size_t c = columnBegin; c < columnEnd; ++c) {
        const Column& column = columns_[c];
        for (std::uint32_t i = column.begin; i < column.end; ++i) {
            for (std::uint32_t j = i + 1; j < column.end && sweep_[j].bottom <= sweep_[i].top; ++j) {
                testPair(sweep_[i].member, sweep_[j].member);
            }
        }
        const std::int64_t cx = static_cast<std::int64_t>(column.key >> 32) - (std::int64_t{1} << 31);
        const std::int64_t cz = static_cast<std::int64_t>(column.key & 0xFFFFFFFFu) - (std::int64_t{1} << 31);
        const std::int64_t forward[4][2] = {{0, 1}, {1, -1}, {1, 0}, {1, 1}};
        for (const auto& offset : forward) {
            const std::uint64_t key = ColumnKey(cx + offset[0], cz + offset[1]);
            auto found = std::lower_bound(columns_.begin(), columns_.end(), key,
                                          [](const Column& c, std::uint64_t k) { return c.key < k; });
            if (found == columns_.end() || found->key != key) {
                continue;
            }
            // merge the two runs by their bottoms; each item meets those of the other run
            // that start before its top
            std::uint32_t p = column.begin, q = found->begin;
            while (p < column.end && q < found->end) {
                if (sweep_[p].bottom <= sweep_[q].bottom) {
                    for (std::uint32_t k = q; k < found->end && sweep_[k].bottom <= sweep_[p].top; ++k) {
                        testPair(sweep_[p].member, sweep_[k].member);
                    }
                    ++p;
                } else {
                    for (std::uint32_t k = p; k < column.end && sweep_[k].bottom <= sweep_[q].top; ++k) {
                        testPair(sweep_[k].member, sweep_[q].member);
                    }
                    ++q;
                }
            }
        }
    }

    // the part's large items against everything
    for (std::size_t l = large_.size() * part / parts; l < large_.size() * (part + 1) / parts; ++l) {
        const std::uint32_t big = large_[l];
        for (std::uint32_t member : gridMembers_) {
            if (member != big && (isLarge_[member] == 0 || member > big)) {
                testPair(big, member);
            }
        }
    }
}

void BroadPhaseGrid::CompleteEnd(std::span<const std::vector<std::uint64_t>* const> found) {
    // neighbour lists: for each member the later members, in member order (each pair is
    // found once, so a counting sort by the first member and a short sort of each list do)
    const std::size_t memberCount = items_.size();
    neighbourBegin_.assign(memberCount + 1, 0);
    for (const std::vector<std::uint64_t>* pairs : found) {
        for (std::uint64_t pair : *pairs) {
            ++neighbourBegin_[(pair >> 32) + 1];
        }
    }
    for (std::size_t i = 1; i <= memberCount; ++i) {
        neighbourBegin_[i] += neighbourBegin_[i - 1];
    }
    neighbours_.resize(neighbourBegin_[memberCount]);
    fill_.assign(neighbourBegin_.begin(), neighbourBegin_.end() - 1);
    for (const std::vector<std::uint64_t>* pairs : found) {
        for (std::uint64_t pair : *pairs) {
            neighbours_[fill_[pair >> 32]++] = static_cast<std::uint32_t>(pair);
        }
    }
    for (std::size_t member = 0; member < memberCount; ++member) {
        std::sort(neighbours_.begin() + neighbourBegin_[member],
                  neighbours_.begin() + neighbourBegin_[member + 1]);
    }
    neighboursValid_ = true;
}
