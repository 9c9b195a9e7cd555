#pragma once
// The input record of one simulation step: the mouse and keyboard events the tester
// application read for it, handed to the world and the local player.

#include <cstdint>

#include "framework/DeviceObjectData.h"

struct TickInput {
    std::int32_t mouseCount = 0;
    std::int32_t keyboardCount = 0;
    /// The input part's buffers; valid until its next read.
    const DIDEVICEOBJECTDATA* mouse = nullptr;
    const DIDEVICEOBJECTDATA* keyboard = nullptr;
};
