#pragma once
// Row-major 4x4 float matrix; points are row vectors carried to p*M, so a
// transform's translation lies in the fourth row (_41, _42, _43).

#include "physics/Vector3.h"

struct Matrix4 {
    float _11 = 1, _12 = 0, _13 = 0, _14 = 0;
    float _21 = 0, _22 = 1, _23 = 0, _24 = 0;
    float _31 = 0, _32 = 0, _33 = 1, _34 = 0;
    float _41 = 0, _42 = 0, _43 = 0, _44 = 1;

    /// Element at row r, column c, both from 0.
    float& At(int r, int c) { return (&_11)[r * 4 + c]; }
    float At(int r, int c) const { return (&_11)[r * 4 + c]; }
    float* Data() { return &_11; }
    const float* Data() const { return &_11; }

    Vector3 Translation() const { return {_41, _42, _43}; }
    bool operator==(const Matrix4&) const = default;
};

Matrix4 MatrixIdentity();
/// a*b: apply a, then b. The output may alias either input.
Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b);
Matrix4 MatrixTranslation(float x, float y, float z);
inline Matrix4 MatrixTranslation(const Vector3& t) {
    return MatrixTranslation(t.x, t.y, t.z);
}
Matrix4 MatrixScaling(float sx, float sy, float sz);
/// General 4x4 inverse; a singular matrix yields the identity.
Matrix4 MatrixInverse(const Matrix4& m);
Matrix4 MatrixTranspose(const Matrix4& m);
/// v times the upper-left 3x3 block; translation ignored.
Vector3 TransformNormal(const Vector3& v, const Matrix4& m);
/// v times m as a point (w = 1), without the projective divide.
Vector3 TransformCoord(const Vector3& v, const Matrix4& m);

/// Right-handed perspective projection: vertical field of view fovY (radians), aspect = width /
/// height, near and far planes zn and zf; depth runs from 0 at zn to 1 at zf.
Matrix4 MatrixPerspectiveFovRH(float fovY, float aspect, float zn, float zf);
/// Right-handed view from eye towards at, with up as the vertical.
Matrix4 MatrixLookAtRH(const Vector3& eye, const Vector3& at, const Vector3& up);
/// Flattens geometry onto the plane (a, b, c, d) along the light vector (x, y, z, w), w = 0 for a
/// directional light: M = (P.L) I - P^T L with P normalised.
Matrix4 MatrixShadow(const float light[4], const float plane[4]);
