#pragma once
// A double-precision 3-vector for the geometry routines that need more digits than the
// single-precision Vector3 of the simulation: closest points of circles and segments,
// ray hits far from the ray's origin, the quartic of the ring.

#include <cmath>

#include "physics/Vector3.h"

namespace geometry {

/// Three doubles, with the few operations the closest-point routines use.
struct Vector3d {
    double x = 0.0;
    double y = 0.0;
    double z = 0.0;
};

inline Vector3d ToVector3d(const Vector3& v) {
    return {v.x, v.y, v.z};
}
/// Rounds to the simulation's single precision.
inline Vector3 ToVector3(const Vector3d& v) {
    return {static_cast<float>(v.x), static_cast<float>(v.y), static_cast<float>(v.z)};
}
inline Vector3d operator+(const Vector3d& a, const Vector3d& b) {
    return {a.x + b.x, a.y + b.y, a.z + b.z};
}
inline Vector3d operator-(const Vector3d& a, const Vector3d& b) {
    return {a.x - b.x, a.y - b.y, a.z - b.z};
}
inline Vector3d operator*(const Vector3d& v, double s) {
    return {v.x * s, v.y * s, v.z * s};
}
inline double Dot(const Vector3d& a, const Vector3d& b) {
    return a.x * b.x + a.y * b.y + a.z * b.z;
}
inline Vector3d Cross(const Vector3d& a, const Vector3d& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}
inline double Norm(const Vector3d& v) {
    return std::sqrt(Dot(v, v));
}
inline bool IsFinite(const Vector3d& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

} // namespace geometry
