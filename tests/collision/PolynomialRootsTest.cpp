#include "collision/PolynomialRoots.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <random>
#include <sstream>
#include <vector>

namespace {

/// Coefficients, highest first, of lead·(x - r1)·(x - r2)·… times the given quadratic factors
/// x² + b·x + c (which have no real roots when b² < 4c).
std::vector<double> Expand(double lead, const std::vector<double>& realRoots,
                           const std::vector<std::pair<double, double>>& quadraticFactors = {}) {
    std::vector<double> poly{lead};
    auto multiply = [&poly](const std::vector<double>& factor) {
        std::vector<double> product(poly.size() + factor.size() - 1, 0.0);
        for (size_t i = 0; i < poly.size(); ++i) {
            for (size_t j = 0; j < factor.size(); ++j) {
                product[i + j] += poly[i] * factor[j];
            }
        }
        poly = product;
    };
    for (double root : realRoots) {
        multiply({1.0, -root});
    }
    for (auto [b, c] : quadraticFactors) {
        multiply({1.0, b, c});
    }
    return poly;
}

std::vector<double> Quartic(const std::vector<double>& p) {
    std::array<double, 4> roots{};
    int count = SolveQuartic(p[0], p[1], p[2], p[3], p[4], roots);
    return {roots.begin(), roots.begin() + count};
}

std::vector<double> Cubic(const std::vector<double>& p) {
    std::array<double, 3> roots{};
    int count = SolveCubic(p[0], p[1], p[2], p[3], roots);
    return {roots.begin(), roots.begin() + count};
}

std::vector<double> Quadratic(double a2, double a1, double a0) {
    std::array<double, 2> roots{};
    int count = SolveQuadratic(a2, a1, a0, roots);
    return {roots.begin(), roots.begin() + count};
}

/// Every expected root has a found root within tolerance, every found root an expected one,
/// and the found roots are ascending.
::testing::AssertionResult SameRoots(const std::vector<double>& found, const std::vector<double>& expected,
                                     double tolerance) {
    auto near = [tolerance](double a, double b) {
        return std::abs(a - b) <= tolerance * std::max(1.0, std::abs(b));
    };
    auto describe = [&]() {
        std::ostringstream text;
        text << "found {";
        for (double r : found) {
            text << " " << r;
        }
        text << " } expected {";
        for (double r : expected) {
            text << " " << r;
        }
        text << " }";
        return text.str();
    };
    if (!std::is_sorted(found.begin(), found.end())) {
        return ::testing::AssertionFailure() << "not ascending: " << describe();
    }
    for (double e : expected) {
        if (std::none_of(found.begin(), found.end(), [&](double f) { return near(f, e); })) {
            return ::testing::AssertionFailure() << "missing " << e << ": " << describe();
        }
    }
    for (double f : found) {
        if (std::none_of(expected.begin(), expected.end(), [&](double e) { return near(f, e); })) {
            return ::testing::AssertionFailure() << "spurious " << f << ": " << describe();
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(PolynomialRoots, QuadraticFindsDistinctDoubleAndNoRealRoots) {
    EXPECT_TRUE(SameRoots(Quadratic(2.0, -10.0, 12.0), {2.0, 3.0}, 1e-14));
    EXPECT_EQ(Quadratic(2.0, -10.0, 12.0).size(), 2u);
    // double root: both copies reported
    auto twice = Quadratic(1.0, -6.0, 9.0);
    ASSERT_EQ(twice.size(), 2u);
    EXPECT_DOUBLE_EQ(twice[0], 3.0);
    EXPECT_DOUBLE_EQ(twice[1], 3.0);
    // a double root whose coefficients do not round exactly
    auto p = Expand(1.0, {0.1, 0.1});
    EXPECT_EQ(Quadratic(p[0], p[1], p[2]).size(), 2u);
    EXPECT_TRUE(SameRoots(Quadratic(p[0], p[1], p[2]), {0.1}, 1e-7));
    EXPECT_TRUE(Quadratic(1.0, 0.0, 1.0).empty());
    EXPECT_TRUE(Quadratic(1.0, 2.0, 1.001).empty());
    // cancellation-prone: roots 1e-9 and 1e9
    EXPECT_TRUE(SameRoots(Quadratic(1.0, -(1e9 + 1e-9), 1.0), {1e-9, 1e9}, 1e-14));
    EXPECT_NEAR(Quadratic(1.0, -(1e9 + 1e-9), 1.0)[0], 1e-9, 1e-22);
}

TEST(PolynomialRoots, QuadraticDegenerateAndInvalidInputs) {
    EXPECT_TRUE(SameRoots(Quadratic(0.0, 2.0, -3.0), {1.5}, 1e-15));
    EXPECT_TRUE(Quadratic(0.0, 0.0, 1.0).empty());
    EXPECT_TRUE(Quadratic(0.0, 0.0, 0.0).empty());
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(Quadratic(nan, 1.0, 1.0).empty());
    EXPECT_TRUE(Quadratic(1.0, inf, 1.0).empty());
    // a leading coefficient too small to divide by behaves as the linear polynomial
    EXPECT_TRUE(SameRoots(Quadratic(1e-320, 2.0, -3.0), {1.5}, 1e-15));
}

TEST(PolynomialRoots, CubicFindsRootsOfEveryMultiplicity) {
    EXPECT_TRUE(SameRoots(Cubic(Expand(1.0, {-2.0, 0.5, 3.0})), {-2.0, 0.5, 3.0}, 1e-13));
    EXPECT_TRUE(SameRoots(Cubic(Expand(-4.0, {-200.0, 0.01, 7.0})), {-200.0, 0.01, 7.0}, 1e-13));
    // double root, both orders of the single one
    auto doubleLow = Cubic(Expand(1.0, {1.0, 1.0, 2.0}));
    EXPECT_EQ(doubleLow.size(), 3u);
    EXPECT_TRUE(SameRoots(doubleLow, {1.0, 2.0}, 1e-7));
    auto doubleHigh = Cubic(Expand(1.0, {-1.0, 0.3, 0.3}));
    EXPECT_EQ(doubleHigh.size(), 3u);
    EXPECT_TRUE(SameRoots(doubleHigh, {-1.0, 0.3}, 1e-7));
    // triple root
    EXPECT_TRUE(SameRoots(Cubic(Expand(1.0, {2.0, 2.0, 2.0})), {2.0}, 1e-12));
    EXPECT_TRUE(SameRoots(Cubic(Expand(1.0, {0.7, 0.7, 0.7})), {0.7}, 1e-5));
    // one real root beside a complex pair
    EXPECT_TRUE(SameRoots(Cubic(Expand(2.0, {-3.0}, {{1.0, 1.0}})), {-3.0}, 1e-14));
    EXPECT_EQ(Cubic(Expand(2.0, {-3.0}, {{1.0, 1.0}})).size(), 1u);
    // root at zero splits off exactly
    auto withZero = Cubic(Expand(1.0, {0.0, -1.0, 5.0}));
    EXPECT_TRUE(SameRoots(withZero, {-1.0, 0.0, 5.0}, 1e-14));
    EXPECT_EQ(std::count(withZero.begin(), withZero.end(), 0.0), 1);
    // degenerate leading coefficient and invalid input
    EXPECT_TRUE(SameRoots(Cubic({0.0, 1.0, -5.0, 6.0}), {2.0, 3.0}, 1e-14));
    EXPECT_TRUE(Cubic({std::numeric_limits<double>::quiet_NaN(), 1.0, 1.0, 1.0}).empty());
}

TEST(PolynomialRoots, QuarticFindsDistinctDoubleAndClusteredRoots) {
    EXPECT_TRUE(SameRoots(Quartic(Expand(1.0, {-1.0, 0.5, 2.0, 3.0})), {-1.0, 0.5, 2.0, 3.0}, 1e-12));
    EXPECT_EQ(Quartic(Expand(1.0, {-1.0, 0.5, 2.0, 3.0})).size(), 4u);
    // negative leading coefficient and widely spread roots
    EXPECT_TRUE(
        SameRoots(Quartic(Expand(-3.5, {-1000.0, 0.001, 2.0, 5.0})), {-1000.0, 0.001, 2.0, 5.0}, 1e-11));
    // symmetric (biquadratic) roots
    EXPECT_TRUE(SameRoots(Quartic(Expand(1.0, {-2.0, -1.0, 1.0, 2.0})), {-2.0, -1.0, 1.0, 2.0}, 1e-13));

    // one double root, two double roots, a quadruple root
    auto oneDouble = Quartic(Expand(1.0, {1.0, 1.0, 2.0, 3.0}));
    EXPECT_EQ(oneDouble.size(), 4u);
    EXPECT_TRUE(SameRoots(oneDouble, {1.0, 2.0, 3.0}, 1e-7));
    auto twoDoubles = Quartic(Expand(1.0, {-0.4, -0.4, 1.3, 1.3}));
    EXPECT_EQ(twoDoubles.size(), 4u);
    EXPECT_TRUE(SameRoots(twoDoubles, {-0.4, 1.3}, 1e-7));
    auto doubleAtSymmetry = Quartic(Expand(1.0, {-1.0, -1.0, 1.0, 1.0}));
    EXPECT_EQ(doubleAtSymmetry.size(), 4u);
    EXPECT_TRUE(SameRoots(doubleAtSymmetry, {-1.0, 1.0}, 1e-7));
    EXPECT_TRUE(SameRoots(Quartic(Expand(1.0, {1.5, 1.5, 1.5, 1.5})), {1.5}, 1e-3));
    EXPECT_TRUE(SameRoots(Quartic(Expand(1.0, {0.0, 0.0, 0.0, 0.0})), {0.0}, 1e-12));

    // a double root beside a complex pair: the tangent case of a ray grazing a ring
    auto tangent = Quartic(Expand(1.0, {0.8, 0.8}, {{0.0, 1.0}}));
    EXPECT_EQ(tangent.size(), 2u);
    EXPECT_TRUE(SameRoots(tangent, {0.8}, 1e-7));

    // clustered roots, 1e-3 apart
    EXPECT_TRUE(SameRoots(Quartic(Expand(1.0, {1.0, 1.001, 1.002, 4.0})), {1.0, 1.001, 1.002, 4.0}, 2e-5));
    EXPECT_EQ(Quartic(Expand(1.0, {1.0, 1.001, 1.002, 4.0})).size(), 4u);
    EXPECT_TRUE(
        SameRoots(Quartic(Expand(1.0, {-2.0, -1.999, 3.0, 3.001})), {-2.0, -1.999, 3.0, 3.001}, 1e-8));
    EXPECT_EQ(Quartic(Expand(1.0, {-2.0, -1.999, 3.0, 3.001})).size(), 4u);
}

TEST(PolynomialRoots, QuarticWithoutRealRootsOrWithSomeComplex) {
    EXPECT_TRUE(Quartic(Expand(1.0, {}, {{0.0, 1.0}, {2.0, 5.0}})).empty());
    EXPECT_TRUE(Quartic(Expand(1.0, {}, {{0.0, 1.0}, {0.0, 1.0}})).empty());
    EXPECT_TRUE(Quartic(Expand(-2.0, {}, {{-1.0, 0.3}, {3.0, 2.5}})).empty());
    EXPECT_TRUE(Quartic({1.0, 0.0, 0.0, 0.0, 1.0}).empty());
    auto two = Quartic(Expand(1.0, {-0.5, 4.0}, {{-2.0, 5.0}}));
    EXPECT_EQ(two.size(), 2u);
    EXPECT_TRUE(SameRoots(two, {-0.5, 4.0}, 1e-12));
}

TEST(PolynomialRoots, QuarticDegenerateAndInvalidInputs) {
    // a zero leading coefficient lowers the degree
    EXPECT_TRUE(SameRoots(Quartic({0.0, 1.0, -6.0, 11.0, -6.0}), {1.0, 2.0, 3.0}, 1e-13));
    EXPECT_TRUE(Quartic({0.0, 0.0, 0.0, 0.0, 0.0}).empty());
    EXPECT_TRUE(Quartic({0.0, 0.0, 0.0, 0.0, 3.0}).empty());
    // root at zero
    EXPECT_TRUE(SameRoots(Quartic(Expand(1.0, {0.0, 1.0, 2.0, 3.0})), {0.0, 1.0, 2.0, 3.0}, 1e-13));
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();
    EXPECT_TRUE(Quartic({1.0, nan, 0.0, 0.0, -1.0}).empty());
    EXPECT_TRUE(Quartic({inf, 0.0, 0.0, 0.0, -1.0}).empty());
    EXPECT_TRUE(Quartic({1.0, 0.0, 0.0, 0.0, -inf}).empty());
    // huge coefficients give finite roots or none, never NaN
    for (double root : Quartic({1.0, 1e200, -1e250, 1e300, -1e300})) {
        EXPECT_TRUE(std::isfinite(root));
    }
}

TEST(PolynomialRoots, QuarticMatchesRandomKnownRoots) {
    std::mt19937 random(20261207);
    std::uniform_real_distribution<double> position(-10.0, 10.0);
    std::uniform_real_distribution<double> lead(0.1, 10.0);
    std::uniform_real_distribution<double> imaginary(0.1, 5.0);
    std::bernoulli_distribution negative(0.5);
    int failures = 0;
    for (int trial = 0; trial < 20000 && failures < 5; ++trial) {
        double a = negative(random) ? -lead(random) : lead(random);
        int realCount = (trial % 3) * 2; // 0, 2 or 4 real roots
        std::vector<double> real;
        while (static_cast<int>(real.size()) < realCount) {
            double candidate = position(random);
            // keep roots 0.01 apart so that each is well conditioned
            if (std::all_of(real.begin(), real.end(),
                            [&](double r) { return std::abs(r - candidate) > 0.01; })) {
                real.push_back(candidate);
            }
        }
        std::vector<std::pair<double, double>> pairs;
        for (int i = realCount; i < 4; i += 2) {
            double re = position(random);
            double im = imaginary(random);
            pairs.push_back({-2.0 * re, re * re + im * im});
        }
        auto found = Quartic(Expand(a, real, pairs));
        auto result = SameRoots(found, real, 1e-8);
        if (!result || found.size() != real.size()) {
            ++failures;
            ADD_FAILURE() << "trial " << trial << ": " << result.message();
        }
    }
    EXPECT_EQ(failures, 0);
}

TEST(PolynomialRoots, QuarticKeepsRandomDoubleRoots) {
    // a double root (a tangent) beside two simple roots or a complex pair must not vanish
    std::mt19937 random(7);
    std::uniform_real_distribution<double> position(-5.0, 5.0);
    std::uniform_real_distribution<double> imaginary(0.1, 3.0);
    int failures = 0;
    for (int trial = 0; trial < 20000 && failures < 5; ++trial) {
        double twice = position(random);
        std::vector<double> real{twice, twice};
        std::vector<std::pair<double, double>> pairs;
        if (trial % 2 == 0) {
            double re = position(random);
            double im = imaginary(random);
            pairs.push_back({-2.0 * re, re * re + im * im});
        } else {
            while (real.size() < 4) {
                double candidate = position(random);
                if (std::all_of(real.begin(), real.end(),
                                [&](double r) { return std::abs(r - candidate) > 0.1; })) {
                    real.push_back(candidate);
                }
            }
        }
        auto found = Quartic(Expand(1.0, real, pairs));
        // a double root is only determined to about the square root of the rounding error
        auto result = SameRoots(found, real, 1e-6);
        if (!result || found.size() != real.size()) {
            ++failures;
            ADD_FAILURE() << "trial " << trial << ": " << result.message();
        }
    }
    EXPECT_EQ(failures, 0);
}
