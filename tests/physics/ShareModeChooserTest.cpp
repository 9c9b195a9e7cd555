#include <gtest/gtest.h>

#include <vector>

#include "physics/ShareModeChooser.h"

namespace {

/// Runs the chooser for `steps` steps whose time depends on the way only (a trial's first
/// steps, while the data moves between the caches, take ten times as long) and returns the
/// way of each step.
std::vector<bool> RunSteps(ShareModeChooser& chooser, int steps, double sharedSeconds, double aloneSeconds) {
    std::vector<bool> ways;
    bool last = chooser.Shared();
    int sinceChange = ShareModeChooser::kWarmup;
    for (int i = 0; i < steps; ++i) {
        const bool shared = chooser.Shared();
        sinceChange = shared == last ? sinceChange + 1 : 0;
        last = shared;
        const double seconds = shared ? sharedSeconds : aloneSeconds;
        chooser.NoteStep(sinceChange < ShareModeChooser::kWarmup ? 10.0 * seconds : seconds);
        ways.push_back(shared);
    }
    return ways;
}

/// The steps at which the way changed from the step before.
std::vector<int> Changes(const std::vector<bool>& ways) {
    std::vector<int> changes;
    for (std::size_t i = 1; i < ways.size(); ++i) {
        if (ways[i] != ways[i - 1]) {
            changes.push_back(static_cast<int>(i));
        }
    }
    return changes;
}

} // namespace

TEST(ShareModeChooserTest, SharingThatKeepsWinningIsTriedAgainstLessOften) {
    ShareModeChooser chooser;
    const std::vector<bool> ways = RunSteps(chooser, 1200, 1.0e-3, 1.6e-3);
    constexpr int kTrial = ShareModeChooser::kWarmup + ShareModeChooser::kWindow;
    constexpr int kFirst = ShareModeChooser::kFirstInterval;
    // each trial is one run of steps alone, the second after twice the first's interval
    EXPECT_EQ(Changes(ways), (std::vector<int>{kFirst, kFirst + kTrial, kFirst + kTrial + 2 * kFirst,
                                               kFirst + 2 * kTrial + 2 * kFirst}));
    EXPECT_TRUE(chooser.Shared());
    EXPECT_EQ(chooser.Changes(), 0);
}

TEST(ShareModeChooserTest, ABusyMachineGoesToOneThreadAndComesBackWhenSharingWinsAgain) {
    ShareModeChooser chooser;
    // sharing is slower: the first trial alone wins, its slow warm-up steps not counted
    RunSteps(chooser, ShareModeChooser::kFirstInterval + ShareModeChooser::kWarmup + ShareModeChooser::kWindow,
        1.2e-3, 1.0e-3);
    EXPECT_FALSE(chooser.Shared());
    EXPECT_EQ(chooser.Changes(), 1);
    // alone it stays while sharing is not clearly faster, a difference within the margin included
    RunSteps(chooser, 2000, 0.95e-3, 1.0e-3);
    EXPECT_FALSE(chooser.Shared());
    EXPECT_EQ(chooser.Changes(), 1);
    // the machine is idle again: the next trial shares and wins
    const std::vector<bool> ways = RunSteps(chooser, 2000, 0.6e-3, 1.0e-3);
    EXPECT_TRUE(chooser.Shared());
    EXPECT_EQ(chooser.Changes(), 2);
    EXPECT_TRUE(ways.back());
}
