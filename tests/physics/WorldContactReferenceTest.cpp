#include <gtest/gtest.h>

#include <cmath>
#include <map>
#include <random>
#include <set>
#include <vector>

#include "collision/Collide.h"
#include "physics/BroadPhaseGrid.h"
#include "physics/FieldItemComposite.h"
#include "physics/support/WorldTestSupport.h"

namespace {

/// The contact phase written out the plain way, with the ordered containers: a map of grid
/// cells, a set of taken pairs, the dispatch for every pair, a map of contact lists per
/// first item (in member order) and a map of results per item, the drag and spin damping added straight to
/// the accumulators as each contact is applied, and the results merged at the end.
void ReferenceContactPhase(FieldItemWorld& world) {
    const WorldSettings& settings = world.StepSettings();
    const double tolerance = settings.contactTolerance;
    const double stiffness = settings.contactStiffness;
    const double restitution = settings.restitution;
    const double staticFriction = settings.staticFriction;
    const double friction = settings.friction;
    const double dragDivisor = settings.dragDivisor;

    // the grid
    std::map<std::int32_t, std::vector<FieldItem*>> grid;
    std::vector<FieldItem*> everywhere;
    for (auto& [name, member] : world.Members()) {
        if (name == L"sky" || name == L"land" || name == L"localplayer") {
            continue;
        }
        const Vector3 p = member->WorldPosition();
        const Vector3 e = member->BoundingExtent();
        if (!std::isfinite(p.x) || !std::isfinite(p.y) || !std::isfinite(p.z)) {
            continue;
        }
        int ix0, ix1, iz0, iz1;
        world.CellRange(p.x - e.x - tolerance, p.x + e.x + tolerance, p.z - e.z - tolerance,
                        p.z + e.z + tolerance, ix0, ix1, iz0, iz1);
        if ((static_cast<double>(ix1) - ix0 + 1) * (static_cast<double>(iz1) - iz0 + 1) >
            BroadPhaseGrid::kMaximumCellsPerItem) {
            everywhere.push_back(member.get());
            world.CellRange(p.x, p.x, p.z, p.z, ix0, ix1, iz0, iz1);
            grid[BroadPhaseGrid::CellKey(ix0, iz0)];
            continue;
        }
        for (int ix = ix0; ix <= ix1; ++ix) {
            for (int iz = iz0; iz <= iz1; ++iz) {
                grid[BroadPhaseGrid::CellKey(ix, iz)].push_back(member.get());
            }
        }
    }
    FieldItem* land = world.Find(L"land");
    for (auto& [key, list] : grid) {
        list.insert(list.end(), everywhere.begin(), everywhere.end());
        if (land != nullptr) {
            list.push_back(land);
        }
    }

    // pairs, detection and kinematics
    std::set<std::pair<FieldItem*, FieldItem*>> taken;
    std::map<FieldItem*, std::size_t> memberIndex;
    for (auto& [name, member] : world.Members()) {
        memberIndex.emplace(member.get(), memberIndex.size());
    }
    std::map<std::size_t, std::pair<FieldItem*, std::vector<Contact>>> contactsByFirst;
    for (auto& [key, list] : grid) {
        for (std::size_t i = 0; i < list.size(); ++i) {
            for (std::size_t j = i; j < list.size(); ++j) {
                if (!taken.insert({list[i], list[j]}).second) {
                    continue;
                }
                FieldItem* a = list[i];
                FieldItem* b = list[j];
                if (a == b) {
                    continue;
                }
                if (a->TypeName() == L"land" || b->TypeName() == L"land") {
                    FieldItem* other = a->TypeName() == L"land" ? b : a;
                    if (other->WorldPosition().y > other->BoundingExtent().y + tolerance ||
                        other->IsFixed()) {
                        continue;
                    }
                }
                if ((a->IsFixed() && b->IsFixed()) || a->IsDeleted() || b->IsDeleted()) {
                    continue;
                }
                std::vector<Contact> detected;
                Collide(*a, *b, CollideSettings{tolerance}, detected);
                for (Contact& c : detected) {
                    Vector3 speeds[2];
                    FieldItem* items[2] = {a, b};
                    for (int k = 0; k < 2; ++k) {
                        Vector3 r = c.point - items[k]->WorldPosition();
                        items[k]->ToLocal(r);
                        Vector3 s = Cross(items[k]->AngularVelocity(), r);
                        items[k]->ToWorld(s);
                        speeds[k] = items[k]->Velocity() + s;
                    }
                    const Vector3 w = speeds[0] - speeds[1];
                    c.normal_speed = Dot(c.normal, w);
                    const Vector3 wt = Cross(Cross(c.normal, w), c.normal);
                    c.tangent = Normalize(-wt);
                    c.sliding_speed = -Dot(c.tangent, w);
                    c.other = b;
                    auto& [first, contacts] = contactsByFirst[memberIndex.at(a)];
                    first = a;
                    contacts.push_back(c);
                }
            }
        }
    }

    // forces
    std::map<FieldItem*, std::pair<Vector3, Vector3>> results;
    auto accumulate = [&](FieldItem* item, const Vector3& point, const Vector3& force) {
        auto& entry = results[item];
        entry.first += force;
        Vector3 torque = Cross(point - item->WorldPosition(), force);
        item->ToLocal(torque);
        entry.second += torque;
    };
    for (auto& [index, firstContacts] : contactsByFirst) {
        FieldItem* a = firstContacts.first;
        for (const Contact& c : firstContacts.second) {
            FieldItem* b = c.other;
            const double d = c.distance;
            if (a->Name() != L"land" && b->Name() != L"land" && d * d > tolerance * tolerance) {
                continue;
            }
            const double k = stiffness - d * stiffness / tolerance;
            if (k <= 0.0) {
                continue;
            }
            accumulate(a, c.point, c.normal * static_cast<float>(k));
            accumulate(b, c.point, c.normal * static_cast<float>(-k));
            if (c.normal_speed > 0.0) {
                const double h = (1.0 - restitution) * k;
                accumulate(a, c.point, c.normal * static_cast<float>(-h));
                accumulate(b, c.point, c.normal * static_cast<float>(h));
            }
            double f;
            if (c.sliding_speed <= 0.1) {
                f = std::min(std::fabs(static_cast<double>(Dot(a->Force(), c.tangent))), staticFriction * k) +
                    friction * c.sliding_speed * k;
            } else {
                f = friction * k;
            }
            const Vector3 frictionForce = c.tangent * static_cast<float>(-f);
            // the drag, whose part along the surface fades with the square of a slow speed along it
            Vector3 dragA, dragB;
            if (a->BoundingRadius() > 0.0) {
                dragA = Normalize(b->Velocity() - a->Velocity()) *
                        static_cast<float>(friction / dragDivisor * k / a->BoundingRadius());
            }
            if (b->BoundingRadius() > 0.0) {
                dragB = Normalize(a->Velocity() - b->Velocity()) *
                        static_cast<float>(friction / dragDivisor * k / b->BoundingRadius());
            }
            const Vector3 relative = b->Velocity() - a->Velocity();
            const double along = Length(relative - c.normal * Dot(c.normal, relative));
            if (along < FieldItemWorld::kDragFadeSpeed) {
                const float fade = static_cast<float>((along / FieldItemWorld::kDragFadeSpeed) *
                                                      (along / FieldItemWorld::kDragFadeSpeed));
                for (Vector3* drag : {&dragA, &dragB}) {
                    const Vector3 normalPart = c.normal * Dot(c.normal, *drag);
                    *drag = normalPart + (*drag - normalPart) * fade;
                }
            }
            a->Force() += dragA;
            b->Force() += dragB;
            Vector3 na = c.normal;
            a->ToLocal(na);
            a->Torque() += Normalize(na * -Dot(na, a->AngularVelocity())) *
                           static_cast<float>(friction * a->BoundingRadius() * 0.05 * k);
            Vector3 nb = c.normal;
            b->ToLocal(nb);
            b->Torque() += Normalize(nb * -Dot(nb, b->AngularVelocity())) *
                           static_cast<float>(friction * b->BoundingRadius() * 0.3 * k);
            accumulate(a, c.point, -frictionForce);
            accumulate(b, c.point, frictionForce);
        }
    }

    // merge
    for (auto& [item, entry] : results) {
        item->Force() += entry.first;
        item->Torque() += entry.second;
    }
}

struct Accumulators {
    std::vector<Vector3> forces;
    std::vector<Vector3> torques;
    bool operator==(const Accumulators&) const = default;
};

Accumulators Save(FieldItemWorld& world) {
    Accumulators saved;
    for (auto& [name, member] : world.Members()) {
        saved.forces.push_back(member->Force());
        saved.torques.push_back(member->Torque());
    }
    return saved;
}

void Restore(FieldItemWorld& world, const Accumulators& saved) {
    std::size_t i = 0;
    for (auto& [name, member] : world.Members()) {
        member->Force() = saved.forces[i];
        member->Torque() = saved.torques[i];
        ++i;
    }
}

/// A random heap of spheres, boxes and two-sphere composites, some straddling cell borders.
void BuildHeap(FieldItemWorld& world, unsigned seed) {
    std::mt19937 random(seed);
    std::uniform_real_distribution<float> place(-1.3f, 1.3f);
    std::uniform_real_distribution<float> unit(0.0f, 1.0f);
    for (int i = 0; i < 70; ++i) {
        const Vector3 position(place(random), 0.1f + 1.2f * unit(random), place(random));
        const std::wstring name = L"item" + std::to_wstring(i);
        if (i % 7 == 3) {
            world.AddItem(name, MakeBox(position,
                                        Vector3(0.1f + 0.3f * unit(random), 0.1f + 0.2f * unit(random),
                                                0.1f + 0.3f * unit(random)),
                                        600.0 + 800.0 * unit(random),
                                        Vector3(unit(random), unit(random), unit(random))));
        } else if (i % 11 == 5) {
            auto composite = std::make_unique<FieldItemComposite>(L"dumbbell");
            composite->AddItem(L"left", MakeSphere(Vector3(-0.08f, 0.0f, 0.0f), 0.06));
            composite->AddItem(L"right", MakeSphere(Vector3(0.08f, 0.0f, 0.0f), 0.06));
            Placement placement;
            placement.position = position;
            placement.angle = Vector3(0.0f, unit(random), 0.0f);
            composite->Initialize(placement);
            world.AddItem(name, std::move(composite));
        } else {
            world.AddItem(name, MakeSphere(position, 0.05 + 0.1 * unit(random), 800.0 + 800.0 * unit(random),
                                           Vector3(unit(random) - 0.5f, 0.0f, unit(random) - 0.5f)));
        }
    }
    world.CommitPending();
    world.UpdateWorld(nullptr, nullptr);
}

} // namespace

TEST_F(WorldTest, ContactPhaseEqualsTheOrderedContainersBitForBit) {
    for (int workers : {1, 2, 3}) {
        auto world = MakeWorld(workers);
        BuildHeap(*world, 11u + static_cast<unsigned>(workers));
        int contactsSeen = 0;
        for (int step = 0; step < 400; ++step) {
            if (step % 20 == 0) {
                // the same phase both ways from the same accumulators
                const Accumulators before = Save(*world);
                world->DetectCollisions();
                const Accumulators fast = Save(*world);
                Restore(*world, before);
                ReferenceContactPhase(*world);
                const Accumulators reference = Save(*world);
                ASSERT_EQ(fast.forces.size(), reference.forces.size());
                for (std::size_t i = 0; i < fast.forces.size(); ++i) {
                    ASSERT_EQ(fast.forces[i], reference.forces[i])
                        << "workers " << workers << " step " << step << " member " << i;
                    ASSERT_EQ(fast.torques[i], reference.torques[i])
                        << "workers " << workers << " step " << step << " member " << i;
                    contactsSeen += fast.forces[i] == before.forces[i] ? 0 : 1;
                }
                Restore(*world, fast);
                world->Control(nullptr);
                world->Integrate(nullptr);
                world->UpdateWorld(nullptr, nullptr);
            } else {
                Step(*world);
            }
            if (step % 97 == 50) {
                // the member set changes between ticks
                world->Remove(L"item" + std::to_wstring(step % 70));
                world->CommitPending();
                world->PurgeDeleted();
                world->UpdateWorld(nullptr, nullptr);
            }
        }
        EXPECT_GT(contactsSeen, 100) << "workers " << workers;
    }
}
