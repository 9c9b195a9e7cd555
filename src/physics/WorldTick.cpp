#include "physics/WorldTick.h"

#include "physics/FieldItemWorld.h"

int RunTick(FieldItemWorld& world, const TickInput* input, const std::function<void(int step)>& beforeStep) {
    const double tick = 1.0 / 60.0;
    // the tick runs with the settings it started with; a time step that is not positive would
    // never cover the tick, and the step limit stops one that is too small to make progress
    const double timeStep = world.StepSettings().timeStep;
    int steps = 0;
    for (double simulated = 0.0; simulated < tick && timeStep > 0.0 && steps < kMaximumStepsPerTick;
         simulated += timeStep) {
        if (beforeStep) {
            beforeStep(steps);
        }
        world.Step(input);
        ++steps;
    }
    // the tick's end comes whatever the steps were: additions go live, deletions go away; the
    // placements are refreshed where the last step did not leave them (no step ran, or the
    // members changed)
    const std::uint64_t members = world.MemberChanges();
    world.CommitPending();
    world.PurgeDeleted();
    if (steps == 0 || world.MemberChanges() != members) {
        world.UpdateWorld(nullptr, nullptr);
    }
    return steps;
}
