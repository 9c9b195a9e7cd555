#include "physics/WorldTick.h"

#include "physics/FieldItemWorld.h"
#include "tester/MirelConfig.h"

int RunTick(FieldItemWorld& world, const TickInput* input, const std::function<void(int step)>& beforeStep) {
    const double tick = 1.0 / 60.0;
    int steps = 0;
    // the time step is read anew after every step, as the desktop program may change it; one
    // that is not positive would never cover the tick, and the step limit stops one that is
    // too small to make progress
    for (double simulated = 0.0;
         simulated < tick && MirelConfig::Instance().timeStep > 0.0 && steps < kMaximumStepsPerTick;
         simulated += MirelConfig::Instance().timeStep) {
        if (beforeStep) {
            beforeStep(steps);
        }
        world.DetectCollisions();
        world.Control(input);
        world.Integrate(input);
        world.UpdateWorld(nullptr, nullptr);
        ++steps;
    }
    // the tick's end comes whatever the steps were: additions go live, deletions go away
    world.CommitPending();
    world.PurgeDeleted();
    world.UpdateWorld(nullptr, nullptr);
    return steps;
}
