#pragma once
// Reference distances between convex solids for detector tests: the distance of two
// disjoint convex sets by alternating projection onto each (each projection exact), which
// converges to the nearest pair independently of any detector's feature logic.

#include <algorithm>
#include <cmath>
#include <functional>

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

} // namespace convex_reference
