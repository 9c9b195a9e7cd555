#pragma once
// The root group of the simulation: it owns every item of the scene (the land, the sky,
// the local player and the user's items) and advances them in fixed time steps of four
// phases, which a step (Step) runs in this order: contact forces (DetectCollisions),
// applied forces (Control), integration (Integrate) and the refresh of world placements
// with the broad-phase grid (UpdateWorld). Contacts are soft springs inside a tolerance
// band, with restitution, static and kinetic friction, drag and spin damping. The contact,
// integration and refresh work is shared out among one worker thread per processor and
// the calling thread (see WorldWorkers).
//
// Shares of the step: the members are split into one share of consecutive member indices per
// thread, and every phase of the step runs one record per share, so that a core keeps its
// members' data from phase to phase (WorldWorkers hands each thread its own record first).
// The pairs have a share of their own, as their cost lies unevenly on the members; both
// shares are balanced on the time they took, as the cores need not run at one speed (the
// members' share on the larger of its contact forces and its own phases). A
// member's applied forces, integration and refresh need nothing of other members, so a step
// runs the three for a share in one go.
// A record finds the pairs whose first member it owns, detects their contacts and works
// out what each contact's forces need that does not depend on other contacts; the records
// then sum, each for its own members, the contacts of each member in one order, that of a
// single record (by the first item's member index, then pair order, then detection order):
// the spring loads and the softening of springs too stiff for the step, the drag and spin
// damping with the static-friction test that reads the accumulator as it stands at that
// contact, then the spring, restitution and friction forces. No two threads write one
// member, and every worker count gives exactly the results of a single record. On a busy
// machine sharing may be slower than the calling thread alone: Step takes whichever way its
// steps were faster in (ShareModeChooser).

#include <algorithm>
#include <array>
#include <cstdint>
#include <functional>
#include <map>
#include <memory>
#include <string>
#include <vector>

#include "collision/CollisionRegistry.h"
#include "collision/Contact.h"
#include "physics/BroadPhaseGrid.h"
#include "physics/FieldItemComposite.h"
#include "physics/ShareModeChooser.h"
#include "physics/StepTiming.h"
#include "physics/WorldSettings.h"

class CollisionDetect;
class ImpactListener;
class PlayerLocal;
class ViewWindow;
class WorldWorkers;

class FieldItemWorld : public FieldItemComposite {
public:
    /// An acceleration peak above this is reported as an impact, m/s^2.
    static constexpr double kImpactThreshold = 100.0;
    /// Lift of AddItem per overlapping member, m.
    static constexpr float kLiftStep = 0.001f;
    /// AddItem gives up lifting after this many steps (100 m) and adds the item where it got to.
    static constexpr int kMaximumLiftSteps = 100000;
    /// Worlds of fewer members run every phase on the calling thread: handing them to the
    /// workers would cost more than it saves (500 balls in towers ran as fast on two workers
    /// as on one, 1000 balls 1.16 times as fast). The results are the same either way.
    static constexpr std::size_t kParallelMinimum = 1000;
    /// At most this many threads share a step.
    static constexpr int kMaximumWorkers = 32;

    /// A world with one worker per processor of the machine.
    explicit FieldItemWorld(ViewWindow* viewWindow);
    /// A world with the given worker count (at most kMaximumWorkers); below 2 every phase runs on
    /// the calling thread.
    FieldItemWorld(ViewWindow* viewWindow, int workerCount);
    /// Stops the workers, then destroys the members.
    ~FieldItemWorld() override;

    /// Creates the local player, the sky (initialized with the record) and the land.
    void Initialize(const Placement& record) override;
    /// Integration phase: every member that is not fixed, in records of consecutive members shared out
    /// among the calling thread and the workers.
    void Integrate(const TickInput* input) override;
    /// Applied-force phase: the local player's control, fixed members cleared, gravity.
    void Control(const TickInput* input) override;
    /// Refresh phase: every member's world placement, then the broad-phase grid.
    void UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation) override;
    /// Lifts the item in 1 mm steps until the pair filter accepts it with no member other
    /// than the land, the sky and the player, then enters it among the pending members.
    void AddItem(const std::wstring& name, std::unique_ptr<FieldItem> item) override;

    /// A live member that an item being lifted may meet, with the kinds the pair filter reads.
    struct LiftCandidate {
        FieldItem* member;
        ShapeKind memberKind;
        ShapeKind itemKind;
    };
    /// The live members other than the land, the sky and the player that the pair filter may
    /// accept with the item at some height (the lift changes its height alone), in member
    /// order; refreshes the item's world placement.
    void FindLiftCandidates(FieldItem& item, std::vector<LiftCandidate>& candidates);
    /// How many of the candidates the pair filter accepts with the item where its world
    /// placement stands (at most one when firstOnly), dropping those it has risen past for good.
    /// The candidates' order, and the answer, are those of the pair filter over all members.
    int MeetLiftCandidates(const FieldItem& item, std::vector<LiftCandidate>& candidates,
                           bool firstOnly) const;
    void CommitPending() override;
    /// Lets the player drop a grabbed item that is about to be destroyed, then purges.
    void PurgeDeleted() override;

    /// The settings the next steps run with; the front end hands them in before each tick
    /// (the tester copies its configuration in), never while a step runs. Until then the
    /// built-in settings hold.
    void SetSettings(const WorldSettings& settings) { settings_ = settings; }
    /// The settings of the running tick, read by the world and, through their parents, its items.
    const WorldSettings& StepSettings() const override { return settings_; }

    /// Contact phase: pairs from the grid, detection, contact forces, merge, impact listening.
    virtual void DetectCollisions();
    /// One step: the contact phase, then the applied forces, the integration and the refresh as
    /// Control, Integrate and UpdateWorld(null, null) give them, with the same results; in a
    /// large world each thread runs the last three for its share in one go, as a member's own
    /// phases need nothing of other members.
    void Step(const TickInput* input);
    /// Marks deleted every member that is not the sky, the land or a player.
    virtual void RemoveUserItems();
    /// Whether a member name is one the world makes itself (the land, the sky, the local player).
    static bool IsBuiltInName(const std::wstring& name);
    /// How many items the impact detection keeps a state for (the members of the last step).
    std::size_t ImpactStateCount() const { return impacts_.size(); }
    /// The 1 m cells covering [xmin, xmax] x [zmin, zmax]: the floor of each bound, limited to
    /// the range in which the cell keys stay unique.
    virtual void CellRange(double xmin, double xmax, double zmin, double zmax, int& ix0, int& ix1, int& iz0,
                           int& iz1) const;
    /// Gravity on every member but the land, the sky and the player, and the pull of heavy items.
    virtual void ApplyGravity();

    int WorkerCount() const { return workerCount_; }
    /// Stops the workers and starts the given number; below 2 every phase runs on the calling thread.
    void SetWorkerCount(int workerCount);
    /// The member count from which the phases are shared out (kParallelMinimum unless set).
    void SetParallelMinimum(std::size_t members);
    /// Into how many shares the last step's phases were split (1: the calling thread alone).
    int ShareCount() const { return recordCount_; }
    /// How often Step changed between sharing a large world's steps out and running them on the
    /// calling thread alone, as the one or the other was faster (see ShareModeChooser).
    int ShareModeChanges() const { return sharing_.Changes(); }
    ViewWindow* View() const { return viewWindow_; }
    /// Told of every contact of every contact phase, in the order the forces are applied, with the
    /// two world members of its pair (first, second); called on the stepping thread.
    using ContactListener = std::function<void(FieldItem& first, FieldItem& second, const Contact& contact)>;
    void SetContactListener(ContactListener listener) { contactListener_ = std::move(listener); }
    /// Told of every impact from the next contact phase on; not owned, null reports to no one.
    /// The tester installs its impact sound here: world->SetImpactListener(&impactSound).
    void SetImpactListener(ImpactListener* listener) { impactListener_ = listener; }
    /// The broad phase as the last refresh left it.
    const BroadPhaseGrid& Grid() const { return grid_; }
    /// How long each phase took when it last ran (the last step's phases), s.
    const StepTiming& LastStepTiming() const { return lastTiming_; }
    /// Each phase's time summed over every step of the world's life, s.
    const StepTiming& TotalStepTiming() const { return totalTiming_; }
    /// Appends the contacts the last contact phase found (point, normal, distance), in no
    /// particular order; they stay until the next contact phase.
    void LastContacts(std::vector<Contact>& contacts) const;
    /// The elastic energy held by the springs of the last contact phase's contacts (each k (tau - d) / 2,
    /// with its softening), J: the part of a world's potential energy that rests in its contacts.
    double ContactSpringEnergy() const;

    /// How often the step's safeguards against an unstable explicit step acted since the world was made.
    struct SafeguardCounts {
        /// Contacts whose spring was softened because it was too stiff for the items and the time step.
        std::uint64_t softenedContacts = 0;
        /// Friction, drag and spin-damping contributions cut to what stops the motion they oppose.
        std::uint64_t limitedFriction = 0;
        std::uint64_t limitedDrag = 0;
        std::uint64_t limitedDamping = 0;
        /// Separating contacts whose release was held back because the step is coarse for their spring.
        std::uint64_t limitedRelease = 0;
        /// Contacts whose drag along the surface faded because the items moved along it slowly.
        std::uint64_t slowDrag = 0;
        /// Members taken out of the world because their state was no longer finite.
        std::uint64_t removedMembers = 0;
    };
    const SafeguardCounts& Safeguards() const { return safeguards_; }
    /// The explicit step stays stable while h^2 times the stiffness an item feels over its mass stays
    /// below 4 (for one spring, the step h times the angular frequency below 2); springs are softened
    /// where the sum over an item's contacts, an upper bound of that ratio, would exceed this.
    static constexpr double kStiffnessLimit = 2.0;
    /// A softened item's springs stiffen back by at most this fraction a step.
    static constexpr double kStiffnessRecovery = 0.02;
    /// A spring between two items counts for one of them as at most this many times as stiff as against
    /// an item that never moves: where the other item is the much lighter one, its own limit softens the
    /// pair's spring, and the heavy item's other springs keep their strength.
    static constexpr double kPartnerLoadRatio = 2.0;
    /// Below this speed of two items along their contact's surface the drag's part along it fades with
    /// the square of the speed, m/s: a resting item's creep is slower, a rolling or sliding one faster.
    static constexpr double kDragFadeSpeed = 0.01;

private:
    /// What impact listening remembers of a member name: the acceleration at the previous
    /// contact phase and its trend (0 not yet seen, 1 rising, -1 falling).
    struct ImpactState {
        double lastAcceleration = 0.0;
        std::int32_t trend = 0;
    };

    /// Per-member view of the step, rebuilt whenever the member set changes.
    struct MemberInfo {
        FieldItem* item = nullptr;
        ShapeKind kind = ShapeKind::kOther;
        bool composite = false;
        /// Named "sky", "land" or "localplayer": no grid, no gravity.
        bool builtIn = false;
        bool namedLand = false;
        bool namedSky = false;
        bool namedPlayer = false;
        /// TypeName "land": swallows force and torque.
        bool typeLand = false;
        /// What collision treats the member as: the member itself, or for a composite of one member
        /// that member, down to the first item that is not such a composite (found once per
        /// change of the member set, not per pair); its kind and whether it is a composite.
        FieldItem* inner = nullptr;
        ShapeKind innerKind = ShapeKind::kOther;
        bool innerComposite = false;
        /// The member is not itself what collision treats it as.
        bool wrapped = false;
        /// Collision treats it as a primitive of a known kind other than the land and the ray: the
        /// pair filter can be applied to it from the cached bounds of that primitive.
        bool bounded = false;
        /// The member's entry of the impact state, kept by name for the life of the world.
        ImpactState* impact = nullptr;
    };

    /// One spring of a member as its stiffness sees it: weight (slope times h^2, raised by the
    /// other item's share of the mobility) and the force direction with its arm (body axes).
    struct SpringRow {
        std::uint32_t member;
        double weight;
        Vector3 direction;
        Vector3 arm;
    };

    /// A contact with the pair it came from and what the contact phase works out for it.
    struct PairContact {
        Contact contact;
        std::uint32_t first;
        std::uint32_t second;
        /// The contact exerts forces (inside the band, positive spring); separating.
        bool active;
        bool separating;
        /// Spring strength k.
        double strength;
        /// Spring force on the first item (the second takes its negative) and the torques of both.
        Vector3 spring;
        Vector3 firstSpringTorque;
        Vector3 secondSpringTorque;
        /// Restitution's weakening while separating, on the first item, and the torques of both.
        Vector3 restitution;
        Vector3 firstRestitutionTorque;
        Vector3 secondRestitutionTorque;
        /// Inverse of the pair's effective mass along the normal at the contact point, 1/kg.
        double mobility;
        /// The drag's part along the surface faded: the items move along it slowly.
        bool slowDrag;
        /// Drag on each item (world axes) and spin damping of each (body axes).
        Vector3 firstDrag;
        Vector3 secondDrag;
        Vector3 firstDamping;
        Vector3 secondDamping;
        /// Friction magnitude, worked out by the first item's record with the softening (whose
        /// factor it applies to the strength, the springs, restitution and their torques, while
        /// the drag and damping are scaled where they are summed).
        double friction;
        bool softened;
    };

    /// The members of a contact, kept apart so that every record can find the contacts of its
    /// members among all records' contacts without reading the contacts themselves.
    struct ContactEnds {
        std::uint32_t first;
        std::uint32_t second;
    };

    /// The sums of a member over the contact phase: its accumulators with the drag and spin
    /// damping added in contact order (direct), and whether it had a contact at all.
    struct DirectSums {
        Vector3 force;
        Vector3 torque;
        bool touched = false;
    };

    /// A member that pulls every other one, with its place and mass, for the control phase.
    struct HeavyItem {
        std::uint32_t member;
        Vector3 position;
        double mass;
    };

    /// The members [begin, end) of a record's share, and how long its phases took since the
    /// last balance, s.
    struct Share {
        std::uint32_t begin = 0;
        std::uint32_t end = 0;
        double seconds = 0.0;
    };

    /// The work of one share of the members in every phase; records sit on cache lines of their
    /// own, as different threads fill them.
    struct alignas(64) StepRecord {
        /// The members whose pairs (as first member) and contacts the record finds.
        Share pairShare;
        /// The members whose contact forces and own phases (control, integration, refresh) the
        /// record works out. Their cost is spread over the members unlike that of the pairs,
        /// so the two shares are balanced apart.
        Share share;
        std::vector<BroadPhaseGrid::Pair> pairs;
        std::vector<BroadPhaseGrid::Pair> grouped;
        std::vector<std::uint32_t> counts;
        std::vector<Contact> detected;
        /// The contacts of the pairs whose first member the record owns, in contact order.
        std::vector<PairContact> contacts;
        std::vector<ContactEnds> ends;
        /// Per owned member: its contacts among all records', in contact order.
        std::vector<std::uint32_t> incidentBegin;
        std::vector<std::uint32_t> fill;
        std::vector<PairContact*> incident;
        std::vector<SpringRow> rows;
        /// Owned members that heard an impact (with the acceleration), and whose motion is no
        /// longer finite.
        std::vector<std::pair<std::uint32_t, double>> impacts;
        std::vector<HeavyItem> heavy;
        std::vector<std::uint32_t> removed;
        /// The pairs of neighbours the record's part of the grid's search found.
        std::vector<std::uint64_t> neighbours;
        /// How long the share's control, integration and refresh took in the last step, s.
        std::array<double, 3> moveSeconds{};
        /// How long the share's contact forces (loads, friction, sums) took since the last
        /// balance, s; its own phases' time is the share's.
        double contactSeconds = 0.0;
        SafeguardCounts safeguards;
        BroadPhaseGrid::RangeChanges gridChanges;
    };

    void StartWorkers(int workerCount);
    /// Makes the next steps of a large world shared out, or run on the calling thread alone
    /// (keeping the balanced shares for the way back).
    void ShareSteps(bool shared);
    /// Splits the members into the shares of the records.
    void AssignRecords();
    /// Moves the shares' borders so that each share takes about as long: the threads need not
    /// run at one speed (one core may be slower, or busy), so the time each share took over
    /// its work sets its next size.
    void BalanceRecords();
    /// Moves the borders of one share of every record (pairShare or share) after the time each
    /// took for its work, the sum of the members' weights: base each, plus its pair count
    /// where pairs (indexed by member) is given.
    void Rebalance(Share StepRecord::*kind, const std::uint32_t* pairs, std::uint64_t base);
    /// Runs one phase of every record, on the workers in a large world.
    void RunPhase(int code);
    void RunWorker(int code, int index);
    /// The control phase's start: the local player's control, then the members' control is due.
    void BeginControl(const TickInput* input);
    /// The heavy items of this step, for the control phase.
    void NoteHeavyItems();
    /// Marks deleted (and logs) each member the integration found no longer finite.
    void RemoveNonFinite();
    /// The refresh before and after the shares' placements: the parent placement and the
    /// grid's preparation; the grid's changes and lists.
    void PrepareRefresh(const Matrix4* parentTransform, const Quaternion* parentOrientation);
    void CompleteRefresh();
    /// Rebuilds the member tables if the member set changed.
    void RefreshMembers();
    /// Enters every member's current bounds into the grid.
    void RefreshGrid();
    /// Notes a member's bounds and orientation for the grid and the contact phase.
    void CaptureBounds(std::size_t member);
    /// The contact work of one record: its pairs, their contacts, and each contact's own forces.
    void FindContacts(StepRecord& record);
    void DetectContacts(StepRecord& record);
    /// Each owned member's contacts among all records', its spring load and the factor its
    /// springs are softened by (for springs too stiff for the time step).
    void LoadSprings(StepRecord& record);
    /// Each owned member's drag and spin damping in contact order; the contacts whose first item it
    /// is get their softening, their held-back release and their friction magnitude (the static
    /// friction reads the sums of that moment).
    void WeighFriction(StepRecord& record);
    /// Each owned member's spring, restitution and friction forces; then its accumulators, and
    /// its impact state.
    void SumForces(StepRecord& record);
    /// The softening factor of a contact: the smaller of its two items' factors.
    double ContactFactor(const PairContact& entry) const {
        return std::min(springLoad_[entry.first], springLoad_[entry.second]);
    }
    /// Power iterations that estimate an item's stiffest mode.
    static constexpr int kEigenIterations = 24;
    /// The largest eigenvalue of h^2 M^-1 K over the member's spring rows.
    double LargestSpringEigenvalue(std::uint32_t member, const std::vector<SpringRow>& rows) const;
    /// Holds back part of a separating spring's release where the step is coarse for it (see the
    /// definition); called for every active contact once the softening is known.
    void LimitRelease(PairContact& entry, double factor, SafeguardCounts& safeguards) const;
    /// Fades the part of a contact's drag along the surface where the items move along it slowly (see
    /// the definition); the relative velocity is the second item's minus the first's.
    static void FadeSlowDrag(PairContact& entry, const Vector3& relative);
    /// Inverse of the effective mass of a member along a direction at a point (0 for one that never moves).
    double InverseMassAlong(std::uint32_t member, const Vector3& point, const Vector3& direction) const;
    /// Owned members' control (fixed ones cleared) and gravity with the pull of heavy items.
    void ControlMembers(StepRecord& record);
    /// Integrates every owned member that is not fixed and notes those whose motion is no longer finite.
    void IntegrateMembers(StepRecord& record);
    /// Owned members' world placements and what the grid and the contact phase read of them.
    void RefreshPlacements(StepRecord& record);

    ViewWindow* viewWindow_;
    int workerCount_ = 1;
    std::size_t parallelMinimum_ = kParallelMinimum;
    WorldSettings settings_;
    ContactListener contactListener_;
    ImpactListener* impactListener_ = nullptr;
    std::unique_ptr<WorldWorkers> workers_;
    StepTiming lastTiming_;
    StepTiming totalTiming_;

    // member tables
    bool membersChanged_ = true;
    /// The grid does not hold the current member set yet.
    bool gridStale_ = true;
    std::vector<MemberInfo> memberInfo_;
    std::vector<BroadPhaseGrid::Body> bodies_;
    /// What the pair filter reads of each member's inner item as the last refresh left it.
    struct FilterBounds {
        Vector3 position;
        Vector3 extent;
        double radius = 0.0;
    };
    std::vector<FilterBounds> filters_;
    /// World rotation of each member as the last refresh left it.
    std::vector<Matrix3> orientations_;
    /// Members an item being added may still meet as it is lifted.
    std::vector<LiftCandidate> liftCandidates_;
    /// The composite change count the member tables were built at.
    std::uint64_t tableChanges_ = 0;
    int land_ = -1;
    int player_ = -1;
    BroadPhaseGrid grid_;
    std::map<std::wstring, ImpactState> impacts_;
    SafeguardCounts safeguards_;
    /// Per member: the sum over its contacts of spring slope times the contact's mobility, then
    /// the factor its springs are softened by.
    std::vector<double> springLoad_;
    /// Per member: the factor its springs were softened by in the last contact phase.
    std::vector<double> springFactor_;
    bool factorsStale_ = true;
    std::vector<DirectSums> direct_;
    std::vector<HeavyItem> heavy_;
    /// The last contact phase noted the heavy items, and nothing moved since.
    bool heavyNoted_ = false;

    // the records of the shares, kept across steps; recordCount_ of them are in use
    std::vector<StepRecord> records_;
    int recordCount_ = 1;
    bool recordsStale_ = true;
    /// Step's choice for a large world, and the shares (pairs, members) it left to run on the
    /// calling thread alone.
    ShareModeChooser sharing_;
    bool shared_ = true;
    std::vector<std::pair<Share, Share>> savedShares_;
    /// Per member: its pairs as first member in the last contact phase; the shares are balanced
    /// every kBalanceInterval contact phases.
    std::vector<std::uint32_t> memberPairs_;
    static constexpr int kBalanceInterval = 4;
    int stepsSinceBalance_ = 0;
    const TickInput* input_ = nullptr;
    /// The gravity phase runs the members' own control first (the control phase).
    bool controlling_ = false;
    const Matrix4* refreshTransform_ = nullptr;
    const Quaternion* refreshOrientation_ = nullptr;
    /// Detectors of the known shape kinds for this phase.
    CollisionDetect* detectors_[kShapeKindCount][kShapeKindCount] = {};
    /// The detectors of two spheres and of a sphere and the land are the usual ones: the
    /// contact phase then works them out from the bounds the last refresh took (the spheres'
    /// own lines, written at each refresh, may lie on the other threads' cores).
    bool spheresFromBounds_ = false;
    bool sphereLandFromBounds_ = false;
};
