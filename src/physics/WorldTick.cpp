#include "physics/WorldTick.h"

#include "physics/FieldItemWorld.h"
#include "tester/MirelConfig.h"

int RunTick(FieldItemWorld& world, const TickInput* input, const std::function<void(int step)>& beforeStep) {
    const double tick = 1.0 / 60.0;
    int steps = 0;
    // a time step that is not positive would never cover the tick
    const double timeStep = MirelConfig::Instance().timeStep;
    if (!(timeStep > 0.0)) {
        return 0;
    }
    for (double simulated = 0.0; simulated < tick; simulated += MirelConfig::Instance().timeStep) {
        if (beforeStep) {
            beforeStep(steps);
        }
        world.DetectCollisions();
        world.Control(input);
        world.Integrate(input);
        world.UpdateWorld(nullptr, nullptr);
        ++steps;
        if (!(MirelConfig::Instance().timeStep > 0.0)) {
            break;
        }
    }
    world.CommitPending();
    world.PurgeDeleted();
    world.UpdateWorld(nullptr, nullptr);
    return steps;
}
