#pragma once
// Built-in constants of the simulation and the views; they start from these
// defaults at every run and nothing in the user interface changes them.

#include <memory>
#include <string>

#include "physics/Vector3.h"
#include "physics/WorldSettings.h"

class Direct3D;
class DirectAudio;

class SimulationParameters {
public:
    /// The process-wide record, created with the defaults on first use.
    static SimulationParameters& Instance();
    /// Destroys the record; a later Instance() creates a fresh one.
    static void Destroy();

    std::wstring applicationName = L"Mirel";
    std::wstring applicationName2 = L"Mirel";
    int number = 72;
    Vector3 playerStartPosition{0.0f, 0.5f, 0.0f};
    Vector3 playerStartAngle{0.0f, 0.0f, 0.0f};
    double stereogramEyeShift = 0.15;
    double minimumDensity = 500.0;
    double playerLowestHeight = 0.0;
    double playerHighestHeight = 5.0;
    double panTurnRate = 0.01;
    int itemSlotCount = 10;
    Vector3 lightDirection{3.5f, -3.0f, 5.5f};
    Vector3 isometricEyeOffset{0.0f, 2.0f, -5.0f};
    Vector3 isometricLookAt{0.0f, 0.0f, 0.0f};
    Vector3 isometricUp{0.0f, 1.0f, 0.0f};
    Vector3 topEyeOffset{0.0f, 2.0f, -0.1f};
    Vector3 topLookAt{0.0f, 0.0f, 0.0f};
    Vector3 topUp{0.0f, 0.0f, 1.0f};
    double drawRange = 7.0;
    // the constants of the step, copied into the world's settings by the front end
    double gravitationalConstant = kBuiltInSettings.gravitationalConstant;
    double contactTolerance = kBuiltInSettings.contactTolerance;
    double contactStiffness = kBuiltInSettings.contactStiffness;
    double earthMass = kBuiltInSettings.earthMass;
    double earthRadius = kBuiltInSettings.earthRadius;
    double heavyMass = kBuiltInSettings.heavyMass;
    /// Set once by the tester application before the world exists; not owned.
    Direct3D* graphicsDevice = nullptr;
    /// Set once by the tester application before the world exists; not owned.
    DirectAudio* soundDevice = nullptr;
};
