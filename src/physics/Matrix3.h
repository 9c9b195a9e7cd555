#pragma once
// Row-major 3x3 float rotation, the upper-left block of MatrixRotationQuaternion: a row vector
// v is carried to v*R, which is Rotate(q, v) (body axes to world axes) up to rounding. Items
// keep one per world orientation, so that turning a vector costs nine products instead of two
// quaternion products.

#include "physics/Quaternion.h"
#include "physics/Vector3.h"

struct Matrix3 {
    float _11 = 1, _12 = 0, _13 = 0;
    float _21 = 0, _22 = 1, _23 = 0;
    float _31 = 0, _32 = 0, _33 = 1;

    constexpr bool operator==(const Matrix3&) const = default;
};

/// The rotation of q: MatrixRotationQuaternion's off-diagonal terms, the diagonal in the form
/// w^2 + x^2 - y^2 - z^2 of the quaternion product, which is exactly 0 where the product gives 0 (a
/// quarter turn, whose two equal components cancel), not 1 - 2 (y^2 + z^2), which rounds to 6e-8.
constexpr Matrix3 Matrix3RotationQuaternion(const Quaternion& q) {
    const float xx = q.x * q.x, yy = q.y * q.y, zz = q.z * q.z, ww = q.w * q.w;
    Matrix3 m;
    m._11 = (ww + xx) - (yy + zz);
    m._12 = 2.0f * (q.x * q.y + q.z * q.w);
    m._13 = 2.0f * (q.x * q.z - q.y * q.w);
    m._21 = 2.0f * (q.x * q.y - q.z * q.w);
    m._22 = (ww + yy) - (xx + zz);
    m._23 = 2.0f * (q.y * q.z + q.x * q.w);
    m._31 = 2.0f * (q.x * q.z + q.y * q.w);
    m._32 = 2.0f * (q.y * q.z - q.x * q.w);
    m._33 = (ww + zz) - (xx + yy);
    return m;
}

/// v*R: body axes to world axes.
constexpr Vector3 Rotate(const Matrix3& r, const Vector3& v) {
    return {v.x * r._11 + v.y * r._21 + v.z * r._31, v.x * r._12 + v.y * r._22 + v.z * r._32,
            v.x * r._13 + v.y * r._23 + v.z * r._33};
}

/// R*v, the inverse turn of a rotation: world axes to body axes.
constexpr Vector3 Unrotate(const Matrix3& r, const Vector3& v) {
    return {r._11 * v.x + r._12 * v.y + r._13 * v.z, r._21 * v.x + r._22 * v.y + r._23 * v.z,
            r._31 * v.x + r._32 * v.y + r._33 * v.z};
}

/// Half sizes of the world-axis box around a box of half extents h turned by r: each world
/// axis takes the absolute rotation's column times h (the largest of the eight corners).
inline Vector3 RotatedExtent(const Matrix3& r, const Vector3& h) {
    return {std::fabs(r._11) * h.x + std::fabs(r._21) * h.y + std::fabs(r._31) * h.z,
            std::fabs(r._12) * h.x + std::fabs(r._22) * h.y + std::fabs(r._32) * h.z,
            std::fabs(r._13) * h.x + std::fabs(r._23) * h.y + std::fabs(r._33) * h.z};
}
