#pragma once
// Reference distances between convex solids for detector tests: the distance of two
// disjoint convex sets by alternating projection onto each (each projection exact), which
// converges to the nearest pair independently of any detector's feature logic.

#include <algorithm>
#include <cmath>
#include <functional>
#include <random>

#include "physics/FieldItem.h"
#include "physics/Vector3.h"

namespace convex_reference {

struct Point {
    double x = 0.0, y = 0.0, z = 0.0;
};
inline Point operator+(const Point& a, const Point& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Point operator-(const Point& a, const Point& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Point operator*(const Point& a, double s) {
    return {a.x * s, a.y * s, a.z * s};
}
inline double Dot(const Point& a, const Point& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline double Norm(const Point& a) {
    return std::sqrt(Dot(a, a));
}
inline Point FromVector(const Vector3& v) {
    return {v.x, v.y, v.z};
}

/// A solid given by its centre, its three unit body axes in world orientation and the exact
/// projection of a point given in body coordinates.
struct Solid {
    Point centre;
    Point axes[3];
    std::function<Point(const Point&)> projectLocal;

    Point Project(const Point& world) const {
        Point offset = world - centre;
        Point local{Dot(offset, axes[0]), Dot(offset, axes[1]), Dot(offset, axes[2])};
        Point nearest = projectLocal(local);
        return centre + axes[0] * nearest.x + axes[1] * nearest.y + axes[2] * nearest.z;
    }
};

inline Solid SolidFrame(FieldItem& item) {
    Solid solid;
    solid.centre = FromVector(item.WorldTransform().Translation());
    Vector3 unit[3] = {{1, 0, 0}, {0, 1, 0}, {0, 0, 1}};
    for (int k = 0; k < 3; ++k) {
        item.ToWorld(unit[k]);
        solid.axes[k] = FromVector(unit[k]);
    }
    return solid;
}

/// A box of the given half sizes (its collision core).
inline Solid BoxSolid(FieldItem& item, double hx, double hy, double hz) {
    Solid solid = SolidFrame(item);
    solid.projectLocal = [=](const Point& p) {
        return Point{std::clamp(p.x, -hx, hx), std::clamp(p.y, -hy, hy), std::clamp(p.z, -hz, hz)};
    };
    return solid;
}

/// A solid cylinder about the body y axis.
inline Solid DiskSolid(FieldItem& item, double radius, double halfThickness) {
    Solid solid = SolidFrame(item);
    solid.projectLocal = [=](const Point& p) {
        double rho = std::sqrt(p.x * p.x + p.z * p.z);
        double scale = rho > radius ? radius / rho : 1.0;
        return Point{p.x * scale, std::clamp(p.y, -halfThickness, halfThickness), p.z * scale};
    };
    return solid;
}

inline Solid SphereSolid(FieldItem& item, double radius) {
    Solid solid = SolidFrame(item);
    solid.projectLocal = [=](const Point& p) {
        double length = Norm(p);
        return length > radius ? p * (radius / length) : p;
    };
    return solid;
}

/// The distance between two solids (0 when they overlap), by alternating projection.
inline double Distance(const Solid& a, const Solid& b, int iterations = 20000) {
    Point onA = a.centre;
    Point onB = b.Project(onA);
    for (int i = 0; i < iterations; ++i) {
        Point nextA = a.Project(onB);
        Point nextB = b.Project(nextA);
        double moved = Norm(nextA - onA) + Norm(nextB - onB);
        onA = nextA, onB = nextB;
        if (moved < 1e-13) {
            break;
        }
    }
    return Norm(onA - onB);
}

/// The distance from a point to a solid.
inline double Distance(const Solid& solid, const Point& point) {
    return Norm(point - solid.Project(point));
}

/// Sets a top-level item's position and refreshes its world placement.
inline void MoveTo(FieldItem& item, const Vector3& position) {
    item.Transform()._41 = position.x;
    item.Transform()._42 = position.y;
    item.Transform()._43 = position.z;
    item.UpdateWorld(nullptr, nullptr);
}

/// Random directions, rotations and numbers for pose tests, from a fixed seed.
class RandomPoses {
public:
    explicit RandomPoses(unsigned seed) : engine_(seed) {}
    double Uniform(double low, double high) {
        return std::uniform_real_distribution<double>(low, high)(engine_);
    }
    Vector3 Direction() {
        for (;;) {
            Vector3 v(static_cast<float>(Uniform(-1, 1)), static_cast<float>(Uniform(-1, 1)),
                      static_cast<float>(Uniform(-1, 1)));
            if (Length(v) > 0.2f && Length(v) <= 1.0f) {
                return Normalize(v);
            }
        }
    }
    /// A rotation vector: a random axis times an angle up to half a turn.
    Vector3 Rotation() { return Direction() * static_cast<float>(Uniform(0.0, 3.14159)); }

private:
    std::mt19937 engine_;
};

/// Moves mover along direction from the origin until the distance of the solids that
/// makeSolids returns (a pair) equals target, by bisection: the distance grows
/// monotonically once they are apart. Returns the distance reached.
template <class MakeSolids>
double PlaceAtDistance(FieldItem& mover, const Vector3& direction, double target, MakeSolids makeSolids) {
    double low = 0.0, high = 5.0;
    for (int i = 0; i < 40; ++i) {
        double middle = 0.5 * (low + high);
        MoveTo(mover, direction * static_cast<float>(middle));
        auto [a, b] = makeSolids();
        if (Distance(a, b) < target) {
            low = middle;
        } else {
            high = middle;
        }
    }
    MoveTo(mover, direction * static_cast<float>(0.5 * (low + high)));
    auto [a, b] = makeSolids();
    return Distance(a, b);
}

} // namespace convex_reference
