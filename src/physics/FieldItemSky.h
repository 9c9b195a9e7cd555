#pragma once
// The sky: a large textured sphere centred on the viewer that turns slowly about the
// vertical, its spin rate wandering by a small random amount every step. It takes part
// in nothing but drawing.

#include <random>
#include <string>

#include "framework/D3DObjectHandle.h"
#include "physics/FieldItemLeaf.h"

class D3DObject;

class FieldItemSky : public FieldItemLeaf {
public:
    /// Spin-rate change per random draw, rad/s.
    static constexpr double kSpinStep = 1.0e-4;
    /// The spin rate stays within [-kMaximumSpinRate, kMaximumSpinRate], rad/s.
    static constexpr double kMaximumSpinRate = 100.0;

    std::wstring TypeName() const override { return L"sky"; }
    void Initialize(const Placement& placement) override;
    /// Turns about the vertical by one time step of the spin rate, then lets the rate wander.
    void Integrate(const TickInput* input) override;
    void Draw(DrawContext* context) override;
    /// Does nothing.
    virtual void Reserved() {}

    double SpinRate() const { return spinRate_; }
    void SetSpinRate(double spinRate) { spinRate_ = spinRate; }
    D3DObject* Object() const { return object_.Get(); }

private:
    /// -kSpinStep, 0 or +kSpinStep, at random.
    double NextSpinChange();

    D3DObjectHandle object_;
    double spinRate_ = 0.0;
    /// Default-seeded, so every run spins the same way; one per sky, so no lock is needed.
    std::minstd_rand random_;
};
