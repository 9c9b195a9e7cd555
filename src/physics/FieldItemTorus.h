#pragma once
// A ring about its body y axis: a tube of radius 0.2 R around a centre circle of
// radius R, of uniform density. Collisions use the centre circle and the tube radius
// less half the contact tolerance.

#include <string>

#include "framework/D3DObjectHandle.h"
#include "physics/FieldItemLeaf.h"

class D3DObject;

class FieldItemTorus : public FieldItemLeaf {
public:
    /// Initialization record; the clamped radius and density are written back into it.
    struct Record : Placement {
        std::wstring texture;
        /// The ring (major) radius R.
        double r = 0.1;
        double density = 1000.0;
    };
    /// Tube radius over ring radius.
    static constexpr double kTubeRatio = 0.2;

    std::wstring TypeName() const override { return L"torus"; }
    /// Places a torus of the record's default shape.
    void Initialize(const Placement& placement) override;
    void Initialize(Record& record);
    void Initialize(const Record& record);
    void Draw(DrawContext* context) override;

    /// The ring radius R of the centre circle, unshrunk.
    virtual double Radius() const { return radius_; }
    /// Tube radius less half the contact tolerance.
    virtual double CoreTubeRadius() const { return tubeRadius_ - tolerance_ / 2.0; }

    double TubeRadius() const { return tubeRadius_; }
    double Density() const { return density_; }
    D3DObject* Object() const { return object_.Get(); }

private:
    double radius_ = 0.0;
    double tubeRadius_ = 0.0;
    double density_ = 0.0;
    double tolerance_ = 0.0;
    D3DObjectHandle object_;
};
