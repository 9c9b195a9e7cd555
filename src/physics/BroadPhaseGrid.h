#pragma once
// Broad phase of the world step: 1 m cells of the x-z plane keyed by a packed 32-bit
// key, every item entered into each cell its widened bounds touch, the land into every
// cell that exists. The pair order is the one an ordered map of cells and an ordered set
// of taken pairs give: cells in key order, in each cell every position i with every
// position j >= i, a pair taken only in the first cell it occurs in. Each pair carries
// its rank in that order, which deals it to a contact record.
//
// The lists are never built pair by pair: the rank of a pair is counted from the cell
// lists, and the candidates are taken from per-item neighbour lists that are rebuilt
// only when an item has moved further than a margin, so a resting pile costs little.
// Every structure is kept across steps and reused.

#include <algorithm>
#include <array>
#include <cstdint>
#include <span>
#include <vector>

#include "physics/Vector3.h"

class BroadPhaseGrid {
public:
    /// Cell indices are bounded so that (ix << 16) | (iz & 0xFFFF) stays unique.
    static constexpr int kCellIndexMinimum = -32768;
    static constexpr int kCellIndexMaximum = 32767;
    /// An item whose widened bounds cover more cells than this is entered, like the land,
    /// into every cell that exists (and the cell of its position), instead of its own range.
    static constexpr std::int64_t kMaximumCellsPerItem = 256;
    /// How far an item may move (or its bounds grow) before the neighbour lists are rebuilt, m.
    static constexpr float kNeighbourMargin = 0.01f;

    /// What the grid needs of one member; the index of a body is its member index.
    struct Body {
        Vector3 position;
        Vector3 extent;
        /// Only the members other than "sky", "land" and "localplayer" take part.
        bool takesPart = false;
    };

    /// A pair in pair order; first and second are member indices, rank the pair's place in
    /// the order of all pairs of the grid (self pairs included, which are never reported).
    struct Pair {
        std::uint32_t first;
        std::uint32_t second;
        std::uint64_t rank;
    };

    /// The floor of each bound, limited to the cell index range; NaN gives the lowest cell.
    static void CellRange(double xmin, double xmax, double zmin, double zmax, int& ix0, int& ix1, int& iz0,
                          int& iz1);
    /// The packed key of a cell.
    static std::int32_t CellKey(int ix, int iz) {
        return static_cast<std::int32_t>(static_cast<std::uint32_t>(ix) << 16 |
                                         (static_cast<std::uint32_t>(iz) & 0xFFFFu));
    }

    /// Enters the bodies (indexed by member index) and the land (a member index, or -1).
    /// Bodies whose position or extent is not finite are kept out of the grid.
    void Refresh(const std::vector<Body>& bodies, int land, double tolerance);

    /// What a share of the bodies found changed since the last refresh.
    struct RangeChanges {
        bool membership = false;
        bool cells = false;
        /// A body moved (or grew) further than the margin since the neighbour lists were built.
        bool moved = false;
    };
    /// Refresh in three parts, so that the bodies' own part can be shared out: Prepare on one
    /// thread, then RefreshRange for shares of the bodies that together cover them all (on
    /// any threads, each share's bodies written by it alone), then Complete on one thread
    /// with the shares' changes combined.
    void Prepare(std::size_t bodyCount, int land, double tolerance);
    void RefreshRange(const std::vector<Body>& bodies, std::uint32_t begin, std::uint32_t end,
                      RangeChanges& changes);
    void Complete(const std::vector<Body>& bodies, const RangeChanges& changes);
    /// Complete in parts, so that the search for neighbours can be shared out too:
    /// CompleteBegin on one thread; when it answers true, FindNeighbours for the parts 0 to
    /// parts - 1 (on any threads, each into a list of its own), then CompleteEnd with all
    /// those lists on one thread. Any number of parts gives the same lists.
    bool CompleteBegin(const std::vector<Body>& bodies, const RangeChanges& changes);
    void FindNeighbours(const std::vector<Body>& bodies, std::uint32_t part, std::uint32_t parts,
                        std::vector<std::uint64_t>& found) const;
    void CompleteEnd(std::span<const std::vector<std::uint64_t>* const> found);
    /// Forgets everything, so that the next Refresh rebuilds from scratch (the member set changed).
    void Invalidate();

    /// Calls report(pair) for every pair of two different items that the cells hold and
    /// that may touch, in pair order. Pairs of two items that share a cell but whose widened
    /// bounds cannot meet are left out; every pair with the land, and with an item entered
    /// everywhere, is reported.
    template <class Report> void ForEachPair(Report&& report) const { ForEachPair(0, UINT32_MAX, report); }
    /// The same for the pairs whose first member lies in [firstBegin, firstEnd) alone, in the
    /// same order (the work of walking the other rows is a few additions per row).
    template <class Report>
    void ForEachPair(std::uint32_t firstBegin, std::uint32_t firstEnd, Report&& report) const;

    /// Number of cells that exist.
    std::size_t CellCount() const { return cells_.size(); }
    /// The keys of the cells that hold a member (land excluded), in key order.
    std::vector<std::int32_t> CellKeys() const;
    /// Whether a member was entered into the grid at all.
    bool InGrid(std::uint32_t member) const {
        return member < items_.size() && items_[member].state != State::kOut;
    }
    /// Whether a member was entered into every cell.
    bool Everywhere(std::uint32_t member) const {
        return member < items_.size() && items_[member].state == State::kEverywhere;
    }
    /// How often the cell lists and the neighbour lists were rebuilt (for tests and measurements).
    std::uint64_t CellRebuilds() const { return cellRebuilds_; }
    std::uint64_t NeighbourRebuilds() const { return neighbourRebuilds_; }

private:
    enum class State : unsigned char { kOut, kRange, kEverywhere };

    struct Rect {
        int ix0 = 0, ix1 = 0, iz0 = 0, iz1 = 0;
        bool operator==(const Rect&) const = default;
    };

    struct Item {
        State state = State::kOut;
        Rect rect;
        /// Cell index of the first cell in key order, and the item's position in its list.
        std::uint32_t firstCell = 0;
        std::uint32_t firstPosition = 0;
        /// For items in more than one cell: their (cell, position) entries, in cell order.
        std::uint32_t placesBegin = 0;
        std::uint32_t placesEnd = 0;
        /// Position and extent when the neighbour lists were built.
        Vector3 builtPosition;
        Vector3 builtExtent;
    };

    struct Place {
        std::uint32_t cell;
        std::uint32_t position;
    };

    /// A row of a cell's list held by an item that lies in more than one cell.
    struct SharedRow {
        std::uint32_t position;
        std::uint32_t member;
        /// Pairs of this row already taken in an earlier cell.
        std::uint64_t taken;
        /// The same for all of the cell's shared rows before this one, summed.
        std::uint64_t takenBefore;
        /// EarlierMask of the member's rectangle in this cell.
        unsigned char mask;
    };

    struct Cell {
        int ix = 0;
        int iz = 0;
        std::int32_t key = 0;
        /// Range of this cell's items in members_ (member order).
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        /// Range of this cell's rows of items in more than one cell, in position order.
        std::uint32_t sharedBegin = 0;
        std::uint32_t sharedEnd = 0;
        /// Rank of the cell's first new pair.
        std::uint64_t rankBase = 0;
    };

    static bool IsSingle(const Rect& rect) { return rect.ix0 == rect.ix1 && rect.iz0 == rect.iz1; }
    /// The pairs of all the cell's rows taken in earlier cells.
    std::uint64_t CellTaken(const Cell& cell) const {
        if (cell.sharedEnd == cell.sharedBegin) {
            return 0;
        }
        const SharedRow& last = sharedRows_[cell.sharedEnd - 1];
        return last.takenBefore + last.taken;
    }
    static bool Contains(const Rect& rect, const Cell& cell) {
        return rect.ix0 <= cell.ix && cell.ix <= rect.ix1 && rect.iz0 <= cell.iz && cell.iz <= rect.iz1;
    }
    /// For a rectangle that holds the cell, the ways in which it reaches before the cell in key
    /// order: a lower column, a lower row of a positive cell row (or of a negative one), a
    /// row >= 0 beside a negative cell row. Two such rectangles share a cell earlier than this
    /// one exactly when their masks share a bit.
    static unsigned char EarlierMask(const Rect& rect, const Cell& cell) {
        return static_cast<unsigned char>((rect.ix0 < cell.ix ? 1 : 0) |
                                          (cell.iz != 0 && rect.iz0 < cell.iz ? 2 : 0) |
                                          (cell.iz < 0 && rect.iz1 >= 0 ? 4 : 0));
    }

    void RebuildCells();
    /// The neighbour rebuild's serial start: widened bounds, column width, the sweep order.
    void BeginNeighbours(const std::vector<Body>& bodies, double tolerance);
    /// Position of a member that lies in the cell, or false.
    bool PositionIn(std::uint32_t member, std::uint32_t cell, std::uint32_t& position) const;
    /// Number of pairs (row, z) with z a shared row after the shared row and before the
    /// column position limit that were taken in an earlier cell than this one (a few
    /// subtractions of the mask counts, whatever the number of shared rows).
    std::uint64_t TakenBetween(const Cell& cell, std::uint32_t shared, std::uint32_t limit) const;

    std::vector<Item> items_;
    std::vector<std::uint32_t> gridMembers_; // members in range state, member order
    std::vector<std::uint32_t> everywhere_;  // members entered everywhere, member order
    int land_ = -1;

    std::vector<std::uint64_t> entries_; // (biased key << 32) | member, sorted
    std::vector<std::uint32_t> members_; // member of each entry, cell by cell
    std::vector<Cell> cells_;
    std::vector<Place> places_;
    std::vector<SharedRow> sharedRows_;
    /// For each shared row (and one past the last), how many earlier shared rows hold each mask.
    std::vector<std::array<std::uint32_t, 8>> maskCounts_;
    bool cellsValid_ = false;

    // neighbour lists: for each member, the members after it whose widened bounds may meet its own
    std::vector<std::uint32_t> neighbourBegin_; // size members + 1
    std::vector<std::uint32_t> neighbours_;
    struct SweepEntry {
        std::uint64_t column;
        /// The widened bounds along y; the top also by the tolerance, as the pair test
        /// widens by it, so that a sweep that stops at the first bottom above it misses no pair.
        float bottom;
        float top;
        std::uint32_t member;
    };
    struct Column {
        std::uint64_t key;
        std::uint32_t begin, end;
    };
    std::vector<std::uint64_t> neighbourScratch_;
    std::vector<Vector3> fat_;
    std::vector<float> sizes_;
    std::vector<float> median_;
    std::vector<std::uint32_t> large_;
    std::vector<unsigned char> isLarge_;
    std::vector<SweepEntry> sweep_;
    std::vector<Column> columns_;
    std::vector<std::uint32_t> fill_;
    bool neighboursValid_ = false;
    /// sweep_ holds the small items of the last rebuild, in their order then.
    bool sweepKept_ = false;
    double builtTolerance_ = 0.0;
    /// The tolerance of the neighbour rebuild under way, as the pair tests widen by it.
    float widening_ = 0.0f;
    /// The tolerance and whether the member count changed, between Prepare and Complete.
    double tolerance_ = 0.0;
    bool countChanged_ = false;

    std::uint64_t cellRebuilds_ = 0;
    std::uint64_t neighbourRebuilds_ = 0;
};

template <class Report>
void BroadPhaseGrid::ForEachPair(std::uint32_t firstBegin, std::uint32_t firstEnd, Report&& report) const {
    if (!cellsValid_ || neighbourBegin_.size() != items_.size() + 1) {
        return;
    }
    const std::uint32_t everywhereCount = static_cast<std::uint32_t>(everywhere_.size());
    const std::uint32_t landCount = land_ >= 0 ? 1u : 0u;
    for (std::uint32_t cellIndex = 0; cellIndex < cells_.size(); ++cellIndex) {
        const Cell& cell = cells_[cellIndex];
        const std::uint64_t regular = cell.end - cell.begin;
        const std::uint64_t length = regular + everywhereCount + landCount;
        // the rows of the range's items (the cell's items are in member order), with the pairs
        // of the earlier rows taken in earlier cells
        const auto rows = members_.begin() + cell.begin;
        const auto rowBegin =
            static_cast<std::uint32_t>(std::lower_bound(rows, rows + regular, firstBegin) - rows);
        const auto rowEnd =
            static_cast<std::uint32_t>(std::lower_bound(rows + rowBegin, rows + regular, firstEnd) - rows);
        const auto sharedRows = sharedRows_.begin();
        std::uint32_t shared = static_cast<std::uint32_t>(
            std::lower_bound(sharedRows + cell.sharedBegin, sharedRows + cell.sharedEnd, rowBegin,
                             [](const SharedRow& row, std::uint32_t position) { return row.position < position; }) -
            sharedRows);
        std::uint64_t takenBefore = shared < cell.sharedEnd ? sharedRows_[shared].takenBefore : CellTaken(cell);

        // the rows of the items entered by range, in member order
        for (std::uint32_t row = rowBegin; row < rowEnd; ++row) {
            const std::uint32_t first = members_[cell.begin + row];
            const Item& item = items_[first];
            const std::uint64_t rowStart =
                cell.rankBase + row * length - static_cast<std::uint64_t>(row) * (row - 1) / 2 - takenBefore;
            const bool sharedRow = shared < cell.sharedEnd && sharedRows_[shared].position == row;
            const bool firstCell = item.firstCell == cellIndex;

            // neighbours in this cell, in member order, each pair in the first cell both share
            for (std::uint32_t n = neighbourBegin_[first]; n < neighbourBegin_[first + 1]; ++n) {
                const std::uint32_t second = neighbours_[n];
                const Item& other = items_[second];
                std::uint32_t column = 0;
                if (!sharedRow) {
                    if (IsSingle(other.rect)) {
                        if (other.firstCell != cellIndex) {
                            continue;
                        }
                        column = other.firstPosition;
                    } else if (!PositionIn(second, cellIndex, column)) {
                        continue;
                    }
                    report(Pair{first, second, rowStart + (column - row)});
                    continue;
                }
                // the pair is taken here when this is the first cell both share
                if (!Contains(other.rect, cell) ||
                    (sharedRows_[shared].mask & EarlierMask(other.rect, cell)) != 0) {
                    continue;
                }
                [[maybe_unused]] const bool found = PositionIn(second, cellIndex, column);
                const std::uint64_t taken = TakenBetween(cell, shared, column) + (firstCell ? 0 : 1);
                report(Pair{first, second, rowStart + (column - row) - taken});
            }

            // the items entered everywhere and the land meet this item in its first cell
            if (firstCell) {
                const std::uint64_t taken = sharedRow ? TakenBetween(cell, shared, UINT32_MAX) : 0;
                for (std::uint32_t k = 0; k < everywhereCount; ++k) {
                    const std::uint64_t column = regular + k;
                    report(Pair{first, everywhere_[k], rowStart + (column - row) - taken});
                }
                if (landCount != 0) {
                    const std::uint64_t column = regular + everywhereCount;
                    report(Pair{first, static_cast<std::uint32_t>(land_), rowStart + (column - row) - taken});
                }
            }
            if (sharedRow) {
                takenBefore += sharedRows_[shared].taken;
                ++shared;
            }
        }

        // the rows of the items entered everywhere, new only in the first cell of all
        if (cellIndex == 0) {
            takenBefore = CellTaken(cell);
            for (std::uint32_t k = 0; k < everywhereCount; ++k) {
                if (everywhere_[k] < firstBegin || everywhere_[k] >= firstEnd) {
                    continue;
                }
                const std::uint64_t row = regular + k;
                const std::uint64_t rowStart =
                    cell.rankBase + row * length - row * (row - 1) / 2 - takenBefore;
                for (std::uint32_t l = k + 1; l < everywhereCount; ++l) {
                    report(Pair{everywhere_[k], everywhere_[l], rowStart + (l - k)});
                }
                if (landCount != 0) {
                    report(Pair{everywhere_[k], static_cast<std::uint32_t>(land_),
                                rowStart + (everywhereCount - k)});
                }
            }
        }
    }
}
