// The detector registry, the pair filter and the dispatch through composites.

#include <gtest/gtest.h>

#include <algorithm>
#include <cmath>
#include <limits>
#include <memory>
#include <random>
#include <set>
#include <string>
#include <thread>
#include <typeinfo>
#include <utility>
#include <vector>

#include "collision/Collide.h"
#include "collision/CollisionRegistry.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemRay.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"
#include "support/FieldItemTestBody.h"
#include "support/TestSupport.h"

namespace {

/// Writes down the names of every pair it is handed and counts its destruction.
class RecordingDetector : public CollisionDetect {
public:
    RecordingDetector(std::vector<std::pair<std::wstring, std::wstring>>* visits, int* destroyed)
        : visits_(visits), destroyed_(destroyed) {}
    ~RecordingDetector() override {
        if (destroyed_ != nullptr) {
            ++*destroyed_;
        }
    }
    void Detect(const FieldItem& first, const FieldItem& second, const CollideSettings& /*settings*/,
                std::vector<Contact>& contacts) const override {
        if (visits_ != nullptr) {
            visits_->push_back({first.Name(), second.Name()});
        }
        Contact contact;
        contact.distance = 0.0;
        contacts.push_back(contact);
    }

private:
    std::vector<std::pair<std::wstring, std::wstring>>* visits_;
    int* destroyed_;
};

const std::vector<DetectorKey> kTable = {
    {L"sphere", L"sphere"}, {L"box", L"box"},      {L"sphere", L"land"}, {L"land", L"sphere"},
    {L"box", L"land"},      {L"land", L"box"},     {L"sphere", L"box"},  {L"box", L"sphere"},
    {L"disk", L"land"},     {L"land", L"disk"},    {L"disk", L"sphere"}, {L"sphere", L"disk"},
    {L"disk", L"disk"},     {L"disk", L"box"},     {L"box", L"disk"},    {L"torus", L"land"},
    {L"land", L"torus"},    {L"torus", L"torus"},  {L"torus", L"disk"},  {L"disk", L"torus"},
    {L"torus", L"sphere"},  {L"sphere", L"torus"}, {L"torus", L"box"},   {L"box", L"torus"},
    {L"ray", L"sphere"},    {L"sphere", L"ray"},   {L"box", L"ray"},     {L"ray", L"box"},
    {L"disk", L"ray"},      {L"ray", L"disk"},     {L"torus", L"ray"},   {L"ray", L"torus"}};

class RegistryTest : public ::testing::Test {
protected:
    void SetUp() override {
        DestroyCollisionDetectors();
        RegisterCollisionDetectors();
    }
    void TearDown() override {
        DestroyCollisionDetectors();
        D3DObjectManager::Destroy();
    }

    /// A sphere of the given collision radius, named, at a position.
    static std::unique_ptr<FieldItemSphere> MakeSphere(const std::wstring& name, float coreRadius,
                                                       const Vector3& position) {
        auto sphere = std::make_unique<FieldItemSphere>();
        FieldItemSphere::Record record;
        record.r = coreRadius + 0.015;
        record.position = position;
        sphere->Initialize(record);
        sphere->SetName(name);
        return sphere;
    }

    /// A composite of the given parts, placed at a position, committed and refreshed.
    static std::unique_ptr<FieldItemComposite> MakeComposite(const std::wstring& name,
                                                             std::vector<std::unique_ptr<FieldItem>> parts,
                                                             const Vector3& position) {
        auto composite = std::make_unique<FieldItemComposite>(L"item");
        for (auto& part : parts) {
            const std::wstring partName = part->Name();
            composite->AddItem(partName, std::move(part));
        }
        Placement placement;
        placement.position = position;
        composite->Initialize(placement);
        composite->CommitPending();
        composite->UpdateWorld(nullptr, nullptr);
        composite->SetName(name);
        return composite;
    }

    std::vector<std::pair<std::wstring, std::wstring>> visits_;
    int destroyed_ = 0;
};

} // namespace

TEST_F(RegistryTest, TableRegistersOneDetectorObjectPerOrderAndNothingElse) {
    const CollisionRegistry* manager = CollisionRegistry::Current();
    ASSERT_NE(manager, nullptr);
    const std::set<DetectorKey> table(kTable.begin(), kTable.end());
    ASSERT_EQ(table.size(), 32u);

    // every row of the table and nothing else, each with its own detector object
    EXPECT_EQ(manager->Entries().size(), table.size());
    for (const DetectorKey& key : kTable) {
        EXPECT_NE(FindDetector(key.first, key.second), nullptr);
    }
    std::set<const CollisionDetect*> objects;
    for (const auto& [key, detector] : manager->Entries()) {
        EXPECT_EQ(table.count(key), 1u);
        ASSERT_NE(detector, nullptr);
        EXPECT_TRUE(objects.insert(detector.get()).second) << "shared detector object";
    }
    for (const DetectorKey& none : {DetectorKey{L"ray", L"ray"}, DetectorKey{L"ray", L"land"},
                                    DetectorKey{L"land", L"ray"}, DetectorKey{L"land", L"land"}}) {
        EXPECT_EQ(FindDetector(none.first, none.second), nullptr);
    }
    // a mixed pair's detector serves its own order; the swapped order reverses one of its kind
    const auto* reversed = dynamic_cast<const ReversedDetect*>(FindDetector(L"land", L"sphere"));
    ASSERT_NE(reversed, nullptr);
    EXPECT_EQ(typeid(reversed->Detector()), typeid(*FindDetector(L"sphere", L"land")));
    EXPECT_EQ(dynamic_cast<const ReversedDetect*>(FindDetector(L"ray", L"box")), nullptr);
    EXPECT_NE(dynamic_cast<const ReversedDetect*>(FindDetector(L"box", L"ray")), nullptr);

    // the flat index agrees with the map for every pair of kinds
    for (int a = 0; a < kShapeKindCount; ++a) {
        for (int b = 0; b < kShapeKindCount; ++b) {
            const auto first = static_cast<ShapeKind>(a);
            const auto second = static_cast<ShapeKind>(b);
            EXPECT_EQ(FindDetector(first, second), FindDetector(ShapeKindName(first), ShapeKindName(second)));
        }
    }
    // lookups do not add entries
    const std::size_t count = manager->Entries().size();
    FindDetector(L"ray", L"land");
    FindDetector(L"no", L"such");
    EXPECT_EQ(manager->Entries().size(), count);
}

TEST_F(RegistryTest, RegistrationReplacesAndTeardownDestroysEveryDetector) {
    CollisionRegistry& manager = CollisionRegistry::Instance();
    Register(manager, {L"blob", L"blob"}, std::make_unique<RecordingDetector>(nullptr, &destroyed_));
    Register(manager, {L"blob", L"blob"}, std::make_unique<RecordingDetector>(nullptr, &destroyed_));
    EXPECT_EQ(destroyed_, 1); // the replaced one, not leaked
    Register(manager, {L"blob", L"land"}, std::make_unique<RecordingDetector>(nullptr, &destroyed_));

    DestroyCollisionDetectors();
    EXPECT_EQ(destroyed_, 3);
    EXPECT_EQ(CollisionRegistry::Current(), nullptr);
    EXPECT_EQ(FindDetector(L"sphere", L"sphere"), nullptr);
    EXPECT_EQ(FindDetector(ShapeKind::kSphere, ShapeKind::kSphere), nullptr);

    // with no registry a pair yields nothing
    auto a = MakeSphere(L"a", 0.1f, Vector3(0, 1, 0));
    auto b = MakeSphere(L"b", 0.1f, Vector3(0, 1.2f, 0));
    std::vector<Contact> contacts;
    Collide(*a, *b, contacts);
    EXPECT_TRUE(contacts.empty());

    // a later registration starts afresh
    RegisterCollisionDetectors();
    EXPECT_NE(FindDetector(ShapeKind::kSphere, ShapeKind::kSphere), nullptr);
    Collide(*a, *b, contacts);
    EXPECT_EQ(contacts.size(), 1u);
}

TEST_F(RegistryTest, PairsWithoutADetectorYieldNothing) {
    FieldItemLand land;
    land.Initialize(Placement());
    FieldItemRay ray;
    ray.Initialize(Placement());
    FieldItemTestBody blob(L"blob");
    std::vector<Contact> contacts;

    // ray and land pass the filter but have no detector
    EXPECT_TRUE(PairFilterAccepts(ray, land, CollideSettings()));
    const std::size_t count = CollisionRegistry::Current()->Entries().size();
    Collide(ray, land, contacts);
    Collide(land, ray, contacts);
    Collide(land, land, contacts);
    Collide(ray, ray, contacts);
    Collide(blob, land, contacts);
    EXPECT_TRUE(contacts.empty());
    EXPECT_EQ(CollisionRegistry::Current()->Entries().size(), count);

    // a null detector (a failed allocation) behaves like a missing one
    Register(CollisionRegistry::Instance(), {L"sphere", L"sphere"}, nullptr);
    auto a = MakeSphere(L"a", 0.1f, Vector3(0, 1, 0));
    auto b = MakeSphere(L"b", 0.1f, Vector3(0, 1.2f, 0));
    Collide(*a, *b, contacts);
    EXPECT_TRUE(contacts.empty());
}

TEST_F(RegistryTest, DispatchFindsDetectorsByTypeNameForAnyClass) {
    // an item of another class answering "sphere" reaches the sphere detectors by its name
    FieldItemTestBody body(L"sphere");
    body.MakeSphere(1.0, 0.1f);
    body.Transform() = MatrixTranslation(0.0f, 0.1f, 0.0f);
    body.UpdateWorld(nullptr, nullptr);
    FieldItemLand land;
    land.Initialize(Placement());
    std::vector<Contact> contacts;
    Collide(body, land, contacts);
    ASSERT_EQ(contacts.size(), 1u);
    EXPECT_NEAR(contacts[0].distance, 0.0, 1e-6);
    EXPECT_EQ(ShapeKindOf(body), ShapeKind::kSphere);
    EXPECT_EQ(ShapeKindOf(land), ShapeKind::kLand);
    EXPECT_EQ(ShapeKindOf(FieldItemTestBody(L"player")), ShapeKind::kOther);

    // a detector set on the registry directly, past Register, is still the one used
    CollisionRegistry::Instance().Set({L"sphere", L"land"},
                                      std::make_unique<RecordingDetector>(&visits_, nullptr));
    body.SetName(L"body");
    land.SetName(L"land");
    Collide(body, land, contacts);
    ASSERT_EQ(visits_.size(), 1u);
    EXPECT_EQ(visits_[0], std::make_pair(std::wstring(L"body"), std::wstring(L"land")));
}

TEST_F(RegistryTest, PairFilterUsesBoundingBoxesThenSpheres) {
    Register(CollisionRegistry::Instance(), {L"sphere", L"sphere"},
             std::make_unique<RecordingDetector>(&visits_, nullptr));
    std::vector<Contact> contacts;

    // boxes overlap (|d| per axis 1.9 <= 0.985 + 0.985 + 0.03) but the centres are 2.69 apart
    auto a = MakeSphere(L"a", 0.985f, Vector3(0, 5, 0));
    auto b = MakeSphere(L"b", 0.985f, Vector3(1.9f, 6.9f, 0));
    EXPECT_FALSE(PairFilterAccepts(*a, *b, CollideSettings()));
    Collide(*a, *b, contacts);
    EXPECT_TRUE(visits_.empty());

    // within the spheres' reach on one axis, just beyond it on another
    auto c = MakeSphere(L"c", 0.985f, Vector3(1.99f, 5, 0));
    EXPECT_TRUE(PairFilterAccepts(*a, *c, CollideSettings()));
    auto d = MakeSphere(L"d", 0.985f, Vector3(0, 5, 2.01f));
    EXPECT_FALSE(PairFilterAccepts(*a, *d, CollideSettings()));
    EXPECT_FALSE(PairFilterAccepts(*d, *a, CollideSettings()));
    Collide(*a, *c, contacts);
    EXPECT_EQ(visits_.size(), 1u);

    // a deleted item still meets the land and rays, but nothing else
    FieldItemLand land;
    land.Initialize(Placement());
    FieldItemRay ray;
    ray.Initialize(Placement());
    c->MarkDeleted();
    EXPECT_FALSE(PairFilterAccepts(*a, *c, CollideSettings()));
    EXPECT_FALSE(PairFilterAccepts(*c, *a, CollideSettings()));
    EXPECT_TRUE(PairFilterAccepts(*c, land, CollideSettings()));
    EXPECT_TRUE(PairFilterAccepts(ray, *c, CollideSettings()));

    // a position that is not finite passes nothing
    auto lost = MakeSphere(L"lost", 0.985f, Vector3(0, 5, 0));
    lost->Transform()._41 = std::numeric_limits<float>::quiet_NaN();
    lost->UpdateWorld(nullptr, nullptr);
    EXPECT_FALSE(PairFilterAccepts(*a, *lost, CollideSettings()));
    lost->Transform()._41 = std::numeric_limits<float>::infinity();
    lost->UpdateWorld(nullptr, nullptr);
    EXPECT_FALSE(PairFilterAccepts(*lost, *a, CollideSettings()));
}

TEST_F(RegistryTest, SingleMemberCompositeCollidesAsItsMember) {
    FieldItemLand land;
    land.Initialize(Placement());
    auto plain = MakeSphere(L"ball", 0.2f, Vector3(0.3f, 0.21f, -0.4f));
    std::vector<Contact> direct;
    Collide(*plain, land, direct);
    ASSERT_EQ(direct.size(), 1u);

    // one sphere wrapped twice
    std::vector<std::unique_ptr<FieldItem>> parts;
    parts.push_back(MakeSphere(L"ball", 0.2f, Vector3()));
    std::vector<std::unique_ptr<FieldItem>> outerParts;
    outerParts.push_back(MakeComposite(L"inner", std::move(parts), Vector3()));
    auto outer = MakeComposite(L"outer", std::move(outerParts), Vector3(0.3f, 0.21f, -0.4f));
    // the inner composite was placed before the outer one took it over
    outer->UpdateWorld(nullptr, nullptr);

    for (bool landFirst : {false, true}) {
        std::vector<Contact> wrapped;
        std::vector<Contact> expected;
        if (landFirst) {
            Collide(land, *outer, wrapped);
            Collide(land, *plain, expected);
        } else {
            Collide(*outer, land, wrapped);
            expected = direct;
        }
        ASSERT_EQ(wrapped.size(), 1u);
        EXPECT_NEAR(wrapped[0].distance, expected[0].distance, 1e-6);
        EXPECT_VECTOR_NEAR(wrapped[0].point, expected[0].point, 1e-6f);
        EXPECT_VECTOR_NEAR(wrapped[0].normal, expected[0].normal, 0.0f);
    }
}

TEST_F(RegistryTest, TwoCompositesVisitEveryMemberPairThreeTimesInOrder) {
    auto build = [](const std::wstring& name, const std::wstring& left, const std::wstring& right, float y) {
        std::vector<std::unique_ptr<FieldItem>> parts;
        parts.push_back(MakeSphere(left, 0.1f, Vector3(-0.05f, 0, 0)));
        parts.push_back(MakeSphere(right, 0.1f, Vector3(0.05f, 0, 0)));
        return MakeComposite(name, std::move(parts), Vector3(0, y, 0));
    };
    auto first = build(L"A", L"a1", L"a2", 1.0f);
    auto second = build(L"B", L"b1", L"b2", 1.2f);

    // with the real detector: each of the four touching pairs three times
    std::vector<Contact> contacts;
    Collide(*first, *second, contacts);
    EXPECT_EQ(contacts.size(), 12u);
    for (const Contact& contact : contacts) {
        EXPECT_LT(contact.normal.y, 0.0f); // from B above towards A below
    }

    // the order of the visits
    Register(CollisionRegistry::Instance(), {L"sphere", L"sphere"},
             std::make_unique<RecordingDetector>(&visits_, nullptr));
    contacts.clear();
    Collide(*first, *second, contacts);
    using Visit = std::pair<std::wstring, std::wstring>;
    const std::vector<Visit> expected = {
        {L"a1", L"b1"}, {L"a2", L"b1"}, {L"a1", L"b2"}, {L"a2", L"b2"}, // the first against each member
        {L"a1", L"b1"}, {L"a1", L"b2"}, {L"a1", L"b1"}, {L"a1", L"b2"}, // a1 against the second, twice
        {L"a2", L"b1"}, {L"a2", L"b2"}, {L"a2", L"b1"}, {L"a2", L"b2"}, // a2 likewise
    };
    EXPECT_EQ(visits_, expected);
}

TEST_F(RegistryTest, EveryRegisteredPairAgreesInBothOrdersWithTheNormalFromSecondToFirst) {
    // random poses of every pair of solid shapes around contact: (a, b) and (b, a) give the
    // same contacts with opposite normals
    std::mt19937 random(11);
    std::uniform_real_distribution<float> unit(-1.0f, 1.0f);
    auto make = [&](ShapeKind kind, const Vector3& position) -> std::unique_ptr<FieldItem> {
        Placement placement;
        placement.position = position;
        placement.angle = Vector3(unit(random) * 3.0f, unit(random) * 3.0f, unit(random) * 3.0f);
        switch (kind) {
        case ShapeKind::kSphere: {
            auto sphere = std::make_unique<FieldItemSphere>();
            FieldItemSphere::Record record;
            static_cast<Placement&>(record) = placement;
            record.r = 0.15 + 0.05 * unit(random);
            sphere->Initialize(record);
            return sphere;
        }
        case ShapeKind::kBox: {
            auto box = std::make_unique<FieldItemBox>();
            FieldItemBox::Record record;
            static_cast<Placement&>(record) = placement;
            record.sizeX = 0.3 + 0.1 * unit(random);
            record.sizeY = 0.2 + 0.1 * unit(random);
            record.sizeZ = 0.25 + 0.1 * unit(random);
            box->Initialize(record);
            return box;
        }
        case ShapeKind::kDisk: {
            auto disk = std::make_unique<FieldItemDisk>();
            FieldItemDisk::Record record;
            static_cast<Placement&>(record) = placement;
            record.r = 0.2 + 0.05 * unit(random);
            record.height = 0.08;
            disk->Initialize(record);
            return disk;
        }
        case ShapeKind::kTorus: {
            auto torus = std::make_unique<FieldItemTorus>();
            FieldItemTorus::Record record;
            static_cast<Placement&>(record) = placement;
            record.r = 0.2 + 0.05 * unit(random);
            torus->Initialize(record);
            return torus;
        }
        default: {
            auto land = std::make_unique<FieldItemLand>();
            land->Initialize(Placement());
            return land;
        }
        }
    };

    const ShapeKind kinds[] = {ShapeKind::kSphere, ShapeKind::kBox, ShapeKind::kDisk, ShapeKind::kTorus,
                               ShapeKind::kLand};
    for (ShapeKind firstKind : kinds) {
        for (ShapeKind secondKind : kinds) {
            if (firstKind == ShapeKind::kLand || FindDetector(firstKind, secondKind) == nullptr) {
                continue;
            }
            int touching = 0;
            for (int trial = 0; trial < 1500; ++trial) {
                const Vector3 secondPosition(0.0f, 0.5f, 0.0f);
                auto second = make(secondKind, secondPosition);
                const Vector3 offset =
                    secondKind == ShapeKind::kLand
                        ? Vector3(unit(random), 0.25f * (unit(random) + 1.0f) - 0.5f, unit(random))
                        : Vector3(unit(random), unit(random), unit(random)) * 0.5f;
                auto first = make(firstKind, secondPosition + offset);

                std::vector<Contact> forward;
                std::vector<Contact> backward;
                Collide(*first, *second, forward);
                Collide(*second, *first, backward);
                const std::wstring pair = ShapeKindName(firstKind) + L"-" + ShapeKindName(secondKind);
                ASSERT_EQ(forward.size(), backward.size()) << std::string(pair.begin(), pair.end());
                touching += forward.empty() ? 0 : 1;

                // a mixed pair: the same contacts in the same order, the normals turned round
                if (firstKind != secondKind) {
                    for (std::size_t i = 0; i < forward.size(); ++i) {
                        EXPECT_EQ(backward[i].distance, forward[i].distance);
                        EXPECT_EQ(backward[i].point, forward[i].point);
                        EXPECT_EQ(backward[i].normal, -forward[i].normal);
                    }
                }
                // any pair: match each contact with one of the other order: the same separation,
                // opposite normals, and points close together (a detector of two like shapes may
                // put the point on the surface of either, and the iterative ones converge to
                // within their own accuracy)
                std::vector<bool> used(backward.size(), false);
                for (const Contact& contact : forward) {
                    bool matched = false;
                    for (std::size_t i = 0; i < backward.size() && !matched; ++i) {
                        if (!used[i] && std::fabs(backward[i].distance - contact.distance) < 1e-4 &&
                            Length(backward[i].point - contact.point) <= std::fabs(contact.distance) + 0.03 &&
                            Dot(backward[i].normal, contact.normal) < -0.99f) {
                            used[i] = matched = true;
                        }
                    }
                    EXPECT_TRUE(matched)
                        << std::string(pair.begin(), pair.end()) << " distance " << contact.distance;
                    EXPECT_NEAR(Length(contact.normal), 1.0f, 1e-4f);
                }
                // against the land the normal is the vertical, pointing at the first
                if (secondKind == ShapeKind::kLand) {
                    for (const Contact& contact : forward) {
                        EXPECT_VECTOR_NEAR(contact.normal, Vector3(0.0f, 1.0f, 0.0f), 1e-6f);
                    }
                }
            }
            EXPECT_GT(touching, 10) << static_cast<int>(firstKind) << "," << static_cast<int>(secondKind);
        }
    }
}

TEST_F(RegistryTest, CollideFromSeveralThreadsGivesTheSingleThreadResult) {
    // the registry is only read while workers collide: every thread sees the same contacts
    FieldItemLand land;
    land.Initialize(Placement());
    std::vector<std::unique_ptr<FieldItemSphere>> spheres;
    for (int i = 0; i < 100; ++i) {
        spheres.push_back(MakeSphere(L"s", 0.1f, Vector3(0.19f * (i % 10), 0.11f, 0.19f * (i / 10))));
    }
    auto collideAll = [&](std::vector<Contact>& contacts) {
        for (std::size_t i = 0; i < spheres.size(); ++i) {
            Collide(*spheres[i], land, contacts);
            for (std::size_t j = i + 1; j < spheres.size(); ++j) {
                Collide(*spheres[i], *spheres[j], contacts);
            }
        }
    };
    std::vector<Contact> expected;
    collideAll(expected);
    ASSERT_GT(expected.size(), 100u);

    std::vector<std::vector<Contact>> results(4);
    std::vector<std::thread> threads;
    for (auto& result : results) {
        threads.emplace_back([&collideAll, &result] {
            for (int round = 0; round < 20; ++round) {
                result.clear();
                collideAll(result);
            }
        });
    }
    for (auto& thread : threads) {
        thread.join();
    }
    for (const auto& result : results) {
        ASSERT_EQ(result.size(), expected.size());
        for (std::size_t i = 0; i < result.size(); ++i) {
            EXPECT_EQ(result[i].distance, expected[i].distance);
            EXPECT_EQ(result[i].point, expected[i].point);
            EXPECT_EQ(result[i].normal, expected[i].normal);
        }
    }
}
