#include "physics/FieldItemWorld.h"

#include <algorithm>
#include <cassert>
#include <chrono>
#include <cmath>
#include <numeric>
#include <span>
#include <typeinfo>

#include "collision/Collide.h"
#include "collision/CollisionDetect.h"
#include "collision/CollisionDetectSphere.h"
#include "common/LogWriter.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemSky.h"
#include "physics/ImpactListener.h"
#include "physics/PlayerLocal.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldWorkers.h"

namespace {

// the phases of a step, each run by every record
constexpr int kPhasePairs = 1;
constexpr int kPhaseLoads = 2;
constexpr int kPhaseFriction = 3;
constexpr int kPhaseSums = 4;
constexpr int kPhaseControl = 5;
constexpr int kPhaseIntegrate = 6;
constexpr int kPhaseRefresh = 7;
/// Control, integration and refresh of a share in one go (a step's applied forces, motion and placements).
constexpr int kPhaseMove = 8;
/// A part of the grid's search for neighbours, when it rebuilds its lists.
constexpr int kPhaseNeighbours = 9;

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
    workerCount_ = std::clamp(workerCount, 1, kMaximumWorkers);
    records_.resize(workerCount_);
    recordsStale_ = true;
    if (workerCount_ >= 2) {
        // the calling thread runs records too, so one thread fewer keeps one per processor
        workers_ = std::make_unique<WorldWorkers>(workerCount_ - 1,
                                                  [this](int code, int index) { RunWorker(code, index); });
    }
}

void FieldItemWorld::SetWorkerCount(int workerCount) {
    workers_.reset();
    StartWorkers(workerCount);
    // other workers, another choice
    sharing_ = ShareModeChooser();
    shared_ = true;
    savedShares_.clear();
}

void FieldItemWorld::SetParallelMinimum(std::size_t members) {
    parallelMinimum_ = members;
    recordsStale_ = true;
}

void FieldItemWorld::AssignRecords() {
    recordsStale_ = false;
    memberPairs_.assign(memberInfo_.size(), 0);
    stepsSinceBalance_ = 0;
    // small worlds stay on the calling thread; large ones get one share per thread, of
    // consecutive members (whose names, and so mostly their places, are alike)
    const std::size_t members = memberInfo_.size();
    recordCount_ = workers_ && members >= parallelMinimum_ && shared_ ? workerCount_ : 1;
    for (int r = 0; r < recordCount_; ++r) {
        for (Share* share : {&records_[r].pairShare, &records_[r].share}) {
            share->begin = static_cast<std::uint32_t>(members * r / recordCount_);
            share->end = static_cast<std::uint32_t>(members * (r + 1) / recordCount_);
            share->seconds = 0.0;
        }
        records_[r].contactSeconds = 0.0;
    }
    // back from steps on the calling thread alone, the same members (a change of members
    // drops the saved shares) take up their balanced shares again
    if (recordCount_ > 1 && savedShares_.size() == static_cast<std::size_t>(recordCount_)) {
        for (int r = 0; r < recordCount_; ++r) {
            records_[r].pairShare = {savedShares_[r].first.begin, savedShares_[r].first.end};
            records_[r].share = {savedShares_[r].second.begin, savedShares_[r].second.end};
        }
    }
    savedShares_.clear();
}

void FieldItemWorld::ShareSteps(bool shared) {
    if (!shared) {
        savedShares_.clear();
        for (int r = 0; r < recordCount_; ++r) {
            savedShares_.emplace_back(records_[r].pairShare, records_[r].share);
        }
    }
    shared_ = shared;
    recordsStale_ = true;
}

namespace {

/// The share of the work each record should take next, from the time each took for its
/// work since the last balance. A record's work over its time is its speed, which takes in
/// both the thread's speed (one core may be slower, or busy) and how costly its members were;
/// the shares move halfway from where they are towards those in proportion to the speeds, so
/// that neither a member mix that changes with the border nor a moment's noise makes them
/// swing. A record that measured nothing (no work, or a clock that did not move) counts at
/// the average speed; no share falls below a quarter of an even one, so that a thread
/// slowed for a moment gets work again once it is back.
void NextShares(const std::vector<std::uint64_t>& work, const std::vector<double>& seconds,
                std::vector<double>& shares) {
    const std::size_t count = work.size();
    double totalWork = 0.0;
    double speedSum = 0.0;
    int measured = 0;
    for (std::size_t r = 0; r < count; ++r) {
        totalWork += static_cast<double>(work[r]);
        if (work[r] > 0 && seconds[r] > 0.0) {
            speedSum += static_cast<double>(work[r]) / seconds[r];
            ++measured;
        }
    }
    shares.assign(count, 1.0 / static_cast<double>(count));
    if (measured == 0 || !(totalWork > 0.0)) {
        return;
    }
    const double averageSpeed = speedSum / measured;
    std::vector<double> speeds(count);
    double total = 0.0;
    for (std::size_t r = 0; r < count; ++r) {
        speeds[r] =
            work[r] > 0 && seconds[r] > 0.0 ? static_cast<double>(work[r]) / seconds[r] : averageSpeed;
        total += speeds[r];
    }
    const double floor = 0.25 / static_cast<double>(count);
    double clamped = 0.0;
    for (std::size_t r = 0; r < count; ++r) {
        const double now = static_cast<double>(work[r]) / totalWork;
        shares[r] = std::max(0.5 * (now + speeds[r] / total), floor);
        clamped += shares[r];
    }
    for (double& share : shares) {
        share /= clamped;
    }
}

} // namespace

void FieldItemWorld::BalanceRecords() {
    // which member goes to which share never changes a result, only how long the phases take
    stepsSinceBalance_ = 0;
    // a member's pairs cost about as much each, and a member as much as a few of them; the
    // members' share weighs every member alike
    constexpr std::uint64_t kMemberWeight = 4;
    Rebalance(&StepRecord::pairShare, memberPairs_.data(), kMemberWeight);
    // the members' share runs the contact forces and the members' own phases, each of which
    // waits for its slowest record; their costs lie unlike on the members (the contact forces
    // where the contacts are), so no border evens out both: the larger evens out, as the waits
    // at the other then cost least
    double own = 0.0;
    double contact = 0.0;
    for (int r = 0; r < recordCount_; ++r) {
        own += records_[r].share.seconds;
        contact += records_[r].contactSeconds;
    }
    for (int r = 0; r < recordCount_; ++r) {
        if (contact > own) {
            records_[r].share.seconds = records_[r].contactSeconds;
        }
        records_[r].contactSeconds = 0.0;
    }
    Rebalance(&StepRecord::share, nullptr, 1);
}

void FieldItemWorld::Rebalance(Share StepRecord::*kind, const std::uint32_t* pairs, std::uint64_t base) {
    const std::size_t members = memberInfo_.size();
    const auto count = static_cast<std::size_t>(recordCount_);
    const auto weight = [&](std::size_t member) -> std::uint64_t {
        return pairs != nullptr ? pairs[member] + base : base;
    };
    std::vector<std::uint64_t> work(count, 0);
    std::vector<double> seconds(count);
    std::vector<double> shares;
    std::uint64_t total = 0;
    for (std::size_t r = 0; r < count; ++r) {
        const Share& share = records_[r].*kind;
        for (std::uint32_t member = share.begin; member < share.end; ++member) {
            work[r] += weight(member);
        }
        total += work[r];
        seconds[r] = share.seconds;
    }
    NextShares(work, seconds, shares);
    std::uint64_t sum = 0;
    double limit = 0.0;
    std::size_t member = 0;
    for (std::size_t r = 0; r < count; ++r) {
        Share& share = records_[r].*kind;
        share.begin = static_cast<std::uint32_t>(member);
        limit += shares[r] * static_cast<double>(total);
        while (member < members && (r + 1 == count || static_cast<double>(sum + weight(member)) <= limit)) {
            sum += weight(member);
            ++member;
        }
        share.end = static_cast<std::uint32_t>(member);
        share.seconds = 0.0;
    }
}

void FieldItemWorld::RunPhase(int code) {
    if (recordsStale_) {
        AssignRecords();
    }
    if (workers_ && recordCount_ > 1) {
        workers_->Run(code, recordCount_);
    } else {
        for (int r = 0; r < recordCount_; ++r) {
            RunWorker(code, r);
        }
    }
}

void FieldItemWorld::RunWorker(int code, int index) {
    StepRecord& record = records_[index];
    // shared out, each record times its phases for the balance (two clock readings a phase)
    using Clock = std::chrono::steady_clock;
    const bool timed = recordCount_ > 1;
    const Clock::time_point start = timed ? Clock::now() : Clock::time_point();
    switch (code) {
    case kPhasePairs:
        FindContacts(record);
        break;
    case kPhaseLoads:
        LoadSprings(record);
        break;
    case kPhaseFriction:
        WeighFriction(record);
        break;
    case kPhaseSums:
        SumForces(record);
        break;
    case kPhaseControl:
        ControlMembers(record);
        break;
    case kPhaseIntegrate:
        IntegrateMembers(record);
        break;
    case kPhaseRefresh:
        RefreshPlacements(record);
        break;
    case kPhaseNeighbours:
        grid_.FindNeighbours(bodies_, static_cast<std::uint32_t>(index),
                             static_cast<std::uint32_t>(recordCount_), record.neighbours);
        break;
    case kPhaseMove: {
        // a member's own phases need nothing of other members: no share waits for another
        const Clock::time_point control = Clock::now();
        ControlMembers(record);
        const Clock::time_point integrate = Clock::now();
        IntegrateMembers(record);
        const Clock::time_point refresh = Clock::now();
        RefreshPlacements(record);
        record.moveSeconds = {std::chrono::duration<double>(integrate - control).count(),
                              std::chrono::duration<double>(refresh - integrate).count(),
                              std::chrono::duration<double>(Clock::now() - refresh).count()};
        break;
    }
    default:
        assert(false);
    }
    if (timed && code != kPhaseNeighbours) {
        const double seconds = std::chrono::duration<double>(Clock::now() - start).count();
        const bool contactForces = code == kPhaseLoads || code == kPhaseFriction || code == kPhaseSums;
        (code == kPhasePairs ? record.pairShare.seconds
                             : contactForces ? record.contactSeconds : record.share.seconds) += seconds;
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

    heavyNoted_ = false;
    direct_.assign(memberInfo_.size(), DirectSums());
    springLoad_.assign(memberInfo_.size(), 1.0);
    factorsStale_ = true;
    recordsStale_ = true;
    savedShares_.clear();
    bodies_.assign(memberInfo_.size(), BroadPhaseGrid::Body());
    filters_.assign(memberInfo_.size(), FilterBounds());
    orientations_.assign(memberInfo_.size(), Matrix3());
    grid_.Invalidate();
    gridStale_ = true;
}

void FieldItemWorld::UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation) {
    const StepTiming::PhaseClock clock(lastTiming_.refresh, totalTiming_.refresh);
    RefreshMembers();
    heavyNoted_ = false;
    PrepareRefresh(parentTransform, parentOrientation);
    RunPhase(kPhaseRefresh);
    CompleteRefresh();
}

void FieldItemWorld::PrepareRefresh(const Matrix4* parentTransform, const Quaternion* parentOrientation) {
    // each member's placement depends on itself alone
    refreshTransform_ = parentTransform;
    refreshOrientation_ = parentOrientation;
    // the grid takes each share's bodies on the share's thread, then builds its lists
    grid_.Prepare(bodies_.size(), land_, settings_.contactTolerance);
}

void FieldItemWorld::CompleteRefresh() {
    BroadPhaseGrid::RangeChanges changes;
    for (int r = 0; r < recordCount_; ++r) {
        const BroadPhaseGrid::RangeChanges& share = records_[r].gridChanges;
        changes.membership = changes.membership || share.membership;
        changes.cells = changes.cells || share.cells;
        changes.moved = changes.moved || share.moved;
    }
    // the neighbour search, when due, is shared out by columns of the grid
    if (grid_.CompleteBegin(bodies_, changes)) {
        RunPhase(kPhaseNeighbours);
        std::array<const std::vector<std::uint64_t>*, kMaximumWorkers> found{};
        for (int r = 0; r < recordCount_; ++r) {
            found[r] = &records_[r].neighbours;
        }
        grid_.CompleteEnd(std::span(found.data(), static_cast<std::size_t>(recordCount_)));
    }
    gridStale_ = false;
}

void FieldItemWorld::RefreshPlacements(StepRecord& record) {
    const Share& share = record.share;
    for (std::uint32_t i = share.begin; i < share.end; ++i) {
        memberInfo_[i].item->UpdateWorld(refreshTransform_, refreshOrientation_);
        CaptureBounds(i);
    }
    record.gridChanges = BroadPhaseGrid::RangeChanges();
    grid_.RefreshRange(bodies_, share.begin, share.end, record.gridChanges);
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
    if (recordsStale_) {
        AssignRecords();
    }

    // the detectors of this phase
    for (int first = 0; first < kShapeKindCount; ++first) {
        for (int second = 0; second < kShapeKindCount; ++second) {
            detectors_[first][second] =
                FindDetector(static_cast<ShapeKind>(first), static_cast<ShapeKind>(second));
        }
    }
    const auto usual = [](const CollisionDetect* detector, const std::type_info& type) {
        return detector != nullptr && typeid(*detector) == type;
    };
    spheresFromBounds_ = usual(detectors_[static_cast<int>(ShapeKind::kSphere)][static_cast<int>(ShapeKind::kSphere)],
                               typeid(CollisionDetectSphereSphere));
    sphereLandFromBounds_ = usual(detectors_[static_cast<int>(ShapeKind::kSphere)][static_cast<int>(ShapeKind::kLand)],
                                  typeid(CollisionDetectSphereLand));
    // softening starts afresh with a new member set
    if (factorsStale_ || springFactor_.size() != memberInfo_.size()) {
        springFactor_.assign(memberInfo_.size(), 1.0);
        factorsStale_ = false;
    }

    // each phase needs the previous one's results of every record
    RunPhase(kPhasePairs);
    RunPhase(kPhaseLoads);
    RunPhase(kPhaseFriction);
    RunPhase(kPhaseSums);
    heavyNoted_ = true;
    if (recordCount_ > 1 && ++stepsSinceBalance_ >= kBalanceInterval) {
        BalanceRecords();
    }

    // what the records noted, told in contact order and member order
    const FieldItem* player = player_ >= 0 ? memberInfo_[player_].item : nullptr;
    for (int r = 0; r < recordCount_; ++r) {
        StepRecord& record = records_[r];
        if (contactListener_) {
            for (const PairContact& entry : record.contacts) {
                contactListener_(*memberInfo_[entry.first].item, *memberInfo_[entry.second].item,
                                 entry.contact);
            }
        }
        if (impactListener_ != nullptr) {
            for (const auto& [member, acceleration] : record.impacts) {
                impactListener_->OnImpact(*memberInfo_[member].item, acceleration, player);
            }
        }
        safeguards_.softenedContacts += record.safeguards.softenedContacts;
        safeguards_.limitedFriction += record.safeguards.limitedFriction;
        safeguards_.limitedDrag += record.safeguards.limitedDrag;
        safeguards_.limitedDamping += record.safeguards.limitedDamping;
        safeguards_.limitedRelease += record.safeguards.limitedRelease;
        safeguards_.slowDrag += record.safeguards.slowDrag;
        record.safeguards = SafeguardCounts();
    }
}

void FieldItemWorld::LastContacts(std::vector<Contact>& contacts) const {
    for (int r = 0; r < recordCount_; ++r) {
        for (const PairContact& entry : records_[r].contacts) {
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
    for (int r = 0; r < recordCount_; ++r) {
        for (const PairContact& entry : records_[r].contacts) {
            if (entry.active) {
                energy += 0.5 * entry.strength * (settings_.contactTolerance - entry.contact.distance);
            }
        }
    }
    return energy;
}

void FieldItemWorld::FindContacts(StepRecord& record) {
    // the pairs whose first member the record owns; pairs of two bounded primitives that the
    // pair filter rejects are left out here, from the bounds of the last refresh (the filter's
    // own inputs)
    record.pairs.clear();
    const double tolerance = settings_.contactTolerance;
    const Share& share = record.pairShare;
    grid_.ForEachPair(share.begin, share.end, [&](const BroadPhaseGrid::Pair& pair) {
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
        record.pairs.push_back(pair);
    });

    // grouped by first member, each group in pair order (a counting sort keeps that order)
    const std::uint32_t owned = share.end - share.begin;
    record.counts.assign(owned + 1, 0);
    for (const BroadPhaseGrid::Pair& pair : record.pairs) {
        ++record.counts[pair.first - share.begin + 1];
    }
    for (std::uint32_t i = 0; i < owned; ++i) {
        memberPairs_[share.begin + i] = record.counts[i + 1];
    }
    for (std::uint32_t i = 1; i <= owned; ++i) {
        record.counts[i] += record.counts[i - 1];
    }
    record.grouped.resize(record.pairs.size());
    for (const BroadPhaseGrid::Pair& pair : record.pairs) {
        record.grouped[record.counts[pair.first - share.begin]++] = pair;
    }
    DetectContacts(record);
}

void FieldItemWorld::DetectContacts(StepRecord& record) {
    record.contacts.clear();
    record.ends.clear();
    const double tolerance = settings_.contactTolerance;
    const CollideSettings collide{tolerance};
    const double restitution = settings_.restitution;
    const double stiffness = settings_.contactStiffness;
    const double friction = settings_.friction;
    const double drag = settings_.friction / settings_.dragDivisor;

    for (const BroadPhaseGrid::Pair& pair : record.grouped) {
        const MemberInfo& a = memberInfo_[pair.first];
        const MemberInfo& b = memberInfo_[pair.second];
        FieldItem& first = *a.item;
        FieldItem& second = *b.item;
        if (&first == &second) {
            continue;
        }

        // an item too high to touch the land, or fixed, is not tested against it (the places
        // and bounds are read from the last refresh's copies throughout: the items' own lines,
        // written at each refresh, may lie on another thread's core)
        const Vector3& firstPosition = bodies_[pair.first].position;
        const Vector3& secondPosition = bodies_[pair.second].position;
        if (a.typeLand || b.typeLand) {
            const BroadPhaseGrid::Body& other = bodies_[a.typeLand ? pair.second : pair.first];
            if (static_cast<double>(other.position.y) > static_cast<double>(other.extent.y) + tolerance ||
                (a.typeLand ? second : first).IsFixed()) {
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
        record.detected.clear();
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
            if (a.innerKind == ShapeKind::kSphere && b.innerKind == ShapeKind::kSphere && spheresFromBounds_) {
                const FilterBounds& firstSphere = filters_[pair.first];
                const FilterBounds& secondSphere = filters_[pair.second];
                CollisionDetectSphereSphere::Between(firstSphere.position, firstSphere.radius, secondSphere.position,
                                                     secondSphere.radius, collide, record.detected);
            } else if (a.innerKind == ShapeKind::kSphere && b.innerKind == ShapeKind::kLand && sphereLandFromBounds_) {
                const FilterBounds& sphere = filters_[pair.first];
                CollisionDetectSphereLand::Between(sphere.position, sphere.radius, collide, record.detected);
            } else {
                detector->Detect(*a.inner, *b.inner, collide, record.detected);
            }
        } else {
            Collide(first, second, collide, record.detected);
        }

        for (std::uint32_t part = 0; part < record.detected.size(); ++part) {
            Contact& contact = record.detected[part];
            const Vector3& point = contact.point;
            const Vector3& normal = contact.normal;

            // contact kinematics: velocities of the two contact points
            Vector3 firstArm = point - firstPosition;
            firstArm = Unrotate(firstOrientation, firstArm);
            Vector3 firstSpin = Cross(first.AngularVelocity(), firstArm);
            firstSpin = Rotate(firstOrientation, firstSpin);
            const Vector3 firstSpeed = first.Velocity() + firstSpin;
            Vector3 secondArm = point - secondPosition;
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

            // deeper than the tolerance between two items: they pass through rather than explode
            const double distance = contact.distance;
            const double k = stiffness - distance * stiffness / tolerance;
            entry.active =
                (a.namedLand || b.namedLand || distance * distance <= tolerance * tolerance) && k > 0.0;
            entry.strength = k;
            if (entry.active) {
                // the spring grows linearly with penetration; while separating only e k pushes
                const Vector3 firstArm = point - firstPosition;
                const Vector3 secondArm = point - secondPosition;
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
                // the pair's effective mass along the normal, for the stiffness limit
                entry.mobility = InverseMassAlong(pair.first, point, normal) +
                                 InverseMassAlong(pair.second, point, normal);
            }
            record.contacts.push_back(entry);
            record.ends.push_back(ContactEnds{pair.first, pair.second});
        }
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
    const Vector3 arm = Unrotate(orientations_[member], Cross(point - bodies_[member].position, direction));
    const Matrix4& inverse = item.InverseInertia();
    const double turn = arm.x * (inverse._11 * arm.x + inverse._12 * arm.y + inverse._13 * arm.z) +
                        arm.y * (inverse._21 * arm.x + inverse._22 * arm.y + inverse._23 * arm.z) +
                        arm.z * (inverse._31 * arm.x + inverse._32 * arm.y + inverse._33 * arm.z);
    return 1.0 / mass + std::max(turn, 0.0);
}

void FieldItemWorld::LoadSprings(StepRecord& record) {
    const std::uint32_t begin = record.share.begin;
    const std::uint32_t end = record.share.end;
    const std::uint32_t owned = end - begin;

    // the owned members' contacts among all records', in contact order (the records hold
    // consecutive first members, so their lists one after the other are in contact order)
    record.incidentBegin.assign(owned + 1, 0);
    for (int r = 0; r < recordCount_; ++r) {
        for (const ContactEnds& ends : records_[r].ends) {
            if (ends.first >= begin && ends.first < end) {
                ++record.incidentBegin[ends.first - begin + 1];
            }
            if (ends.second >= begin && ends.second < end) {
                ++record.incidentBegin[ends.second - begin + 1];
            }
        }
    }
    for (std::uint32_t i = 1; i <= owned; ++i) {
        record.incidentBegin[i] += record.incidentBegin[i - 1];
    }
    record.fill.assign(record.incidentBegin.begin(), record.incidentBegin.end() - 1);
    record.incident.resize(record.incidentBegin[owned]);
    for (int r = 0; r < recordCount_; ++r) {
        StepRecord& other = records_[r];
        for (std::size_t c = 0; c < other.ends.size(); ++c) {
            const ContactEnds& ends = other.ends[c];
            if (ends.first >= begin && ends.first < end) {
                record.incident[record.fill[ends.first - begin]++] = &other.contacts[c];
            }
            if (ends.second >= begin && ends.second < end) {
                record.incident[record.fill[ends.second - begin]++] = &other.contacts[c];
            }
        }
    }

    // each spring loads both items with its slope over the pair's effective mass; the sum bounds
    // the largest eigenvalue of the item's stiffness over its mass from above; where it is too
    // high, that eigenvalue is worked out (the item's springs against its six degrees of
    // freedom, by power iteration) and the springs are softened only if it is too high itself
    const double timeStep = settings_.timeStep;
    const double slope = settings_.contactStiffness / settings_.contactTolerance;
    for (std::uint32_t member = begin; member < end; ++member) {
        const std::uint32_t first = record.incidentBegin[member - begin];
        const std::uint32_t last = record.incidentBegin[member - begin + 1];
        double load = 0.0;
        for (std::uint32_t i = first; i < last; ++i) {
            const PairContact& entry = *record.incident[i];
            if (entry.active) {
                load += slope * entry.mobility * timeStep * timeStep;
            }
        }
        double factor = 1.0;
        if (load > kStiffnessLimit) {
            record.rows.clear();
            for (std::uint32_t i = first; i < last; ++i) {
                const PairContact& entry = *record.incident[i];
                if (!entry.active) {
                    continue;
                }
                // one that never moves is the other item's concern
                const double own = InverseMassAlong(member, entry.contact.point, entry.contact.normal);
                if (!(own > 0.0)) {
                    continue;
                }
                SpringRow row;
                row.member = member;
                row.weight = slope * timeStep * timeStep * std::min(entry.mobility / own, kPartnerLoadRatio);
                row.direction = entry.contact.normal;
                row.arm = Unrotate(orientations_[member],
                                   Cross(entry.contact.point - memberInfo_[member].item->WorldPosition(),
                                         entry.contact.normal));
                record.rows.push_back(row);
            }
            if (!record.rows.empty()) {
                const double eigenvalue = LargestSpringEigenvalue(member, record.rows);
                factor = eigenvalue > kStiffnessLimit ? kStiffnessLimit / eigenvalue : 1.0;
            }
        }

        // softening follows at once, stiffening back only gradually: when one of a deeply pressed
        // item's contacts lets go, the others would otherwise spring back at once and throw it
        springFactor_[member] = std::min(factor, springFactor_[member] * (1.0 + kStiffnessRecovery));
        springLoad_[member] = springFactor_[member];
    }
}

void FieldItemWorld::LimitRelease(PairContact& entry, double factor, SafeguardCounts& safeguards) const {
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
    ++safeguards.limitedRelease;
    const double weakening = (1.0 - release) * entry.strength;
    const Contact& contact = entry.contact;
    const Vector3 normal = contact.normal;
    entry.restitution = normal * static_cast<float>(-weakening);
    entry.firstRestitutionTorque = Unrotate(orientations_[entry.first],
                                            Cross(contact.point - bodies_[entry.first].position, entry.restitution));
    entry.secondRestitutionTorque =
        Unrotate(orientations_[entry.second],
                 Cross(contact.point - bodies_[entry.second].position, normal * static_cast<float>(weakening)));
}

double FieldItemWorld::LargestSpringEigenvalue(std::uint32_t member,
                                               const std::vector<SpringRow>& springs) const {
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
        for (const SpringRow& row : springs) {
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

void FieldItemWorld::WeighFriction(StepRecord& record) {
    const double staticFriction = settings_.staticFriction;
    const double friction = settings_.friction;
    const double timeStep = settings_.timeStep;
    const Share& share = record.share;
    for (std::uint32_t member = share.begin; member < share.end; ++member) {
        const std::uint32_t first = record.incidentBegin[member - share.begin];
        const std::uint32_t last = record.incidentBegin[member - share.begin + 1];
        const MemberInfo& info = memberInfo_[member];
        FieldItem& item = *info.item;
        // the accumulators as they stood before the phase (the land swallows force and torque)
        DirectSums sums;
        for (std::uint32_t i = first; i < last; ++i) {
            PairContact& entry = *record.incident[i];
            if (!entry.active) {
                continue;
            }
            if (!sums.touched && !info.typeLand) {
                sums.touched = true;
                sums.force = item.Force();
                sums.torque = item.Torque();
            }
            // a contact is softened by the smaller factor of its two items; the friction, drag and
            // damping that grow with its strength go with it
            const double factor = ContactFactor(entry);
            const bool softened = factor < 1.0;
            const float scale = static_cast<float>(factor);
            if (entry.first == member) {
                // the contact's own record settles what every record reads of it later (the
                // drag and damping, which other records read now, stay as they are)
                entry.softened = softened;
                if (entry.slowDrag) {
                    ++record.safeguards.slowDrag;
                }
                if (softened) {
                    ++record.safeguards.softenedContacts;
                    entry.strength *= factor;
                    entry.spring *= scale;
                    entry.firstSpringTorque *= scale;
                    entry.secondSpringTorque *= scale;
                    entry.restitution *= scale;
                    entry.firstRestitutionTorque *= scale;
                    entry.secondRestitutionTorque *= scale;
                }
                LimitRelease(entry, std::min(factor, 1.0), record.safeguards);
                const Contact& contact = entry.contact;
                const double k = entry.strength;
                // friction magnitude: static while sliding slowly, holding what pushes the first
                // item along the surface at this moment, kinetic otherwise
                const double slidingSpeed = contact.sliding_speed;
                double f = 0.0;
                if (slidingSpeed <= 0.1) {
                    const Vector3 held = info.typeLand ? Vector3() : sums.force;
                    f = std::min(std::fabs(static_cast<double>(Dot(held, contact.tangent))),
                                 staticFriction * k) +
                        friction * slidingSpeed * k;
                } else {
                    f = friction * k;
                }
                // where the step is too large for the contact's spring it is too large for its
                // friction as well: there friction may at most turn the sliding round at its own
                // speed, as more would build it up from step to step
                if (softened) {
                    if (f > 0.0) {
                        const double mobility =
                            InverseMassAlong(entry.first, contact.point, contact.tangent) +
                            InverseMassAlong(entry.second, contact.point, contact.tangent);
                        const double stopping = 2.0 * slidingSpeed / (timeStep * mobility);
                        if (mobility > 0.0 && f > stopping) {
                            f = stopping;
                            ++record.safeguards.limitedFriction;
                        }
                    }
                }
                entry.friction = f;
            }
            if (info.typeLand) {
                continue;
            }

            // drag and spin damping go straight into the accumulators
            if (entry.first == member) {
                sums.force += softened ? entry.firstDrag * scale : entry.firstDrag;
                sums.torque += softened ? entry.firstDamping * scale : entry.firstDamping;
            } else {
                sums.force += softened ? entry.secondDrag * scale : entry.secondDrag;
                sums.torque += softened ? entry.secondDamping * scale : entry.secondDamping;
            }
        }
        direct_[member] = sums;
    }
}

void FieldItemWorld::SumForces(StepRecord& record) {
    record.impacts.clear();
    record.heavy.clear();
    const double heavyMass = settings_.heavyMass;
    const Share& share = record.share;
    for (std::uint32_t member = share.begin; member < share.end; ++member) {
        const std::uint32_t first = record.incidentBegin[member - share.begin];
        const std::uint32_t last = record.incidentBegin[member - share.begin + 1];
        const MemberInfo& info = memberInfo_[member];
        FieldItem& item = *info.item;
        if (!info.typeLand) {
            Vector3 resultForce;
            Vector3 resultTorque;
            bool result = false;
            const Vector3 position = item.WorldPosition();
            const Matrix3& orientation = orientations_[member];
            for (std::uint32_t i = first; i < last; ++i) {
                const PairContact& entry = *record.incident[i];
                if (!entry.active) {
                    continue;
                }
                result = true;
                const bool isFirst = entry.first == member;

                // spring and restitution, as the contact's record settled them
                resultForce += isFirst ? entry.spring : -entry.spring;
                resultTorque += isFirst ? entry.firstSpringTorque : entry.secondSpringTorque;
                if (entry.separating) {
                    resultForce += isFirst ? entry.restitution : -entry.restitution;
                    resultTorque += isFirst ? entry.firstRestitutionTorque : entry.secondRestitutionTorque;
                }

                // friction along the sliding direction
                const Contact& contact = entry.contact;
                const Vector3 frictionForce = contact.tangent * static_cast<float>(-entry.friction);
                const Vector3 force = isFirst ? -frictionForce : frictionForce;
                const Vector3 torque = Unrotate(orientation, Cross(contact.point - position, force));
                resultForce += force;
                resultTorque += torque;
            }

            // the accumulators with their drag and damping, then the sums of the forces
            const DirectSums& sums = direct_[member];
            if (sums.touched) {
                item.Force() = sums.force;
                item.Torque() = sums.torque;
            }
            if (result) {
                item.Force() += resultForce;
                item.Torque() += resultTorque;
            }
        }

        // impact listening: just past a peak above the threshold; an item without mass has no
        // finite acceleration and never plays
        const double mass = item.Mass();
        if (!info.builtIn && mass >= heavyMass) {
            record.heavy.push_back(HeavyItem{member, item.WorldPosition(), mass});
        }
        if (!(mass > 0.0)) {
            continue;
        }
        const double acceleration = static_cast<double>(Length(item.Force())) / mass;
        ImpactState& state = *info.impact;
        if (state.trend == 0) {
            state.trend = 1;
            state.lastAcceleration = acceleration;
        }
        const double change = acceleration - state.lastAcceleration;
        state.lastAcceleration = acceleration;
        if (state.trend == 1 && change < 0.0 && acceleration > kImpactThreshold &&
            impactListener_ != nullptr) {
            record.impacts.emplace_back(member, acceleration);
        }
        state.trend = change < 0.0 ? -1 : 1;
    }
}

void FieldItemWorld::Step(const TickInput* input) {
    // a large world's step is shared out or not as the chooser finds faster
    using Clock = std::chrono::steady_clock;
    const Clock::time_point begin = Clock::now();
    RefreshMembers();
    const bool large = workers_ != nullptr && memberInfo_.size() >= parallelMinimum_;
    if (large && sharing_.Shared() != shared_) {
        ShareSteps(sharing_.Shared());
    }

    DetectCollisions();

    // applied forces, integration and refresh: what each needs of the shares' serial work
    // comes first (the player's control, the heavy items), what they give after (members
    // whose motion is no longer finite, the grid's lists)
    const Clock::time_point start = Clock::now();
    BeginControl(input);
    NoteHeavyItems();
    PrepareRefresh(nullptr, nullptr);
    const Clock::time_point shared = Clock::now();
    RunPhase(kPhaseMove);
    controlling_ = false;
    input_ = nullptr;
    RemoveNonFinite();
    CompleteRefresh();

    // the phases' times as the stepping thread saw them: its own share's (the first record's)
    // control and integration, the rest as the refresh
    const std::array<double, 3>& own = records_[0].moveSeconds;
    const double total = std::chrono::duration<double>(Clock::now() - start).count();
    lastTiming_.forces = std::chrono::duration<double>(shared - start).count() + own[0];
    lastTiming_.integration = own[1];
    lastTiming_.refresh = std::max(total - lastTiming_.forces - lastTiming_.integration, 0.0);
    totalTiming_.forces += lastTiming_.forces;
    totalTiming_.integration += lastTiming_.integration;
    totalTiming_.refresh += lastTiming_.refresh;
    if (large) {
        sharing_.NoteStep(std::chrono::duration<double>(Clock::now() - begin).count());
    }
}

void FieldItemWorld::Control(const TickInput* input) {
    const StepTiming::PhaseClock clock(lastTiming_.forces, totalTiming_.forces);
    BeginControl(input);
    ApplyGravity();
    controlling_ = false;
}

void FieldItemWorld::BeginControl(const TickInput* input) {
    RefreshMembers();
    // the player first: it may push the item it holds
    if (player_ >= 0) {
        memberInfo_[player_].item->Control(input);
    }
    input_ = input;
    controlling_ = true;
}

void FieldItemWorld::ApplyGravity() {
    RefreshMembers();
    NoteHeavyItems();
    RunPhase(kPhaseControl);
    input_ = nullptr;
}

void FieldItemWorld::NoteHeavyItems() {
    // the heavy items pull from where they stand before anything moves (the contact phase
    // just before noted them, as nothing has moved since)
    heavy_.clear();
    if (heavyNoted_) {
        for (int r = 0; r < recordCount_; ++r) {
            heavy_.insert(heavy_.end(), records_[r].heavy.begin(), records_[r].heavy.end());
        }
    } else {
        for (std::uint32_t i = 0; i < memberInfo_.size(); ++i) {
            const MemberInfo& info = memberInfo_[i];
            const double mass = info.item->Mass();
            if (!info.builtIn && mass >= settings_.heavyMass) {
                heavy_.push_back(HeavyItem{i, info.item->WorldPosition(), mass});
            }
        }
    }
    heavyNoted_ = false;
}

void FieldItemWorld::ControlMembers(StepRecord& record) {
    const WorldSettings& settings = settings_;
    const double gravitationalConstant = settings.gravitationalConstant;
    const double surfaceGravity = settings.gravity * gravitationalConstant * settings.earthMass /
                                  (settings.earthRadius * settings.earthRadius);
    const Share& share = record.share;
    for (std::uint32_t member = share.begin; member < share.end; ++member) {
        const MemberInfo& info = memberInfo_[member];
        FieldItem* item = info.item;
        if (controlling_ && static_cast<int>(member) != player_) {
            if (item->IsFixed()) {
                item->Force() = Vector3();
                item->Torque() = Vector3();
            } else {
                item->Control(input_);
            }
        }
        if (info.builtIn) {
            continue;
        }

        // gravity, and the pull of every heavy item in member order (its own gravity comes in
        // that order too); two at one place pull nothing
        const double mass = item->Mass();
        bool weighed = false;
        for (const HeavyItem& heavy : heavy_) {
            if (!weighed && heavy.member >= member) {
                item->Force().y -= mass * surfaceGravity;
                weighed = true;
            }
            if (heavy.member == member) {
                continue;
            }
            const Vector3 offset = heavy.position - item->WorldPosition();
            const double distance = Length(offset);
            if (!(distance > 0.0)) {
                continue;
            }
            const double pull = gravitationalConstant * heavy.mass * mass / (distance * distance) / distance;
            item->Force() += offset * static_cast<float>(pull);
        }
        if (!weighed) {
            item->Force().y -= mass * surfaceGravity;
        }
    }
}

void FieldItemWorld::Integrate(const TickInput* input) {
    const StepTiming::PhaseClock clock(lastTiming_.integration, totalTiming_.integration);
    RefreshMembers();
    heavyNoted_ = false;
    input_ = input;
    RunPhase(kPhaseIntegrate);
    input_ = nullptr;
    RemoveNonFinite();
}

void FieldItemWorld::RemoveNonFinite() {
    // a member whose motion is no longer finite is out of every pair from now on and gone at the
    // tick's purge, so that it cannot poison the rest
    for (int r = 0; r < recordCount_; ++r) {
        for (const std::uint32_t member : records_[r].removed) {
            FieldItem& item = *memberInfo_[member].item;
            item.MarkDeleted();
            ++safeguards_.removedMembers;
            Log(L".\\FieldItemWorld", __LINE__,
                L"[" + item.Name() + L"] removed: its motion is no longer finite", 1);
        }
    }
}

void FieldItemWorld::IntegrateMembers(StepRecord& record) {
    record.removed.clear();
    auto finite = [](const Vector3& v) {
        return std::isfinite(v.x) && std::isfinite(v.y) && std::isfinite(v.z);
    };
    const Share& share = record.share;
    for (std::uint32_t member = share.begin; member < share.end; ++member) {
        const MemberInfo& info = memberInfo_[member];
        FieldItem& item = *info.item;
        if (item.IsFixed()) {
            continue;
        }
        item.Integrate(input_);
        if (info.builtIn || item.IsDeleted()) {
            continue;
        }
        const Quaternion& q = item.Orientation();
        if (!(finite(item.Transform().Translation()) && finite(item.Velocity()) &&
              finite(item.AngularVelocity()) && std::isfinite(q.x) && std::isfinite(q.y) &&
              std::isfinite(q.z) && std::isfinite(q.w))) {
            record.removed.push_back(member);
        }
    }
}
