#include "physics/FieldItemLand.h"

#include <algorithm>
#include <cmath>

#include "physics/DrawContext.h"
#include "physics/SimulationParameters.h"

namespace {

/// Largest tile index a map grows to; a map is a handful of tiles, so anything beyond
/// this is a mistake that must not exhaust memory.
constexpr int kMaximumTileIndex = 4095;

/// The remainder of value by count in [0, count).
long long WrapIndex(long long value, long long count) {
    const long long remainder = value % count;
    return remainder < 0 ? remainder + count : remainder;
}

/// floor(value) as an integer, kept far inside the range of long long.
long long FloorIndex(double value) {
    constexpr double kLimit = 1.0e15;
    return static_cast<long long>(std::floor(std::clamp(value, -kLimit, kLimit)));
}

} // namespace

void FieldItemLand::Land::SetTile(int x, int z, D3DTexture* texture) {
    if (x < 0 || z < 0 || x > kMaximumTileIndex || z > kMaximumTileIndex) {
        return;
    }
    // grow the rows, then the row, with empty entries
    if (static_cast<int>(rows_.size()) <= z) {
        rows_.resize(z + 1);
    }
    std::vector<D3DTexture*>& row = rows_[z];
    if (static_cast<int>(row.size()) <= x) {
        row.resize(x + 1, nullptr);
    }
    row[x] = texture;
    rowCount_ = std::max(rowCount_, z + 1);
    columnCount_ = std::max(columnCount_, x + 1);
}

D3DTexture* FieldItemLand::Land::TileAt(long long x, long long z) const {
    if (rowCount_ == 0 || columnCount_ == 0) {
        return nullptr;
    }
    const std::vector<D3DTexture*>& row = rows_[WrapIndex(z, rowCount_)];
    const long long column = WrapIndex(x, columnCount_);
    return column < static_cast<long long>(row.size()) ? row[column] : nullptr;
}

void FieldItemLand::Initialize(const Placement& placement) {
    Record record;
    static_cast<Placement&>(record) = placement;
    Initialize(record);
}

void FieldItemLand::Initialize(Record& record) {
    FieldItem::Initialize(record);

    tileSize_ = std::max(record.tileSize, 1);
    tileMap_ = std::move(record.tileMap);
    if (!tileMap_) {
        tileMap_ = std::make_unique<Land>();
        tileMap_->SetTile(0, 0, nullptr);
    }

    // one unit tile in the x-z plane, drawn as a strip of two triangles
    constexpr std::uint32_t kOpaqueWhite = 0xFFFFFFFFu;
    tileQuad_ = {{{-0.5f, 0.0f, 0.5f, kOpaqueWhite, 1.0f, 0.0f},
                  {-0.5f, 0.0f, -0.5f, kOpaqueWhite, 1.0f, 1.0f},
                  {0.5f, 0.0f, 0.5f, kOpaqueWhite, 0.0f, 0.0f},
                  {0.5f, 0.0f, -0.5f, kOpaqueWhite, 0.0f, 1.0f}}};
    material_ = MaterialRecord();
    material_.diffuse = ColorValue{1.0f, 1.0f, 1.0f, 1.0f};

    // heavy and unturnable: the inverse inertia is zero in its rotational block
    mass_ = 10000.0;
    boundingRadius_ = 0.0;
    inertia_ = Matrix4();
    inertia_._11 = 10000.0f;
    inertia_._22 = 10000.0f;
    inertia_._33 = 10000.0f;
    inverseInertia_ = Matrix4();
    inverseInertia_._11 = 0.0f;
    inverseInertia_._22 = 0.0f;
    inverseInertia_._33 = 0.0f;

    UpdateWorld(nullptr, nullptr);
}

void FieldItemLand::Integrate(const TickInput* /*input*/) {}

void FieldItemLand::Control(const TickInput* /*input*/) {}

Vector3& FieldItemLand::Force() {
    // one per thread: contact workers add to the land's force at the same time
    static thread_local Vector3 discardedForce;
    discardedForce = Vector3();
    return discardedForce;
}

Vector3& FieldItemLand::Torque() {
    static thread_local Vector3 discardedTorque;
    discardedTorque = Vector3();
    return discardedTorque;
}

FieldItemLand::TileRange FieldItemLand::TilesAround(double s, double drawRange, int tileSize, double cx,
                                                    double cz) {
    TileRange range;
    const double tile = static_cast<double>(tileSize) * s;
    if (!(tile > 0.0) || !std::isfinite(tile) || !std::isfinite(s * cx) || !std::isfinite(s * cz) ||
        !std::isfinite(drawRange)) {
        return range;
    }
    range.ix0 = FloorIndex((s * cx - drawRange) / tile) - 1;
    range.ix1 = FloorIndex((s * cx + drawRange) / tile) + 1;
    range.iz0 = FloorIndex((s * cz - drawRange) / tile) - 1;
    range.iz1 = FloorIndex((s * cz + drawRange) / tile) + 1;
    range.ix1 = std::min(range.ix1, range.ix0 + kMaximumTilesPerAxis);
    range.iz1 = std::min(range.iz1, range.iz0 + kMaximumTilesPerAxis);
    return range;
}

void FieldItemLand::Draw(DrawContext* context) {
    if (context == nullptr || !tileMap_) {
        return;
    }
    RenderDevice* device = context->device;
    if (device == nullptr) {
        return;
    }
    const double s = context->zoomFactor;
    const double drawRange = SimulationParameters::Instance().drawRange;
    const double cx = -static_cast<double>(context->view._41);
    const double cy = static_cast<double>(context->view._42);
    const double cz = -static_cast<double>(context->view._43);
    const TileRange range = TilesAround(s, drawRange, tileSize_, cx, cz);
    const Matrix4 viewRotation = MatrixRotationQuaternion(context->viewRotation);
    const float tile = static_cast<float>(tileSize_ * s);

    // every tile as an item at (T ix, 0, T iz) would be placed
    for (long long ix = range.ix0; ix < range.ix1; ++ix) {
        for (long long iz = range.iz0; iz < range.iz1; ++iz) {
            Matrix4 world = MatrixScaling(tile, 1.0f, tile);
            world = MatrixMultiply(world, MatrixTranslation(static_cast<float>(s * (tileSize_ * ix - cx)),
                                                            static_cast<float>(s * cy),
                                                            static_cast<float>(s * (tileSize_ * iz - cz))));
            world = MatrixMultiply(world, viewRotation);
            device->SetTexture(0, tileMap_->TileAt(ix, iz));
            device->SetTransform(TransformState::world, world);
            device->SetMaterial(material_);
            device->DrawTriangleStrip(tileQuad_.data(), static_cast<int>(tileQuad_.size()));
        }
    }
}
