#pragma once
// A test that starts and ends with fresh simulation parameters and no object manager, so
// that every detector reads the built-in contact tolerance.

#include <gtest/gtest.h>

#include "framework/D3DObjectManager.h"
#include "physics/SimulationParameters.h"

class FreshParametersTest : public ::testing::Test {
protected:
    static constexpr double kTolerance = 0.03;

    void SetUp() override {
        SimulationParameters::Destroy();
        D3DObjectManager::Destroy();
        ASSERT_DOUBLE_EQ(SimulationParameters::Instance().contactTolerance, kTolerance);
    }
    void TearDown() override {
        D3DObjectManager::Destroy();
        SimulationParameters::Destroy();
    }
};
