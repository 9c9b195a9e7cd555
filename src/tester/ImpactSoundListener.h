#pragma once
// The impact sound of the tester: turns the world's impacts into a decaying tone heard from
// the camera of the current view mode. Installed on the world with one call:
//     world->SetImpactListener(&impactSoundListener);

#include "physics/ImpactListener.h"

/// What plays an impact: PHSound on the sound device, or anything that wants to hear what
/// would be played (the headless simulator prints it).
class ImpactSound {
public:
    virtual ~ImpactSound() = default;
    /// amplitude: starting peak in 16-bit sample units before distance attenuation; decay:
    /// factor applied after every frame; frequency in Hz; (dx, dy, dz): the impact's position
    /// relative to the listener.
    virtual void Play(double amplitude, double decay, double frequency, double dx, double dy, double dz) = 0;
};

class ImpactSoundListener : public ImpactListener {
public:
    /// Sample amplitude per m/s^2 of the impact's acceleration.
    static constexpr double kAmplitudePerAcceleration = 2000.0;
    /// The tone's decay per frame and its frequency, Hz.
    static constexpr double kDecay = 0.999;
    static constexpr double kFrequency = 50.0;

    /// The sound is not owned and must outlive the listener.
    explicit ImpactSoundListener(ImpactSound& sound) : sound_(sound) {}

    /// Plays the impact where it happened as the camera hears it: the item's position in the
    /// viewer's axes, less the eye offset of the configured view mode.
    void OnImpact(const FieldItem& item, double acceleration, const FieldItem* viewer) override;

private:
    ImpactSound& sound_;
};
