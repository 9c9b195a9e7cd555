#include <gtest/gtest.h>

#include <cmath>
#include <numbers>

#include "physics/DrawContext.h"
#include "physics/FieldItem.h"
#include "physics/WorldSettings.h"
#include "support/FieldItemTestBody.h"
#include "support/TestSupport.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

using FieldItemTest = ::testing::Test;

/// A group root that hands its items its own step settings, as the world does.
class SettingsRoot : public FieldItemTestBody {
public:
    const WorldSettings& StepSettings() const override { return settings; }
    WorldSettings settings;
};

bool IsFinite(const Vector3& v) {
    return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
}

Vector3 MultiplyRows(const Matrix4& m, const Vector3& v) {
    return {m._11 * v.x + m._12 * v.y + m._13 * v.z, m._21 * v.x + m._22 * v.y + m._23 * v.z,
            m._31 * v.x + m._32 * v.y + m._33 * v.z};
}

} // namespace

TEST_F(FieldItemTest, InitializeAppliesThePlacement) {
    // top level: offsets are world offsets, a zero angle keeps the identity
    FieldItemTestBody item;
    Placement placement;
    placement.position = Vector3(1, 2, 3);
    placement.velocity = Vector3(0, 0, -1);
    placement.angularVelocity = Vector3(0.5f, 0, 0);
    item.Initialize(placement);
    EXPECT_EQ(item.Transform(), MatrixTranslation(1, 2, 3));
    EXPECT_EQ(item.Velocity(), Vector3(0, 0, -1));
    EXPECT_EQ(item.Orientation(), Quaternion());
    EXPECT_EQ(item.AngularVelocity(), Vector3(0.5f, 0, 0));

    // an angle vector turns the item about its direction by its length
    FieldItemTestBody turned;
    Placement turnPlacement;
    turnPlacement.angle = Vector3(0, kPi / 2, 0);
    turned.Initialize(turnPlacement);
    EXPECT_QUATERNION_NEAR(turned.Orientation(), QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2), 1e-7f);

    // inside a parent: offsets and velocity are given in the parent's axes and the
    // parent's motion and orientation are inherited
    FieldItemTestBody parent;
    Placement parentPlacement;
    parentPlacement.position = Vector3(1, 2, 3);
    parentPlacement.velocity = Vector3(1, 0, 0);
    parentPlacement.angle = Vector3(0, kPi / 2, 0);
    parent.Initialize(parentPlacement);
    parent.UpdateWorld(nullptr, nullptr);

    FieldItemTestBody child;
    Placement childPlacement;
    childPlacement.parent = &parent;
    childPlacement.position = Vector3(1, 0, 0);
    childPlacement.velocity = Vector3(0, 0, 2);
    childPlacement.angle = Vector3(kPi / 2, 0, 0);
    childPlacement.angularVelocity = Vector3(0, 3, 0);
    child.Initialize(childPlacement);
    // a quarter turn about y carries x to -z and z to x
    EXPECT_VECTOR_NEAR(child.Transform().Translation(), Vector3(1, 2, 2), 1e-6f);
    EXPECT_VECTOR_NEAR(child.Velocity(), Vector3(3, 0, 0), 1e-6f);
    EXPECT_QUATERNION_NEAR(
        child.Orientation(),
        QuaternionMultiply(QuaternionRotationAxis(Vector3(1, 0, 0), kPi / 2), parent.Orientation()), 1e-6f);
    // angular velocity stays in body axes, unchanged
    EXPECT_EQ(child.AngularVelocity(), Vector3(0, 3, 0));
}

TEST_F(FieldItemTest, ConstantForceFollowsSemiImplicitEuler) {
    // a time step other than the default shows that it is read from the root's step settings
    SettingsRoot root;
    root.settings.timeStep = 0.01;
    FieldItemTestBody body;
    body.SetParent(&root);
    body.SetMassProperties(2.0, Vector3(1, 1, 1));
    Placement placement;
    placement.position = Vector3(0, 10, 0);
    placement.velocity = Vector3(1, 0, 0);
    body.Initialize(placement);

    const Vector3 force(4.0f, -19.6f, 0.0f);
    const float dt = 0.01f;
    Vector3 velocity(1, 0, 0);
    Vector3 position(0, 10, 0);
    for (int step = 0; step < 200; ++step) {
        body.Force() += force;
        body.Integrate(nullptr);
        // velocity first, then the position moves with the new velocity
        velocity += force * (dt / 2.0f);
        position += velocity * dt;
        ASSERT_TRUE(VectorNear(body.Velocity(), velocity, 1e-4f)) << "step " << step;
        ASSERT_TRUE(VectorNear(body.Transform().Translation(), position, 1e-4f)) << "step " << step;
        // accumulators are cleared, the orientation is untouched
        ASSERT_EQ(body.Force(), Vector3());
        ASSERT_EQ(body.Torque(), Vector3());
        ASSERT_EQ(body.Orientation(), Quaternion());
    }
    // 2 s of 2 m/s^2 sideways and -9.8 m/s^2 vertically, semi-implicit: x = v0 t + a t (t + dt) / 2
    EXPECT_NEAR(body.Transform()._41, 2.0 + 2.0 * 2.0 * 2.01 / 2.0, 1e-3);
    EXPECT_NEAR(body.Transform()._42, 10.0 - 9.8 * 2.0 * 2.01 / 2.0, 1e-3);
    EXPECT_NEAR(body.Velocity().y, -19.6, 1e-3);
}

TEST_F(FieldItemTest, ItemAtRestStaysExactlyWhereItIs) {
    FieldItemTestBody body;
    body.SetMassProperties(3.0, Vector3(1, 2, 3));
    Placement placement;
    placement.position = Vector3(0.25f, 1.5f, -2.0f);
    placement.angle = Vector3(0.3f, -0.2f, 0.9f);
    body.Initialize(placement);
    const Matrix4 transform = body.Transform();
    const Quaternion orientation = body.Orientation();
    for (int step = 0; step < 10000; ++step) {
        body.Integrate(nullptr);
    }
    EXPECT_EQ(body.Transform(), transform);
    EXPECT_EQ(body.Velocity(), Vector3());
    EXPECT_EQ(body.AngularVelocity(), Vector3());
    // normalising an already normalised quaternion may round the last bit once
    EXPECT_QUATERNION_NEAR(body.Orientation(), orientation, 1e-7f);
}

TEST_F(FieldItemTest, MasslessItemKeepsItsVelocityAndNeverTurnsNaN) {
    FieldItemTestBody massless;
    Placement placement;
    placement.velocity = Vector3(0.5f, 0, 0);
    massless.Initialize(placement);
    for (int step = 0; step < 100; ++step) {
        massless.Force() += Vector3(0, -100, 0);
        massless.Torque() += Vector3(1, 0, 0);
        massless.Integrate(nullptr);
    }
    EXPECT_EQ(massless.Velocity(), Vector3(0.5f, 0, 0));
    EXPECT_TRUE(IsFinite(massless.Transform().Translation()));
    EXPECT_NEAR(massless.Transform()._41, 100 * 0.0015 * 0.5, 1e-5);
    EXPECT_TRUE(IsFinite(massless.AngularVelocity()));
    EXPECT_EQ(massless.Force(), Vector3());
}

TEST_F(FieldItemTest, TorqueDrivesTheSpinThroughTheInverseInertia) {
    FieldItemTestBody body;
    body.SetMassProperties(1.0, Vector3(2, 4, 8));
    body.Initialize(Placement());
    body.Torque() += Vector3(0, 0, 8);
    body.Integrate(nullptr);
    // dw = dt * torque / I_zz, and the orientation turns with the new spin
    EXPECT_VECTOR_NEAR(body.AngularVelocity(), Vector3(0, 0, 0.0015f), 1e-9f);
    const Quaternion expected = IntegrateOrientation(Quaternion(), Vector3(0, 0, 0.0015f), 0.0015);
    EXPECT_QUATERNION_NEAR(body.Orientation(), expected, 1e-9f);
}

TEST_F(FieldItemTest, TorqueFreeAsymmetricBodyConservesAngularMomentum) {
    FieldItemTestBody body;
    body.SetMassProperties(1.0, Vector3(1, 2, 3));
    Placement placement;
    // mostly about the stable major axis with a wobble, so all terms of Euler's equations act
    placement.angularVelocity = Vector3(0.4f, 0.3f, 2.0f);
    placement.angle = Vector3(0.2f, 0.1f, 0.0f);
    body.Initialize(placement);
    body.UpdateWorld(nullptr, nullptr);

    auto worldMomentum = [&body] {
        Vector3 momentum = MultiplyRows(body.Inertia(), body.AngularVelocity());
        return Rotate(body.Orientation(), momentum);
    };
    const Vector3 initial = worldMomentum();
    const float initialMagnitude = Length(initial);
    bool spinChanged = false;
    const int steps = 10000; // 15 s
    for (int step = 0; step < steps; ++step) {
        body.Integrate(nullptr);
        spinChanged = spinChanged || std::fabs(body.AngularVelocity().x - 0.4f) > 0.1f;
    }
    // the body-axis spin wanders (the equations do act) ...
    EXPECT_TRUE(spinChanged);
    // ... while the angular momentum keeps its size and direction in the world
    const Vector3 final = worldMomentum();
    EXPECT_NEAR(Length(final) / initialMagnitude, 1.0f, 0.005f);
    EXPECT_NEAR(Dot(Normalize(final), Normalize(initial)), 1.0f, 1e-4f);
    EXPECT_TRUE(IsFinite(body.AngularVelocity()));
}

TEST_F(FieldItemTest, UpdateWorldPlacesTheItemAndBoundsItsRotatedCore) {
    FieldItemTestBody item;
    item.SetCore(Vector3(1.0f, 0.5f, 0.25f), 1.2);
    Placement placement;
    placement.position = Vector3(2, 3, 4);
    item.Initialize(placement);

    // top level: copies, and the bounds of an unrotated core are its half sizes
    item.UpdateWorld(nullptr, nullptr);
    EXPECT_EQ(item.WorldTransform(), item.Transform());
    EXPECT_EQ(item.WorldOrientation(), item.Orientation());
    EXPECT_EQ(item.WorldPosition(), Vector3(2, 3, 4));
    EXPECT_VECTOR_NEAR(item.BoundingExtent(), Vector3(1.0f, 0.5f, 0.25f), 0);

    // a quarter turn about y swaps the x and z sizes
    item.Orientation() = QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2);
    item.UpdateWorld(nullptr, nullptr);
    EXPECT_VECTOR_NEAR(item.BoundingExtent(), Vector3(0.25f, 0.5f, 1.0f), 1e-6f);

    // an eighth turn about z: each axis sees the sum of both projections
    item.Orientation() = QuaternionRotationAxis(Vector3(0, 0, 1), kPi / 4);
    item.UpdateWorld(nullptr, nullptr);
    const float diagonal = (1.0f + 0.5f) / std::sqrt(2.0f);
    EXPECT_VECTOR_NEAR(item.BoundingExtent(), Vector3(diagonal, diagonal, 0.25f), 1e-6f);

    // inside a parent: the offset is turned by the parent and the orientations compose
    const Matrix4 parentTransform = MatrixTranslation(10, 0, 0);
    const Quaternion parentOrientation = QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2);
    item.UpdateWorld(&parentTransform, &parentOrientation);
    EXPECT_VECTOR_NEAR(item.WorldPosition(), Vector3(10 + 4, 3, -2), 1e-5f);
    EXPECT_QUATERNION_NEAR(item.WorldOrientation(), QuaternionMultiply(item.Orientation(), parentOrientation),
                           1e-6f);
    // only one argument is no parent at all
    item.UpdateWorld(&parentTransform, nullptr);
    EXPECT_EQ(item.WorldPosition(), Vector3(2, 3, 4));
}

TEST_F(FieldItemTest, ToLocalAndToWorldUseTheWorldOrientation) {
    FieldItemTestBody item;
    Placement placement;
    placement.angle = Vector3(0, 0, kPi / 2);
    item.Initialize(placement);
    item.UpdateWorld(nullptr, nullptr);

    Vector3 bodyX(1, 0, 0);
    item.ToWorld(bodyX);
    EXPECT_VECTOR_NEAR(bodyX, Vector3(0, 1, 0), 1e-6f);
    Vector3 worldY(0, 1, 0);
    item.ToLocal(worldY);
    EXPECT_VECTOR_NEAR(worldY, Vector3(1, 0, 0), 1e-6f);

    Vector3 v(0.3f, -1.2f, 2.5f);
    Vector3 roundTrip = v;
    item.ToWorld(roundTrip);
    item.ToLocal(roundTrip);
    EXPECT_VECTOR_NEAR(roundTrip, v, 1e-6f);
}

TEST_F(FieldItemTest, DrawMatricesScaleTurnPlaceAndView) {
    FieldItemTestBody item;
    Placement placement;
    placement.position = Vector3(1, 2, 3);
    placement.angle = Vector3(0, kPi / 2, 0);
    item.Initialize(placement);
    item.UpdateWorld(nullptr, nullptr);

    const Matrix4 flatten = MatrixScaling(1, 0, 1);
    DrawContext context;
    context.shadowMatrix = &flatten;
    context.view = MatrixTranslation(-1, -1, 5);
    context.viewRotation = QuaternionRotationAxis(Vector3(1, 0, 0), 0.3f);

    const Vector3 meshPoint(1, 1, 1);
    const Vector3 size(0.5f, 2.0f, 1.0f);
    for (const float s : {1.0f, 0.5f, 3.5f}) {
        context.zoomFactor = s;
        Matrix4 world, shadow;
        item.DrawMatrices(world, shadow, &context, size.x, size.y, size.z);

        // mesh scaled, turned with the item, placed, all scaled by the zoom; then the view
        Vector3 scaled(meshPoint.x * size.x * s, meshPoint.y * size.y * s, meshPoint.z * size.z * s);
        Vector3 placed = Rotate(item.WorldOrientation(), scaled) + Vector3(1, 2, 3) * s;
        Vector3 viewed = Rotate(context.viewRotation, placed + Vector3(-1, -1, 5) * s);
        EXPECT_VECTOR_NEAR(TransformCoord(meshPoint, world), viewed, 1e-5f) << "zoom " << s;

        // the shadow is flattened before the view is applied
        Vector3 flat(placed.x, 0.0f, placed.z);
        Vector3 shadowViewed = Rotate(context.viewRotation, flat + Vector3(-1, -1, 5) * s);
        EXPECT_VECTOR_NEAR(TransformCoord(meshPoint, shadow), shadowViewed, 1e-5f) << "zoom " << s;
    }
}
