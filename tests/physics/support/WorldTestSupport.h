#pragma once
// Shared set-up of the world tests: the detector registry and a fresh configuration for
// each test, spheres and boxes made the way definition files make them, a step as the
// tester drives it, and an impact sound that only records what it is asked to play.

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

#include "collision/CollisionRegistry.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "tester/MirelConfig.h"
#include "tester/PHSound.h"

/// Registers the detectors and starts every test from the default configuration.
class WorldTest : public ::testing::Test {
protected:
    void SetUp() override {
        MirelConfig::Destroy();
        SimulationParameters::Destroy();
        RegisterCollisionDetectors();
    }
    void TearDown() override {
        DestroyCollisionDetectors();
        MirelConfig::Destroy();
        SimulationParameters::Destroy();
    }
};

/// One Play call.
struct PlayedSound {
    double amplitude, decay, frequency, dx, dy, dz;
};

/// An impact sound that records its calls instead of playing them.
class RecordingSound : public PHSound {
public:
    explicit RecordingSound(std::vector<PlayedSound>* played) : played_(played) {}
    void Play(double amplitude, double decay, double frequency, double dx, double dy, double dz) override {
        played_->push_back(PlayedSound{amplitude, decay, frequency, dx, dy, dz});
    }

private:
    std::vector<PlayedSound>* played_;
};

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
inline std::unique_ptr<FieldItemWorld> MakeWorld(int workers = 1) {
    auto world = std::make_unique<FieldItemWorld>(nullptr, workers);
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

/// Surface gravity at the default settings, m/s^2.
inline double SurfaceGravity() {
    const SimulationParameters& p = SimulationParameters::Instance();
    return p.gravitationalConstant * p.earthMass / (p.earthRadius * p.earthRadius);
}
