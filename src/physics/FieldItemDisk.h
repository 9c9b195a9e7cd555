#pragma once
// A disk (a flat cylinder about its body y axis) of uniform density; its collision core
// has the radius shrunk by half and the height by the whole contact tolerance.

#include <string>

#include "framework/D3DObjectHandle.h"
#include "physics/FieldItemLeaf.h"

class D3DObject;

class FieldItemDisk : public FieldItemLeaf {
public:
    /// Initialization record; the clamped sizes and density are written back into it.
    struct Record : Placement {
        std::wstring textureHead;
        std::wstring textureTail;
        std::wstring textureSide;
        double r = 0.05;
        double height = 0.05;
        double density = 1000.0;
    };

    std::wstring TypeName() const override { return L"disk"; }
    /// Places a disk of the record's default shape.
    void Initialize(const Placement& placement) override;
    void Initialize(Record& record);
    void Initialize(const Record& record);
    void Draw(DrawContext* context) override;

    /// Radius less half the contact tolerance.
    virtual double CoreRadius() const { return radius_ - tolerance_ / 2.0; }
    /// Height less the contact tolerance (the whole height, not half of it).
    virtual double CoreHeight() const { return height_ - tolerance_; }

    double Radius() const { return radius_; }
    double Height() const { return height_; }
    double Density() const { return density_; }
    D3DObject* Object() const { return object_.Get(); }

private:
    double radius_ = 0.0;
    double height_ = 0.0;
    double density_ = 0.0;
    double tolerance_ = 0.0;
    D3DObjectHandle object_;
};
