#pragma once
// A plain rigid body for tests of the item base and of groups: mass, inertia and core
// sizes are set directly, and drawing is counted.

#include <string>
#include <utility>
#include <vector>

#include "physics/FieldItemLeaf.h"

class FieldItemTestBody : public FieldItemLeaf {
public:
    explicit FieldItemTestBody(std::wstring typeName = L"testbody",
                               std::vector<std::wstring>* drawLog = nullptr, int* destroyed = nullptr)
        : typeName_(std::move(typeName)), drawLog_(drawLog), destroyed_(destroyed) {}
    ~FieldItemTestBody() override {
        if (destroyed_ != nullptr) {
            ++*destroyed_;
        }
    }

    std::wstring TypeName() const override { return typeName_; }
    void Draw(DrawContext* /*context*/) override {
        if (drawLog_ != nullptr) {
            drawLog_->push_back(Name());
        }
    }

    /// Mass, a diagonal inertia tensor and its inverse.
    void SetMassProperties(double mass, const Vector3& principalInertia) {
        mass_ = mass;
        inertia_ = Matrix4();
        inertia_._11 = principalInertia.x;
        inertia_._22 = principalInertia.y;
        inertia_._33 = principalInertia.z;
        inverseInertia_ = MatrixInverse(inertia_);
    }
    void SetInertia(const Matrix4& inertia) {
        inertia_ = inertia;
        inverseInertia_ = MatrixInverse(inertia_);
    }
    void SetCore(const Vector3& halfExtents, double boundingRadius) {
        halfExtents_ = halfExtents;
        boundingRadius_ = boundingRadius;
    }
    /// A solid sphere of the given mass and radius.
    void MakeSphere(double mass, float radius) {
        const float moment = static_cast<float>(0.4 * mass * radius * radius);
        SetMassProperties(mass, Vector3(moment, moment, moment));
        SetCore(Vector3(radius, radius, radius), radius);
    }

private:
    std::wstring typeName_;
    std::vector<std::wstring>* drawLog_;
    int* destroyed_;
};
