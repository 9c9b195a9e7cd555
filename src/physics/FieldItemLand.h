#pragma once
// The land: the immovable ground plane y = 0 that every item can rest on. It takes part
// in collisions but swallows every force and torque, and is drawn as an endless plane of
// repeated square tiles around the viewer.

#include <array>
#include <cstdint>
#include <memory>
#include <string>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"
#include "physics/FieldItemLeaf.h"

class D3DTexture;

class FieldItemLand : public FieldItemLeaf {
public:
    /// Which texture each tile shows; the textures are owned by the object manager.
    class Land {
    public:
        Land() = default;
        virtual ~Land() = default;
        /// Grows the map as needed (new entries null) and stores the texture at column x, row z.
        /// Negative indices are ignored.
        virtual void SetTile(int x, int z, D3DTexture* texture);

        int RowCount() const { return rowCount_; }
        /// The length of the longest row.
        int ColumnCount() const { return columnCount_; }
        /// The texture of the tile at (x, z), both wrapped to non-negative remainders of the
        /// column and row counts; null for an empty map or an unset entry.
        D3DTexture* TileAt(long long x, long long z) const;

    private:
        std::vector<std::vector<D3DTexture*>> rows_;
        int rowCount_ = 0;
        int columnCount_ = 0;
    };

    /// Initialization record: the placement, the tile edge length and the tile map (taken over).
    struct Record : Placement {
        int tileSize = 4;
        std::unique_ptr<Land> tileMap;
    };

    /// One tile corner: position, colour (ARGB) and texture coordinates, as the device draws it.
    using TileVertex = ::TileVertex;

    /// The tiles drawn around the viewer: ix from ix0 while ix < ix1, iz likewise.
    struct TileRange {
        long long ix0 = 0, ix1 = 0, iz0 = 0, iz1 = 0;
    };
    /// Largest number of tiles drawn along one axis; keeps a far-off or non-finite view finite.
    static constexpr long long kMaximumTilesPerAxis = 1024;

    std::wstring TypeName() const override { return L"land"; }
    /// Places the land with tile size 4 and a map of one empty tile.
    void Initialize(const Placement& placement) override;
    /// Takes over the record's tile map; a missing map becomes one empty tile, a tile size
    /// below 1 becomes 1.
    void Initialize(Record& record);
    void Draw(DrawContext* context) override;
    void Integrate(const TickInput* input) override;
    void Control(const TickInput* input) override;
    /// A zero vector that swallows whatever is added to it (one per thread, so that
    /// concurrent contact workers never share it).
    Vector3& Force() override;
    Vector3& Torque() override;

    /// Tiles around the view centre (cx, cz) out to the draw range, at zoom factor s.
    static TileRange TilesAround(double s, double drawRange, int tileSize, double cx, double cz);

    int TileSize() const { return tileSize_; }
    const Land* TileMap() const { return tileMap_.get(); }
    const std::array<TileVertex, 4>& TileQuad() const { return tileQuad_; }
    const MaterialRecord& TileMaterial() const { return material_; }

private:
    std::array<TileVertex, 4> tileQuad_{};
    MaterialRecord material_;
    int tileSize_ = 4;
    std::unique_ptr<Land> tileMap_;
};
