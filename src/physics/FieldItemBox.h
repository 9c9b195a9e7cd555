#pragma once
// A rectangular box: a solid of uniform density whose collision core is the box shrunk
// by the contact tolerance, with the vertex, face and edge lists the box detectors walk.

#include <array>
#include <string>
#include <vector>

#include "framework/D3DObjectHandle.h"
#include "physics/FieldItemLeaf.h"

class D3DObject;

class FieldItemBox : public FieldItemLeaf {
public:
    /// Initialization record; the clamped sizes and density are written back into it.
    struct Record : Placement {
        std::wstring textureTop;
        std::wstring textureBottom;
        std::wstring textureLeft;
        std::wstring textureRight;
        std::wstring textureFront;
        std::wstring textureRear;
        double sizeX = 0.1;
        double sizeY = 0.1;
        double sizeZ = 0.1;
        double density = 1000.0;
    };
    /// Four vertex indices, counter-clockwise seen from outside.
    using Face = std::array<int, 4>;
    using Edge = std::array<int, 2>;

    std::wstring TypeName() const override { return L"box"; }
    /// Places a box of the record's default shape.
    void Initialize(const Placement& placement) override;
    /// Clamps the shape (writing the clamped values back), asks for the drawable object,
    /// computes mass, inertia and bounds and builds the topology.
    void Initialize(Record& record);
    void Initialize(const Record& record);
    void Draw(DrawContext* context) override;

    /// Collision size along the body axes: the size less the contact tolerance.
    virtual double CoreSizeX() const { return sizeX_ - tolerance_; }
    virtual double CoreSizeY() const { return sizeY_ - tolerance_; }
    virtual double CoreSizeZ() const { return sizeZ_ - tolerance_; }
    /// Corners of the collision core in body axes, 0 to 7.
    virtual const std::vector<Vector3>& Vertices() const { return vertices_; }
    /// Faces 0 to 5: +x, -x, +z, -z, +y, -y.
    virtual const std::vector<Face>& Faces() const { return faces_; }
    virtual const std::vector<Edge>& Edges() const { return edges_; }
    /// Unit outward normal of each face, body axes.
    virtual const std::vector<Vector3>& FaceNormals() const { return faceNormals_; }
    /// The two vertices of the edge that faces a and b share; false if they share none.
    virtual bool SharedEdge(int a, int b, int& first, int& second) const;
    /// The vertex common to the three faces; false if there is none.
    virtual bool SharedVertex(int a, int b, int c, int& vertex) const;
    virtual void AddVertex(double x, double y, double z);
    /// Appends the face and its normal Normalize(Cross(v_l - v_j, v_i - v_j)).
    virtual void AddFace(int i, int j, int k, int l);
    virtual void AddEdge(int i, int j);

    /// Drawn sizes and density after clamping.
    double SizeX() const { return sizeX_; }
    double SizeY() const { return sizeY_; }
    double SizeZ() const { return sizeZ_; }
    double Density() const { return density_; }
    /// The drawable object, owned by the object manager; null before initialization.
    D3DObject* Object() const { return object_.Get(); }

private:
    double sizeX_ = 0.0;
    double sizeY_ = 0.0;
    double sizeZ_ = 0.0;
    double density_ = 0.0;
    /// The contact tolerance the core was made with.
    double tolerance_ = 0.0;
    D3DObjectHandle object_;
    std::vector<Vector3> vertices_;
    std::vector<Face> faces_;
    std::vector<Edge> edges_;
    std::vector<Vector3> faceNormals_;
};
