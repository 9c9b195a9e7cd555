#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "collision/Collide.h"
#include "physics/BroadPhaseGrid.h"

namespace {

constexpr double kTolerance = 0.03;

/// The pair order written out with the ordered containers: a map of cells by key, every
/// position i with every j >= i, an ordered set of the pairs taken. Items whose widened
/// bounds cover too many cells are entered into every cell (their own cell made to exist),
/// before the land; items with a position that is not finite are left out.
std::vector<BroadPhaseGrid::Pair> ReferencePairs(const std::vector<BroadPhaseGrid::Body>& bodies, int land) {
    std::map<std::int32_t, std::vector<std::uint32_t>> cells;
    std::vector<std::uint32_t> everywhere;
    for (std::uint32_t member = 0; member < bodies.size(); ++member) {
        const BroadPhaseGrid::Body& body = bodies[member];
        if (!body.takesPart || !std::isfinite(body.position.x) || !std::isfinite(body.position.y) ||
            !std::isfinite(body.position.z) || std::isnan(body.extent.x) || std::isnan(body.extent.y) ||
            std::isnan(body.extent.z)) {
            continue;
        }
        int ix0, ix1, iz0, iz1;
        const double px = body.position.x, pz = body.position.z;
        BroadPhaseGrid::CellRange(px - body.extent.x - kTolerance, px + body.extent.x + kTolerance,
                                  pz - body.extent.z - kTolerance, pz + body.extent.z + kTolerance, ix0, ix1,
                                  iz0, iz1);
        if ((static_cast<double>(ix1) - ix0 + 1) * (static_cast<double>(iz1) - iz0 + 1) >
            BroadPhaseGrid::kMaximumCellsPerItem) {
            everywhere.push_back(member);
            BroadPhaseGrid::CellRange(px, px, pz, pz, ix0, ix1, iz0, iz1);
            cells[BroadPhaseGrid::CellKey(ix0, iz0)];
            continue;
        }
        for (int ix = ix0; ix <= ix1; ++ix) {
            for (int iz = iz0; iz <= iz1; ++iz) {
                cells[BroadPhaseGrid::CellKey(ix, iz)].push_back(member);
            }
        }
    }
    for (auto& [key, list] : cells) {
        list.insert(list.end(), everywhere.begin(), everywhere.end());
        if (land >= 0) {
            list.push_back(static_cast<std::uint32_t>(land));
        }
    }

    std::vector<BroadPhaseGrid::Pair> pairs;
    std::set<std::pair<std::uint32_t, std::uint32_t>> taken;
    std::uint64_t rank = 0;
    for (const auto& [key, list] : cells) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            for (std::size_t j = i; j < list.size(); ++j) {
                if (!taken.insert({list[i], list[j]}).second) {
                    continue;
                }
                if (list[i] != list[j]) {
                    pairs.push_back(BroadPhaseGrid::Pair{list[i], list[j], rank});
                }
                ++rank;
            }
        }
    }
    return pairs;
}

/// Whether the grid must report the pair: the bounds can meet, or the land or an item
/// entered everywhere takes part.
bool MustReport(const BroadPhaseGrid& grid, const std::vector<BroadPhaseGrid::Body>& bodies, int land,
                const BroadPhaseGrid::Pair& pair) {
    if (static_cast<int>(pair.first) == land || static_cast<int>(pair.second) == land ||
        grid.Everywhere(pair.first) || grid.Everywhere(pair.second)) {
        return true;
    }
    const BroadPhaseGrid::Body& a = bodies[pair.first];
    const BroadPhaseGrid::Body& b = bodies[pair.second];
    return BoundingBoxesOverlap(a.position - b.position, a.extent, b.extent, kTolerance);
}

/// Checks the grid's pairs against the reference: the same ranks, in rank order, every pair
/// whose bounds can meet, and nothing the reference does not have.
void ExpectSamePairs(const BroadPhaseGrid& grid, const std::vector<BroadPhaseGrid::Body>& bodies, int land,
                     const std::string& context) {
    const std::vector<BroadPhaseGrid::Pair> reference = ReferencePairs(bodies, land);
    std::map<std::pair<std::uint32_t, std::uint32_t>, std::uint64_t> referenceRanks;
    for (const auto& pair : reference) {
        referenceRanks[{pair.first, pair.second}] = pair.rank;
    }
    std::vector<BroadPhaseGrid::Pair> reported;
    grid.ForEachPair([&](const BroadPhaseGrid::Pair& pair) { reported.push_back(pair); });

    std::set<std::pair<std::uint32_t, std::uint32_t>> seen;
    for (std::size_t i = 0; i < reported.size(); ++i) {
        const auto& pair = reported[i];
        auto found = referenceRanks.find({pair.first, pair.second});
        ASSERT_NE(found, referenceRanks.end()) << context << ": pair " << pair.first << "," << pair.second;
        ASSERT_EQ(pair.rank, found->second) << context << ": pair " << pair.first << "," << pair.second;
        ASSERT_TRUE(i == 0 || reported[i - 1].rank < pair.rank) << context << ": out of order at " << i;
        seen.insert({pair.first, pair.second});
    }
    // the pairs of three ranges of first members, as the world's shares ask for them, are the
    // same pairs with the same ranks
    std::vector<BroadPhaseGrid::Pair> parts;
    const auto count = static_cast<std::uint32_t>(bodies.size());
    for (std::uint32_t part = 0; part < 3; ++part) {
        grid.ForEachPair(count * part / 3, count * (part + 1) / 3,
                         [&](const BroadPhaseGrid::Pair& pair) { parts.push_back(pair); });
    }
    std::sort(parts.begin(), parts.end(), [](const auto& a, const auto& b) { return a.rank < b.rank; });
    ASSERT_EQ(parts.size(), reported.size()) << context;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        ASSERT_TRUE(parts[i].first == reported[i].first && parts[i].second == reported[i].second &&
                    parts[i].rank == reported[i].rank)
            << context << ": ranged pair " << i;
    }
    for (const auto& pair : reference) {
        if (MustReport(grid, bodies, land, pair)) {
            ASSERT_TRUE(seen.count({pair.first, pair.second}) != 0)
                << context << ": missing pair " << pair.first << "," << pair.second << " rank " << pair.rank;
        }
    }
}

/// The refresh as the world shares it out: the bodies in three shares, the neighbour search
/// in three parts.
void RefreshInParts(BroadPhaseGrid& grid, const std::vector<BroadPhaseGrid::Body>& bodies, int land) {
    constexpr std::uint32_t kParts = 3;
    const auto count = static_cast<std::uint32_t>(bodies.size());
    grid.Prepare(bodies.size(), land, kTolerance);
    BroadPhaseGrid::RangeChanges changes;
    for (std::uint32_t part = 0; part < kParts; ++part) {
        BroadPhaseGrid::RangeChanges share;
        grid.RefreshRange(bodies, count * part / kParts, count * (part + 1) / kParts, share);
        changes.membership = changes.membership || share.membership;
        changes.cells = changes.cells || share.cells;
        changes.moved = changes.moved || share.moved;
    }
    if (grid.CompleteBegin(bodies, changes)) {
        std::vector<std::uint64_t> found[kParts];
        for (std::uint32_t part = 0; part < kParts; ++part) {
            grid.FindNeighbours(bodies, part, kParts, found[part]);
        }
        const std::vector<std::uint64_t>* lists[] = {&found[0], &found[1], &found[2]};
        grid.CompleteEnd(lists);
    }
}

} // namespace

TEST(BroadPhaseGridTest, PairsAndRanksMatchTheOrderedContainersAsItemsMove) {
    std::mt19937 random(7);
    std::uniform_real_distribution<float> place(-2.6f, 2.6f);
    std::uniform_real_distribution<float> height(0.0f, 1.5f);
    std::uniform_real_distribution<float> size(0.02f, 0.45f);
    // in some scenes most items cross two or three cell lines, so that cells are crowded with
    // items that share several cells
    std::uniform_real_distribution<float> wide(0.3f, 1.2f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);

    for (int scene = 0; scene < 12; ++scene) {
        const int count = 40 + scene * 6;
        const int land = scene % 3 == 2 ? -1 : static_cast<int>(random() % count);
        std::vector<BroadPhaseGrid::Body> bodies(count);
        for (int i = 0; i < count; ++i) {
            BroadPhaseGrid::Body& body = bodies[i];
            body.takesPart = i != land && i % 17 != 5; // some members stay out like the sky and the player
            body.position = Vector3(place(random), height(random), place(random));
            body.extent = scene % 4 == 3 ? Vector3(wide(random), size(random), wide(random))
                                         : Vector3(size(random), size(random), size(random));
        }
        // a large item, one entered everywhere, one far away and one lost
        bodies[1].extent = Vector3(1.8f, 0.2f, 1.1f);
        if (scene % 2 == 0) {
            bodies[2].extent = Vector3(40.0f, 0.5f, 40.0f);
        }
        bodies[3].position = Vector3(1.0e30f, 0.5f, -1.0e30f);
        bodies[4].position.x = std::numeric_limits<float>::quiet_NaN();

        BroadPhaseGrid grid;
        for (int step = 0; step < 25; ++step) {
            if (scene % 3 == 1) {
                RefreshInParts(grid, bodies, land);
            } else {
                grid.Refresh(bodies, land, kTolerance);
            }
            ExpectSamePairs(grid, bodies, land,
                            "scene " + std::to_string(scene) + " step " + std::to_string(step));
            if (HasFatalFailure()) {
                return;
            }
            // most items creep, a few jump, now and then one changes size
            for (int i = 5; i < count; ++i) {
                BroadPhaseGrid::Body& body = bodies[i];
                const float jump = unit(random) < 0.05f ? 0.6f : 0.006f;
                body.position += Vector3((unit(random) - 0.5f) * jump, (unit(random) - 0.5f) * jump,
                                         (unit(random) - 0.5f) * jump);
                if (unit(random) < 0.02f) {
                    body.extent = Vector3(size(random), size(random), size(random));
                }
            }
        }
        EXPECT_GT(grid.CellRebuilds(), 1u);
        EXPECT_GT(grid.NeighbourRebuilds(), 1u);
        EXPECT_FALSE(grid.InGrid(4));
        EXPECT_EQ(grid.Everywhere(2), scene % 2 == 0);
    }
}

TEST(BroadPhaseGridTest, ItemsAcrossCellBordersAndNegativeKeysKeepTheirOrder) {
    // every item straddles the lines x = 0 and z = 0, so all pairs recur in four cells and
    // the first cell a pair shares depends on the wrapped order of negative z indices
    std::vector<BroadPhaseGrid::Body> bodies;
    for (int i = 0; i < 9; ++i) {
        BroadPhaseGrid::Body body;
        body.takesPart = true;
        body.position = Vector3(-0.3f + 0.07f * i, 0.1f * i, 0.25f - 0.06f * i);
        body.extent = Vector3(0.2f + 0.05f * (i % 3), 0.3f, 0.15f + 0.1f * (i % 2));
        bodies.push_back(body);
    }
    BroadPhaseGrid::Body landBody;
    bodies.push_back(landBody);
    BroadPhaseGrid grid;
    grid.Refresh(bodies, 9, kTolerance);
    ExpectSamePairs(grid, bodies, 9, "straddling");
    EXPECT_EQ(grid.CellCount(), 4u);
    // the key order: negative x first, and within one x the non-negative z before the negative
    const std::vector<std::int32_t> keys = grid.CellKeys();
    EXPECT_EQ(keys,
              (std::vector<std::int32_t>{BroadPhaseGrid::CellKey(-1, 0), BroadPhaseGrid::CellKey(-1, -1),
                                         BroadPhaseGrid::CellKey(0, 0), BroadPhaseGrid::CellKey(0, -1)}));
}

TEST(BroadPhaseGridTest, ItemsClosingInWithinTheMarginAreStillPaired) {
    // two items one above the other, their bounds a little more than the neighbour margins
    // apart; each then closes in by just under the margin (no rebuild), and the tolerance
    // band lets them meet: the lists of the last rebuild must hold the pair
    const float extent = 0.1f;
    const float gap = 4.0f * BroadPhaseGrid::kNeighbourMargin + 0.005f;
    std::vector<BroadPhaseGrid::Body> bodies(2);
    for (int i = 0; i < 2; ++i) {
        bodies[i].takesPart = true;
        bodies[i].extent = Vector3(extent, extent, extent);
        bodies[i].position = Vector3(0.5f, 1.0f + i * (2.0f * extent + gap), 0.5f);
    }
    BroadPhaseGrid grid;
    grid.Refresh(bodies, -1, kTolerance);
    const float closing = 0.95f * BroadPhaseGrid::kNeighbourMargin;
    bodies[0].position.y += closing;
    bodies[1].position.y -= closing;
    grid.Refresh(bodies, -1, kTolerance);
    EXPECT_EQ(grid.NeighbourRebuilds(), 1u);
    ASSERT_TRUE(BoundingBoxesOverlap(bodies[0].position - bodies[1].position, bodies[0].extent, bodies[1].extent,
                                     kTolerance));
    ExpectSamePairs(grid, bodies, -1, "closing in");
}
