#include "physics/Quaternion.h"

#include <cmath>

namespace {

// summed in double: the float sum of squares overflows above about 1.8e19
double SquaredNorm(const Quaternion& q) {
    const double x = q.x, y = q.y, z = q.z, w = q.w;
    return x * x + y * y + z * z + w * w;
}

} // namespace

Quaternion QuaternionNormalize(const Quaternion& q) {
    const double norm = std::sqrt(SquaredNorm(q));
    if (norm == 0.0) {
        return q;
    }
    return {static_cast<float>(q.x / norm), static_cast<float>(q.y / norm), static_cast<float>(q.z / norm),
            static_cast<float>(q.w / norm)};
}

Quaternion QuaternionRotationAxis(const Vector3& axis, float angle) {
    Vector3 n = Normalize(axis);
    float s = static_cast<float>(std::sin(0.5 * angle));
    float c = static_cast<float>(std::cos(0.5 * angle));
    return {s * n.x, s * n.y, s * n.z, c};
}

Quaternion QuaternionFromRotationVector(const Vector3& rotation) {
    return QuaternionRotationAxis(rotation, Length(rotation));
}

Quaternion QuaternionInverse(const Quaternion& q) {
    const double norm2 = SquaredNorm(q);
    if (norm2 == 0.0) {
        return q;
    }
    return {static_cast<float>(-q.x / norm2), static_cast<float>(-q.y / norm2),
            static_cast<float>(-q.z / norm2), static_cast<float>(q.w / norm2)};
}

Matrix4 MatrixRotationQuaternion(const Quaternion& q) {
    Matrix4 m;
    m._11 = 1.0f - 2.0f * (q.y * q.y + q.z * q.z);
    m._12 = 2.0f * (q.x * q.y + q.z * q.w);
    m._13 = 2.0f * (q.x * q.z - q.y * q.w);
    m._21 = 2.0f * (q.x * q.y - q.z * q.w);
    m._22 = 1.0f - 2.0f * (q.x * q.x + q.z * q.z);
    m._23 = 2.0f * (q.y * q.z + q.x * q.w);
    m._31 = 2.0f * (q.x * q.z + q.y * q.w);
    m._32 = 2.0f * (q.y * q.z - q.x * q.w);
    m._33 = 1.0f - 2.0f * (q.x * q.x + q.y * q.y);
    return m;
}

Quaternion IntegrateOrientation(const Quaternion& q, const Vector3& omega, double dt) {
    double half = 0.5 * dt;
    Quaternion spin(static_cast<float>(half * omega.x), static_cast<float>(half * omega.y),
                    static_cast<float>(half * omega.z), 0.0f);
    Quaternion d = QuaternionMultiply(spin, q);
    return QuaternionNormalize(Quaternion(q.x + d.x, q.y + d.y, q.z + d.z, q.w + d.w));
}
