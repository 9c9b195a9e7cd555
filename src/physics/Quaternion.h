#pragma once
// Unit quaternion (x, y, z, w): rotation v -> q (v,0) q*. QuaternionMultiply(q1, q2)
// is "q1 then q2", the Hamilton product q2 q1.

#include "physics/Matrix4.h"
#include "physics/Vector3.h"

struct Quaternion {
    float x = 0.0f;
    float y = 0.0f;
    float z = 0.0f;
    float w = 1.0f;

    constexpr Quaternion() = default;
    constexpr Quaternion(float x_, float y_, float z_, float w_) : x(x_), y(y_), z(z_), w(w_) {}
    constexpr bool operator==(const Quaternion&) const = default;
};

constexpr Quaternion QuaternionConjugate(const Quaternion& q) { return {-q.x, -q.y, -q.z, q.w}; }

/// The rotation q1 followed by q2 (Hamilton product q2 q1).
constexpr Quaternion QuaternionMultiply(const Quaternion& q1, const Quaternion& q2) {
    return {q2.w * q1.x + q2.x * q1.w + q2.y * q1.z - q2.z * q1.y,
            q2.w * q1.y - q2.x * q1.z + q2.y * q1.w + q2.z * q1.x,
            q2.w * q1.z + q2.x * q1.y - q2.y * q1.x + q2.z * q1.w,
            q2.w * q1.w - q2.x * q1.x - q2.y * q1.y - q2.z * q1.z};
}

Quaternion QuaternionNormalize(const Quaternion& q);
/// (sin(angle/2) n, cos(angle/2)) with n the normalised axis.
Quaternion QuaternionRotationAxis(const Vector3& axis, float angle);
/// Axis times angle in radians; the zero vector gives the identity.
Quaternion QuaternionFromRotationVector(const Vector3& rotation);
/// Conjugate divided by the squared norm.
Quaternion QuaternionInverse(const Quaternion& q);
/// The matrix R with v*R equal to Rotate(q, v).
Matrix4 MatrixRotationQuaternion(const Quaternion& q);

/// Vector part of q (v,0) q*: body axes to world axes.
constexpr Vector3 Rotate(const Quaternion& q, const Vector3& v) {
    Quaternion r = QuaternionMultiply(QuaternionMultiply(QuaternionConjugate(q), Quaternion(v.x, v.y, v.z, 0.0f)), q);
    return {r.x, r.y, r.z};
}

/// Vector part of q* (v,0) q: world axes to body axes.
constexpr Vector3 Unrotate(const Quaternion& q, const Vector3& v) {
    Quaternion r = QuaternionMultiply(QuaternionMultiply(q, Quaternion(v.x, v.y, v.z, 0.0f)), QuaternionConjugate(q));
    return {r.x, r.y, r.z};
}

/// Advances orientation q by the body angular velocity omega over dt:
/// normalize(q + QuaternionMultiply((dt/2 omega, 0), q)).
Quaternion IntegrateOrientation(const Quaternion& q, const Vector3& omega, double dt);
