#include "physics/SimulationParameters.h"

#include <atomic>
#include <mutex>

namespace {

// the record is read on every contact of every step, so the pointer is published
// atomically and the lock is taken only to create or destroy it
std::mutex instanceMutex;
std::unique_ptr<SimulationParameters> instanceOwner; // guarded by instanceMutex
std::atomic<SimulationParameters*> instance{nullptr};

} // namespace

SimulationParameters& SimulationParameters::Instance() {
    SimulationParameters* parameters = instance.load(std::memory_order_acquire);
    if (parameters != nullptr) {
        return *parameters;
    }
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (instanceOwner == nullptr) {
        instanceOwner = std::make_unique<SimulationParameters>();
        instance.store(instanceOwner.get(), std::memory_order_release);
    }
    return *instanceOwner;
}

void SimulationParameters::Destroy() {
    std::lock_guard<std::mutex> lock(instanceMutex);
    instance.store(nullptr, std::memory_order_release);
    instanceOwner.reset();
}
