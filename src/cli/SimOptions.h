#pragma once
// The command line of the headless simulator.

#include <optional>
#include <string>
#include <vector>

struct SimOptions {
    enum class Mode { kRun, kEval, kCheck };

    /// A shove: at the start of the tick the named world member's velocity becomes the vector.
    struct Push {
        std::string name;
        /// World axes, m/s.
        double velocity[3] = {0.0, 0.0, 0.0};
        long long tick = 1;
    };

    /// The smallest time step accepted, s.
    static constexpr double kMinimumStep = 1e-6;

    Mode mode = Mode::kRun;
    std::string root;
    std::string expression;
    long long ticks = 0;
    long long every = 0;
    /// Every this many ticks every user item is removed and the fields are added again (0: never).
    long long refill = 0;
    std::optional<double> step;
    std::optional<double> gravity;
    std::optional<double> restitution;
    std::optional<double> friction;
    std::optional<double> staticFriction;
    std::optional<double> dragDivisor;
    std::optional<int> threads;
    bool contacts = false;
    bool impacts = false;
    bool timing = false;
    /// Report the items' total energy with every reported tick.
    bool energy = false;
    std::vector<Push> pushes;
    std::vector<std::string> fields;

    /// Parses argv; throws std::invalid_argument with a message for the user.
    static SimOptions Parse(int argc, const char* const* argv);
    static const char* Usage();
};
