#include "collision/PolynomialRoots.h"

#include <algorithm>
#include <cmath>
#include <initializer_list>
#include <limits>
#include <numbers>

namespace {

// relative size below which a negative discriminant is taken for rounding noise: the
// coefficients handed down from the resolvent cubic carry errors of about 1e-13 of their
// size, so a double root can show a discriminant of that order with either sign
constexpr double kDiscriminantTolerance = 1e-11;

// a complex pair whose real part leaves a residual this many rounding units of the
// polynomial's terms is taken for a double root that rounding has split
constexpr double kResidualTolerance = 64.0 * std::numeric_limits<double>::epsilon();

// Newton steps per root; each step is kept only while it lowers the residual
constexpr int kPolishSteps = 4;

bool AllFinite(std::initializer_list<double> values) {
    return std::all_of(values.begin(), values.end(), [](double v) { return std::isfinite(v); });
}

/// Value and slope of the polynomial with coefficients highest first.
void Evaluate(const double* coefficients, int degree, double x, double& value, double& slope) {
    value = coefficients[0];
    slope = 0.0;
    for (int i = 1; i <= degree; ++i) {
        slope = slope * x + value;
        value = value * x + coefficients[i];
    }
}

/// Newton steps from x on the polynomial, as long as they lower the residual.
double PolishRoot(const double* coefficients, int degree, double x) {
    double value = 0.0;
    double slope = 0.0;
    Evaluate(coefficients, degree, x, value, slope);
    for (int step = 0; step < kPolishSteps && value != 0.0 && slope != 0.0; ++step) {
        double next = x - value / slope;
        double nextValue = 0.0;
        double nextSlope = 0.0;
        Evaluate(coefficients, degree, next, nextValue, nextSlope);
        if (!std::isfinite(nextValue) || std::abs(nextValue) >= std::abs(value)) {
            break;
        }
        x = next;
        value = nextValue;
        slope = nextSlope;
    }
    return x;
}

/// Whether x is a root of the polynomial as far as double precision can tell: its residual is
/// within a few times the rounding error of evaluating the polynomial at x.
bool IsRootWithinRounding(const double* coefficients, int degree, double x) {
    double value = 0.0;
    double slope = 0.0;
    Evaluate(coefficients, degree, x, value, slope);
    double bound = 0.0;
    for (int i = 0; i <= degree; ++i) {
        bound = bound * std::abs(x) + std::abs(coefficients[i]);
    }
    return std::abs(value) <= kResidualTolerance * bound;
}

/// Real roots of x² + b·x + c, unsorted.
int MonicQuadratic(double b, double c, double* roots) {
    double halfB = 0.5 * b;
    double discriminant = halfB * halfB - c;
    if (discriminant < 0.0) {
        // a double root rounded into a complex pair
        if (discriminant < -kDiscriminantTolerance * (halfB * halfB + std::abs(c))) {
            return 0;
        }
        discriminant = 0.0;
    }
    // the root of larger size without cancellation, the other from the product c
    double larger = -(halfB + std::copysign(std::sqrt(discriminant), halfB));
    if (larger == 0.0) {
        roots[0] = roots[1] = 0.0;
        return 2;
    }
    roots[0] = larger;
    roots[1] = c / larger;
    return 2;
}

/// Real roots of the factor y² + b·y + c of a polynomial in x = y - shift; a complex pair whose
/// real part is a root of the whole polynomial within rounding counts as a double root.
int QuadraticFactor(double b, double c, double shift, const double* coefficients, int degree, double* roots) {
    int count = MonicQuadratic(b, c, roots);
    if (count == 0 && IsRootWithinRounding(coefficients, degree, -0.5 * b - shift)) {
        roots[0] = roots[1] = -0.5 * b;
        count = 2;
    }
    return count;
}

/// Real roots of x³ + a·x² + b·x + c, unsorted.
int MonicCubic(double a, double b, double c, double* roots) {
    // a root at zero splits off exactly
    if (c == 0.0) {
        roots[0] = 0.0;
        return 1 + MonicQuadratic(a, b, roots + 1);
    }

    // depress with x = y - a/3: y³ + P·y + Q = 0
    double shift = a / 3.0;
    double thirdP = (b - a * shift) / 3.0;
    double halfQ = 0.5 * (c + shift * (2.0 * shift * shift - b));
    double discriminant = halfQ * halfQ + thirdP * thirdP * thirdP;

    if (discriminant <= 0.0) {
        // three real roots (or a triple one): trigonometric form
        if (thirdP >= 0.0) {
            roots[0] = roots[1] = roots[2] = -shift;
            return 3;
        }
        double rho = std::sqrt(-thirdP);
        double cosine = std::clamp(-halfQ / (rho * rho * rho), -1.0, 1.0);
        double angle = std::acos(cosine) / 3.0;
        constexpr double kThirdTurn = 2.0 * std::numbers::pi / 3.0;
        for (int k = 0; k < 3; ++k) {
            roots[k] = 2.0 * rho * std::cos(angle - kThirdTurn * k) - shift;
        }
        return 3;
    }

    // one certain real root by Cardano, summed without cancellation
    double sqrtDiscriminant = std::sqrt(discriminant);
    double first = -std::copysign(std::cbrt(std::abs(halfQ) + sqrtDiscriminant), halfQ);
    double second = -thirdP / first;
    double root = first + second - shift;
    const double monic[4] = {1.0, a, b, c};
    root = PolishRoot(monic, 3, root);
    roots[0] = root;

    // deflate to x² + e1·x + e0; e0 from the product of the roots keeps its precision, and a
    // near-double pair that rounding turned complex is kept by the quadratic's tolerance
    double e1 = a + root;
    double e0 = root != 0.0 ? -c / root : b;
    return 1 + QuadraticFactor(e1, e0, 0.0, monic, 3, roots + 1);
}

/// Real roots of x⁴ + a·x³ + b·x² + c·x + d, unsorted.
int MonicQuartic(double a, double b, double c, double d, double* roots) {
    // a root at zero splits off exactly
    if (d == 0.0) {
        roots[0] = 0.0;
        return 1 + MonicCubic(a, b, c, roots + 1);
    }

    // depress with x = y - a/4: y⁴ + p·y² + q·y + r = 0
    double shift = 0.25 * a;
    double shift2 = shift * shift;
    double p = b - 6.0 * shift2;
    double q = c - 2.0 * b * shift + 8.0 * shift2 * shift;
    double r = d - c * shift + b * shift2 - 3.0 * shift2 * shift2;

    int count = 0;
    double ys[4];

    // resolvent cubic m³ + p·m² + (p²/4 - r)·m - q²/8 = 0: for a root m > 0 the quartic is
    // (y² + p/2 + m)² - 2m·(y - q/(4m))², a difference of squares
    double largest = 0.0;
    if (q != 0.0) {
        double resolvent[3];
        int resolventCount = MonicCubic(p, 0.25 * p * p - r, -0.125 * q * q, resolvent);
        const double monicResolvent[4] = {1.0, p, 0.25 * p * p - r, -0.125 * q * q};
        for (int i = 0; i < resolventCount; ++i) {
            largest = std::max(largest, PolishRoot(monicResolvent, 3, resolvent[i]));
        }
    }

    if (largest > 0.0) {
        // split into y² - s·y + k + q/(2s) and y² + s·y + k - q/(2s); the constants multiply
        // to r, so the smaller one is taken from that product without cancellation
        double s = std::sqrt(2.0 * largest);
        double k = 0.5 * p + largest;
        double qs = q / (2.0 * s);
        double plus = k + qs;
        double minus = k - qs;
        if (std::abs(plus) >= std::abs(minus)) {
            minus = plus != 0.0 ? r / plus : minus;
        } else {
            plus = r / minus;
        }
        const double monic[5] = {1.0, a, b, c, d};
        count += QuadraticFactor(-s, plus, shift, monic, 4, ys + count);
        count += QuadraticFactor(s, minus, shift, monic, 4, ys + count);
    } else {
        // biquadratic (q is zero or negligible): y² = z for each root z of z² + p·z + r
        double zs[2];
        int zCount = MonicQuadratic(p, r, zs);
        double scale = std::abs(p) + std::sqrt(std::abs(r));
        for (int i = 0; i < zCount; ++i) {
            double z = zs[i];
            if (z < 0.0 && z >= -kDiscriminantTolerance * scale) {
                z = 0.0;
            }
            if (z >= 0.0) {
                double y = std::sqrt(z);
                ys[count++] = y;
                ys[count++] = -y;
            }
        }
    }

    for (int i = 0; i < count; ++i) {
        roots[i] = ys[i] - shift;
    }
    return count;
}

/// Polishes the roots on the given polynomial, drops non-finite ones and sorts the rest.
int Finish(const double* coefficients, int degree, double* roots, int count) {
    int kept = 0;
    for (int i = 0; i < count; ++i) {
        double root = PolishRoot(coefficients, degree, roots[i]);
        if (std::isfinite(root)) {
            roots[kept++] = root;
        }
    }
    std::sort(roots, roots + kept);
    return kept;
}

} // namespace

int SolveQuadratic(double a2, double a1, double a0, std::array<double, 2>& roots) {
    if (!AllFinite({a2, a1, a0})) {
        return 0;
    }
    double b = a1 / a2;
    double c = a0 / a2;
    if (a2 == 0.0 || !std::isfinite(b) || !std::isfinite(c)) {
        // linear (or the leading term is too small to matter)
        double root = -a0 / a1;
        if (a1 == 0.0 || !std::isfinite(root)) {
            return 0;
        }
        roots[0] = root;
        return 1;
    }
    int count = MonicQuadratic(b, c, roots.data());
    const double monic[3] = {1.0, b, c};
    return Finish(monic, 2, roots.data(), count);
}

int SolveCubic(double a3, double a2, double a1, double a0, std::array<double, 3>& roots) {
    if (!AllFinite({a3, a2, a1, a0})) {
        return 0;
    }
    double a = a2 / a3;
    double b = a1 / a3;
    double c = a0 / a3;
    if (a3 == 0.0 || !AllFinite({a, b, c})) {
        std::array<double, 2> lower{};
        int count = SolveQuadratic(a2, a1, a0, lower);
        std::copy_n(lower.begin(), count, roots.begin());
        return count;
    }
    int count = MonicCubic(a, b, c, roots.data());
    const double monic[4] = {1.0, a, b, c};
    return Finish(monic, 3, roots.data(), count);
}

int SolveQuartic(double a4, double a3, double a2, double a1, double a0, std::array<double, 4>& roots) {
    if (!AllFinite({a4, a3, a2, a1, a0})) {
        return 0;
    }
    double a = a3 / a4;
    double b = a2 / a4;
    double c = a1 / a4;
    double d = a0 / a4;
    if (a4 == 0.0 || !AllFinite({a, b, c, d})) {
        std::array<double, 3> lower{};
        int count = SolveCubic(a3, a2, a1, a0, lower);
        std::copy_n(lower.begin(), count, roots.begin());
        return count;
    }
    int count = MonicQuartic(a, b, c, d, roots.data());
    const double monic[5] = {1.0, a, b, c, d};
    return Finish(monic, 4, roots.data(), count);
}
