// Closest-point routines of circles, segments and faces, computed in double precision.

#include "collision/CollisionGeometry.h"

#include <algorithm>
#include <cmath>

#include "collision/Vector3d.h"

namespace {

using geometry::ToVector3d;
using geometry::Vector3d;

double Clamp01(double u) {
    return u < 0.0 ? 0.0 : (u > 1.0 ? 1.0 : u);
}

/// Writes a pair result: point on the first feature, distance, unit normal from second to first.
void WritePair(const Vector3d& onFirst, const Vector3d& onSecond, Contact& result) {
    Vector3d difference = onFirst - onSecond;
    double distance = Norm(difference);
    result.point = ToVector3(onFirst);
    result.distance = distance;
    result.normal = distance > 0.0 ? ToVector3(difference * (1.0 / distance)) : Vector3{};
}

/// The point of the circle nearest to p (the nudge on the axis included).
Vector3d CirclePointNearest(const Vector3d& p, const Vector3d& centre, const Vector3d& normal,
                            double radius) {
    Vector3d w = p - centre;
    Vector3d perpendicular = w - normal * Dot(w, normal);
    double length = Norm(perpendicular);
    if (length == 0.0) {
        // on the axis every circle point is equally near: nudge the query point off it
        w = w + Vector3d{0.0001, 0.0001, 0.0001};
        perpendicular = w - normal * Dot(w, normal);
        length = Norm(perpendicular);
        if (length == 0.0) {
            // only a degenerate (zero) normal gets here; any point at the radius will do
            return centre + Vector3d{radius, 0.0, 0.0};
        }
    }
    return centre + perpendicular * (radius / length);
}

/// A unit vector perpendicular to the unit vector n.
Vector3d AnyPerpendicular(const Vector3d& n) {
    Vector3d helper = std::fabs(n.x) <= std::fabs(n.y) && std::fabs(n.x) <= std::fabs(n.z)
                          ? Vector3d{1.0, 0.0, 0.0}
                      : std::fabs(n.y) <= std::fabs(n.z) ? Vector3d{0.0, 1.0, 0.0}
                                                         : Vector3d{0.0, 0.0, 1.0};
    Vector3d perpendicular = Cross(n, helper);
    double length = Norm(perpendicular);
    return length > 0.0 ? perpendicular * (1.0 / length) : Vector3d{1.0, 0.0, 0.0};
}

// Squared distance from the point a(θ) = cA + RA (u cos θ + v sin θ) of circle A to circle B,
// and its derivative in θ, as closed forms in a handful of precomputed dot products.
struct CircleToCircle {
    double radiusA, radiusB;
    double eu, ev, en, ee, un, vn;

    void Evaluate(double theta, double& value, double& slope) const {
        EvaluateAt(std::cos(theta), std::sin(theta), value, slope);
    }
    /// The same at the angle whose cosine and sine are given.
    void EvaluateAt(double c, double s, double& value, double& slope) const {
        double squared = ee + radiusA * radiusA + 2.0 * radiusA * (c * eu + s * ev);
        double height = en + radiusA * (c * un + s * vn);
        double rho = std::sqrt(std::max(0.0, squared - height * height));
        value = squared - 2.0 * radiusB * rho + radiusB * radiusB;
        double eDotTangent = -s * eu + c * ev;
        double tangentDotNormal = -s * un + c * vn;
        double rhoSquaredSlope = 2.0 * radiusA * eDotTangent - 2.0 * height * radiusA * tangentDotNormal;
        slope = 2.0 * radiusA * eDotTangent - radiusB * rhoSquaredSlope / std::max(rho, 1e-300);
    }
};

// Squared distance from the point p(u) = start + u D of a line to a circle, and its derivative.
struct LineToCircle {
    double radius;
    double a0, a1, a2; // |p - c|^2 = a0 + 2 a1 u + a2 u^2
    double b0, b1, b2; // squared distance from the circle's axis = b0 + 2 b1 u + b2 u^2

    void Evaluate(double u, double& value, double& slope) const {
        double squared = a0 + 2.0 * a1 * u + a2 * u * u;
        double rho = std::sqrt(std::max(0.0, b0 + 2.0 * b1 * u + b2 * u * u));
        value = squared - 2.0 * radius * rho + radius * radius;
        slope = 2.0 * (a1 + a2 * u) - 2.0 * radius * (b1 + b2 * u) / std::max(rho, 1e-300);
    }
};

/// The parameter of a local minimum of a smooth function within [low, high], given that the
/// sample at middle is no higher than those at the two ends. The bracket is first cut to the
/// half whose ends' slopes change sign from negative to positive, then narrowed by regula
/// falsi with the Illinois correction (superlinear); halving takes over where the slopes do
/// not bracket a sign change (a kink on the circle's axis, or a maximum between samples).
template <class Function>
double RefineMinimum(const Function& function, double low, double middle, double high, double width) {
    double value, slopeMiddle;
    function.Evaluate(middle, value, slopeMiddle);
    if (slopeMiddle == 0.0) {
        return middle;
    }
    if (slopeMiddle > 0.0) {
        high = middle;
    } else {
        low = middle;
    }
    double slopeLow, slopeHigh;
    function.Evaluate(low, value, slopeLow);
    function.Evaluate(high, value, slopeHigh);
    const bool bracketed = slopeLow < 0.0 && slopeHigh > 0.0;
    int lastMoved = 0;
    for (int iteration = 0; iteration < 64 && high - low > width; ++iteration) {
        double x = 0.5 * (low + high);
        if (bracketed) {
            const double secant = (low * slopeHigh - high * slopeLow) / (slopeHigh - slopeLow);
            if (secant > low && secant < high) {
                x = secant;
            }
        }
        double slope;
        function.Evaluate(x, value, slope);
        if (slope == 0.0) {
            return x;
        }
        if (slope > 0.0) {
            high = x, slopeHigh = slope;
            if (lastMoved == 1) {
                slopeLow *= 0.5;
            }
            lastMoved = 1;
        } else {
            low = x, slopeLow = slope;
            if (lastMoved == -1) {
                slopeHigh *= 0.5;
            }
            lastMoved = -1;
        }
    }
    return 0.5 * (low + high);
}

/// The indices of the (at most two) lowest sampled local minima.
struct StartPoints {
    int index[2] = {-1, -1};

    void Offer(int k, const double* values) {
        if (index[0] < 0 || values[k] < values[index[0]]) {
            index[1] = index[0];
            index[0] = k;
        } else if (index[1] < 0 || values[k] < values[index[1]]) {
            index[1] = k;
        }
    }
};

// samples of the global search: enough that the few local minima of a circle-circle or
// line-circle distance fall into separate brackets in general position
constexpr int kCircleSamples = 16;
// samples along a segment: from 8 up to 32, three per circle radius of its length, so that the
// two minima of a line passing over a circle (at most a diameter apart) fall into separate brackets
constexpr int kMinimumSegmentSamples = 8;
constexpr int kMaximumSegmentSamples = 32;
// cos(2πk/16); the sine of sample k is the cosine of sample k - 4
constexpr double kSampleCosines[kCircleSamples] = {
    1.0,  0.92387953251128674,  0.70710678118654752,  0.38268343236508977,
    0.0,  -0.38268343236508977, -0.70710678118654752, -0.92387953251128674,
    -1.0, -0.92387953251128674, -0.70710678118654752, -0.38268343236508977,
    0.0,  0.38268343236508977,  0.70710678118654752,  0.92387953251128674};
double SampleCos(int k) {
    return kSampleCosines[k];
}
double SampleSin(int k) {
    return kSampleCosines[(k + kCircleSamples * 3 / 4) % kCircleSamples];
}

/// The circle-to-circle distance along the chord between two angles less than a half turn
/// apart: x from 0 to 1 walks the arc monotonically, so the slope's sign in the angle is its
/// sign in x, and the chord's middle is the arc's middle.
struct ArcOfCircle {
    const CircleToCircle& distance;
    double cosFrom, sinFrom, cosTo, sinTo;

    void Point(double x, double& c, double& s) const {
        c = cosFrom + (cosTo - cosFrom) * x;
        s = sinFrom + (sinTo - sinFrom) * x;
        const double length = std::sqrt(c * c + s * s);
        c /= length;
        s /= length;
    }
    void Evaluate(double x, double& value, double& slope) const {
        double c, s;
        Point(x, c, s);
        distance.EvaluateAt(c, s, value, slope);
    }
};

// the refinement stops when its bracket is narrower than this (radians, segment fractions)
constexpr double kBracketWidth = 1e-10;

} // namespace

void ClosestPointOnCircle(const Vector3& p, const Vector3& centre, const Vector3& normal, double radius,
                          Contact& result) {
    Vector3d point = ToVector3d(p);
    Vector3d onCircle = CirclePointNearest(point, ToVector3d(centre), ToVector3d(normal), radius);
    Vector3d difference = point - onCircle;
    double distance = Norm(difference);
    result.point = ToVector3(onCircle);
    result.distance = distance;
    result.normal = distance > 0.0 ? ToVector3(difference * (1.0 / distance)) : Vector3{};
}

void ClosestPointsOfCircles(const Circle& a, const Circle& b, Contact& result) {
    Vector3d centreA = ToVector3d(a.centre), centreB = ToVector3d(b.centre);
    Vector3d normalA = ToVector3d(a.normal), normalB = ToVector3d(b.normal);
    Vector3d u = AnyPerpendicular(normalA);
    Vector3d v = Cross(normalA, u);
    Vector3d e = centreA - centreB;
    CircleToCircle distance{a.radius,        b.radius,  Dot(e, u),       Dot(e, v),
                            Dot(e, normalB), Dot(e, e), Dot(u, normalB), Dot(v, normalB)};

    // global search: sample circle A, then narrow the two lowest sampled local minima
    double values[kCircleSamples];
    double lowest = 1e300, highest = -1e300;
    for (int k = 0; k < kCircleSamples; ++k) {
        double slope;
        distance.EvaluateAt(SampleCos(k), SampleSin(k), values[k], slope);
        lowest = std::min(lowest, values[k]);
        highest = std::max(highest, values[k]);
    }
    // the best point of circle A as the cosine and sine of its angle
    double bestCos = 1.0, bestSin = 0.0;
    // a flat profile (coaxial circles) has no preferred point
    if (highest - lowest > 1e-14 * (1.0 + std::fabs(highest))) {
        StartPoints starts;
        for (int k = 0; k < kCircleSamples; ++k) {
            const double previous = values[(k + kCircleSamples - 1) % kCircleSamples];
            const double next = values[(k + 1) % kCircleSamples];
            if (values[k] <= previous && values[k] < next) {
                starts.Offer(k, values);
            }
        }
        double bestValue = 1e300;
        for (int k : starts.index) {
            if (k < 0) {
                continue;
            }
            // the arc between the neighbouring samples, walked along its chord (no sines
            // needed); the chord's middle is sample k itself
            const int before = (k + kCircleSamples - 1) % kCircleSamples;
            const int after = (k + 1) % kCircleSamples;
            const ArcOfCircle arc{distance, SampleCos(before), SampleSin(before), SampleCos(after),
                                  SampleSin(after)};
            const double along = RefineMinimum(arc, 0.0, 0.5, 1.0, kBracketWidth);
            double c, s, value, slope;
            arc.Point(along, c, s);
            distance.EvaluateAt(c, s, value, slope);
            if (values[k] < value) {
                c = SampleCos(k), s = SampleSin(k), value = values[k];
            }
            if (value < bestValue) {
                bestValue = value, bestCos = c, bestSin = s;
            }
        }
    }

    // alternating projection from the point found: it never increases the distance and
    // polishes what the narrowing left
    Vector3d pointA = centreA + (u * bestCos + v * bestSin) * a.radius;
    Vector3d pointB = CirclePointNearest(pointA, centreB, normalB, b.radius);
    for (int iteration = 0; iteration < 5; ++iteration) {
        Vector3d nextA = CirclePointNearest(pointB, centreA, normalA, a.radius);
        Vector3d nextB = CirclePointNearest(nextA, centreB, normalB, b.radius);
        double moved = Norm(nextA - pointA);
        if (Dot(nextA - nextB, nextA - nextB) <= Dot(pointA - pointB, pointA - pointB)) {
            pointA = nextA, pointB = nextB;
        }
        if (moved < 0.0001) {
            break;
        }
    }
    WritePair(pointA, pointB, result);
}

bool ClosestPointOnSegment(const Vector3& p, const Vector3& a, const Vector3& b, bool clamp,
                           Contact& result) {
    Vector3d point = ToVector3d(p), start = ToVector3d(a);
    Vector3d direction = ToVector3d(b) - start;
    double lengthSquared = Dot(direction, direction);
    double u = lengthSquared > 0.0 ? Dot(point - start, direction) / lengthSquared : 0.0;
    if (clamp) {
        u = Clamp01(u);
    } else if (!(u >= 0.0 && u <= 1.0)) {
        return false;
    }
    Vector3d onSegment = start + direction * u;
    Vector3d difference = point - onSegment;
    double distance = Norm(difference);
    result.point = ToVector3(onSegment);
    result.distance = distance;
    result.normal = distance > 0.0 ? ToVector3(difference * (1.0 / distance)) : Vector3{};
    return true;
}

bool ClosestPointsOfSegmentAndCircle(const Vector3& start, const Vector3& end, const Circle& circle,
                                     Contact& result, double maximumDistance) {
    Vector3d s = ToVector3d(start);
    Vector3d d = ToVector3d(end) - s;
    double lengthSquared = Dot(d, d);
    if (!(lengthSquared > 0.0)) {
        return false;
    }
    Vector3d centre = ToVector3d(circle.centre), normal = ToVector3d(circle.normal);
    Vector3d w = s - centre;
    double h0 = Dot(w, normal), hd = Dot(d, normal);
    LineToCircle distance{circle.radius, Dot(w, w), Dot(w, d), lengthSquared, 0.0, 0.0, 0.0};
    distance.b0 = distance.a0 - h0 * h0;
    distance.b1 = distance.a1 - h0 * hd;
    distance.b2 = distance.a2 - hd * hd;

    // global search along the segment, then narrow the two lowest sampled local minima
    const double length = std::sqrt(lengthSquared);
    const double perRadius = 3.0 * length / std::max(circle.radius, 1e-9);
    const int samples = perRadius < kMaximumSegmentSamples
                            ? std::max(kMinimumSegmentSamples, static_cast<int>(std::ceil(perRadius)))
                            : kMaximumSegmentSamples;
    double values[kMaximumSegmentSamples + 1];
    for (int k = 0; k <= samples; ++k) {
        double slope;
        distance.Evaluate(static_cast<double>(k) / samples, values[k], slope);
    }
    StartPoints starts;
    for (int k = 0; k <= samples; ++k) {
        const bool lowerThanPrevious = k == 0 || values[k] <= values[k - 1];
        const bool lowerThanNext = k == samples || values[k] < values[k + 1];
        if (lowerThanPrevious && lowerThanNext) {
            starts.Offer(k, values);
        }
    }
    // the distance changes by at most the segment's length times the change of u, so a start
    // whose sample lies farther than the limit plus half a bracket's length cannot get within it
    const double reach = length / samples;
    bool found = false;
    double best = maximumDistance;
    Vector3d bestOnSegment, bestOnCircle;
    for (int k : starts.index) {
        if (k < 0 || std::sqrt(std::max(values[k], 0.0)) - reach > maximumDistance) {
            continue;
        }
        const double low = std::max(0, k - 1) / static_cast<double>(samples);
        const double high = std::min(samples, k + 1) / static_cast<double>(samples);
        const double u = RefineMinimum(distance, low, static_cast<double>(k) / samples, high, kBracketWidth);
        // the final unclamped projection decides whether the pair lies within the segment
        Vector3d onCircle = CirclePointNearest(s + d * u, centre, normal, circle.radius);
        double foot = Dot(onCircle - s, d) / lengthSquared;
        if (!(foot >= 0.0 && foot <= 1.0)) {
            continue;
        }
        Vector3d onSegment = s + d * foot;
        double gap = Norm(onSegment - onCircle);
        if (gap < best) {
            best = gap, bestOnSegment = onSegment, bestOnCircle = onCircle, found = true;
        }
    }
    if (found) {
        WritePair(bestOnSegment, bestOnCircle, result);
    }
    return found;
}

bool ClosestPointsOfSegments(const Vector3& start1, const Vector3& direction1, const Vector3& start2,
                             const Vector3& direction2, bool clamp, Contact& result) {
    Vector3d s1 = ToVector3d(start1), d1 = ToVector3d(direction1), s2 = ToVector3d(start2),
             d2 = ToVector3d(direction2);
    Vector3d r = s1 - s2;
    double a = Dot(d1, d1), e = Dot(d2, d2), b = Dot(d1, d2), c = Dot(d1, r), f = Dot(d2, r);
    double denominator = a * e - b * b;
    double u1 = 0.0, u2 = 0.0;
    if (!clamp) {
        if (!(a > 0.0 && e > 0.0)) {
            return false;
        }
        // sin² of the angle between the lines below 1e-6: treat them as parallel, where the
        // infinite lines have no single closest pair; take the middle of the overlap
        if (denominator <= 1e-6 * a * e) {
            double t0 = -c / a, t1 = (b - c) / a;
            double low = std::max(0.0, std::min(t0, t1)), high = std::min(1.0, std::max(t0, t1));
            if (!(low <= high)) {
                return false;
            }
            u1 = 0.5 * (low + high);
            u2 = Clamp01((b * u1 + f) / e);
        } else {
            u1 = (b * f - c * e) / denominator;
            u2 = (b * u1 + f) / e;
            if (!(u1 >= 0.0 && u1 <= 1.0 && u2 >= 0.0 && u2 <= 1.0)) {
                return false;
            }
        }
    } else if (a <= 0.0 && e <= 0.0) {
        u1 = u2 = 0.0;
    } else if (a <= 0.0) {
        u2 = Clamp01(f / e);
    } else if (e <= 0.0) {
        u1 = Clamp01(-c / a);
    } else {
        // exactly parallel segments take the parameter 2.0, clamped to the end point
        u1 = Clamp01(denominator != 0.0 ? (b * f - c * e) / denominator : 2.0);
        u2 = (b * u1 + f) / e;
        if (u2 < 0.0) {
            u2 = 0.0;
            u1 = Clamp01(-c / a);
        } else if (u2 > 1.0) {
            u2 = 1.0;
            u1 = Clamp01((b - c) / a);
        }
    }
    WritePair(s1 + d1 * u1, s2 + d2 * u2, result);
    return true;
}

bool PointOverFace(const Vector3& p, const Vector3& faceCentre, const Vector3& unitNormal, double radius,
                   Contact& result) {
    Vector3d w = ToVector3d(p) - ToVector3d(faceCentre);
    double height = Dot(w, ToVector3d(unitNormal));
    if (!(Dot(w, w) - height * height <= radius * radius)) {
        return false;
    }
    result.point = p;
    result.distance = height;
    result.normal = -unitNormal;
    return true;
}

bool PointInFacePolygon(const Vector3& p, const Vector3& v0, const Vector3& v1, const Vector3& v2,
                        const Vector3& v3, const Vector3& outwardNormal, Contact& result) {
    Vector3d point = ToVector3d(p), normal = ToVector3d(outwardNormal);
    Vector3d corners[4] = {ToVector3d(v0), ToVector3d(v1), ToVector3d(v2), ToVector3d(v3)};
    double height = Dot(point - corners[0], normal);
    result.point = p;
    result.distance = height;
    result.normal = outwardNormal;
    Vector3d projected = point - normal * height;

    // inside a triangle when the point lies on the same side of its three edges; points on
    // an edge or the shared diagonal count as inside, with a margin for rounding
    auto inTriangle = [&](const Vector3d& a, const Vector3d& b, const Vector3d& c) {
        double area = Dot(Cross(b - a, c - a), normal);
        if (area == 0.0) {
            return false;
        }
        double margin = -1e-9 * std::fabs(area);
        double sign = area > 0.0 ? 1.0 : -1.0;
        return sign * Dot(Cross(b - a, projected - a), normal) >= margin &&
               sign * Dot(Cross(c - b, projected - b), normal) >= margin &&
               sign * Dot(Cross(a - c, projected - c), normal) >= margin;
    };
    return inTriangle(corners[0], corners[1], corners[2]) || inTriangle(corners[0], corners[2], corners[3]);
}

Vector3 CirclePointDeepestTowards(const Vector3& centre, const Vector3& unitAxis, double radius,
                                  const Vector3& planeNormal) {
    Vector3d axis = ToVector3d(unitAxis), normal = ToVector3d(planeNormal);
    // axis × (axis × n) = (axis·n) axis - n: the part of -n within the circle's plane
    Vector3d downward = Cross(axis, Cross(axis, normal));
    double length = Norm(downward);
    if (length <= 1e-6 * Norm(normal)) {
        return centre;
    }
    return ToVector3(ToVector3d(centre) + downward * (radius / length));
}
