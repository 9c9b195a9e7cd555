#pragma once
// Single-precision 3-vector; y is vertical, the ground is the x-z plane.

#include <cmath>

struct Vector3 {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;

    constexpr Vector3() = default;
    constexpr Vector3(float x_, float y_, float z_) : x(x_), y(y_), z(z_) {}

    constexpr Vector3& operator+=(const Vector3& v) {
        x += v.x, y += v.y, z += v.z;
        return *this;
    }
    constexpr Vector3& operator-=(const Vector3& v) {
        x -= v.x, y -= v.y, z -= v.z;
        return *this;
    }
    constexpr Vector3& operator*=(float s) {
        x *= s, y *= s, z *= s;
        return *this;
    }
    constexpr bool operator==(const Vector3&) const = default;
};

constexpr Vector3 operator+(const Vector3& a, const Vector3& b) { return {a.x + b.x, a.y + b.y, a.z + b.z}; }
constexpr Vector3 operator-(const Vector3& a, const Vector3& b) { return {a.x - b.x, a.y - b.y, a.z - b.z}; }
constexpr Vector3 operator-(const Vector3& v) { return {-v.x, -v.y, -v.z}; }
constexpr Vector3 operator*(const Vector3& v, float s) { return {v.x * s, v.y * s, v.z * s}; }
constexpr Vector3 operator*(float s, const Vector3& v) { return {v.x * s, v.y * s, v.z * s}; }

constexpr Vector3 Add(const Vector3& a, const Vector3& b) { return a + b; }
constexpr Vector3 Subtract(const Vector3& a, const Vector3& b) { return a - b; }
constexpr Vector3 Scale(const Vector3& v, float s) { return v * s; }
constexpr Vector3 Negate(const Vector3& v) { return -v; }

constexpr float Dot(const Vector3& a, const Vector3& b) { return a.x * b.x + a.y * b.y + a.z * b.z; }

constexpr Vector3 Cross(const Vector3& a, const Vector3& b) {
    return {a.y * b.z - a.z * b.y, a.z * b.x - a.x * b.z, a.x * b.y - a.y * b.x};
}

/// Squared length in double, then its square root: a float sum of squares would overflow
/// above about 1.8e19 and vanish below about 1e-19.
inline double LengthInDouble(const Vector3& v) {
    const double x = v.x, y = v.y, z = v.z;
    return std::sqrt(x * x + y * y + z * z);
}

/// Square root taken in double precision and narrowed.
inline float Length(const Vector3& v) { return static_cast<float>(LengthInDouble(v)); }

/// v / |v|; the zero vector yields the zero vector.
inline Vector3 Normalize(const Vector3& v) {
    const double length = LengthInDouble(v);
    if (length == 0.0) {
        return {};
    }
    return {static_cast<float>(v.x / length), static_cast<float>(v.y / length),
            static_cast<float>(v.z / length)};
}
