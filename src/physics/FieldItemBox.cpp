#include "physics/FieldItemBox.h"

#include <algorithm>
#include <cassert>
#include <cmath>

#include "framework/D3DObjectManager.h"
#include "physics/PrimitiveDraw.h"
#include "physics/PrimitiveLimits.h"
#include "physics/SimulationParameters.h"

namespace {

/// Whether u and v follow each other (in either direction) around the face.
bool FaceHasEdge(const FieldItemBox::Face& face, int u, int v) {
    for (int i = 0; i < 4; ++i) {
        const int a = face[i];
        const int b = face[(i + 1) % 4];
        if ((a == u && b == v) || (a == v && b == u)) {
            return true;
        }
    }
    return false;
}

bool FaceHasVertex(const FieldItemBox::Face& face, int vertex) {
    return std::find(face.begin(), face.end(), vertex) != face.end();
}

} // namespace

void FieldItemBox::Initialize(const Placement& placement) {
    Record record;
    static_cast<Placement&>(record) = placement;
    Initialize(record);
}

void FieldItemBox::Initialize(const Record& record) {
    Record copy = record;
    Initialize(copy);
}

void FieldItemBox::Initialize(Record& record) {
    FieldItem::Initialize(record);

    // clamp the shape: 2τ + 1 mm keeps every core size positive
    const SimulationParameters& parameters = SimulationParameters::Instance();
    tolerance_ = parameters.contactTolerance;
    const double minimumSize = 2.0 * tolerance_ + 0.001;
    record.sizeX = sizeX_ = ClampLength(record.sizeX, minimumSize);
    record.sizeY = sizeY_ = ClampLength(record.sizeY, minimumSize);
    record.sizeZ = sizeZ_ = ClampLength(record.sizeZ, minimumSize);
    record.density = density_ = ClampDensity(record.density, parameters.minimumDensity);

    // the drawable object with the record's textures in place of the mesh's own
    const TextureMap textures = {
        {L"box_top.png", record.textureTop},     {L"box_bottom.png", record.textureBottom},
        {L"box_left.png", record.textureLeft},   {L"box_right.png", record.textureRight},
        {L"box_front.png", record.textureFront}, {L"box_rear.png", record.textureRear}};
    object_.Create(L"data\\box.x", textures);

    // mass and inertia of a uniform solid box
    mass_ = density_ * sizeX_ * sizeY_ * sizeZ_;
    inertia_ = Matrix4();
    inertia_._11 = static_cast<float>(mass_ * (sizeY_ * sizeY_ + sizeZ_ * sizeZ_) / 12.0);
    inertia_._22 = static_cast<float>(mass_ * (sizeX_ * sizeX_ + sizeZ_ * sizeZ_) / 12.0);
    inertia_._33 = static_cast<float>(mass_ * (sizeX_ * sizeX_ + sizeY_ * sizeY_) / 12.0);
    inverseInertia_ = MatrixInverse(inertia_);

    // bounds of the core
    const double coreX = CoreSizeX();
    const double coreY = CoreSizeY();
    const double coreZ = CoreSizeZ();
    boundingRadius_ = 0.5 * std::sqrt(coreX * coreX + coreY * coreY + coreZ * coreZ);
    const double hx = 0.5 * coreX;
    const double hy = 0.5 * coreY;
    const double hz = 0.5 * coreZ;
    halfExtents_ = Vector3(static_cast<float>(hx), static_cast<float>(hy), static_cast<float>(hz));

    // topology of the core: corners, faces (+x, -x, +z, -z, +y, -y) and edges
    vertices_.clear();
    faces_.clear();
    edges_.clear();
    faceNormals_.clear();
    AddVertex(hx, hy, -hz);
    AddVertex(hx, hy, hz);
    AddVertex(hx, -hy, -hz);
    AddVertex(hx, -hy, hz);
    AddVertex(-hx, hy, -hz);
    AddVertex(-hx, hy, hz);
    AddVertex(-hx, -hy, -hz);
    AddVertex(-hx, -hy, hz);
    AddFace(0, 1, 3, 2);
    AddFace(4, 6, 7, 5);
    AddFace(1, 5, 7, 3);
    AddFace(2, 6, 4, 0);
    AddFace(0, 4, 5, 1);
    AddFace(2, 3, 7, 6);
    AddEdge(0, 1);
    AddEdge(1, 3);
    AddEdge(3, 2);
    AddEdge(2, 0);
    AddEdge(4, 6);
    AddEdge(6, 7);
    AddEdge(7, 5);
    AddEdge(5, 4);
    AddEdge(1, 5);
    AddEdge(7, 3);
    AddEdge(2, 6);
    AddEdge(4, 0);

    UpdateWorld(nullptr, nullptr);
}

void FieldItemBox::Draw(DrawContext* context) {
    DrawPrimitive(*this, object_.Get(), context, sizeX_, sizeY_, sizeZ_);
}

bool FieldItemBox::SharedEdge(int a, int b, int& first, int& second) const {
    const int faceCount = static_cast<int>(faces_.size());
    if (a < 0 || a >= faceCount || b < 0 || b >= faceCount) {
        return false;
    }
    const Face& faceA = faces_[a];
    for (int i = 0; i < 4; ++i) {
        const int u = faceA[i];
        const int v = faceA[(i + 1) % 4];
        if (FaceHasEdge(faces_[b], u, v)) {
            first = u;
            second = v;
            return true;
        }
    }
    return false;
}

bool FieldItemBox::SharedVertex(int a, int b, int c, int& vertex) const {
    const int faceCount = static_cast<int>(faces_.size());
    if (a < 0 || a >= faceCount || b < 0 || b >= faceCount || c < 0 || c >= faceCount) {
        return false;
    }
    for (int candidate : faces_[a]) {
        if (FaceHasVertex(faces_[b], candidate) && FaceHasVertex(faces_[c], candidate)) {
            vertex = candidate;
            return true;
        }
    }
    return false;
}

void FieldItemBox::AddVertex(double x, double y, double z) {
    vertices_.emplace_back(static_cast<float>(x), static_cast<float>(y), static_cast<float>(z));
}

void FieldItemBox::AddFace(int i, int j, int k, int l) {
    const int vertexCount = static_cast<int>(vertices_.size());
    assert(i >= 0 && i < vertexCount && j >= 0 && j < vertexCount && k >= 0 && k < vertexCount && l >= 0 &&
           l < vertexCount);
    (void)vertexCount;
    faces_.push_back({i, j, k, l});
    faceNormals_.push_back(Normalize(Cross(vertices_[l] - vertices_[j], vertices_[i] - vertices_[j])));
}

void FieldItemBox::AddEdge(int i, int j) {
    edges_.push_back({i, j});
}
