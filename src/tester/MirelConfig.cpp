#include "tester/MirelConfig.h"

#include <atomic>
#include <mutex>
#include <thread>

namespace {

// the time step is read by every item's integration, so the pointer is published
// atomically and the lock is taken only to create or destroy the configuration
std::mutex instanceMutex;
std::unique_ptr<MirelConfig> instanceOwner; // guarded by instanceMutex
std::atomic<MirelConfig*> instance{nullptr};

} // namespace

MirelConfig& MirelConfig::Instance() {
    MirelConfig* config = instance.load(std::memory_order_acquire);
    if (config != nullptr) {
        return *config;
    }
    std::lock_guard<std::mutex> lock(instanceMutex);
    if (instanceOwner == nullptr) {
        instanceOwner = std::make_unique<MirelConfig>();
        instance.store(instanceOwner.get(), std::memory_order_release);
    }
    return *instanceOwner;
}

void MirelConfig::Destroy() {
    std::lock_guard<std::mutex> lock(instanceMutex);
    instance.store(nullptr, std::memory_order_release);
    instanceOwner.reset();
}

MirelConfig::MirelConfig()
    : itemFiles{L"items\\ball\\ball.wtf",         L"items\\dice\\dice.wtf",
                L"items\\coin\\coin.wtf",         L"items\\ring\\ring.wtf",
                L"items\\rolypoly\\rolypoly.wtf", L"items\\15puzzle\\15puzzle.wtf",
                L"items\\domino\\dominos.wtf",    L"items\\billiard\\billiard.wtf",
                L"items\\swing\\swing.wtf",       L"items\\car\\car.wtf"},
      screenSizes{{0, {640, 480}}, {1, {800, 600}}, {2, {1024, 768}}, {3, {1280, 960}}, {4, {1600, 1200}}} {
    // the system may not know its processor count; it answers 0 then
    const unsigned processors = std::thread::hardware_concurrency();
    processorCount = processors == 0 ? 1 : static_cast<int>(processors);
}

void MirelConfig::SetScreenSize(int index) {
    if (screenSizes.count(index) != 0) {
        screenSize = index;
    }
}

void MirelConfig::SetZoom(int step) {
    if (step < 1 || step > 15) {
        return;
    }
    zoom = step;
    auto observer = observers_.find(L"zoom");
    if (observer != observers_.end() && observer->second != nullptr) {
        observer->second->Notify();
    }
}

int MirelConfig::ScreenWidth() const {
    auto entry = screenSizes.find(screenSize);
    if (entry == screenSizes.end()) {
        entry = screenSizes.begin();
    }
    return entry == screenSizes.end() ? 640 : entry->second.first;
}

int MirelConfig::ScreenHeight() const {
    auto entry = screenSizes.find(screenSize);
    if (entry == screenSizes.end()) {
        entry = screenSizes.begin();
    }
    return entry == screenSizes.end() ? 480 : entry->second.second;
}

double MirelConfig::ZoomFactor() const {
    if (zoom <= 10) {
        return zoom / 10.0;
    }
    return (zoom - 10) * 0.5 + 1.0;
}

void MirelConfig::Load() {}

void MirelConfig::Save() {}
