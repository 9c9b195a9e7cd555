#pragma once
// Safe ranges of the primitives' shape parameters and densities. The lower bounds keep
// every collision core positive; the upper bounds keep mass and inertia finite in the
// single-precision inertia matrices, so a huge or non-finite value from a definition
// file cannot turn a body's state into infinities or NaN.

#include <cmath>

/// Largest length of any primitive: 10 km. A box of this size at the largest density has an
/// inertia near 1e25 kg m^2, far inside the float range.
inline constexpr double kMaximumPrimitiveSize = 1.0e4;
/// Largest density: well above any solid's (osmium is 22 600 kg/m^3).
inline constexpr double kMaximumDensity = 1.0e6;

/// The value clamped into [minimum, maximum]; NaN becomes the minimum.
inline double ClampToRange(double value, double minimum, double maximum) {
    if (!(value >= minimum)) {
        return minimum;
    }
    if (value > maximum) {
        return maximum;
    }
    return value;
}

/// A primitive's length clamped to its minimum and to kMaximumPrimitiveSize.
inline double ClampLength(double value, double minimum) {
    return ClampToRange(value, minimum, kMaximumPrimitiveSize);
}

/// A density raised to the minimum density and capped at kMaximumDensity; NaN becomes the minimum.
inline double ClampDensity(double value, double minimumDensity) {
    return ClampToRange(value, minimumDensity, kMaximumDensity);
}
