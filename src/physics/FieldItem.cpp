#include "physics/FieldItem.h"

#include <algorithm>
#include <atomic>
#include <cmath>

#include "physics/DrawContext.h"
#include "physics/WorldSettings.h"

namespace {

/// Rows of the upper-left 3x3 block times v (the tensor applied to a column vector).
Vector3 MultiplyRows(const Matrix4& m, const Vector3& v) {
    return {m._11 * v.x + m._12 * v.y + m._13 * v.z, m._21 * v.x + m._22 * v.y + m._23 * v.z,
            m._31 * v.x + m._32 * v.y + m._33 * v.z};
}

/// The matrix with its translation row multiplied by s.
Matrix4 ScaleTranslation(Matrix4 m, float s) {
    m._41 *= s;
    m._42 *= s;
    m._43 *= s;
    return m;
}

} // namespace

std::atomic<std::uint64_t> FieldItem::gyroscopicLimits_{0};

void FieldItem::Initialize(const Placement& record) {
    Vector3 position = record.position;
    Vector3 velocity = record.velocity;

    // start from the parent's frame, giving the offsets in its axes
    if (record.parent != nullptr) {
        FieldItem& parent = *record.parent;
        transform_ = parent.Transform();
        velocity_ = parent.Velocity();
        parent.ToWorld(position);
        parent.ToWorld(velocity);
        orientation_ = parent.Orientation();
    }

    transform_ = MatrixMultiply(transform_, MatrixTranslation(position));
    Quaternion turn = QuaternionRotationAxis(record.angle, Length(record.angle));
    orientation_ = QuaternionNormalize(QuaternionMultiply(turn, orientation_));
    velocity_ += velocity;
    angularVelocity_ = record.angularVelocity;
}

void FieldItem::Draw(DrawContext* /*context*/) {}

const WorldSettings& FieldItem::StepSettings() const {
    return parent_ != nullptr ? parent_->StepSettings() : kBuiltInSettings;
}

void FieldItem::Integrate(const TickInput* /*input*/) {
    const double timeStep = StepSettings().timeStep;
    const float dt = static_cast<float>(timeStep);

    // linear motion, semi-implicit: the new velocity moves the item; an item without
    // mass has no defined acceleration and keeps its velocity
    if (mass_ > 0.0) {
        const double scale = timeStep / mass_;
        velocity_.x += static_cast<float>(scale * force_.x);
        velocity_.y += static_cast<float>(scale * force_.y);
        velocity_.z += static_cast<float>(scale * force_.z);
    }
    transform_ = MatrixMultiply(transform_, MatrixTranslation(velocity_ * dt));

    // Euler's equations in body axes: I dw/dt = torque - w x (I w)
    const Vector3 angularMomentum = MultiplyRows(inertia_, angularVelocity_);
    const Vector3 gyroscopic = Cross(angularVelocity_, angularMomentum);
    const Vector3 netTorque = torque_ - gyroscopic;
    const Vector3 turned = angularVelocity_ + MultiplyRows(inverseInertia_, netTorque) * dt;

    // the gyroscopic term turns the spin without changing its energy, but an explicit step of it
    // adds energy of the order (h w)^2 each step, so a fast spin would run away: where that gain
    // is noticeable, the free turn is scaled back to the energy it started with
    const Vector3 free = angularVelocity_ - MultiplyRows(inverseInertia_, gyroscopic) * dt;
    const double energyBefore = Dot(angularVelocity_, angularMomentum);
    const double energyAfter = Dot(free, MultiplyRows(inertia_, free));
    if (energyAfter > energyBefore * (1.0 + kGyroscopicGain) && energyAfter > 0.0) {
        const float scale = static_cast<float>(std::sqrt(std::max(energyBefore, 0.0) / energyAfter));
        angularVelocity_ = free * scale + MultiplyRows(inverseInertia_, torque_) * dt;
        gyroscopicLimits_.fetch_add(1, std::memory_order_relaxed);
    } else {
        angularVelocity_ = turned;
    }

    orientation_ = IntegrateOrientation(orientation_, angularVelocity_, timeStep);

    force_ = Vector3();
    torque_ = Vector3();
}

void FieldItem::Control(const TickInput* /*input*/) {}

void FieldItem::MarkDeleted() {
    deleted_ = true;
    for (FieldItem* group = parent_; group != nullptr; group = group->parent_) {
        group->deletedBelow_ = true;
    }
}

void FieldItem::NoteAddedBelow() {
    for (FieldItem* group = this; group != nullptr; group = group->parent_) {
        group->addedBelow_ = true;
    }
}

void FieldItem::UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation) {
    if (parentTransform == nullptr || parentOrientation == nullptr) {
        worldTransform_ = transform_;
        worldOrientation_ = orientation_;
    } else {
        // the offset is given in the parent's axes; a group hands its members its own world
        // orientation, whose matrix it has just made
        const Vector3 offset =
            parent_ != nullptr && parentOrientation == &parent_->worldOrientation_
                ? Rotate(parent_->worldRotation_, transform_.Translation())
                : Rotate(Matrix3RotationQuaternion(*parentOrientation), transform_.Translation());
        // both placements are pure translations, so their product adds the translations
        worldTransform_ = *parentTransform;
        worldTransform_._41 += offset.x;
        worldTransform_._42 += offset.y;
        worldTransform_._43 += offset.z;
        worldOrientation_ = QuaternionNormalize(QuaternionMultiply(orientation_, *parentOrientation));
    }
    worldRotation_ = Matrix3RotationQuaternion(worldOrientation_);

    // world-axis box around the rotated core
    boundingExtent_ = RotatedExtent(worldRotation_, halfExtents_);
}

void FieldItem::ToLocal(Vector3& vector) const {
    vector = Unrotate(worldRotation_, vector);
}

void FieldItem::ToWorld(Vector3& vector) const {
    vector = Rotate(worldRotation_, vector);
}

void FieldItem::DrawMatrices(Matrix4& world, Matrix4& shadow, const DrawContext* context, float sx, float sy,
                             float sz) {
    // the zoom scales the item and its distance from the origin alike
    const float s = context != nullptr ? static_cast<float>(context->zoomFactor) : 1.0f;

    world = MatrixScaling(s * sx, s * sy, s * sz);
    world = MatrixMultiply(world, MatrixRotationQuaternion(worldOrientation_));
    world = MatrixMultiply(world, ScaleTranslation(worldTransform_, s));

    // flattened onto the ground along the light; without a shadow projection the
    // shadow coincides with the item
    shadow = world;
    if (context == nullptr) {
        return;
    }
    if (context->shadowMatrix != nullptr) {
        shadow = MatrixMultiply(world, *context->shadowMatrix);
    }

    // then the viewer's translation and rotation
    const Matrix4 view = ScaleTranslation(context->view, s);
    world = MatrixMultiply(world, view);
    shadow = MatrixMultiply(shadow, view);
    const Matrix4 viewRotation = MatrixRotationQuaternion(context->viewRotation);
    world = MatrixMultiply(world, viewRotation);
    shadow = MatrixMultiply(shadow, viewRotation);
}
