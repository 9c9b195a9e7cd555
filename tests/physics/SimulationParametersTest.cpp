#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "physics/SimulationParameters.h"

TEST(SimulationParametersTest, FreshRecordHoldsTheBuiltInConstants) {
    SimulationParameters::Destroy();
    const SimulationParameters& p = SimulationParameters::Instance();
    EXPECT_EQ(p.applicationName, L"Mirel");
    EXPECT_EQ(p.applicationName2, L"Mirel");
    EXPECT_EQ(p.number, 72);
    EXPECT_EQ(p.playerStartPosition, Vector3(0, 0.5f, 0));
    EXPECT_EQ(p.playerStartAngle, Vector3(0, 0, 0));
    EXPECT_EQ(p.stereogramEyeShift, 0.15);
    EXPECT_EQ(p.minimumDensity, 500.0);
    EXPECT_EQ(p.playerLowestHeight, 0.0);
    EXPECT_EQ(p.playerHighestHeight, 5.0);
    EXPECT_EQ(p.panTurnRate, 0.01);
    EXPECT_EQ(p.itemSlotCount, 10);
    EXPECT_EQ(p.lightDirection, Vector3(3.5f, -3.0f, 5.5f));
    EXPECT_EQ(p.isometricEyeOffset, Vector3(0, 2.0f, -5.0f));
    EXPECT_EQ(p.isometricLookAt, Vector3(0, 0, 0));
    EXPECT_EQ(p.isometricUp, Vector3(0, 1, 0));
    EXPECT_EQ(p.topEyeOffset, Vector3(0, 2.0f, -0.1f));
    EXPECT_EQ(p.topLookAt, Vector3(0, 0, 0));
    EXPECT_EQ(p.topUp, Vector3(0, 0, 1));
    EXPECT_EQ(p.drawRange, 7.0);
    EXPECT_EQ(p.gravitationalConstant, 6.67e-11);
    EXPECT_EQ(p.contactTolerance, 0.03);
    EXPECT_EQ(p.contactStiffness, 2000.0);
    EXPECT_EQ(p.earthMass, 6e24);
    EXPECT_EQ(p.earthRadius, 6.4e6);
    EXPECT_EQ(p.heavyMass, 1000.0);
    EXPECT_EQ(p.graphicsDevice, nullptr);
    EXPECT_EQ(p.soundDevice, nullptr);

    // surface gravity from the record: G M / R^2, about 9.77 m/s^2
    const double surfaceGravity = p.gravitationalConstant * p.earthMass / (p.earthRadius * p.earthRadius);
    EXPECT_NEAR(surfaceGravity, 9.77, 0.005);
}

TEST(SimulationParametersTest, OneRecordUntilDestroyedThenAFreshOne) {
    SimulationParameters::Destroy();
    SimulationParameters& first = SimulationParameters::Instance();
    first.contactTolerance = 0.05;
    EXPECT_EQ(&SimulationParameters::Instance(), &first);
    EXPECT_EQ(SimulationParameters::Instance().contactTolerance, 0.05);
    SimulationParameters::Destroy();
    EXPECT_EQ(SimulationParameters::Instance().contactTolerance, 0.03);

    // threads that race for the first use all get the same record
    SimulationParameters::Destroy();
    std::vector<SimulationParameters*> seen(8, nullptr);
    std::vector<std::thread> threads;
    for (std::size_t i = 0; i < seen.size(); ++i) {
        threads.emplace_back([&seen, i] { seen[i] = &SimulationParameters::Instance(); });
    }
    for (std::thread& thread : threads) {
        thread.join();
    }
    for (SimulationParameters* record : seen) {
        EXPECT_EQ(record, &SimulationParameters::Instance());
    }
    SimulationParameters::Destroy();
}
