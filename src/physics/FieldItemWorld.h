#pragma once
// The root group of the simulation: it owns every item of the scene (the land, the sky,
// the local player and the user's items) and advances them in fixed time steps of four
// phases, which the tester drives in this order: contact forces (DetectCollisions),
// applied forces (Control), integration (Integrate) and the refresh of world placements
// with the broad-phase grid (UpdateWorld). Contacts are soft springs inside a tolerance
// band, with restitution, static and kinetic friction, drag and spin damping. The contact,
// integration and refresh work is shared out among one worker thread per processor and
// the calling thread (see WorldWorkers).
//
// Contact records and the sums: the pairs of the grid are dealt cyclically, in pair order,
// to one record per worker, and each record detects its pairs' contacts and works out
// what each contact's forces need that does not depend on other contacts (spring
// strength, drag, spin damping, the spring and restitution forces with their torques).
// One thread then walks all contacts in the order in which a single record applies them
// (by the first item's member index, then pair order, then detection order): it adds the drag
// and spin damping to the items' accumulators, lets each static-friction test read the
// accumulator as it stands at that moment, and sums each item's results in that same
// order. No two workers write one item, and every worker count gives exactly the
// results of a single record.

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
    /// Phases smaller than this (pairs, or items to integrate) run on the calling thread: handing
    /// them to the workers would cost more than it saves. The results are the same either way.
    static constexpr std::size_t kParallelMinimum = 256;

    /// A world with one worker per processor of the machine.
    explicit FieldItemWorld(ViewWindow* viewWindow);
    /// A world with the given worker count; below 2 every phase runs on the calling thread.
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

    /// A contact with the pair it came from and what the contact phase works out for it.
    struct PairContact {
        Contact contact;
        std::uint32_t first;
        std::uint32_t second;
        /// The pair's rank and the contact's place among the pair's contacts: with the first
        /// item's member index they give the order of a single record.
        std::uint64_t rank;
        std::uint32_t part;
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
        /// The spring was softened: the step is too large for this contact.
        bool softened;
        /// The drag's part along the surface faded: the items move along it slowly.
        bool slowDrag;
        /// Drag on each item (world axes) and spin damping of each (body axes).
        Vector3 firstDrag;
        Vector3 secondDrag;
        Vector3 firstDamping;
        Vector3 secondDamping;
    };

    /// One item's sums over the phase.
    struct Accumulator {
        std::uint32_t resultStamp = 0;
        std::uint32_t directStamp = 0;
        /// Spring, restitution and friction forces (world axes) and torques (body axes).
        Vector3 resultForce;
        Vector3 resultTorque;
        /// The item's accumulators with the drag and spin damping of the phase added in order.
        Vector3 force;
        Vector3 torque;
    };

    /// One contact work record.
    struct ContactWork {
        std::vector<BroadPhaseGrid::Pair> pairs;
        std::vector<Contact> detected;
        std::vector<PairContact> contacts;
        std::vector<std::uint32_t> order;
        std::vector<std::uint32_t> counts;
    };

    /// One integration work record.
    struct IntegrationWork {
        std::vector<FieldItem*> items;
    };

    void StartWorkers(int workerCount);
    void RunWorker(int code, int index);
    /// Rebuilds the member tables if the member set changed.
    void RefreshMembers();
    /// Enters every member's current bounds into the grid.
    void RefreshGrid();
    /// Notes a member's bounds and orientation for the grid and the contact phase.
    void CaptureBounds(std::size_t member);
    /// The contact work of one record: detection, kinematics and each contact's own forces.
    void DetectContacts(ContactWork& work);
    /// Walks all contacts in the order of a single record: drag and spin damping, friction,
    /// and every item's sums; then adds the sums to the items.
    void SumContactForces();
    /// Lists every record's contacts in the order of a single record (ordered_).
    void OrderContacts();
    /// Softens the springs of contacts on items for which the springs are too stiff for the time step.
    void LimitContactStiffness();
    /// One spring of a member as its stiffness sees it: weight (slope times h^2, raised by the
    /// other item's share of the mobility) and the force direction with its arm (body axes).
    struct SpringRow {
        std::uint32_t member;
        double weight;
        Vector3 direction;
        Vector3 arm;
    };
    /// Power iterations that estimate an item's stiffest mode.
    static constexpr int kEigenIterations = 24;
    /// The largest eigenvalue of h^2 M^-1 K over the member's rows [begin, end) of springRows_.
    double LargestSpringEigenvalue(std::uint32_t member, std::size_t begin, std::size_t end) const;
    /// Holds back part of a separating spring's release where the step is coarse for it (see the
    /// definition); called for every active contact once the softening is known.
    void LimitRelease(PairContact& entry, double factor);
    /// Fades the part of a contact's drag along the surface where the items move along it slowly (see
    /// the definition); the relative velocity is the second item's minus the first's.
    static void FadeSlowDrag(PairContact& entry, const Vector3& relative);
    /// Inverse of the effective mass of a member along a direction at a point (0 for one that never moves).
    double InverseMassAlong(std::uint32_t member, const Vector3& point, const Vector3& direction) const;
    void ListenForImpacts();
    /// Integrates every member that is not fixed.
    void IntegrateMembers(const TickInput* input);
    /// Marks deleted, with a level-1 log record, every member whose motion is no longer finite.
    void RemoveNonFiniteMembers();

    ViewWindow* viewWindow_;
    int workerCount_ = 1;
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
    std::vector<SpringRow> springRows_;
    /// Per member: the factor its springs were softened by in the last contact phase.
    std::vector<double> springFactor_;

    // phase records, kept across steps
    std::vector<ContactWork> contactWork_;
    std::vector<IntegrationWork> integrationWork_;
    std::vector<Accumulator> accumulators_;
    std::vector<std::uint32_t> touched_;
    std::vector<std::uint32_t> heads_;
    /// The contacts of the phase in the order of a single record.
    std::vector<PairContact*> ordered_;
    const TickInput* input_ = nullptr;
    const Matrix4* refreshTransform_ = nullptr;
    const Quaternion* refreshOrientation_ = nullptr;
    std::uint32_t stamp_ = 0;
    /// Detectors of the known shape kinds for this phase.
    CollisionDetect* detectors_[kShapeKindCount][kShapeKindCount] = {};
};
