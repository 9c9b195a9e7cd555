#include "tester/MirelConfig.h"

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <filesystem>
#include <mutex>
#include <system_error>

#include "common/ApplicationConfigIni.h"
#include "common/ApplicationConfigMFC.h"
#include "common/FilePath.h"
#include "common/LogWriter.h"
#include "common/myexception.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldWorkers.h"

namespace {

/// Base name of the settings file, in the current directory.
const wchar_t kSettingsBase[] = L"Kivaro_u";
const wchar_t kSection[] = L"Settings";

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
    processorCount = WorldWorkers::ProcessorCount();
}

WorldSettings MirelConfig::StepSettings() const {
    // the built-in constants with the user's choices
    const SimulationParameters& parameters = SimulationParameters::Instance();
    WorldSettings settings;
    settings.contactTolerance = parameters.contactTolerance;
    settings.contactStiffness = parameters.contactStiffness;
    settings.gravitationalConstant = parameters.gravitationalConstant;
    settings.earthMass = parameters.earthMass;
    settings.earthRadius = parameters.earthRadius;
    settings.heavyMass = parameters.heavyMass;
    settings.timeStep = timeStep;
    settings.gravity = gravity;
    settings.restitution = restitution;
    settings.staticFriction = staticFriction;
    settings.friction = friction;
    settings.dragDivisor = dragDivisor;
    settings.mouseForce = mouseForce;
    settings.zoomFactor = ZoomFactor();
    return settings;
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
    NotifyObserver(L"zoom");
}

void MirelConfig::SetSpeedDivisor(int divisor) {
    if (divisor != 1 && divisor != 2 && divisor != 4 && divisor != 8) {
        return;
    }
    speedDivisor = divisor;
    NotifyObserver(L"speed");
}

void MirelConfig::NotifyObserver(const std::wstring& name) {
    auto observer = observers_.find(name);
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

namespace {

/// A stored value outside [low, high] is replaced by the fallback.
int InRange(int value, int low, int high, int fallback) {
    return value < low || value > high ? fallback : value;
}

/// Number of item slots the settings hold: the built-in slot count, within the slots we have.
int SavedSlotCount() {
    return std::clamp(SimulationParameters::Instance().itemSlotCount, 0, MirelConfig::kItemSlotCount);
}

} // namespace

void MirelConfig::Load() {
    // read everything first and take it over only when the whole store was read, so that
    // an unreadable store leaves every field as it was
    int newWindowX = windowX, newWindowY = windowY, newToolboxX = toolboxX, newToolboxY = toolboxY;
    int newScreenSize = screenSize, newZoom = zoom;
    std::array<std::wstring, kItemSlotCount> newItemFiles = itemFiles;
    int newSpeedDivisor = speedDivisor;
    std::wstring newCaptureFolder = captureFolder;
    bool newSpeedStored = false;
    bool newCaptureFolderStored = false;
    try {
        // the text file once a save has made it, otherwise whatever the profile holds
        std::unique_ptr<ApplicationConfig> store;
        std::error_code error;
        if (std::filesystem::exists(ToNativePath(std::wstring(kSettingsBase) + L".ini"), error)) {
            store = std::make_unique<ApplicationConfigIni>(kSettingsBase, false);
        } else {
            store = std::make_unique<ApplicationConfigMFC>();
        }

        store->SetSection(kSection);
        newWindowX = InRange(store->GetInt(L"WindowX", newWindowX), 0, 2048, 70);
        newWindowY = InRange(store->GetInt(L"WindowY", newWindowY), 0, 1536, 40);
        newToolboxX = InRange(store->GetInt(L"ToolboxSheetX", newToolboxX), 0, 2048, 720);
        newToolboxY = InRange(store->GetInt(L"ToolboxSheetY", newToolboxY), 0, 1536, 50);
        // an unknown screen size is kept (the size answers fall back to the first entry);
        // a zoom step outside 1..15 would give a zero or negative zoom factor
        newScreenSize = store->GetInt(L"ScreenSize", newScreenSize);
        newZoom = InRange(store->GetInt(L"Zoom", newZoom), 1, 15, 10);
        const int slots = SavedSlotCount();
        for (int slot = 0; slot < slots; ++slot) {
            newItemFiles[slot] = store->GetString(L"Item" + std::to_wstring(slot), newItemFiles[slot]);
        }
        // the viewer's tools: a file written before them has neither key
        const std::wstring missing = L"\n";
        const std::wstring speed = store->GetString(L"Speed", missing);
        if (speed != missing) {
            newSpeedStored = true;
            const int divisor = InRange(store->GetInt(L"Speed", 1), 1, 8, 1);
            newSpeedDivisor = (divisor & (divisor - 1)) == 0 ? divisor : 1;
        }
        const std::wstring folder = store->GetString(L"CaptureFolder", missing);
        if (folder != missing) {
            newCaptureFolderStored = true;
            newCaptureFolder = folder;
        }
        store->EndSection();
    } catch (const myexception& failure) {
        Log(L".\\MirelConfig", __LINE__, std::wstring(L"settings not loaded: ") + failure.what(), 1);
        return;
    }

    windowX = newWindowX;
    windowY = newWindowY;
    toolboxX = newToolboxX;
    toolboxY = newToolboxY;
    screenSize = newScreenSize;
    zoom = newZoom;
    itemFiles = newItemFiles;
    speedDivisor = newSpeedDivisor;
    captureFolder = newCaptureFolder;
    speedStored_ = newSpeedStored;
    captureFolderStored_ = newCaptureFolderStored;
}

void MirelConfig::Save() {
    const std::wstring iniName = std::wstring(kSettingsBase) + L".ini";
    std::unique_ptr<ApplicationConfigIni> store;
    try {
        store = std::make_unique<ApplicationConfigIni>(kSettingsBase, true);
    } catch (const myexception& failure) {
        // the old file cannot be read, so it cannot be merged: set it aside and write afresh
        const std::wstring asideName = std::wstring(kSettingsBase) + L".bad";
        std::error_code error;
        std::filesystem::rename(ToNativePath(iniName), ToNativePath(asideName), error);
        Log(L".\\MirelConfig", __LINE__,
            L"unreadable settings file " + iniName + L" kept as " + asideName + L": " + failure.what(), 1);
        try {
            store = std::make_unique<ApplicationConfigIni>(kSettingsBase, true);
        } catch (const myexception& again) {
            Log(L".\\MirelConfig", __LINE__, std::wstring(L"settings not saved: ") + again.what(), 1);
            return;
        }
    }

    store->SetSection(kSection);
    store->SetInt(L"WindowX", windowX);
    store->SetInt(L"WindowY", windowY);
    store->SetInt(L"ToolboxSheetX", toolboxX);
    store->SetInt(L"ToolboxSheetY", toolboxY);
    store->SetInt(L"ScreenSize", screenSize);
    store->SetInt(L"Zoom", zoom);
    const int slots = SavedSlotCount();
    for (int slot = 0; slot < slots; ++slot) {
        store->SetString(L"Item" + std::to_wstring(slot), itemFiles[slot]);
    }
    if (speedDivisor != 1 || speedStored_) {
        store->SetInt(L"Speed", speedDivisor);
    }
    if (!captureFolder.empty() || captureFolderStored_) {
        store->SetString(L"CaptureFolder", captureFolder);
    }
    store->EndSection();
    // releasing the store writes the file
    store.reset();
}
