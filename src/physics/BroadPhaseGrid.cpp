#include "physics/BroadPhaseGrid.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <limits>

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

} // namespace

void BroadPhaseGrid::CellRange(double xmin, double xmax, double zmin, double zmax, int& ix0, int& ix1,
                               int& iz0, int& iz1) {
    ix0 = FloorToCell(xmin);
    ix1 = FloorToCell(xmax);
    iz0 = FloorToCell(zmin);
    iz1 = FloorToCell(zmax);
}

void BroadPhaseGrid::FirstOf(const Rect& rect, int& ix, int& iz) {
    // keys order by ix, then by the low 16 bits of iz: 0, 1, ..., 32767, -32768, ..., -1
    ix = rect.ix0;
    iz = rect.iz1 >= 0 ? std::max(rect.iz0, 0) : rect.iz0;
}

bool BroadPhaseGrid::FirstCommon(const Rect& a, const Rect& b, int& ix, int& iz) {
    const Rect common{std::max(a.ix0, b.ix0), std::min(a.ix1, b.ix1), std::max(a.iz0, b.iz0),
                      std::min(a.iz1, b.iz1)};
    if (common.ix0 > common.ix1 || common.iz0 > common.iz1) {
        return false;
    }
    FirstOf(common, ix, iz);
    return true;
}

void BroadPhaseGrid::Invalidate() {
    items_.clear();
    cells_.clear();
    members_.clear();
    sharedRows_.clear();
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
    bool membershipChanged = false;
    if (items_.size() != bodies.size()) {
        items_.assign(bodies.size(), Item());
        membershipChanged = true;
        cellsValid_ = false;
    }
    if (land != land_ || tolerance != builtTolerance_) {
        cellsValid_ = false;
        neighboursValid_ = false;
    }
    land_ = land;

    // the cells each body's widened bounds cover
    bool cellsChanged = false;
    for (std::size_t member = 0; member < bodies.size(); ++member) {
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
            membershipChanged = true;
        }
        if (state != item.state || !(rect == item.rect)) {
            cellsChanged = true;
            item.state = state;
            item.rect = rect;
        }
    }

    if (membershipChanged) {
        neighboursValid_ = false;
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
    if (cellsChanged || !cellsValid_) {
        RebuildCells();
    }
    if (!neighboursValid_ || !NeighboursValid(bodies)) {
        builtTolerance_ = tolerance;
        RebuildNeighbours(bodies, tolerance);
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
    std::uint64_t rank = 0;
    for (std::uint32_t cellIndex = 0; cellIndex < cells_.size(); ++cellIndex) {
        Cell& cell = cells_[cellIndex];
        cell.sharedBegin = static_cast<std::uint32_t>(sharedRows_.size());
        for (std::uint32_t i = cell.begin; i < cell.end; ++i) {
            const std::uint32_t member = members_[i];
            if (!IsSingle(items_[member].rect)) {
                sharedRows_.push_back(SharedRow{i - cell.begin, member, 0});
            }
        }
        cell.sharedEnd = static_cast<std::uint32_t>(sharedRows_.size());

        std::uint64_t takenInCell = 0;
        for (std::uint32_t s = cell.sharedBegin; s < cell.sharedEnd; ++s) {
            SharedRow& row = sharedRows_[s];
            const Item& item = items_[row.member];
            std::uint64_t taken = item.firstCell == cellIndex ? 0 : 1 + everywhereCount;
            for (std::uint32_t t = s + 1; t < cell.sharedEnd; ++t) {
                int ix = 0, iz = 0;
                const bool common = FirstCommon(item.rect, items_[sharedRows_[t].member].rect, ix, iz);
                assert(common);
                if (common && (ix != cell.ix || iz != cell.iz)) {
                    ++taken;
                }
            }
            row.taken = taken;
            takenInCell += taken;
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

std::uint64_t BroadPhaseGrid::TakenBetween(const Cell& cell, std::uint32_t /*cellIndex*/, const Item& row,
                                           std::uint32_t rowPosition, std::uint32_t limit) const {
    std::uint64_t taken = 0;
    for (std::uint32_t s = cell.sharedBegin; s < cell.sharedEnd; ++s) {
        const SharedRow& shared = sharedRows_[s];
        if (shared.position <= rowPosition) {
            continue;
        }
        if (shared.position >= limit) {
            break;
        }
        int ix = 0, iz = 0;
        if (FirstCommon(row.rect, items_[shared.member].rect, ix, iz) && (ix != cell.ix || iz != cell.iz)) {
            ++taken;
        }
    }
    return taken;
}

bool BroadPhaseGrid::NeighboursValid(const std::vector<Body>& bodies) const {
    for (std::uint32_t member : gridMembers_) {
        const Item& item = items_[member];
        const Body& body = bodies[member];
        const Vector3 moved = body.position - item.builtPosition;
        const Vector3 grown = body.extent - item.builtExtent;
        if (!(std::fabs(moved.x) + std::max(grown.x, 0.0f) <= kNeighbourMargin &&
              std::fabs(moved.y) + std::max(grown.y, 0.0f) <= kNeighbourMargin &&
              std::fabs(moved.z) + std::max(grown.z, 0.0f) <= kNeighbourMargin)) {
            return false;
        }
    }
    return true;
}

void BroadPhaseGrid::RebuildNeighbours(const std::vector<Body>& bodies, double tolerance) {
    ++neighbourRebuilds_;
    const float widening = static_cast<float>(tolerance);
    const std::size_t count = gridMembers_.size();

    // bounds widened by twice the margin (each of two items may move by one margin) and by a
    // little for rounding, so that every pair the exact bounding test can accept before the
    // next rebuild is among the neighbours
    auto fatExtent = [&](std::uint32_t member) {
        const Body& body = bodies[member];
        const float slack =
            1.0e-5f * (1.0f + std::max({std::fabs(body.position.x), std::fabs(body.position.y),
                                        std::fabs(body.position.z)}));
        const float grow = 2.0f * kNeighbourMargin + slack;
        return Vector3(body.extent.x + grow, body.extent.y + grow, body.extent.z + grow);
    };
    auto overlap = [&](std::uint32_t a, std::uint32_t b) {
        const Vector3 d = bodies[a].position - bodies[b].position;
        const Vector3 ea = fatExtent(a), eb = fatExtent(b);
        return std::fabs(d.x) <= ea.x + eb.x + widening && std::fabs(d.y) <= ea.y + eb.y + widening &&
               std::fabs(d.z) <= ea.z + eb.z + widening;
    };

    for (std::uint32_t member : gridMembers_) {
        items_[member].builtPosition = bodies[member].position;
        items_[member].builtExtent = bodies[member].extent;
    }

    // column width: the largest footprint among the items not far above the median; the
    // few larger ones are tested against every item
    std::vector<float>& sizes = sweepMin_;
    sizes.clear();
    for (std::uint32_t member : gridMembers_) {
        const Vector3 e = fatExtent(member);
        sizes.push_back(2.0f * std::max(e.x, e.z) + widening);
    }
    float width = 1.0f;
    std::vector<std::uint32_t> large;
    if (count != 0) {
        std::vector<float> sorted = sizes;
        std::nth_element(sorted.begin(), sorted.begin() + sorted.size() / 2, sorted.end());
        const float limit = 4.0f * sorted[sorted.size() / 2];
        width = 0.0f;
        for (std::size_t i = 0; i < count; ++i) {
            if (sizes[i] <= limit) {
                width = std::max(width, sizes[i]);
            } else {
                large.push_back(gridMembers_[i]);
            }
        }
        width = std::max(width, 1.0e-3f) * 1.001f;
    }

    // the small items sorted by column, then by the bottom of their widened bounds
    std::vector<unsigned char> isLarge(items_.size(), 0);
    for (std::uint32_t member : large) {
        isLarge[member] = 1;
    }
    sweepOrder_.clear();
    sweepKey_.assign(items_.size(), 0);
    std::vector<float> bottom(items_.size(), 0.0f), top(items_.size(), 0.0f);
    for (std::uint32_t member : gridMembers_) {
        if (isLarge[member] != 0) {
            continue;
        }
        const Body& body = bodies[member];
        const Vector3 e = fatExtent(member);
        sweepKey_[member] =
            ColumnKey(ColumnIndex(body.position.x, width), ColumnIndex(body.position.z, width));
        bottom[member] = body.position.y - e.y;
        top[member] = body.position.y + e.y;
        sweepOrder_.push_back(member);
    }
    std::sort(sweepOrder_.begin(), sweepOrder_.end(), [&](std::uint32_t a, std::uint32_t b) {
        if (sweepKey_[a] != sweepKey_[b]) {
            return sweepKey_[a] < sweepKey_[b];
        }
        if (bottom[a] != bottom[b]) {
            return bottom[a] < bottom[b];
        }
        return a < b;
    });

    // the runs of one column
    struct Column {
        std::uint64_t key;
        std::uint32_t begin, end;
    };
    std::vector<Column> columns;
    for (std::uint32_t i = 0; i < sweepOrder_.size();) {
        const std::uint64_t key = sweepKey_[sweepOrder_[i]];
        std::uint32_t j = i;
        while (j < sweepOrder_.size() && sweepKey_[sweepOrder_[j]] == key) {
            ++j;
        }
        columns.push_back(Column{key, i, j});
        i = j;
    }

    neighbourScratch_.clear();
    auto addPair = [&](std::uint32_t a, std::uint32_t b) {
        if (a > b) {
            std::swap(a, b);
        }
        neighbourScratch_.push_back(static_cast<std::uint64_t>(a) << 32 | b);
    };
    auto testPair = [&](std::uint32_t a, std::uint32_t b) {
        if (overlap(a, b)) {
            addPair(a, b);
        }
    };

    // each column against itself and its four forward neighbours, sweeping along y
    for (const Column& column : columns) {
        for (std::uint32_t i = column.begin; i < column.end; ++i) {
            const std::uint32_t a = sweepOrder_[i];
            for (std::uint32_t j = i + 1; j < column.end && bottom[sweepOrder_[j]] <= top[a]; ++j) {
                testPair(a, sweepOrder_[j]);
            }
        }
        const std::int64_t cx = static_cast<std::int64_t>(column.key >> 32) - (std::int64_t{1} << 31);
        const std::int64_t cz = static_cast<std::int64_t>(column.key & 0xFFFFFFFFu) - (std::int64_t{1} << 31);
        const std::int64_t forward[4][2] = {{0, 1}, {1, -1}, {1, 0}, {1, 1}};
        for (const auto& offset : forward) {
            const std::uint64_t key = ColumnKey(cx + offset[0], cz + offset[1]);
            auto found = std::lower_bound(columns.begin(), columns.end(), key,
                                          [](const Column& c, std::uint64_t k) { return c.key < k; });
            if (found == columns.end() || found->key != key) {
                continue;
            }
            // merge the two runs by their bottoms; each item meets those of the other run
            // that start before its top
            std::uint32_t p = column.begin, q = found->begin;
            while (p < column.end && q < found->end) {
                const std::uint32_t a = sweepOrder_[p], b = sweepOrder_[q];
                if (bottom[a] <= bottom[b]) {
                    for (std::uint32_t k = q; k < found->end && bottom[sweepOrder_[k]] <= top[a]; ++k) {
                        testPair(a, sweepOrder_[k]);
                    }
                    ++p;
                } else {
                    for (std::uint32_t k = p; k < column.end && bottom[sweepOrder_[k]] <= top[b]; ++k) {
                        testPair(sweepOrder_[k], b);
                    }
                    ++q;
                }
            }
        }
    }

    // the large items against everything
    for (std::size_t l = 0; l < large.size(); ++l) {
        for (std::uint32_t member : gridMembers_) {
            if (member != large[l] && (isLarge[member] == 0 || member > large[l])) {
                testPair(large[l], member);
            }
        }
    }

    // neighbour lists: for each member the later members, in member order
    std::sort(neighbourScratch_.begin(), neighbourScratch_.end());
    neighbourScratch_.erase(std::unique(neighbourScratch_.begin(), neighbourScratch_.end()),
                            neighbourScratch_.end());
    neighbourBegin_.assign(items_.size() + 1, 0);
    neighbours_.resize(neighbourScratch_.size());
    for (std::uint64_t pair : neighbourScratch_) {
        ++neighbourBegin_[(pair >> 32) + 1];
    }
    for (std::size_t i = 1; i < neighbourBegin_.size(); ++i) {
        neighbourBegin_[i] += neighbourBegin_[i - 1];
    }
    for (std::size_t i = 0; i < neighbourScratch_.size(); ++i) {
        neighbours_[i] = static_cast<std::uint32_t>(neighbourScratch_[i]);
    }
    neighboursValid_ = true;
}
