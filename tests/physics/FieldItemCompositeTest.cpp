#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <numbers>
#include <random>
#include <string>
#include <vector>

#include "physics/FieldItemComposite.h"
#include "support/FieldItemTestBody.h"
#include "support/TestSupport.h"

namespace {

constexpr float kPi = std::numbers::pi_v<float>;

Vector3 MultiplyRows(const Matrix4& m, const Vector3& v) {
    return {m._11 * v.x + m._12 * v.y + m._13 * v.z, m._21 * v.x + m._22 * v.y + m._23 * v.z,
            m._31 * v.x + m._32 * v.y + m._33 * v.z};
}

std::unique_ptr<FieldItemTestBody> Sphere(double mass, float radius, const Vector3& offset) {
    auto sphere = std::make_unique<FieldItemTestBody>(L"sphere");
    Placement placement;
    placement.position = offset;
    sphere->Initialize(placement);
    sphere->MakeSphere(mass, radius);
    sphere->UpdateWorld(nullptr, nullptr);
    return sphere;
}

std::unique_ptr<FieldItemTestBody> Counted(int* destroyed, std::vector<std::wstring>* drawLog = nullptr) {
    return std::make_unique<FieldItemTestBody>(L"testbody", drawLog, destroyed);
}

} // namespace

TEST(FieldItemCompositeTest, TwoEqualSpheresMakeOneBodyAtTheirCentre) {
    const double mass = 2.0;
    const float radius = 0.2f;
    FieldItemComposite pair(L"dumbbell");
    pair.AddItem(L"a", Sphere(mass, radius, Vector3(0, 0, 0)));
    pair.AddItem(L"b", Sphere(mass, radius, Vector3(1, 0, 0)));
    Placement placement;
    placement.position = Vector3(2, 1, 0);
    placement.velocity = Vector3(0, 0, 3);
    pair.Initialize(placement);

    EXPECT_EQ(pair.TypeName(), L"dumbbell");
    EXPECT_TRUE(pair.IsComposite());
    EXPECT_DOUBLE_EQ(pair.Mass(), 2 * mass);
    // the composite sits at the centre of mass, the parts at +-0.5 m from it
    EXPECT_VECTOR_NEAR(pair.Transform().Translation(), Vector3(2.5f, 1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(pair.WorldPosition(), Vector3(2.5f, 1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(pair.Pending().at(L"a")->Transform().Translation(), Vector3(-0.5f, 0, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(pair.Pending().at(L"b")->Transform().Translation(), Vector3(0.5f, 0, 0), 1e-6f);
    EXPECT_EQ(pair.Velocity(), Vector3(0, 0, 3));

    // parallel-axis terms: I_yy and I_zz grow by 2 m 0.25 over the spheres' own
    const float own = static_cast<float>(0.4 * mass * radius * radius);
    const Matrix4& inertia = pair.Inertia();
    EXPECT_NEAR(inertia._11, 2 * own, 1e-6f);
    EXPECT_NEAR(inertia._22, 2 * own + 2 * mass * 0.25, 1e-5f);
    EXPECT_NEAR(inertia._33, 2 * own + 2 * mass * 0.25, 1e-5f);
    EXPECT_NEAR(inertia._12, 0.0f, 1e-7f);
    EXPECT_NEAR(inertia._13, 0.0f, 1e-7f);
    EXPECT_NEAR(inertia._23, 0.0f, 1e-7f);
    const Matrix4 product = MatrixMultiply(inertia, pair.InverseInertia());
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(product.At(r, c), r == c ? 1.0f : 0.0f, 1e-5f);
        }
    }

    // bounds take in both spheres
    EXPECT_NEAR(pair.BoundingRadius(), 0.5 + radius, 1e-6);
    EXPECT_VECTOR_NEAR(pair.HalfExtents(), Vector3(0.5f + radius, radius, radius), 1e-6f);

    // once live, the parts follow the composite
    pair.CommitPending();
    pair.UpdateWorld(nullptr, nullptr);
    EXPECT_VECTOR_NEAR(pair.Find(L"a")->WorldTransform().Translation(), Vector3(2, 1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(pair.Find(L"b")->WorldTransform().Translation(), Vector3(3, 1, 0), 1e-6f);
    pair.Orientation() = QuaternionRotationAxis(Vector3(0, 1, 0), kPi / 2);
    pair.UpdateWorld(nullptr, nullptr);
    EXPECT_VECTOR_NEAR(pair.Find(L"b")->WorldTransform().Translation(), Vector3(2.5f, 1, -0.5f), 1e-6f);
    EXPECT_QUATERNION_NEAR(pair.Find(L"b")->WorldOrientation(), pair.Orientation(), 1e-6f);
}

TEST(FieldItemCompositeTest, CompositeOfOnePartIsThatPart) {
    // an asymmetric part, turned and moved off the composite's origin
    auto part = std::make_unique<FieldItemTestBody>(L"box");
    Placement partPlacement;
    partPlacement.position = Vector3(0.3f, -0.2f, 0.1f);
    partPlacement.angle = Vector3(0.2f, 0.4f, 0.5f);
    part->Initialize(partPlacement);
    part->SetMassProperties(1.5, Vector3(1, 2, 3));
    part->SetCore(Vector3(0.5f, 0.25f, 0.1f), 0.6);
    part->UpdateWorld(nullptr, nullptr);
    const Quaternion partOrientation = part->Orientation();
    const Matrix4 partInertia = part->Inertia();
    const Vector3 partExtent = part->BoundingExtent();

    FieldItemComposite single(L"single");
    single.AddItem(L"box", std::move(part));
    Placement placement;
    placement.position = Vector3(5, 0, 5);
    single.Initialize(placement);

    EXPECT_DOUBLE_EQ(single.Mass(), 1.5);
    EXPECT_VECTOR_NEAR(single.WorldPosition(), Vector3(5.3f, -0.2f, 5.1f), 1e-6f);
    EXPECT_VECTOR_NEAR(single.Pending().at(L"box")->Transform().Translation(), Vector3(), 1e-7f);
    EXPECT_NEAR(single.BoundingRadius(), 0.6, 1e-6);
    EXPECT_VECTOR_NEAR(single.HalfExtents(), partExtent, 1e-6f);

    // the composite's tensor is the part's, turned into the composite's axes: it maps a
    // spin to the same angular momentum as the turned part does
    std::mt19937 random(5);
    std::uniform_real_distribution<float> component(-2.0f, 2.0f);
    for (int i = 0; i < 10; ++i) {
        const Vector3 spin(component(random), component(random), component(random));
        const Vector3 expected =
            Rotate(partOrientation, MultiplyRows(partInertia, Unrotate(partOrientation, spin)));
        EXPECT_VECTOR_NEAR(MultiplyRows(single.Inertia(), spin), expected, 1e-5f);
    }
    // the tensor stays symmetric
    EXPECT_NEAR(single.Inertia()._12, single.Inertia()._21, 1e-6f);
    EXPECT_NEAR(single.Inertia()._13, single.Inertia()._31, 1e-6f);
    EXPECT_NEAR(single.Inertia()._23, single.Inertia()._32, 1e-6f);
}

TEST(FieldItemCompositeTest, CentreIsMovedAlongTheCompositesOwnAxes) {
    FieldItemComposite turned(L"turned");
    turned.AddItem(L"a", Sphere(1.0, 0.1f, Vector3(0, 0, 0)));
    turned.AddItem(L"b", Sphere(3.0, 0.1f, Vector3(2, 0, 0)));
    Placement placement;
    placement.position = Vector3(0, 1, 0);
    placement.angle = Vector3(0, kPi / 2, 0);
    turned.Initialize(placement);
    // centre 1.5 m along the body x axis, which a quarter turn about y points to -z
    EXPECT_VECTOR_NEAR(turned.WorldPosition(), Vector3(0, 1, -1.5f), 1e-6f);
    turned.CommitPending();
    turned.UpdateWorld(nullptr, nullptr);
    EXPECT_VECTOR_NEAR(turned.Find(L"a")->WorldTransform().Translation(), Vector3(0, 1, 0), 1e-6f);
    EXPECT_VECTOR_NEAR(turned.Find(L"b")->WorldTransform().Translation(), Vector3(0, 1, -2), 1e-6f);
}

TEST(FieldItemCompositeTest, EmptyCompositeStaysAtItsPlacementWithoutNaN) {
    FieldItemComposite empty(L"empty");
    Placement placement;
    placement.position = Vector3(1, 2, 3);
    placement.velocity = Vector3(0, 1, 0);
    empty.Initialize(placement);
    EXPECT_EQ(empty.Mass(), 0.0);
    EXPECT_EQ(empty.WorldPosition(), Vector3(1, 2, 3));
    for (int step = 0; step < 10; ++step) {
        empty.Force() += Vector3(0, -10, 0);
        empty.Torque() += Vector3(0, 1, 0);
        empty.Integrate(nullptr);
        empty.UpdateWorld(nullptr, nullptr);
    }
    const Vector3 position = empty.WorldPosition();
    EXPECT_TRUE(std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z));
    EXPECT_NEAR(position.y, 2 + 10 * 0.0015, 1e-5);
    EXPECT_EQ(empty.Velocity(), Vector3(0, 1, 0));
    const Vector3& spin = empty.AngularVelocity();
    EXPECT_TRUE(std::isfinite(spin.x) && std::isfinite(spin.y) && std::isfinite(spin.z));
    const Quaternion& q = empty.Orientation();
    EXPECT_TRUE(std::isfinite(q.x) && std::isfinite(q.w));
}

TEST(FieldItemCompositeTest, MembersBecomeLiveAtCommitAndKeepTheirNames) {
    int destroyed = 0;
    FieldItemComposite group(L"world");
    auto first = Counted(&destroyed);
    FieldItem* firstItem = first.get();
    group.AddItem(L"ball", std::move(first));
    // named and parented at once, but not live before the commit
    EXPECT_EQ(firstItem->Name(), L"ball");
    EXPECT_EQ(firstItem->Parent(), &group);
    EXPECT_EQ(group.Find(L"ball"), nullptr);
    EXPECT_TRUE(group.Members().empty());

    // a second pending item of the same name replaces (and ends) the first
    auto replacement = Counted(&destroyed);
    FieldItem* replacementItem = replacement.get();
    group.AddItem(L"ball", std::move(replacement));
    EXPECT_EQ(destroyed, 1);
    group.CommitPending();
    EXPECT_EQ(group.Find(L"ball"), replacementItem);
    EXPECT_TRUE(group.Pending().empty());

    // a newcomer under a live name stays out; the live member is kept
    group.AddItem(L"ball", Counted(&destroyed));
    group.AddItem(L"cube", Counted(&destroyed));
    group.CommitPending();
    EXPECT_EQ(group.Find(L"ball"), replacementItem);
    EXPECT_NE(group.Find(L"cube"), nullptr);
    EXPECT_EQ(group.Members().size(), 2u);
    EXPECT_EQ(destroyed, 2);
    EXPECT_TRUE(group.Pending().empty());

    // the commit reaches into composite members
    auto inner = std::make_unique<FieldItemComposite>(L"dice");
    FieldItemComposite* innerGroup = inner.get();
    innerGroup->AddItem(L"body", Counted(&destroyed));
    group.AddItem(L"dice1", std::move(inner));
    group.CommitPending();
    ASSERT_EQ(group.Find(L"dice1"), innerGroup);
    EXPECT_NE(innerGroup->Find(L"body"), nullptr);

    // Find never inserts
    EXPECT_EQ(group.Find(L"nothing"), nullptr);
    EXPECT_EQ(group.Members().size(), 3u);
    EXPECT_EQ(group.Members().count(L"nothing"), 0u);
}

TEST(FieldItemCompositeTest, RemovedMembersStayUntilThePurgeThenGoWithOneLogLine) {
    ScopedLogCapture capture;
    int destroyed = 0;
    FieldItemComposite group(L"world");
    group.AddItem(L"a", Counted(&destroyed));
    group.AddItem(L"b", Counted(&destroyed));
    auto inner = std::make_unique<FieldItemComposite>(L"car");
    FieldItemComposite* innerGroup = inner.get();
    innerGroup->AddItem(L"wheel", Counted(&destroyed));
    innerGroup->AddItem(L"chassis", Counted(&destroyed));
    group.AddItem(L"car1", std::move(inner));
    group.CommitPending();

    // an unknown name does nothing
    group.Remove(L"zzz");
    group.PurgeDeleted();
    EXPECT_EQ(group.Members().size(), 3u);
    EXPECT_TRUE(capture.Writer().Records().empty());

    // marked members stay live until the purge
    group.Remove(L"b");
    EXPECT_TRUE(group.Find(L"b")->IsDeleted());
    EXPECT_EQ(destroyed, 0);
    innerGroup->Remove(L"wheel");
    group.PurgeDeleted();
    EXPECT_EQ(group.Find(L"b"), nullptr);
    EXPECT_NE(group.Find(L"a"), nullptr);
    EXPECT_EQ(innerGroup->Find(L"wheel"), nullptr);
    EXPECT_NE(innerGroup->Find(L"chassis"), nullptr);
    EXPECT_EQ(destroyed, 2);

    const auto records = capture.Writer().Records();
    ASSERT_EQ(records.size(), 2u);
    EXPECT_EQ(records[0].message, L"[b] deleted");
    EXPECT_EQ(records[0].sourceFile, L".\\FieldItemComposite");
    EXPECT_EQ(records[0].line, 285);
    EXPECT_EQ(records[0].level, 2);
    EXPECT_EQ(records[1].message, L"[wheel] deleted");

    // a deleted composite goes with all its parts
    group.Find(L"car1")->MarkDeleted();
    group.PurgeDeleted();
    EXPECT_EQ(group.Find(L"car1"), nullptr);
    EXPECT_EQ(destroyed, 3);
    EXPECT_EQ(capture.Writer().Records().back().message, L"[car1] deleted");

    // a name freed by the purge can be used again
    group.AddItem(L"b", Counted(&destroyed));
    group.CommitPending();
    EXPECT_NE(group.Find(L"b"), nullptr);
    EXPECT_FALSE(group.Find(L"b")->IsDeleted());

    // a part marked deleted before its group joined goes at the purge after the group's
    // commit; a part added to a live group below is committed from the top
    auto late = std::make_unique<FieldItemComposite>(L"car");
    FieldItemComposite* lateGroup = late.get();
    lateGroup->AddItem(L"door", Counted(&destroyed));
    lateGroup->CommitPending();
    lateGroup->Remove(L"door");
    group.AddItem(L"car2", std::move(late));
    group.CommitPending();
    group.PurgeDeleted();
    EXPECT_EQ(lateGroup->Find(L"door"), nullptr);
    EXPECT_EQ(destroyed, 4);
    lateGroup->AddItem(L"boot", Counted(&destroyed));
    group.CommitPending();
    EXPECT_NE(lateGroup->Find(L"boot"), nullptr);
}

TEST(FieldItemCompositeTest, DestroyingAGroupEndsLiveAndPendingMembers) {
    int destroyed = 0;
    {
        FieldItemComposite group(L"world");
        group.AddItem(L"live", Counted(&destroyed));
        group.CommitPending();
        group.AddItem(L"pending", Counted(&destroyed));
    }
    EXPECT_EQ(destroyed, 2);
}

TEST(FieldItemCompositeTest, DrawsTheLandFirstThenTheOthersInNameOrder) {
    std::vector<std::wstring> drawn;
    FieldItemComposite group(L"world");
    group.AddItem(L"zebra", Counted(nullptr, &drawn));
    group.AddItem(L"apple", Counted(nullptr, &drawn));
    group.AddItem(L"land", Counted(nullptr, &drawn));
    group.AddItem(L"sky", Counted(nullptr, &drawn));
    group.AddItem(L"pending", Counted(nullptr, &drawn));
    group.CommitPending();
    group.AddItem(L"late", Counted(nullptr, &drawn));
    group.Draw(nullptr);
    const std::vector<std::wstring> expected = {L"land", L"apple", L"pending", L"sky", L"zebra"};
    EXPECT_EQ(drawn, expected);
}
