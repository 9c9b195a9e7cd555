#pragma once
// A solid sphere of uniform density. Its collision radius, the radius less half the
// contact tolerance, is also its bounding radius: detectors read it as BoundingRadius().

#include <string>

#include "framework/D3DObjectHandle.h"
#include "physics/FieldItemLeaf.h"

class D3DObject;

class FieldItemSphere : public FieldItemLeaf {
public:
    /// Initialization record; the clamped radius and density are written back into it.
    struct Record : Placement {
        std::wstring texture;
        double r = 0.05;
        double density = 1000.0;
    };

    std::wstring TypeName() const override { return L"sphere"; }
    /// Places a sphere of the record's default shape.
    void Initialize(const Placement& placement) override;
    void Initialize(Record& record);
    void Initialize(const Record& record);
    void Draw(DrawContext* context) override;

    /// Drawn radius after clamping.
    double Radius() const { return radius_; }
    double Density() const { return density_; }
    D3DObject* Object() const { return object_.Get(); }

private:
    double radius_ = 0.0;
    double density_ = 0.0;
    D3DObjectHandle object_;
};
