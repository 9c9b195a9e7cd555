#pragma once
// Real roots of polynomials of degree two to four in closed form (quadratic formula,
// Cardano and the trigonometric form for cubics, Ferrari's method for quartics), each
// root polished by Newton steps on the original polynomial.
//
// Common rules of the three solvers:
// - the result is the number of real roots written, ascending, into roots;
// - a root of even multiplicity (a double root, a tangent ray) is reported once per
//   multiplicity found, so a double root appears twice;
// - a leading coefficient of zero lowers the degree; a polynomial whose coefficients are
//   all zero, or any coefficient that is NaN or infinite, yields no root;
// - a discriminant that rounding has pushed just below zero counts as zero, so that double
//   roots are not lost.

#include <array>

/// Real roots of a2·x² + a1·x + a0.
int SolveQuadratic(double a2, double a1, double a0, std::array<double, 2>& roots);

/// Real roots of a3·x³ + a2·x² + a1·x + a0.
int SolveCubic(double a3, double a2, double a1, double a0, std::array<double, 3>& roots);

/// Real roots of a4·x⁴ + a3·x³ + a2·x² + a1·x + a0 by Ferrari's method.
int SolveQuartic(double a4, double a3, double a2, double a1, double a0, std::array<double, 4>& roots);
