#include <gtest/gtest.h>

#include <thread>
#include <vector>

#include "physics/SimulationParameters.h"

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
