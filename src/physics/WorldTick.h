#pragma once
// One tick of the simulation: 1/60 s of simulated time in steps of the world's time step.

#include <functional>

class FieldItemWorld;
struct TickInput;

/// A tick runs at most this many steps: a time step below 1/6000000 s (or one too small to
/// advance the covered time at all) would otherwise keep the tick going for ever.
inline constexpr int kMaximumStepsPerTick = 100000;

/// Runs steps (collisions, control, integration, world update) of the time step of the
/// world's settings as the tick starts while less than 1/60 s is covered, calling beforeStep with each step's
/// index from 0 before the step runs; then commits the pending items, purges the deleted ones and updates the
/// world. Returns the number of steps. A time step that is not positive runs no step.
int RunTick(FieldItemWorld& world, const TickInput* input,
            const std::function<void(int step)>& beforeStep = {});
