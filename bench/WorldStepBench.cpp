// One world step for N resting spheres: r = 0.1 m, density 1000, a 10 x 10 grid 0.25 m
// apart in x and z, layers 0.25 m apart in y from y = 0.2, settled for 2 s before the
// steps are timed. The second argument is the worker count.

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdint>
#include <memory>
#include <string>

#include "collision/CollisionRegistry.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemWorld.h"

namespace {

std::unique_ptr<FieldItemWorld> BuildWorld(int spheres, int workers) {
    auto world = std::make_unique<FieldItemWorld>(nullptr, workers);
    world->Initialize(Placement());
    for (int i = 0; i < spheres; ++i) {
        const int column = i % 10;
        const int row = (i / 10) % 10;
        const int layer = i / 100;
        auto sphere = std::make_unique<FieldItemSphere>();
        FieldItemSphere::Record record;
        record.position = Vector3(0.25f * (column - 4.5f), 0.2f + 0.25f * layer, 0.25f * (row - 4.5f));
        record.r = 0.1;
        record.density = 1000.0;
        sphere->Initialize(record);
        world->AddItem(L"ball" + std::to_wstring(i), std::move(sphere));
    }
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);
    return world;
}

void Step(FieldItemWorld& world) {
    world.DetectCollisions();
    world.Control(nullptr);
    world.Integrate(nullptr);
    world.UpdateWorld(nullptr, nullptr);
}

void WorldStep(benchmark::State& state) {
    const int spheres = static_cast<int>(state.range(0));
    const int workers = static_cast<int>(state.range(1));
    if (CollisionRegistry::Current() == nullptr) {
        RegisterCollisionDetectors();
    }
    auto world = BuildWorld(spheres, workers);

    // settle for 2 s of simulated time
    const double timeStep = world->StepSettings().timeStep;
    for (double covered = 0.0; covered < 2.0; covered += timeStep) {
        Step(*world);
    }

    const std::uint64_t cellRebuilds = world->Grid().CellRebuilds();
    const std::uint64_t neighbourRebuilds = world->Grid().NeighbourRebuilds();
    for (auto _ : state) {
        Step(*world);
    }
    // how often the broad phase had to rebuild its lists while the spheres rest
    const double steps = static_cast<double>(state.iterations());
    state.counters["cell_rebuilds_per_step"] =
        static_cast<double>(world->Grid().CellRebuilds() - cellRebuilds) / steps;
    state.counters["neighbour_rebuilds_per_step"] =
        static_cast<double>(world->Grid().NeighbourRebuilds() - neighbourRebuilds) / steps;
    double height = 0.0;
    for (int i = 0; i < spheres; ++i) {
        height = std::max(height,
                          static_cast<double>(world->Find(L"ball" + std::to_wstring(i))->WorldPosition().y));
    }
    state.counters["top_height"] = height;
    state.SetItemsProcessed(state.iterations() * spheres);
    state.counters["body_steps_per_second"] =
        benchmark::Counter(static_cast<double>(spheres), benchmark::Counter::kIsIterationInvariantRate);
}

} // namespace

BENCHMARK(WorldStep)
    ->ArgNames({"spheres", "workers"})
    ->ArgsProduct({{100, 500, 1000, 2000}, {1, 2}})
    ->Unit(benchmark::kMicrosecond)
    ->UseRealTime();

BENCHMARK_MAIN();
