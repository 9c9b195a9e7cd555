#include "physics/FieldItemWorld.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <functional>
#include <numeric>

#include "collision/Collide.h"
#include "collision/CollisionDetect.h"
#include "common/LogWriter.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemSky.h"
#include "physics/ImpactListener.h"
#include "physics/PlayerLocal.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldWorkers.h"

namespace {

/// Items per record of the integration and refresh work: small records let the calling thread
/// and the workers share the work out evenly whichever of them comes first.
constexpr std::size_t kChunk = 128;

const std::wstring kLandName = L"land";
const std::wstring kSkyName = L"sky";
const std::wstring kPlayerName = L"localplayer";

} // namespace

bool FieldItemWorld::IsBuiltInName(const std::wstring& name) {
    return name == kLandName || name == kSkyName || name == kPlayerName;
}

FieldItemWorld::FieldItemWorld(ViewWindow* viewWindow)
    : FieldItemWorld(viewWindow, WorldWorkers::ProcessorCount()) {}

FieldItemWorld::FieldItemWorld(ViewWindow* viewWindow, int workerCount)
    : FieldItemComposite(L"world"), viewWindow_(viewWindow) {
    StartWorkers(workerCount);
}

FieldItemWorld::~FieldItemWorld() {
    // the workers end before the members they work on are destroyed
    workers_.reset();
}

void FieldItemWorld::StartWorkers(int workerCount) {
    // with one processor there are no workers: every phase runs on the calling thread
    workerCount_ = std::max(workerCount, 1);
    contactWork_.resize(workerCount_);
    integrationWork_.resize(workerCount_);
    if (workerCount_ >= 2) {
        // the calling thread runs records too, so one thread fewer keeps one per processor
        workers_ = std::make_unique<WorldWorkers>(workerCount_ - 1,
                                                  [this](int code, int index) { RunWorker(code, index); });
    }
}

void FieldItemWorld::SetWorkerCount(int workerCount) {
    workers_.reset();
    StartWorkers(workerCount);
}

void FieldItemWorld::RunWorker(int code, int index) {
    if (code == WorldWorkers::kCollide) {
        DetectContacts(contactWork_[index]);
    } else if (code == WorldWorkers::kRefresh) {
        const std::size_t end = std::min(memberInfo_.size(), (static_cast<std::size_t>(index) + 1) * kChunk);
        for (std::size_t i = static_cast<std::size_t>(index) * kChunk; i < end; ++i) {
            memberInfo_[i].item->UpdateWorld(refreshTransform_, refreshOrientation_);
            CaptureBounds(i);
        }
    } else if (code == WorldWorkers::kIntegrate) {
        for (FieldItem* item : integrationWork_[index].items) {
            item->Integrate(input_);
        }
    }
}

void FieldItemWorld::Initialize(const Placement& record) {
    const SimulationParameters& parameters = SimulationParameters::Instance();

    // the viewer at its start placement
    auto player = std::make_unique<PlayerLocal>(viewWindow_);
    PlayerLocal* playerItem = player.get();
    AddItem(kPlayerName, std::move(player));
    Placement start;
    start.position = parameters.playerStartPosition;
    start.angle = parameters.playerStartAngle;
    playerItem->Initialize(start);

    auto sky = std::make_unique<FieldItemSky>();
    FieldItemSky* skyItem = sky.get();
    AddItem(kSkyName, std::move(sky));
    skyItem->Initialize(record);

    // the land with one tile of its texture
    D3DTexture* texture = D3DObjectManager::Instance().CreateTexture(L"data\\land.png");
    auto land = std::make_unique<FieldItemLand>();
    FieldItemLand* landItem = land.get();
    AddItem(kLandName, std::move(land));
    FieldItemLand::Record landRecord;
    landRecord.tileSize = 4;
    landRecord.tileMap = std::make_unique<FieldItemLand::Land>();
    landRecord.tileMap->SetTile(0, 0, texture);
    landItem->Initialize(landRecord);
}

void FieldItemWorld::AddItem(const std::wstring& name, std::unique_ptr<FieldItem> item) {
    assert(item != nullptr);
    if (item == nullptr) {
        return;
    }

    // rise until the bounds clear every member but the land, the sky and the player, by a
    // step for each member met; the lift is bounded, so that neither an item that meets
    // everything nor one so high that a millimetre no longer changes its height can keep the
    // loop going
    FindLiftCandidates(*item, liftCandidates_);
    for (int lifts = 0; lifts < kMaximumLiftSteps && !liftCandidates_.empty();) {
        item->UpdateWorld(nullptr, nullptr);
        const int met = MeetLiftCandidates(*item, liftCandidates_, false);
        bool moved = false;
        for (int i = 0; i < met; ++i) {
            float& height = item->Transform()._42;
            const float raised = height + kLiftStep;
            moved = moved || raised != height;
            height = raised;
        }
        lifts += met;
        if (met == 0 || !moved) {
            break;
        }
    }
    item->UpdateWorld(nullptr, nullptr);
    FieldItemComposite::AddItem(name, std::move(item));
}

namespace {

bool MeetsEverything(ShapeKind kind) {
    return kind == ShapeKind::kLand || kind == ShapeKind::kRay;
}

} // namespace

void FieldItemWorld::FindLiftCandidates(FieldItem& item, std::vector<LiftCandidate>& candidates) {
    const double tolerance = settings_.contactTolerance;
    const float widening = static_cast<float>(tolerance);
    item.UpdateWorld(nullptr, nullptr);
    const ShapeKind itemKind = ShapeKindOf(item);
    const Vector3 itemPosition = item.WorldPosition();
    const Vector3 itemExtent = item.BoundingExtent();
    const double itemRadius = item.BoundingRadius();

    // a lift moves the item along y alone, so a member whose bounds miss it in x or z, or whose
    // centre lies out of reach even level with it, is never met (the filter's own sums with a
    // zero height offset, which a height offset can only make larger)
    RefreshMembers();
    candidates.clear();
    for (const MemberInfo& info : memberInfo_) {
        if (info.builtIn) {
            continue;
        }
        FieldItem& member = *info.item;
        if (!MeetsEverything(info.kind) && !MeetsEverything(itemKind)) {
            const Vector3 offset = member.WorldPosition() - itemPosition;
            const Vector3 level(offset.x, 0.0f, offset.z);
            const Vector3& extent = member.BoundingExtent();
            const float limitX = extent.x + itemExtent.x + widening;
            const float limitZ = extent.z + itemExtent.z + widening;
            if (!(-limitX <= offset.x && offset.x <= limitX && -limitZ <= offset.z && offset.z <= limitZ) ||
                !BoundingSpheresOverlap(level, member.BoundingRadius(), itemRadius, tolerance) ||
                member.IsDeleted() || item.IsDeleted()) {
                continue;
            }
        }
        candidates.push_back({&member, info.kind, itemKind});
    }
}

int FieldItemWorld::MeetLiftCandidates(const FieldItem& item, std::vector<LiftCandidate>& candidates,
                                       bool firstOnly) const {
    const CollideSettings collide{settings_.contactTolerance};
    const float widening = static_cast<float>(settings_.contactTolerance);
    int met = 0;
    std::size_t kept = 0;
    for (std::size_t i = 0; i < candidates.size(); ++i) {
        const LiftCandidate candidate = candidates[i];
        const FieldItem& member = *candidate.member;
        candidates[kept++] = candidate;
        if (PairFilterAccepts(member, candidate.memberKind, item, candidate.itemKind, collide)) {
            ++met;
            if (firstOnly) {
                // the rest stay as they are
                for (std::size_t rest = i + 1; rest < candidates.size(); ++rest) {
                    candidates[kept++] = candidates[rest];
                }
                break;
            }
            continue;
        }
        // a member the item has risen past for good drops out: the height offset only falls
        const float limitY = member.BoundingExtent().y + item.BoundingExtent().y + widening;
        if (!MeetsEverything(candidate.memberKind) && !MeetsEverything(candidate.itemKind) &&
            member.WorldPosition().y - item.WorldPosition().y < -limitY) {
            --kept;
        }
    }
    candidates.resize(kept);
    return met;
}

void FieldItemWorld::CommitPending() {
    FieldItemComposite::CommitPending();
    // the tables and the grid are rebuilt only when a member or a part came or went
    membersChanged_ = membersChanged_ || MemberChanges() != tableChanges_;
}

void FieldItemWorld::PurgeDeleted() {
    // the player holds the grabbed item without owning it
    if (auto* player = dynamic_cast<PlayerLocal*>(Find(kPlayerName))) {
        if (player->GrabbedItem() != nullptr && player->GrabbedItem()->IsDeleted()) {
            player->SetGrabbedItem(nullptr);
        }
    }
    FieldItemComposite::PurgeDeleted();
    membersChanged_ = membersChanged_ || MemberChanges() != tableChanges_;
}

void FieldItemWorld::RemoveUserItems() {
    for (auto& [name, member] : members_) {
        const std::wstring type = member->TypeName();
        if (type != L"sky" && type != L"land" && type != L"player") {
            member->MarkDeleted();
        }
    }
}

void FieldItemWorld::CellRange(double xmin, double xmax, double zmin, double zmax, int& ix0, int& ix1,
                               int& iz0, int& iz1) const {
    BroadPhaseGrid::CellRange(xmin, xmax, zmin, zmax, ix0, ix1, iz0, iz1);
}

void FieldItemWorld::RefreshMembers() {
    if (!membersChanged_) {
        return;
    }
    membersChanged_ = false;
    tableChanges_ = MemberChanges();

    memberInfo_.clear();
    land_ = -1;
    player_ = -1;
    for (auto& [name, member] : members_) {
        MemberInfo info;
        info.item = member.get();
        info.kind = ShapeKindOf(*member);
        info.composite = member->IsComposite();
        info.namedLand = name == kLandName;
        info.namedSky = name == kSkyName;
        info.namedPlayer = name == kPlayerName;
        info.builtIn = info.namedLand || info.namedSky || info.namedPlayer;
        info.typeLand = member->TypeName() == L"land";
        // a composite of one member stands for that member in collision
        info.inner = member.get();
        info.innerKind = info.kind;
        info.innerComposite = info.composite;
        while (info.innerComposite) {
            auto* group = dynamic_cast<FieldItemComposite*>(info.inner);
            assert(group != nullptr);
            const MemberMap& parts = group->Members();
            if (parts.size() != 1 || !parts.begin()->second) {
                break;
            }
            info.inner = parts.begin()->second.get();
            info.innerKind = ShapeKindOf(*info.inner);
            info.innerComposite = info.inner->IsComposite();
        }
        info.wrapped = info.inner != member.get();
        info.bounded = !info.innerComposite && info.innerKind != ShapeKind::kOther &&
                       info.innerKind != ShapeKind::kLand && info.innerKind != ShapeKind::kRay;
        info.impact = &impacts_[name];
        if (info.namedLand) {
            land_ = static_cast<int>(memberInfo_.size());
        }
        if (info.namedPlayer) {
            player_ = static_cast<int>(memberInfo_.size());
        }
        memberInfo_.push_back(info);
    }
    // the impact state of items that left the world goes with them (added items get new names)
    std::erase_if(impacts_, [&](const auto& entry) { return members_.find(entry.first) == members_.end(); });

    accumulators_.assign(memberInfo_.size(), Accumulator());
    stamp_ = 0;
    bodies_.assign(memberInfo_.size(), BroadPhaseGrid::Body());
    filters_.assign(memberInfo_.size(), FilterBounds());
    orientations_.assign(memberInfo_.size(), Matrix3());
    grid_.Invalidate();
    gridStale_ = true;
}

void FieldItemWorld::UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation) {
    const StepTiming::PhaseClock clock(lastTiming_.refresh, totalTiming_.refresh);
    RefreshMembers();
    // each member's placement depends on itself alone, so large worlds share the work out
    if (workers_ && memberInfo_.size() >= kParallelMinimum) {
        refreshTransform_ = parentTransform;
        refreshOrientation_ = parentOrientation;
        workers_->Run(WorldWorkers::kRefresh, static_cast<int>((memberInfo_.size() + kChunk - 1) / kChunk));
    } else {
        for (std::size_t i = 0; i < memberInfo_.size(); ++i) {
            memberInfo_[i].item->UpdateWorld(parentTransform, parentOrientation);
            CaptureBounds(i);
        }
    }
    grid_.Refresh(bodies_, land_, settings_.contactTolerance);
    gridStale_ = false;
}

void FieldItemWorld::CaptureBounds(std::size_t member) {
    const MemberInfo& info = memberInfo_[member];
    BroadPhaseGrid::Body& body = bodies_[member];
    body.takesPart = !info.builtIn;
    body.position = info.item->WorldPosition();
    body.extent = info.item->BoundingExtent();
    const FieldItem& inner = *info.inner;
    filters_[member] = {inner.WorldPosition(), inner.BoundingExtent(), inner.BoundingRadius()};
    orientations_[member] = info.item->WorldRotation();
}

void FieldItemWorld::RefreshGrid() {
    for (std::size_t i = 0; i < memberInfo_.size(); ++i) {
        CaptureBounds(i);
    }
    grid_.Refresh(bodies_, land_, settings_.contactTolerance);
    gridStale_ = false;
}

void FieldItemWorld::DetectCollisions() {
    const StepTiming::PhaseClock clock(lastTiming_.contacts, totalTiming_.contacts);
    // a member set changed since the last refresh is entered into the grid first
    RefreshMembers();
    if (gridStale_) {
        RefreshGrid();
    }

    // the detectors of this phase
    for (int first = 0; first < kShapeKindCount; ++first) {
        for (int second = 0; second < kShapeKindCount; ++second) {
            detectors_[first][second] =
                FindDetector(static_cast<ShapeKind>(first), static_cast<ShapeKind>(second));
        }
    }

    // deal the pairs cyclically in pair order
    ++stamp_;
    for (ContactWork& work : contactWork_) {
        work.pairs.clear();
    }
    // pairs of two bounded primitives that the pair filter rejects are left out here, from
    // the bounds of the last refresh (the filter's own inputs); the rest go to the records
    const std::uint64_t records = static_cast<std::uint64_t>(workerCount_);
    const double tolerance = settings_.contactTolerance;
    grid_.ForEachPair([&](const BroadPhaseGrid::Pair& pair) {
        const MemberInfo& a = memberInfo_[pair.first];
        const MemberInfo& b = memberInfo_[pair.second];
        if (a.typeLand != b.typeLand) {
            // an item too high to touch the land is not tested against it (the contact work
            // makes the same test; most pairs with the land end here)
            const BroadPhaseGrid::Body& other = bodies_[a.typeLand ? pair.second : pair.first];
            if (static_cast<double>(other.position.y) > static_cast<double>(other.extent.y) + tolerance) {
                return;
            }
        }
        if (a.bounded && b.bounded) {
            const FilterBounds& first = filters_[pair.first];
            const FilterBounds& second = filters_[pair.second];
            const Vector3 offset = first.position - second.position;
            if (!BoundingBoxesOverlap(offset, first.extent, second.extent, tolerance) ||
                !BoundingSpheresOverlap(offset, first.radius, second.radius, tolerance)) {
                return;
            }
        }
        contactWork_[records == 1 ? 0 : pair.rank % records].pairs.push_back(pair);
    });

    std::size_t pairCount = 0;
    for (const ContactWork& work : contactWork_) {
        pairCount += work.pairs.size();
    }
    if (workers_ && pairCount >= kParallelMinimum) {
        workers_->Run(WorldWorkers::kCollide, static_cast<int>(contactWork_.size()));
    } else {
        for (ContactWork& work : contactWork_) {
            DetectContacts(work);
        }
    }
    SumContactForces();
    ListenForImpacts();
}

void FieldItemWorld::LastContacts(std::vector<Contact>& contacts) const {
    for (const ContactWork& work : contactWork_) {
        for (const PairContact& entry : work.contacts) {
            contacts.push_back(entry.contact);
        }
    }
}

void FieldItemWorld::FadeSlowDrag(PairContact& entry, const Vector3& relative) {
    // the drag stands for the rolling resistance of the contact's patch, which needs motion along the
    // surface to build up; a drag of full strength at any speed, however slow, would hold a body in a
    // balance that is unstable (a ring stood on its rim) as static friction would. Below a slow speed
    // along the surface its part along the surface fades with the square of that speed; its part along
    // the normal, which calms the bouncing of resting items, stays
    const Vector3& normal = entry.contact.normal;
    const Vector3 along = relative - normal * Dot(normal, relative);
    const double speed = Length(along);
    if (!(speed < kDragFadeSpeed) || (entry.firstDrag == Vector3() && entry.secondDrag == Vector3())) {
        return;
    }
    entry.slowDrag = true;
    const float fade = static_cast<float>((speed / kDragFadeSpeed) * (speed / kDragFadeSpeed));
    for (Vector3* drag : {&entry.firstDrag, &entry.secondDrag}) {
        const Vector3 normalPart = normal * Dot(normal, *drag);
        *drag = normalPart + (*drag - normalPart) * fade;
    }
}

double FieldItemWorld::ContactSpringEnergy() const {
    // a linear spring that pushes k at (tau - d) inside the point where it lets go holds k (tau - d) / 2
    double energy = 0.0;
    for (const ContactWork& work : contactWork_) {
        for (const PairContact& entry : work.contacts) {
            if (entry.active) {
                energy += 0.5 * entry.strength * (settings_.contactTolerance - entry.contact.distance);
            }
        }
    }
    return energy;
}

void FieldItemWorld::DetectContacts(ContactWork& work) {
    work.contacts.clear();
    const double tolerance = settings_.contactTolerance;
    const CollideSettings collide{tolerance};
    const double restitution = settings_.restitution;
    const double stiffness = settings_.contactStiffness;
    const double friction = settings_.friction;
    const double drag = settings_.friction / settings_.dragDivisor;

    for (const BroadPhaseGrid::Pair& pair : work.pairs) {
        const MemberInfo& a = memberInfo_[pair.first];
        const MemberInfo& b = memberInfo_[pair.second];
        FieldItem& first = *a.item;
        FieldItem& second = *b.item;
        if (&first == &second) {
            continue;
        }

        // an item too high to touch the land, or fixed, is not tested against it
        if (a.typeLand || b.typeLand) {
            FieldItem& other = a.typeLand ? second : first;
            if (static_cast<double>(other.WorldPosition().y) >
                    static_cast<double>(other.BoundingExtent().y) + tolerance ||
                other.IsFixed()) {
                continue;
            }
        }
        if ((first.IsFixed() && second.IsFixed()) || first.IsDeleted() || second.IsDeleted()) {
            continue;
        }

        // the items' world orientations turn vectors between world and body axes as ToLocal
        // and ToWorld do
        const Matrix3& firstOrientation = orientations_[pair.first];
        const Matrix3& secondOrientation = orientations_[pair.second];
        work.detected.clear();
        // detect: two primitives of known kinds, or composites of one such primitive, go straight to
        // their detector (the pair filter was applied when the pair was dealt, and a part marked
        // deleted passes nothing); everything else through the dispatch
        if (!a.innerComposite && !b.innerComposite && a.innerKind != ShapeKind::kOther &&
            b.innerKind != ShapeKind::kOther) {
            CollisionDetect* detector =
                detectors_[static_cast<int>(a.innerKind)][static_cast<int>(b.innerKind)];
            if (detector == nullptr ||
                (a.bounded && b.bounded &&
                 ((a.wrapped && a.inner->IsDeleted()) || (b.wrapped && b.inner->IsDeleted())))) {
                continue;
            }
            detector->Detect(*a.inner, *b.inner, collide, work.detected);
        } else {
            Collide(first, second, collide, work.detected);
        }

        for (std::uint32_t part = 0; part < work.detected.size(); ++part) {
            Contact& contact = work.detected[part];
            const Vector3& point = contact.point;
            const Vector3& normal = contact.normal;

            // contact kinematics: velocities of the two contact points
            Vector3 firstArm = point - first.WorldPosition();
            firstArm = Unrotate(firstOrientation, firstArm);
            Vector3 firstSpin = Cross(first.AngularVelocity(), firstArm);
            firstSpin = Rotate(firstOrientation, firstSpin);
            const Vector3 firstSpeed = first.Velocity() + firstSpin;
            Vector3 secondArm = point - second.WorldPosition();
            secondArm = Unrotate(secondOrientation, secondArm);
            Vector3 secondSpin = Cross(second.AngularVelocity(), secondArm);
            secondSpin = Rotate(secondOrientation, secondSpin);
            const Vector3 secondSpeed = second.Velocity() + secondSpin;

            const Vector3 relative = firstSpeed - secondSpeed;
            contact.normal_speed = Dot(normal, relative);
            const Vector3 sliding = Cross(Cross(normal, relative), normal);
            contact.tangent = Normalize(-sliding);
            contact.sliding_speed = -Dot(contact.tangent, relative);
            contact.other = &second;

            PairContact entry{};
            entry.contact = contact;
            entry.first = pair.first;
            entry.second = pair.second;
            entry.rank = pair.rank;
            entry.part = part;

            // deeper than the tolerance between two items: they pass through rather than explode
            const double distance = contact.distance;
            const double k = stiffness - distance * stiffness / tolerance;
            entry.active =
                (a.namedLand || b.namedLand || distance * distance <= tolerance * tolerance) && k > 0.0;
            entry.strength = k;
            if (entry.active) {
                // the spring grows linearly with penetration; while separating only e k pushes
                const Vector3 firstArm = point - first.WorldPosition();
                const Vector3 secondArm = point - second.WorldPosition();
                entry.spring = normal * static_cast<float>(k);
                entry.firstSpringTorque = Cross(firstArm, entry.spring);
                entry.firstSpringTorque = Unrotate(firstOrientation, entry.firstSpringTorque);
                entry.secondSpringTorque = Cross(secondArm, normal * static_cast<float>(-k));
                entry.secondSpringTorque = Unrotate(secondOrientation, entry.secondSpringTorque);
                entry.separating = contact.normal_speed > 0.0;
                if (entry.separating) {
                    const double h = (1.0 - restitution) * k;
                    entry.restitution = normal * static_cast<float>(-h);
                    entry.firstRestitutionTorque = Cross(firstArm, entry.restitution);
                    entry.firstRestitutionTorque = Unrotate(firstOrientation, entry.firstRestitutionTorque);
                    entry.secondRestitutionTorque = Cross(secondArm, normal * static_cast<float>(h));
                    entry.secondRestitutionTorque =
                        Unrotate(secondOrientation, entry.secondRestitutionTorque);
                }

                // drag towards the other item's velocity; an item without a radius has no drag
                const double firstRadius = first.BoundingRadius();
                const double secondRadius = second.BoundingRadius();
                if (firstRadius > 0.0) {
                    entry.firstDrag = Normalize(second.Velocity() - first.Velocity()) *
                                      static_cast<float>(drag * k / firstRadius);
                }
                if (secondRadius > 0.0) {
                    entry.secondDrag = Normalize(first.Velocity() - second.Velocity()) *
                                       static_cast<float>(drag * k / secondRadius);
                }
                FadeSlowDrag(entry, second.Velocity() - first.Velocity());
                // spin damping about the contact normal
                Vector3 firstNormal = normal;
                firstNormal = Unrotate(firstOrientation, firstNormal);
                entry.firstDamping = Normalize(firstNormal * -Dot(firstNormal, first.AngularVelocity())) *
                                     static_cast<float>(friction * firstRadius * 0.05 * k);
                Vector3 secondNormal = normal;
                secondNormal = Unrotate(secondOrientation, secondNormal);
                entry.secondDamping = Normalize(secondNormal * -Dot(secondNormal, second.AngularVelocity())) *
                                      static_cast<float>(friction * secondRadius * 0.3 * k);
            }
            work.contacts.push_back(entry);
        }
    }

    // the contacts grouped by first item in member order, each group in detection order
    const std::size_t memberCount = memberInfo_.size();
    work.counts.assign(memberCount + 1, 0);
    for (const PairContact& contact : work.contacts) {
        ++work.counts[contact.first + 1];
    }
    for (std::size_t i = 1; i <= memberCount; ++i) {
        work.counts[i] += work.counts[i - 1];
    }
    work.order.resize(work.contacts.size());
    for (std::uint32_t i = 0; i < work.contacts.size(); ++i) {
        work.order[work.counts[work.contacts[i].first]++] = i;
    }
}

double FieldItemWorld::InverseMassAlong(std::uint32_t member, const Vector3& point,
                                        const Vector3& direction) const {
    const MemberInfo& info = memberInfo_[member];
    FieldItem& item = *info.item;
    const double mass = item.Mass();
    if (info.typeLand || item.IsFixed() || !(mass > 0.0)) {
        return 0.0;
    }
    // a unit force along the direction at the point: 1/m of it moves the centre, the torque
    // (body axes) turns the item, each adding to the point's speed along the direction
    const Vector3 arm = Unrotate(orientations_[member], Cross(point - item.WorldPosition(), direction));
    const Matrix4& inverse = item.InverseInertia();
    const double turn = arm.x * (inverse._11 * arm.x + inverse._12 * arm.y + inverse._13 * arm.z) +
                        arm.y * (inverse._21 * arm.x + inverse._22 * arm.y + inverse._23 * arm.z) +
                        arm.z * (inverse._31 * arm.x + inverse._32 * arm.y + inverse._33 * arm.z);
    return 1.0 / mass + std::max(turn, 0.0);
}

void FieldItemWorld::OrderContacts() {
    // merge the records' contacts: by the first item's member index, then by pair order, then
    // by detection order
    ordered_.clear();
    heads_.assign(contactWork_.size(), 0);
    for (;;) {
        int next = -1;
        PairContact* best = nullptr;
        for (std::size_t record = 0; record < contactWork_.size(); ++record) {
            ContactWork& work = contactWork_[record];
            if (heads_[record] >= work.order.size()) {
                continue;
            }
            PairContact& candidate = work.contacts[work.order[heads_[record]]];
            if (best != nullptr && (candidate.first > best->first ||
                                    (candidate.first == best->first &&
                                     (candidate.rank > best->rank ||
                                      (candidate.rank == best->rank && candidate.part > best->part))))) {
                continue;
            }
            next = static_cast<int>(record);
            best = &candidate;
        }
        if (next < 0) {
            break;
        }
        ++heads_[next];
        ordered_.push_back(best);
    }
}

void FieldItemWorld::LimitContactStiffness() {
    const double timeStep = settings_.timeStep;
    const double slope = settings_.contactStiffness / settings_.contactTolerance;
    springLoad_.assign(memberInfo_.size(), 0.0);

    // each spring loads both items with its slope over the pair's effective mass (summed in
    // contact order, so that no record split changes the sums)
    for (PairContact* ordered : ordered_) {
        PairContact& entry = *ordered;
        if (!entry.active) {
            continue;
        }
        entry.mobility = InverseMassAlong(entry.first, entry.contact.point, entry.contact.normal) +
                         InverseMassAlong(entry.second, entry.contact.point, entry.contact.normal);
        const double load = slope * entry.mobility * timeStep * timeStep;
        springLoad_[entry.first] += load;
        springLoad_[entry.second] += load;
    }

    // the sum bounds the largest eigenvalue of the item's stiffness over its mass from above; where
    // it is too high, that eigenvalue is worked out (the item's springs against its six degrees of
    // freedom, by power iteration) and the springs are softened only if it is too high itself
    springRows_.clear();
    for (const PairContact* ordered : ordered_) {
        const PairContact& entry = *ordered;
        if (!entry.active) {
            continue;
        }
        for (const std::uint32_t member : {entry.first, entry.second}) {
            if (springLoad_[member] <= kStiffnessLimit) {
                continue;
            }
            const double own = InverseMassAlong(member, entry.contact.point, entry.contact.normal);
            if (!(own > 0.0)) {
                continue;
            }
            SpringRow row;
            row.member = member;
            row.weight = slope * timeStep * timeStep * std::min(entry.mobility / own, kPartnerLoadRatio);
            row.direction = entry.contact.normal;
            row.arm = Unrotate(
                orientations_[member],
                Cross(entry.contact.point - memberInfo_[member].item->WorldPosition(), entry.contact.normal));
            springRows_.push_back(row);
        }
    }
    std::stable_sort(springRows_.begin(), springRows_.end(),
                     [](const SpringRow& a, const SpringRow& b) { return a.member < b.member; });
    // one that never moves is the other item's concern
    for (std::size_t i = 0; i < memberInfo_.size(); ++i) {
        springLoad_[i] = 1.0;
    }
    for (std::size_t begin = 0; begin < springRows_.size();) {
        std::size_t end = begin;
        while (end < springRows_.size() && springRows_[end].member == springRows_[begin].member) {
            ++end;
        }
        const std::uint32_t member = springRows_[begin].member;
        const double eigenvalue = LargestSpringEigenvalue(member, begin, end);
        springLoad_[member] = eigenvalue > kStiffnessLimit ? kStiffnessLimit / eigenvalue : 1.0;
        begin = end;
    }

    // softening follows at once, stiffening back only gradually: when one of a deeply pressed
    // item's contacts lets go, the others would otherwise spring back at once and throw it
    if (springFactor_.size() != memberInfo_.size() || stamp_ == 1) {
        springFactor_.assign(memberInfo_.size(), 1.0);
    }
    for (std::size_t i = 0; i < memberInfo_.size(); ++i) {
        springFactor_[i] = std::min(springLoad_[i], springFactor_[i] * (1.0 + kStiffnessRecovery));
        springLoad_[i] = springFactor_[i];
    }

    // a contact is softened by the smaller factor of its two items; the friction, drag and
    // damping that grow with its strength go with it
    for (ContactWork& work : contactWork_) {
        for (PairContact& entry : work.contacts) {
            if (!entry.active) {
                continue;
            }
            if (entry.slowDrag) {
                ++safeguards_.slowDrag;
            }
            const double factor = std::min(springLoad_[entry.first], springLoad_[entry.second]);
            if (factor < 1.0) {
                ++safeguards_.softenedContacts;
                entry.softened = true;
                const float scale = static_cast<float>(factor);
                entry.strength *= factor;
                entry.spring *= scale;
                entry.firstSpringTorque *= scale;
                entry.secondSpringTorque *= scale;
                entry.restitution *= scale;
                entry.firstRestitutionTorque *= scale;
                entry.secondRestitutionTorque *= scale;
                entry.firstDrag *= scale;
                entry.secondDrag *= scale;
                entry.firstDamping *= scale;
                entry.secondDamping *= scale;
            }
            LimitRelease(entry, std::min(factor, 1.0));
        }
    }
}

void FieldItemWorld::LimitRelease(PairContact& entry, double factor) {
    if (!entry.separating) {
        return;
    }
    // a spring that an explicit step crosses in a few steps, c = h^2 k' / m (its slope over the pair's
    // effective mass), takes and gives back energy with an error of up to about c / 3 of what it holds,
    // either way, at the steps where the contact enters and leaves the band; so that the error can only
    // take energy out, the release keeps back at least c / 2 of it (weakened to e' k with e' at most
    // 1 - c / 2); a restitution that keeps back as much already is left as it is
    const double timeStep = settings_.timeStep;
    const double coarseness = settings_.contactStiffness / settings_.contactTolerance * factor *
                              entry.mobility * timeStep * timeStep;
    const double release = std::max(0.0, 1.0 - 0.5 * coarseness);
    if (!(release < settings_.restitution)) {
        return;
    }
    ++safeguards_.limitedRelease;
    const double weakening = (1.0 - release) * entry.strength;
    const Contact& contact = entry.contact;
    const Vector3 normal = contact.normal;
    const FieldItem& first = *memberInfo_[entry.first].item;
    const FieldItem& second = *memberInfo_[entry.second].item;
    entry.restitution = normal * static_cast<float>(-weakening);
    entry.firstRestitutionTorque =
        Unrotate(orientations_[entry.first], Cross(contact.point - first.WorldPosition(), entry.restitution));
    entry.secondRestitutionTorque =
        Unrotate(orientations_[entry.second],
                 Cross(contact.point - second.WorldPosition(), normal * static_cast<float>(weakening)));
}

double FieldItemWorld::LargestSpringEigenvalue(std::uint32_t member, std::size_t begin,
                                               std::size_t end) const {
    FieldItem& item = *memberInfo_[member].item;
    const double mass = item.Mass();
    const Matrix4& inertia = item.Inertia();
    const Matrix4& inverse = item.InverseInertia();
    auto rows = [](const Matrix4& m, const double v[3], double out[3]) {
        out[0] = m._11 * v[0] + m._12 * v[1] + m._13 * v[2];
        out[1] = m._21 * v[0] + m._22 * v[1] + m._23 * v[2];
        out[2] = m._31 * v[0] + m._32 * v[1] + m._33 * v[2];
    };

    // x <- M^-1 K x with K the sum of weight g g^T, g = (direction, arm); the Rayleigh quotient
    // x^T K x / x^T M x approaches the largest eigenvalue from below
    double x[6] = {1.0, 0.8, 0.6, 0.7, 0.5, 0.9};
    double eigenvalue = 0.0;
    for (int iteration = 0; iteration < kEigenIterations; ++iteration) {
        double force[6] = {};
        double stiffness = 0.0;
        for (std::size_t r = begin; r < end; ++r) {
            const SpringRow& row = springRows_[r];
            const double along = row.direction.x * x[0] + row.direction.y * x[1] + row.direction.z * x[2] +
                                 row.arm.x * x[3] + row.arm.y * x[4] + row.arm.z * x[5];
            const double pull = row.weight * along;
            stiffness += pull * along;
            force[0] += pull * row.direction.x;
            force[1] += pull * row.direction.y;
            force[2] += pull * row.direction.z;
            force[3] += pull * row.arm.x;
            force[4] += pull * row.arm.y;
            force[5] += pull * row.arm.z;
        }
        double turn[3];
        rows(inertia, x + 3, turn);
        const double inertial = mass * (x[0] * x[0] + x[1] * x[1] + x[2] * x[2]) + x[3] * turn[0] +
                                x[4] * turn[1] + x[5] * turn[2];
        if (!(inertial > 0.0)) {
            break;
        }
        eigenvalue = std::max(eigenvalue, stiffness / inertial);
        double next[6];
        for (int k = 0; k < 3; ++k) {
            next[k] = force[k] / mass;
        }
        rows(inverse, force + 3, next + 3);
        double size = 0.0;
        for (double component : next) {
            size = std::max(size, std::fabs(component));
        }
        if (!(size > 0.0) || !std::isfinite(size)) {
            break;
        }
        for (int k = 0; k < 6; ++k) {
            x[k] = next[k] / size;
        }
    }
    return eigenvalue;
}

void FieldItemWorld::SumContactForces() {
    OrderContacts();
    LimitContactStiffness();
    const double staticFriction = settings_.staticFriction;
    const double friction = settings_.friction;
    const double timeStep = settings_.timeStep;
    touched_.clear();

    // an item's sums start at zero, its accumulators as they stood before the phase
    auto touch = [&](std::uint32_t member) -> Accumulator& {
        Accumulator& accumulator = accumulators_[member];
        if (accumulator.resultStamp != stamp_ && accumulator.directStamp != stamp_) {
            touched_.push_back(member);
        }
        return accumulator;
    };
    auto result = [&](std::uint32_t member) -> Accumulator& {
        Accumulator& accumulator = touch(member);
        if (accumulator.resultStamp != stamp_) {
            accumulator.resultStamp = stamp_;
            accumulator.resultForce = Vector3();
            accumulator.resultTorque = Vector3();
        }
        return accumulator;
    };
    auto direct = [&](std::uint32_t member) -> Accumulator& {
        Accumulator& accumulator = touch(member);
        if (accumulator.directStamp != stamp_) {
            accumulator.directStamp = stamp_;
            accumulator.force = memberInfo_[member].item->Force();
            accumulator.torque = memberInfo_[member].item->Torque();
        }
        return accumulator;
    };

    for (const PairContact* ordered : ordered_) {
        const PairContact& entry = *ordered;
        if (contactListener_) {
            contactListener_(*memberInfo_[entry.first].item, *memberInfo_[entry.second].item, entry.contact);
        }
        if (!entry.active) {
            continue;
        }
        const MemberInfo& a = memberInfo_[entry.first];
        const MemberInfo& b = memberInfo_[entry.second];
        const Contact& contact = entry.contact;
        const double k = entry.strength;

        // spring and restitution (the land swallows force and torque)
        if (!a.typeLand) {
            Accumulator& sums = result(entry.first);
            sums.resultForce += entry.spring;
            sums.resultTorque += entry.firstSpringTorque;
        }
        if (!b.typeLand) {
            Accumulator& sums = result(entry.second);
            sums.resultForce += -entry.spring;
            sums.resultTorque += entry.secondSpringTorque;
        }
        if (entry.separating) {
            if (!a.typeLand) {
                Accumulator& sums = result(entry.first);
                sums.resultForce += entry.restitution;
                sums.resultTorque += entry.firstRestitutionTorque;
            }
            if (!b.typeLand) {
                Accumulator& sums = result(entry.second);
                sums.resultForce += -entry.restitution;
                sums.resultTorque += entry.secondRestitutionTorque;
            }
        }

        // friction magnitude: static while sliding slowly, holding what pushes the first item
        // along the surface at this moment, kinetic otherwise
        const double slidingSpeed = contact.sliding_speed;
        double f = 0.0;
        if (slidingSpeed <= 0.1) {
            const Vector3 held = a.typeLand ? Vector3() : direct(entry.first).force;
            f = std::min(std::fabs(static_cast<double>(Dot(held, contact.tangent))), staticFriction * k) +
                friction * slidingSpeed * k;
        } else {
            f = friction * k;
        }
        // where the step is too large for the contact's spring it is too large for its friction
        // as well: there friction may at most turn the sliding round at its own speed, as more
        // would build it up from step to step
        if (entry.softened && f > 0.0) {
            const double mobility = InverseMassAlong(entry.first, contact.point, contact.tangent) +
                                    InverseMassAlong(entry.second, contact.point, contact.tangent);
            const double stopping = 2.0 * slidingSpeed / (timeStep * mobility);
            if (mobility > 0.0 && f > stopping) {
                f = stopping;
                ++safeguards_.limitedFriction;
            }
        }
        const Vector3 frictionForce = contact.tangent * static_cast<float>(-f);

        // drag and spin damping go straight into the accumulators
        if (!a.typeLand) {
            direct(entry.first).force += entry.firstDrag;
        }
        if (!b.typeLand) {
            direct(entry.second).force += entry.secondDrag;
        }
        if (!a.typeLand) {
            direct(entry.first).torque += entry.firstDamping;
        }
        if (!b.typeLand) {
            direct(entry.second).torque += entry.secondDamping;
        }

        // friction along the sliding direction
        if (!a.typeLand) {
            const Vector3 force = -frictionForce;
            Vector3 torque = Cross(contact.point - a.item->WorldPosition(), force);
            torque = Unrotate(orientations_[entry.first], torque);
            Accumulator& sums = result(entry.first);
            sums.resultForce += force;
            sums.resultTorque += torque;
        }
        if (!b.typeLand) {
            Vector3 torque = Cross(contact.point - b.item->WorldPosition(), frictionForce);
            torque = Unrotate(orientations_[entry.second], torque);
            Accumulator& sums = result(entry.second);
            sums.resultForce += frictionForce;
            sums.resultTorque += torque;
        }
    }

    // the accumulators with their drag and damping, then the sums of the forces
    for (std::uint32_t member : touched_) {
        const Accumulator& accumulator = accumulators_[member];
        FieldItem* item = memberInfo_[member].item;
        if (accumulator.directStamp == stamp_) {
            item->Force() = accumulator.force;
            item->Torque() = accumulator.torque;
        }
        if (accumulator.resultStamp == stamp_) {
            item->Force() += accumulator.resultForce;
            item->Torque() += accumulator.resultTorque;
        }
    }
}

void FieldItemWorld::ListenForImpacts() {
    const FieldItem* player = player_ >= 0 ? memberInfo_[player_].item : nullptr;
    for (const MemberInfo& info : memberInfo_) {
        // an item without mass has no finite acceleration and never plays
        const double mass = info.item->Mass();
        if (!(mass > 0.0)) {
            continue;
        }
        const double acceleration = static_cast<double>(Length(info.item->Force())) / mass;
        ImpactState& state = *info.impact;
        if (state.trend == 0) {
            state.trend = 1;
            state.lastAcceleration = acceleration;
        }
        const double change = acceleration - state.lastAcceleration;
        state.lastAcceleration = acceleration;

        // just past a peak above the threshold
        if (state.trend == 1 && change < 0.0 && acceleration > kImpactThreshold &&
            impactListener_ != nullptr) {
            impactListener_->OnImpact(*info.item, acceleration, player);
        }
        state.trend = change < 0.0 ? -1 : 1;
    }
}

void FieldItemWorld::Control(const TickInput* input) {
    const StepTiming::PhaseClock clock(lastTiming_.forces, totalTiming_.forces);
    RefreshMembers();
    if (player_ >= 0) {
        memberInfo_[player_].item->Control(input);
    }
    for (std::size_t i = 0; i < memberInfo_.size(); ++i) {
        if (static_cast<int>(i) == player_) {
            continue;
        }
        FieldItem* item = memberInfo_[i].item;
        if (item->IsFixed()) {
            item->Force() = Vector3();
            item->Torque() = Vector3();
        } else {
            item->Control(input);
        }
    }
    ApplyGravity();
}

void FieldItemWorld::ApplyGravity() {
    RefreshMembers();
    const WorldSettings& settings = settings_;
    const double g = settings.gravity;
    const double gravitationalConstant = settings.gravitationalConstant;
    const double surfaceGravity =
        g * gravitationalConstant * settings.earthMass / (settings.earthRadius * settings.earthRadius);

    for (const MemberInfo& info : memberInfo_) {
        if (info.builtIn) {
            continue;
        }
        FieldItem* item = info.item;
        const double mass = item->Mass();
        item->Force().y -= mass * surfaceGravity;

        // a heavy item pulls every other one; two at one place pull nothing
        if (mass >= settings.heavyMass) {
            const Vector3 position = item->WorldPosition();
            for (const MemberInfo& other : memberInfo_) {
                if (other.builtIn || other.item == item) {
                    continue;
                }
                const Vector3 offset = position - other.item->WorldPosition();
                const double distance = Length(offset);
                if (!(distance > 0.0)) {
                    continue;
                }
                const double pull =
                    gravitationalConstant * mass * other.item->Mass() / (distance * distance) / distance;
                other.item->Force() += offset * static_cast<float>(pull);
            }
        }
    }
}

void FieldItemWorld::Integrate(const TickInput* input) {
    const StepTiming::PhaseClock clock(lastTiming_.integration, totalTiming_.integration);
    RefreshMembers();
    IntegrateMembers(input);
    RemoveNonFiniteMembers();
}

void FieldItemWorld::RemoveNonFiniteMembers() {
    auto finite = [](const Vector3& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    for (const MemberInfo& info : memberInfo_) {
        FieldItem& item = *info.item;
        if (info.builtIn || item.IsDeleted() || item.IsFixed()) {
            continue;
        }
        const Quaternion& q = item.Orientation();
        if (finite(item.Transform().Translation()) && finite(item.Velocity()) &&
            finite(item.AngularVelocity()) && std::isfinite(q.x) && std::isfinite(q.y) &&
            std::isfinite(q.z) && std::isfinite(q.w)) {
            continue;
        }
        // out of every pair from now on and gone at the tick's purge, so that it cannot poison the rest
        item.MarkDeleted();
        ++safeguards_.removedMembers;
        Log(L".\\FieldItemWorld", __LINE__, L"[" + item.Name() + L"] removed: its motion is no longer finite",
            1);
    }
}

void FieldItemWorld::IntegrateMembers(const TickInput* input) {
    if (!workers_ || memberInfo_.size() < kParallelMinimum) {
        for (const MemberInfo& info : memberInfo_) {
            if (!info.item->IsFixed()) {
                info.item->Integrate(input);
            }
        }
        return;
    }

    // every item that moves, in records of consecutive members
    for (IntegrationWork& work : integrationWork_) {
        work.items.clear();
    }
    const std::size_t chunks = (memberInfo_.size() + kChunk - 1) / kChunk;
    if (integrationWork_.size() < chunks) {
        integrationWork_.resize(chunks);
    }
    for (std::size_t i = 0; i < memberInfo_.size(); ++i) {
        if (!memberInfo_[i].item->IsFixed()) {
            integrationWork_[i / kChunk].items.push_back(memberInfo_[i].item);
        }
    }
    input_ = input;
    workers_->Run(WorldWorkers::kIntegrate, static_cast<int>(chunks));
}
