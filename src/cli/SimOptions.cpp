#include "cli/SimOptions.h"

#include <charconv>
#include <cmath>
#include <stdexcept>
#include <string_view>

namespace {

double ParseNumber(std::string_view option, std::string_view text) {
    double value = 0.0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || !std::isfinite(value)) {
        throw std::invalid_argument(std::string(option) + ": not a finite number: " + std::string(text));
    }
    return value;
}

long long ParseCount(std::string_view option, std::string_view text, long long minimum, long long maximum) {
    long long value = 0;
    auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || value < minimum || value > maximum) {
        throw std::invalid_argument(std::string(option) + ": expected a whole number from " +
                                    std::to_string(minimum) + " to " + std::to_string(maximum) + ": " +
                                    std::string(text));
    }
    return value;
}

/// NAME=VX,VY,VZ[@TICK]
SimOptions::Push ParsePush(std::string_view option, std::string_view text) {
    SimOptions::Push push;
    const std::size_t equals = text.find('=');
    if (equals == 0 || equals == std::string_view::npos) {
        throw std::invalid_argument(std::string(option) +
                                    ": expected NAME=VX,VY,VZ[@TICK]: " + std::string(text));
    }
    push.name = text.substr(0, equals);
    std::string_view rest = text.substr(equals + 1);
    if (const std::size_t at = rest.find('@'); at != std::string_view::npos) {
        push.tick = ParseCount(option, rest.substr(at + 1), 1, 100'000'000);
        rest = rest.substr(0, at);
    }
    for (int axis = 0; axis < 3; ++axis) {
        const std::size_t comma = rest.find(',');
        if ((axis < 2) != (comma != std::string_view::npos)) {
            throw std::invalid_argument(std::string(option) +
                                        ": expected three velocity components: " + std::string(text));
        }
        push.velocity[axis] = ParseNumber(option, rest.substr(0, comma));
        rest = comma == std::string_view::npos ? std::string_view() : rest.substr(comma + 1);
    }
    return push;
}

} // namespace

const char* SimOptions::Usage() {
    return "usage: kivaro-sim --help\n"
           "       kivaro-sim [--root DIR] --eval EXPR\n"
           "       kivaro-sim [--root DIR] --check\n"
           "       kivaro-sim [--root DIR] [--ticks N | --seconds S] [--step DT] [--gravity G]\n"
           "                  [--restitution E] [--friction MU] [--static-friction MU] [--drag-divisor D]\n"
           "                  [--threads N] [--every K] [--refill K] [--contacts] [--impacts] [--timing]\n"
           "                  [--energy] [--push NAME=VX,VY,VZ[@TICK]]... FIELD...\n";
}

SimOptions SimOptions::Parse(int argc, const char* const* argv) {
    SimOptions options;
    bool evalGiven = false;
    bool checkGiven = false;
    for (int i = 1; i < argc; ++i) {
        std::string_view argument = argv[i];
        auto value = [&]() -> std::string_view {
            if (i + 1 >= argc) {
                throw std::invalid_argument(std::string(argument) + ": a value is missing");
            }
            return argv[++i];
        };
        auto positive = [&](double number) {
            if (!(number > 0.0)) {
                throw std::invalid_argument(std::string(argument) + ": must be greater than 0");
            }
            return number;
        };
        auto nonNegative = [&](double number) {
            if (number < 0.0) {
                throw std::invalid_argument(std::string(argument) + ": must not be negative");
            }
            return number;
        };
        if (argument == "--root") {
            options.root = value();
        } else if (argument == "--eval") {
            options.expression = value();
            evalGiven = true;
        } else if (argument == "--check") {
            checkGiven = true;
        } else if (argument == "--ticks") {
            options.ticks = ParseCount(argument, value(), 0, 100'000'000);
        } else if (argument == "--seconds") {
            double seconds = nonNegative(ParseNumber(argument, value()));
            if (seconds > 1e6) {
                throw std::invalid_argument("--seconds: at most 1000000");
            }
            options.ticks = std::llround(seconds * 60.0);
        } else if (argument == "--step") {
            // 1 us gives at most 16667 steps per tick; a smaller step would stop at the tick's
            // step limit before covering 1/60 s, or run for ever
            double step = ParseNumber(argument, value());
            if (!(step >= kMinimumStep)) {
                throw std::invalid_argument("--step: must be at least 1e-06");
            }
            options.step = step;
        } else if (argument == "--gravity") {
            options.gravity = ParseNumber(argument, value());
        } else if (argument == "--restitution") {
            options.restitution = nonNegative(ParseNumber(argument, value()));
        } else if (argument == "--friction") {
            options.friction = nonNegative(ParseNumber(argument, value()));
        } else if (argument == "--static-friction") {
            options.staticFriction = nonNegative(ParseNumber(argument, value()));
        } else if (argument == "--drag-divisor") {
            options.dragDivisor = positive(ParseNumber(argument, value()));
        } else if (argument == "--threads") {
            options.threads = static_cast<int>(ParseCount(argument, value(), 1, 64));
        } else if (argument == "--every") {
            options.every = ParseCount(argument, value(), 1, 100'000'000);
        } else if (argument == "--refill") {
            options.refill = ParseCount(argument, value(), 1, 100'000'000);
        } else if (argument == "--push") {
            options.pushes.push_back(ParsePush(argument, value()));
        } else if (argument == "--contacts") {
            options.contacts = true;
        } else if (argument == "--impacts") {
            options.impacts = true;
        } else if (argument == "--timing") {
            options.timing = true;
        } else if (argument == "--energy") {
            options.energy = true;
        } else if (argument.starts_with("--")) {
            throw std::invalid_argument("unknown option: " + std::string(argument));
        } else {
            options.fields.emplace_back(argument);
        }
    }
    if (evalGiven && checkGiven) {
        throw std::invalid_argument("--eval and --check cannot be combined");
    }
    if (evalGiven || checkGiven) {
        if (!options.fields.empty()) {
            throw std::invalid_argument("field files cannot be given with --eval or --check");
        }
        options.mode = evalGiven ? Mode::kEval : Mode::kCheck;
    } else if (options.fields.empty()) {
        throw std::invalid_argument("no field definition file given");
    }
    return options;
}
