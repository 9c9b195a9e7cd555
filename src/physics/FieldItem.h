#pragma once
// Base of everything in the world: rigid-body state, bounds read by the broad phase
// and the pair filter, and one body's motion integration over a time step.

#include <atomic>
#include <cstdint>
#include <memory>
#include <string>

#include "physics/ItemOrigin.h"
#include "physics/Matrix3.h"
#include "physics/Matrix4.h"
#include "physics/Quaternion.h"
#include "physics/Vector3.h"

struct DrawContext;
struct TickInput;
struct WorldSettings;

/// Head of every item's initialization record.
struct Placement {
    /// Frame in which the other fields are given; null for the world frame.
    class FieldItem* parent = nullptr;
    Vector3 position;
    Vector3 velocity;
    /// Rotation vector: axis times angle in radians.
    Vector3 angle;
    /// Body axes.
    Vector3 angularVelocity;
};

// Items start on a pair of cache lines of their own (the cores fetch lines in aligned pairs).
class alignas(128) FieldItem {
public:
    FieldItem() = default;
    virtual ~FieldItem() = default;
    FieldItem(const FieldItem&) = delete;
    FieldItem& operator=(const FieldItem&) = delete;

    virtual std::wstring TypeName() const = 0;
    virtual bool IsComposite() const = 0;
    virtual void SetName(const std::wstring& name) { name_ = name; }
    virtual std::wstring Name() const { return name_; }
    virtual void SetParent(FieldItem* parent) { parent_ = parent; }
    virtual FieldItem* Parent() const { return parent_; }
    virtual void SetFixed(bool fixed) { fixed_ = fixed; }
    virtual bool IsFixed() const { return fixed_; }
    virtual double Mass() const { return mass_; }
    virtual Matrix4& Transform() { return transform_; }
    virtual Matrix4& WorldTransform() { return worldTransform_; }
    const Matrix4& WorldTransform() const { return worldTransform_; }
    virtual Vector3& Velocity() { return velocity_; }
    virtual Vector3& Force() { return force_; }
    virtual Matrix4& Inertia() { return inertia_; }
    virtual Quaternion& Orientation() { return orientation_; }
    virtual Quaternion& WorldOrientation() { return worldOrientation_; }
    virtual Vector3& AngularVelocity() { return angularVelocity_; }
    virtual Matrix4& InverseInertia() { return inverseInertia_; }
    virtual Vector3& Torque() { return torque_; }
    virtual double BoundingRadius() const { return boundingRadius_; }
    virtual Vector3& BoundingExtent() { return boundingExtent_; }
    const Vector3& BoundingExtent() const { return boundingExtent_; }
    /// Applies the placement at the head of the record; subclasses call this first.
    virtual void Initialize(const Placement& record);
    virtual void Draw(DrawContext* context);
    /// Semi-implicit Euler step of the step settings' time step; the input is not used.
    virtual void Integrate(const TickInput* input);
    virtual void Control(const TickInput* input);
    /// Recomputes world transform, world orientation and bounding extent; either argument may be null.
    virtual void UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation);
    /// Marks the item deleted, and each group above it as holding a deleted item, so that a
    /// purge walks only the groups where something was marked.
    virtual void MarkDeleted();
    virtual bool IsDeleted() const { return deleted_; }
    /// World axes to body axes.
    virtual void ToLocal(Vector3& vector) const;
    /// Body axes to world axes.
    virtual void ToWorld(Vector3& vector) const;
    /// The settings of the tick that runs: those its world was handed (FieldItemWorld
    /// overrides this), the built-in ones for an item in no world. Read only while steps run.
    virtual const WorldSettings& StepSettings() const;
    /// World and shadow matrices a primitive is drawn with, for a mesh scaled by (sx, sy, sz),
    /// at the context's zoom (none without a context).
    virtual void DrawMatrices(Matrix4& world, Matrix4& shadow, const DrawContext* context, float sx, float sy,
                              float sz);

    /// A free turn whose explicit step would gain more than this fraction of its energy is held
    /// to the energy it had.
    static constexpr double kGyroscopicGain = 1e-6;
    /// How often, in this process, a step held a free turn to its energy.
    static std::uint64_t GyroscopicLimits() { return gyroscopicLimits_.load(std::memory_order_relaxed); }

    /// Position: the translation row of the world transform.
    Vector3 WorldPosition() const { return worldTransform_.Translation(); }
    /// The world orientation as a rotation matrix, kept by UpdateWorld; ToWorld and ToLocal turn with it.
    const Matrix3& WorldRotation() const { return worldRotation_; }
    const Vector3& HalfExtents() const { return halfExtents_; }
    /// How a field definition made the item; null for an item made otherwise.
    const ItemOrigin* Origin() const { return origin_.get(); }
    void SetOrigin(std::shared_ptr<const ItemOrigin> origin) { origin_ = std::move(origin); }

protected:
    // The fields a step writes (the motion, the placements, the bounds) lie together after 128
    // bytes of fields it only reads. The step's threads each move the items of their own share
    // of the members, whose order (by name) need not be the order in which the items were
    // made: written data of two items on one pair of cache lines would pass back and forth
    // between the cores (a world of 2000 items, named out of their creation order, ran slower
    // on two threads than on one).
    std::wstring name_;
    FieldItem* parent_ = nullptr;
    bool deleted_ = false;
    /// For a group: an item was added to it, or to a group below it, since its last commit;
    /// an item was marked deleted in it, or below it, since its last purge.
    bool addedBelow_ = false;
    bool deletedBelow_ = false;
    /// Notes an addition for this group and each group above it.
    void NoteAddedBelow();
    bool fixed_ = false;
    double mass_ = 0.0;
    Matrix4 inertia_;

    Matrix4 transform_;
    // the motion on one line: the contact phase reads it of other threads' items
    Vector3 velocity_;
    Vector3 angularVelocity_;
    Vector3 force_;
    Matrix4 worldTransform_;
    Quaternion orientation_;
    Vector3 torque_;
    Quaternion worldOrientation_;
    Matrix3 worldRotation_;
    Vector3 boundingExtent_;

    double boundingRadius_ = 0.0;
    Matrix4 inverseInertia_;
    Vector3 halfExtents_;
    std::shared_ptr<const ItemOrigin> origin_;

private:
    static std::atomic<std::uint64_t> gyroscopicLimits_;
};
