#include "framework/MillisecondClock.h"

#include <chrono>
#include <thread>

namespace {

class SteadyMillisecondClock : public MillisecondClock {
public:
    std::uint32_t Now() override {
        const auto sinceOrigin = std::chrono::steady_clock::now() - origin_;
        // wrapping on purpose: callers subtract two readings in unsigned arithmetic
        return static_cast<std::uint32_t>(
            std::chrono::duration_cast<std::chrono::milliseconds>(sinceOrigin).count());
    }

    void Sleep(std::uint32_t milliseconds) override {
        std::this_thread::sleep_for(std::chrono::milliseconds(milliseconds));
    }

private:
    const std::chrono::steady_clock::time_point origin_ = std::chrono::steady_clock::now();
};

} // namespace

MillisecondClock& SystemClock() {
    static SteadyMillisecondClock clock;
    return clock;
}
