#pragma once
// Shared set-up of the world tests: the detector registry for each test, spheres and
// boxes made the way definition files make them, worlds with the settings a test asks
// for, a step as the tester drives it, and an impact listener that records what it hears.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "collision/CollisionRegistry.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemWorld.h"
#include "physics/ImpactListener.h"

/// Registers the detectors for every test.
class WorldTest : public ::testing::Test {
protected:
    void SetUp() override { RegisterCollisionDetectors(); }
    void TearDown() override { DestroyCollisionDetectors(); }
};

/// Every impact the world reports.
class RecordingImpacts : public ImpactListener {
public:
    struct Impact {
        std::wstring item;
        double acceleration;
        const FieldItem* viewer;
    };
    void OnImpact(const FieldItem& item, double acceleration, const FieldItem* viewer) override {
        impacts.push_back(Impact{item.Name(), acceleration, viewer});
    }
    std::vector<Impact> impacts;
};

/// The built-in settings without gravity.
inline WorldSettings Weightless() {
    WorldSettings settings;
    settings.gravity = 0.0;
    return settings;
}

inline std::unique_ptr<FieldItemSphere> MakeSphere(const Vector3& position, double radius,
                                                   double density = 1000.0,
                                                   const Vector3& velocity = Vector3()) {
    auto sphere = std::make_unique<FieldItemSphere>();
    FieldItemSphere::Record record;
    record.position = position;
    record.velocity = velocity;
    record.r = radius;
    record.density = density;
    sphere->Initialize(record);
    return sphere;
}

inline std::unique_ptr<FieldItemBox> MakeBox(const Vector3& position, const Vector3& size,
                                             double density = 1000.0, const Vector3& angle = Vector3()) {
    auto box = std::make_unique<FieldItemBox>();
    FieldItemBox::Record record;
    record.position = position;
    record.angle = angle;
    record.sizeX = size.x;
    record.sizeY = size.y;
    record.sizeZ = size.z;
    record.density = density;
    box->Initialize(record);
    return box;
}

/// A world with its player, sky and land live.
inline std::unique_ptr<FieldItemWorld> MakeWorld(int workers = 1,
                                                 const WorldSettings& settings = WorldSettings()) {
    auto world = std::make_unique<FieldItemWorld>(nullptr, workers);
    world->SetSettings(settings);
    world->Initialize(Placement());
    world->CommitPending();
    world->UpdateWorld(nullptr, nullptr);
    return world;
}

/// Adds the item and makes it live at once.
inline FieldItem* AddLive(FieldItemWorld& world, const std::wstring& name, std::unique_ptr<FieldItem> item) {
    world.AddItem(name, std::move(item));
    world.CommitPending();
    world.UpdateWorld(nullptr, nullptr);
    return world.Find(name);
}

/// One step in the tester's order.
inline void Step(FieldItemWorld& world) {
    world.DetectCollisions();
    world.Control(nullptr);
    world.Integrate(nullptr);
    world.UpdateWorld(nullptr, nullptr);
}

inline void Steps(FieldItemWorld& world, int count) {
    for (int i = 0; i < count; ++i) {
        Step(world);
    }
}

/// Surface gravity at the built-in settings, m/s^2.
inline double SurfaceGravity() {
    const WorldSettings& s = kBuiltInSettings;
    return s.gravitationalConstant * s.earthMass / (s.earthRadius * s.earthRadius);
}
