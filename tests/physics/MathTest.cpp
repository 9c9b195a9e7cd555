#include <gtest/gtest.h>

#include <cmath>
#include <numbers>
#include <random>

#include "physics/Matrix4.h"
#include "physics/Quaternion.h"
#include "physics/Vector3.h"
#include "support/TestSupport.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

/// Hamilton product a (x) b written out independently, in double.
Quaternion Hamilton(const Quaternion& a, const Quaternion& b) {
    double ax = a.x, ay = a.y, az = a.z, aw = a.w;
    double bx = b.x, by = b.y, bz = b.z, bw = b.w;
    return Quaternion(static_cast<float>(aw * bx + ax * bw + ay * bz - az * by),
                      static_cast<float>(aw * by - ax * bz + ay * bw + az * bx),
                      static_cast<float>(aw * bz + ax * by - ay * bx + az * bw),
                      static_cast<float>(aw * bw - ax * bx - ay * by - az * bz));
}

Quaternion RandomUnitQuaternion(std::mt19937& random) {
    std::uniform_real_distribution<float> component(-1.0f, 1.0f);
    return QuaternionNormalize(
        Quaternion(component(random), component(random), component(random), component(random)));
}

Vector3 RandomVector(std::mt19937& random, float range) {
    std::uniform_real_distribution<float> component(-range, range);
    return {component(random), component(random), component(random)};
}

Matrix4 RandomMatrix(std::mt19937& random) {
    std::uniform_real_distribution<float> element(-2.0f, 2.0f);
    Matrix4 m;
    for (int i = 0; i < 16; ++i) {
        m.Data()[i] = element(random);
    }
    return m;
}

::testing::AssertionResult MatrixNear(const Matrix4& actual, const Matrix4& expected, float tolerance) {
    for (int r = 0; r < 4; ++r) {
        for (int c = 0; c < 4; ++c) {
            if (std::fabs(actual.At(r, c) - expected.At(r, c)) > tolerance) {
                return ::testing::AssertionFailure() << "element _" << r + 1 << c + 1 << " is "
                                                     << actual.At(r, c) << ", expected " << expected.At(r, c);
            }
        }
    }
    return ::testing::AssertionSuccess();
}

} // namespace

TEST(VectorMath, ComponentOperationsAndNormalize) {
    const Vector3 a(1.0f, 2.0f, 3.0f);
    const Vector3 b(-4.0f, 0.5f, 2.0f);
    EXPECT_EQ(Add(a, b), Vector3(-3.0f, 2.5f, 5.0f));
    EXPECT_EQ(Subtract(a, b), Vector3(5.0f, 1.5f, 1.0f));
    EXPECT_EQ(Scale(a, 2.0f), Vector3(2.0f, 4.0f, 6.0f));
    EXPECT_EQ(Negate(a), Vector3(-1.0f, -2.0f, -3.0f));
    EXPECT_FLOAT_EQ(Dot(a, b), -4.0f + 1.0f + 6.0f);

    // right-handed cross product, perpendicular to both factors
    EXPECT_EQ(Cross(Vector3(1, 0, 0), Vector3(0, 1, 0)), Vector3(0, 0, 1));
    EXPECT_EQ(Cross(Vector3(0, 1, 0), Vector3(1, 0, 0)), Vector3(0, 0, -1));
    const Vector3 c = Cross(a, b);
    EXPECT_NEAR(Dot(c, a), 0.0f, 1e-5f);
    EXPECT_NEAR(Dot(c, b), 0.0f, 1e-5f);

    EXPECT_FLOAT_EQ(Length(Vector3(3.0f, 4.0f, 12.0f)), 13.0f);
    EXPECT_VECTOR_NEAR(Normalize(Vector3(0.0f, 3.0f, 4.0f)), Vector3(0.0f, 0.6f, 0.8f), 1e-7f);
    // the zero vector has no direction: it stays zero instead of turning into NaN
    const Vector3 zero = Normalize(Vector3());
    EXPECT_EQ(zero, Vector3());
    // tiny vectors still normalise to unit length
    EXPECT_NEAR(Length(Normalize(Vector3(1e-15f, 0.0f, 1e-15f))), 1.0f, 1e-6f);
}

TEST(VectorMath, LengthAndDirectionSurviveHugeAndTinyVectors) {
    // the sum of squares of these overflows (or vanishes) in float, the length does not
    EXPECT_FLOAT_EQ(Length(Vector3(3e20f, 4e20f, 0.0f)), 5e20f);
    EXPECT_FLOAT_EQ(Length(Vector3(0.0f, 3e-25f, 4e-25f)), 5e-25f);
    EXPECT_VECTOR_NEAR(Normalize(Vector3(1e20f, 0.0f, 0.0f)), Vector3(1, 0, 0), 1e-7f);
    EXPECT_VECTOR_NEAR(Normalize(Vector3(0.0f, -3e30f, 4e30f)), Vector3(0.0f, -0.6f, 0.8f), 1e-7f);
    EXPECT_VECTOR_NEAR(Normalize(Vector3(0.0f, 0.0f, 1e-30f)), Vector3(0, 0, 1), 1e-7f);
    EXPECT_VECTOR_NEAR(Normalize(Vector3(3e38f, 3e38f, 0.0f)), Vector3(0.70710678f, 0.70710678f, 0.0f),
                       1e-7f);

    // a rotation vector that long still turns about its own axis, by a unit quaternion
    const Quaternion turn = QuaternionFromRotationVector(Vector3(1e20f, 0.0f, 0.0f));
    ASSERT_TRUE(std::isfinite(turn.x) && std::isfinite(turn.w));
    EXPECT_EQ(turn.y, 0.0f);
    EXPECT_EQ(turn.z, 0.0f);
    EXPECT_NEAR(turn.x * turn.x + turn.w * turn.w, 1.0f, 1e-6f);
}

TEST(MatrixMath, ProductOrderTranslationInverseAndTranspose) {
    std::mt19937 random(7);

    // a*b applies a first: a point is scaled, then moved
    const Matrix4 scaleThenMove = MatrixMultiply(MatrixScaling(2, 3, 4), MatrixTranslation(1, 1, 1));
    EXPECT_VECTOR_NEAR(TransformCoord(Vector3(1, 1, 1), scaleThenMove), Vector3(3, 4, 5), 0);
    const Matrix4 moveThenScale = MatrixMultiply(MatrixTranslation(1, 1, 1), MatrixScaling(2, 3, 4));
    EXPECT_VECTOR_NEAR(TransformCoord(Vector3(1, 1, 1), moveThenScale), Vector3(4, 6, 8), 0);

    // a translation on the right adds to the translation row and keeps the rotation block
    const Matrix4 m = RandomMatrix(random);
    const Matrix4 moved = MatrixMultiply(m, MatrixTranslation(Vector3(0.5f, -1.5f, 2.0f)));
    Matrix4 expected = m;
    for (int r = 0; r < 4; ++r) {
        expected.At(r, 0) += 0.5f * m.At(r, 3);
        expected.At(r, 1) += -1.5f * m.At(r, 3);
        expected.At(r, 2) += 2.0f * m.At(r, 3);
    }
    EXPECT_TRUE(MatrixNear(moved, expected, 1e-6f));
    const Matrix4 rigid = MatrixMultiply(MatrixRotationQuaternion(RandomUnitQuaternion(random)),
                                         MatrixTranslation(1.0f, 2.0f, 3.0f));
    const Matrix4 rigidMoved = MatrixMultiply(rigid, MatrixTranslation(0.5f, -1.5f, 2.0f));
    EXPECT_FLOAT_EQ(rigidMoved._41, 1.5f);
    EXPECT_FLOAT_EQ(rigidMoved._42, 0.5f);
    EXPECT_FLOAT_EQ(rigidMoved._43, 5.0f);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 4; ++c) {
            EXPECT_EQ(rigidMoved.At(r, c), rigid.At(r, c));
        }
    }

    // the output may alias either input
    Matrix4 a = RandomMatrix(random);
    Matrix4 b = RandomMatrix(random);
    const Matrix4 product = MatrixMultiply(a, b);
    Matrix4 aliasLeft = a;
    aliasLeft = MatrixMultiply(aliasLeft, b);
    EXPECT_EQ(aliasLeft, product);
    Matrix4 aliasRight = b;
    aliasRight = MatrixMultiply(a, aliasRight);
    EXPECT_EQ(aliasRight, product);
    Matrix4 square = a;
    square = MatrixMultiply(square, square);
    EXPECT_TRUE(MatrixNear(square, MatrixMultiply(a, a), 0));

    // inverse of a general matrix, and the transpose
    for (int i = 0; i < 20; ++i) {
        const Matrix4 general = RandomMatrix(random);
        EXPECT_TRUE(MatrixNear(MatrixMultiply(general, MatrixInverse(general)), MatrixIdentity(), 2e-4f));
        const Matrix4 transposed = MatrixTranspose(general);
        EXPECT_EQ(transposed._12, general._21);
        EXPECT_EQ(transposed._43, general._34);
        EXPECT_EQ(MatrixTranspose(transposed), general);
    }
    // a singular matrix gives finite numbers, never NaN
    const Matrix4 singular = MatrixInverse(MatrixScaling(1.0f, 0.0f, 1.0f));
    for (int i = 0; i < 16; ++i) {
        EXPECT_TRUE(std::isfinite(singular.Data()[i]));
    }

    // directions ignore the translation, points take it
    const Matrix4 turnAndMove =
        MatrixMultiply(MatrixRotationQuaternion(QuaternionRotationAxis(Vector3(0, 0, 1), kPi / 2)),
                       MatrixTranslation(10, 20, 30));
    EXPECT_VECTOR_NEAR(TransformNormal(Vector3(1, 0, 0), turnAndMove), Vector3(0, 1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(TransformCoord(Vector3(1, 0, 0), turnAndMove), Vector3(10, 21, 30), 1e-5f);
}

TEST(MatrixMath, ViewerCameraAndShadowMapPointsWhereTheyBelong) {
    // the isometric viewer at (0, 2, -5) looks at the origin: it lies straight ahead, 5.385 m away
    const Matrix4 view = MatrixLookAtRH(Vector3(0, 2, -5), Vector3(0, 0, 0), Vector3(0, 1, 0));
    EXPECT_VECTOR_NEAR(TransformCoord(Vector3(0, 0, 0), view), Vector3(0, 0, -std::sqrt(29.0f)), 1e-5f);
    // world +x is to the viewer's left in this right-handed view
    EXPECT_LT(TransformCoord(Vector3(1, 0, 0), view).x, 0.0f);

    // depth 0 on the near plane, 1 on the far plane, after the divide by w = -z
    const Matrix4 projection = MatrixPerspectiveFovRH(0.7853982f, 4.0f / 3.0f, 0.1f, 15.0f);
    auto depth = [&](float z) {
        const Matrix4 p = MatrixMultiply(MatrixTranslation(0, 0, z), projection);
        return p._43 / p._44;
    };
    EXPECT_NEAR(depth(-0.1f), 0.0f, 1e-6f);
    EXPECT_NEAR(depth(-15.0f), 1.0f, 1e-6f);
    EXPECT_NEAR(projection._22 / projection._11, 4.0f / 3.0f, 1e-6f);

    // a point 1 m above the shadow plane lands on it along the light (3.5, -3, 5.5)
    const float light[4] = {-3.5f, 3.0f, -5.5f, 0.0f};
    const float plane[4] = {0.0f, 2.0f, 0.0f, -0.01f}; // y = 0.005, not normalised
    const Matrix4 shadow = MatrixShadow(light, plane);
    const Matrix4 flattened = MatrixMultiply(MatrixTranslation(0, 1.005f, 0), shadow);
    EXPECT_VECTOR_NEAR(Vector3(flattened._41, flattened._42, flattened._43) * (1.0f / flattened._44),
                       Vector3(3.5f / 3.0f, 0.005f, 5.5f / 3.0f), 1e-5f);
}

TEST(QuaternionMath, MultiplyIsFirstThenSecond) {
    std::mt19937 random(11);
    const Quaternion identity;
    for (int i = 0; i < 50; ++i) {
        const Quaternion q1 = RandomUnitQuaternion(random);
        const Quaternion q2 = RandomUnitQuaternion(random);
        // the component form is the Hamilton product q2 (x) q1
        EXPECT_QUATERNION_NEAR(QuaternionMultiply(q1, q2), Hamilton(q2, q1), 1e-6f);
        // identity on either side changes nothing
        EXPECT_QUATERNION_NEAR(QuaternionMultiply(identity, q1), q1, 0.0f);
        EXPECT_QUATERNION_NEAR(QuaternionMultiply(q1, identity), q1, 0.0f);
        // "q1 then q2" as rotations of a vector
        const Vector3 v = RandomVector(random, 3.0f);
        EXPECT_VECTOR_NEAR(Rotate(QuaternionMultiply(q1, q2), v), Rotate(q2, Rotate(q1, v)), 1e-5f);
        // q times its inverse is the identity, also for non-unit quaternions
        const Quaternion scaled(q1.x * 3, q1.y * 3, q1.z * 3, q1.w * 3);
        EXPECT_QUATERNION_NEAR(QuaternionMultiply(scaled, QuaternionInverse(scaled)), identity, 1e-6f);
    }
    // order matters: a quarter turn about x then y is not y then x
    const Quaternion aboutX = QuaternionRotationAxis(Vector3(1, 0, 0), kPi / 2);
    const Quaternion aboutY = QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2);
    EXPECT_FALSE(
        QuaternionNear(QuaternionMultiply(aboutX, aboutY), QuaternionMultiply(aboutY, aboutX), 0.1f));
    // x then y carries y to z and on to x; y then x leaves y alone and then carries it to z
    EXPECT_VECTOR_NEAR(Rotate(QuaternionMultiply(aboutX, aboutY), Vector3(0, 1, 0)), Vector3(1, 0, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(Rotate(QuaternionMultiply(aboutY, aboutX), Vector3(0, 1, 0)), Vector3(0, 0, 1), 1e-6f);
}

TEST(QuaternionMath, RotateUnrotateAndMatrixAgree) {
    // right-hand rule: a quarter turn about y carries x to -z, about z carries x to y
    EXPECT_VECTOR_NEAR(Rotate(QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2), Vector3(1, 0, 0)),
                       Vector3(0, 0, -1), 1e-6f);
    EXPECT_VECTOR_NEAR(Rotate(QuaternionRotationAxis(Vector3(0, 0, 2), kPi / 2), Vector3(1, 0, 0)),
                       Vector3(0, 1, 0), 1e-6f);

    std::mt19937 random(3);
    for (int i = 0; i < 100; ++i) {
        const Quaternion q = RandomUnitQuaternion(random);
        const Vector3 v = RandomVector(random, 5.0f);
        const Matrix4 rotation = MatrixRotationQuaternion(q);
        EXPECT_VECTOR_NEAR(TransformNormal(v, rotation), Rotate(q, v), 2e-5f);
        EXPECT_VECTOR_NEAR(TransformNormal(v, MatrixTranspose(rotation)), Unrotate(q, v), 2e-5f);
        EXPECT_VECTOR_NEAR(Rotate(q, Unrotate(q, v)), v, 2e-5f);
        EXPECT_VECTOR_NEAR(Unrotate(q, Rotate(q, v)), v, 2e-5f);
        EXPECT_NEAR(Length(Rotate(q, v)), Length(v), 2e-5f);
        // the rotation block is orthonormal with determinant +1
        EXPECT_TRUE(MatrixNear(MatrixMultiply(rotation, MatrixTranspose(rotation)), MatrixIdentity(), 1e-6f));
        const Vector3 row1(rotation._11, rotation._12, rotation._13);
        const Vector3 row2(rotation._21, rotation._22, rotation._23);
        const Vector3 row3(rotation._31, rotation._32, rotation._33);
        EXPECT_NEAR(Dot(Cross(row1, row2), row3), 1.0f, 1e-5f);
    }
}

TEST(QuaternionMath, AxisAngleRotationVectorsAndNormalize) {
    // sin(angle/2) times the normalised axis, cos(angle/2)
    const Quaternion q = QuaternionRotationAxis(Vector3(0, 0, 5), 1.0f);
    EXPECT_QUATERNION_NEAR(q, Quaternion(0, 0, std::sin(0.5f), std::cos(0.5f)), 1e-7f);
    // a rotation vector is axis times angle; zero is the identity
    const Quaternion fromVector = QuaternionFromRotationVector(Vector3(0, 0.6f, 0.8f));
    EXPECT_QUATERNION_NEAR(
        fromVector, Quaternion(0, 0.6f * std::sin(0.5f), 0.8f * std::sin(0.5f), std::cos(0.5f)), 1e-6f);
    EXPECT_EQ(QuaternionFromRotationVector(Vector3()), Quaternion());
    EXPECT_EQ(QuaternionRotationAxis(Vector3(), 0.0f), Quaternion());

    const Quaternion normalized = QuaternionNormalize(Quaternion(0, 3, 0, 4));
    EXPECT_QUATERNION_NEAR(normalized, Quaternion(0, 0.6f, 0, 0.8f), 1e-7f);
    // a zero quaternion is left alone rather than divided by zero
    const Quaternion zero = QuaternionNormalize(Quaternion(0, 0, 0, 0));
    EXPECT_FALSE(std::isnan(zero.x) || std::isnan(zero.w));
}

TEST(QuaternionMath, HugeQuaternionsKeepTheirDirection) {
    // a float sum of squares of these components overflows; the norm must not
    EXPECT_QUATERNION_NEAR(QuaternionNormalize(Quaternion(0, 3e20f, 0, 4e20f)), Quaternion(0, 0.6f, 0, 0.8f),
                           1e-7f);
    const Quaternion inverse = QuaternionInverse(Quaternion(0, 0, 2e20f, 0));
    EXPECT_FLOAT_EQ(inverse.z, -5e-21f);
    EXPECT_EQ(inverse.w, 0.0f);

    // a spin so fast that one step's increment is that large still leaves a unit orientation
    const Quaternion spun = IntegrateOrientation(Quaternion(), Vector3(1e25f, 0, 0), 0.0015);
    EXPECT_NEAR(spun.x * spun.x + spun.y * spun.y + spun.z * spun.z + spun.w * spun.w, 1.0f, 1e-6f);
    EXPECT_NEAR(spun.x, 1.0f, 1e-6f);
}

TEST(QuaternionMath, OrientationIntegrationTurnsAboutTheBodyAxis) {
    // start turned a quarter about y; spin about the body's own x axis
    const Quaternion start = QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2);
    const Vector3 bodySpin(2.0f, 0.0f, 0.0f);
    const double dt = 0.0015;
    const int steps = 500;
    Quaternion q = start;
    for (int i = 0; i < steps; ++i) {
        q = IntegrateOrientation(q, bodySpin, dt);
    }
    // the body turn comes first, then the start orientation
    const float angle = static_cast<float>(2.0 * dt * steps);
    const Quaternion expected = QuaternionMultiply(QuaternionRotationAxis(Vector3(1, 0, 0), angle), start);
    EXPECT_QUATERNION_NEAR(q, expected, 1e-4f);
    EXPECT_NEAR(q.x * q.x + q.y * q.y + q.z * q.z + q.w * q.w, 1.0f, 1e-6f);

    // the same step written with the basic operations
    Quaternion w(static_cast<float>(0.5 * dt * bodySpin.x), 0.0f, 0.0f, 0.0f);
    Quaternion d = QuaternionMultiply(w, start);
    Quaternion manual =
        QuaternionNormalize(Quaternion(start.x + d.x, start.y + d.y, start.z + d.z, start.w + d.w));
    EXPECT_QUATERNION_NEAR(IntegrateOrientation(start, bodySpin, dt), manual, 1e-7f);

    // no spin leaves the orientation exactly as it was
    EXPECT_EQ(IntegrateOrientation(start, Vector3(), dt), QuaternionNormalize(start));
}
