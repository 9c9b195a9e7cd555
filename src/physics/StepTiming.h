#pragma once
// How long the phases of the world's last step took on the stepping thread, measured with
// one steady-clock reading at the start and one at the end of each phase (never per item),
// so that front ends can show where a step's time goes.

#include <chrono>

struct StepTiming {
    /// Pairs from the grid, detection and contact forces, s.
    double contacts = 0.0;
    /// Applied forces: the player's control and gravity, s.
    double forces = 0.0;
    /// Integration of every moving item, s.
    double integration = 0.0;
    /// World placements and the broad-phase grid, s.
    double refresh = 0.0;

    double Total() const { return contacts + forces + integration + refresh; }

    /// Writes the time from its construction to its destruction into one phase's field and
    /// adds it to the same field of a running sum.
    class PhaseClock {
    public:
        PhaseClock(double& last, double& sum) : last_(last), sum_(sum), start_(Clock::now()) {}
        ~PhaseClock() {
            last_ = std::chrono::duration<double>(Clock::now() - start_).count();
            sum_ += last_;
        }
        PhaseClock(const PhaseClock&) = delete;
        PhaseClock& operator=(const PhaseClock&) = delete;

    private:
        using Clock = std::chrono::steady_clock;
        double& last_;
        double& sum_;
        Clock::time_point start_;
    };
};
