#pragma once
// The user-adjustable settings of the tester: window positions, screen size and zoom
// steps, view mode, the physical constants of the simulation and the definition file
// of each item slot. Part of it is kept across runs in the settings file.

#include <array>
#include <map>
#include <memory>
#include <string>
#include <utility>

#include "physics/WorldSettings.h"

class MirelConfig {
public:
    /// Notified when the setting it is registered under changes; not owned by the configuration.
    class ConfigObserver {
    public:
        virtual ~ConfigObserver() = default;
        virtual void Notify() = 0;
    };

    /// Number of item slots of the main page.
    static constexpr int kItemSlotCount = 10;

    /// The process-wide configuration, created with the defaults on first use.
    static MirelConfig& Instance();
    /// Destroys the process-wide configuration; a later Instance() creates a fresh one.
    static void Destroy();

    /// A configuration with the defaults (the processor count is asked of the system).
    MirelConfig();
    virtual ~MirelConfig() = default;
    MirelConfig(const MirelConfig&) = delete;
    MirelConfig& operator=(const MirelConfig&) = delete;

    /// Reads the saved fields from "Kivaro_u.ini" in the current directory when it exists,
    /// otherwise from the profile store. A missing or unreadable store keeps the current values.
    virtual void Load();
    /// Writes the saved fields to "Kivaro_u.ini" in the current directory.
    virtual void Save();

    /// Selects a screen size; an index that is not in the table is ignored.
    void SetScreenSize(int index);
    /// Sets the zoom step when 1 <= step <= 15 and notifies the "zoom" observer; other steps are ignored.
    void SetZoom(int step);
    /// Client width of the current screen size (the first entry's when the index is not in the table).
    int ScreenWidth() const;
    /// Client height of the current screen size (the first entry's when the index is not in the table).
    int ScreenHeight() const;
    /// Scale of the zoom step: step / 10 up to 10, then 0.5 more per step.
    double ZoomFactor() const;
    /// What the world's next tick runs with: the user's constants with the built-in ones. The
    /// tester hands them in before each tick: world->SetSettings(config.StepSettings()).
    WorldSettings StepSettings() const;
    /// Sets the slow-motion divisor (each tick simulates 1/60 s divided by it) when it is 1, 2, 4
    /// or 8 and notifies the "speed" observer; other values are ignored.
    void SetSpeedDivisor(int divisor);
    /// Notification targets by setting name; the view page registers under "zoom" and "speed".
    std::map<std::wstring, ConfigObserver*>& Observers() { return observers_; }

    // saved fields
    int windowX = 70;
    int windowY = 40;
    int toolboxX = 720;
    int toolboxY = 50;
    int screenSize = 0;
    int zoom = 10;
    std::array<std::wstring, kItemSlotCount> itemFiles;
    /// 1, 2, 4 or 8: a tick simulates 1/60 s divided by this (set through SetSpeedDivisor).
    int speedDivisor = 1;
    /// Where screenshots and recordings go; empty: the current directory.
    std::wstring captureFolder;

    // kept for this run only
    bool stereogram = false;
    /// 0 isometric view, 1 view from above.
    int viewMode = 0;
    // the physical constants the user edits, from the simulation's built-in values
    /// Force of mouse drags, N.
    double mouseForce = kBuiltInSettings.mouseForce;
    /// Simulation time step, s.
    double timeStep = kBuiltInSettings.timeStep;
    /// Gravity in multiples of G.
    double gravity = kBuiltInSettings.gravity;
    double restitution = kBuiltInSettings.restitution;
    double staticFriction = kBuiltInSettings.staticFriction;
    double friction = kBuiltInSettings.friction;
    /// Divisor of the contact drag.
    double dragDivisor = kBuiltInSettings.dragDivisor;
    /// Number of processors of the machine, at least 1.
    int processorCount = 1;
    /// Window client sizes (width, height) by screen size index.
    std::map<int, std::pair<int, int>> screenSizes;

private:
    void NotifyObserver(const std::wstring& name);

    std::map<std::wstring, ConfigObserver*> observers_;
    /// The settings file held these keys: they are written back even at their defaults
    /// (a file without them stays without them while they keep their defaults).
    bool speedStored_ = false;
    bool captureFolderStored_ = false;
};
