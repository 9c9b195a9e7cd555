#include "physics/Matrix4.h"

#include <cmath>

Matrix4 MatrixIdentity() {
    return Matrix4{};
}

Matrix4 MatrixMultiply(const Matrix4& a, const Matrix4& b) {
    // computed into a local so that the result may alias either input
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.At(i, j) = a.At(i, 0) * b.At(0, j) + a.At(i, 1) * b.At(1, j) + a.At(i, 2) * b.At(2, j) +
                         a.At(i, 3) * b.At(3, j);
        }
    }
    return r;
}

Matrix4 MatrixTranslation(float x, float y, float z) {
    Matrix4 m;
    m._41 = x;
    m._42 = y;
    m._43 = z;
    return m;
}

Matrix4 MatrixScaling(float sx, float sy, float sz) {
    Matrix4 m;
    m._11 = sx;
    m._22 = sy;
    m._33 = sz;
    return m;
}

Matrix4 MatrixTranspose(const Matrix4& m) {
    Matrix4 r;
    for (int i = 0; i < 4; ++i) {
        for (int j = 0; j < 4; ++j) {
            r.At(i, j) = m.At(j, i);
        }
    }
    return r;
}

Matrix4 MatrixInverse(const Matrix4& m) {
    // cofactor expansion in double precision, then narrowed
    double a[16];
    for (int i = 0; i < 16; ++i) {
        a[i] = m.Data()[i];
    }
    double inv[16];
    inv[0] = a[5] * a[10] * a[15] - a[5] * a[11] * a[14] - a[9] * a[6] * a[15] + a[9] * a[7] * a[14] +
             a[13] * a[6] * a[11] - a[13] * a[7] * a[10];
    inv[4] = -a[4] * a[10] * a[15] + a[4] * a[11] * a[14] + a[8] * a[6] * a[15] - a[8] * a[7] * a[14] -
             a[12] * a[6] * a[11] + a[12] * a[7] * a[10];
    inv[8] = a[4] * a[9] * a[15] - a[4] * a[11] * a[13] - a[8] * a[5] * a[15] + a[8] * a[7] * a[13] +
             a[12] * a[5] * a[11] - a[12] * a[7] * a[9];
    inv[12] = -a[4] * a[9] * a[14] + a[4] * a[10] * a[13] + a[8] * a[5] * a[14] - a[8] * a[6] * a[13] -
              a[12] * a[5] * a[10] + a[12] * a[6] * a[9];
    inv[1] = -a[1] * a[10] * a[15] + a[1] * a[11] * a[14] + a[9] * a[2] * a[15] - a[9] * a[3] * a[14] -
             a[13] * a[2] * a[11] + a[13] * a[3] * a[10];
    inv[5] = a[0] * a[10] * a[15] - a[0] * a[11] * a[14] - a[8] * a[2] * a[15] + a[8] * a[3] * a[14] +
             a[12] * a[2] * a[11] - a[12] * a[3] * a[10];
    inv[9] = -a[0] * a[9] * a[15] + a[0] * a[11] * a[13] + a[8] * a[1] * a[15] - a[8] * a[3] * a[13] -
             a[12] * a[1] * a[11] + a[12] * a[3] * a[9];
    inv[13] = a[0] * a[9] * a[14] - a[0] * a[10] * a[13] - a[8] * a[1] * a[14] + a[8] * a[2] * a[13] +
              a[12] * a[1] * a[10] - a[12] * a[2] * a[9];
    inv[2] = a[1] * a[6] * a[15] - a[1] * a[7] * a[14] - a[5] * a[2] * a[15] + a[5] * a[3] * a[14] +
             a[13] * a[2] * a[7] - a[13] * a[3] * a[6];
    inv[6] = -a[0] * a[6] * a[15] + a[0] * a[7] * a[14] + a[4] * a[2] * a[15] - a[4] * a[3] * a[14] -
             a[12] * a[2] * a[7] + a[12] * a[3] * a[6];
    inv[10] = a[0] * a[5] * a[15] - a[0] * a[7] * a[13] - a[4] * a[1] * a[15] + a[4] * a[3] * a[13] +
              a[12] * a[1] * a[7] - a[12] * a[3] * a[5];
    inv[14] = -a[0] * a[5] * a[14] + a[0] * a[6] * a[13] + a[4] * a[1] * a[14] - a[4] * a[2] * a[13] -
              a[12] * a[1] * a[6] + a[12] * a[2] * a[5];
    inv[3] = -a[1] * a[6] * a[11] + a[1] * a[7] * a[10] + a[5] * a[2] * a[11] - a[5] * a[3] * a[10] -
             a[9] * a[2] * a[7] + a[9] * a[3] * a[6];
    inv[7] = a[0] * a[6] * a[11] - a[0] * a[7] * a[10] - a[4] * a[2] * a[11] + a[4] * a[3] * a[10] +
             a[8] * a[2] * a[7] - a[8] * a[3] * a[6];
    inv[11] = -a[0] * a[5] * a[11] + a[0] * a[7] * a[9] + a[4] * a[1] * a[11] - a[4] * a[3] * a[9] -
              a[8] * a[1] * a[7] + a[8] * a[3] * a[5];
    inv[15] = a[0] * a[5] * a[10] - a[0] * a[6] * a[9] - a[4] * a[1] * a[10] + a[4] * a[2] * a[9] +
              a[8] * a[1] * a[6] - a[8] * a[2] * a[5];

    double det = a[0] * inv[0] + a[1] * inv[4] + a[2] * inv[8] + a[3] * inv[12];
    if (det == 0.0 || !std::isfinite(det)) {
        return Matrix4{};
    }
    Matrix4 r;
    for (int i = 0; i < 16; ++i) {
        r.Data()[i] = static_cast<float>(inv[i] / det);
    }
    return r;
}

Vector3 TransformNormal(const Vector3& v, const Matrix4& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31, v.x * m._12 + v.y * m._22 + v.z * m._32,
            v.x * m._13 + v.y * m._23 + v.z * m._33};
}

Vector3 TransformCoord(const Vector3& v, const Matrix4& m) {
    return {v.x * m._11 + v.y * m._21 + v.z * m._31 + m._41, v.x * m._12 + v.y * m._22 + v.z * m._32 + m._42,
            v.x * m._13 + v.y * m._23 + v.z * m._33 + m._43};
}

Matrix4 MatrixPerspectiveFovRH(float fovY, float aspect, float zn, float zf) {
    const float ys = 1.0f / std::tan(fovY / 2.0f);
    Matrix4 m;
    m._11 = ys / aspect;
    m._22 = ys;
    m._33 = zf / (zn - zf);
    m._34 = -1.0f;
    m._43 = zn * zf / (zn - zf);
    m._44 = 0.0f;
    return m;
}

Matrix4 MatrixLookAtRH(const Vector3& eye, const Vector3& at, const Vector3& up) {
    const Vector3 z = Normalize(eye - at);
    const Vector3 x = Normalize(Cross(up, z));
    const Vector3 y = Cross(z, x);
    Matrix4 m;
    m._11 = x.x, m._12 = y.x, m._13 = z.x;
    m._21 = x.y, m._22 = y.y, m._23 = z.y;
    m._31 = x.z, m._32 = y.z, m._33 = z.z;
    m._41 = -Dot(x, eye), m._42 = -Dot(y, eye), m._43 = -Dot(z, eye);
    return m;
}

Matrix4 MatrixShadow(const float light[4], const float plane[4]) {
    // a plane with a zero normal flattens nothing: its length is left as it is
    float length = std::sqrt(plane[0] * plane[0] + plane[1] * plane[1] + plane[2] * plane[2]);
    if (!(length > 0.0f)) {
        length = 1.0f;
    }
    float p[4];
    for (int i = 0; i < 4; ++i) {
        p[i] = plane[i] / length;
    }
    const float k = p[0] * light[0] + p[1] * light[1] + p[2] * light[2] + p[3] * light[3];
    Matrix4 m;
    for (int row = 0; row < 4; ++row) {
        for (int column = 0; column < 4; ++column) {
            m.At(row, column) = (row == column ? k : 0.0f) - p[row] * light[column];
        }
    }
    return m;
}
