#pragma once
// A mesh as the renderer keeps it once read: materials, texture names, vertices and one index
// range per material. The mesh reader program sends it to the program that asked for it as
// bytes (Encode); Decode takes them back and accepts only a whole, consistent mesh.

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "framework/D3DObjectManager.h"

class MeshData {
public:
    /// Indices [firstIndex, firstIndex + indexCount) of one material.
    struct Subset {
        std::uint32_t firstIndex = 0;
        std::uint32_t indexCount = 0;
    };

    /// Floats per vertex: position, normal, u, v.
    static constexpr std::size_t kVertexFloats = 8;

    std::vector<MaterialRecord> materials;
    /// The texture file name of each material as the mesh file writes it (UTF-8), or empty.
    std::vector<std::string> textureNames;
    std::vector<float> vertices;
    std::vector<std::uint32_t> indices;
    /// One per material, in material order, laid out one after the other.
    std::vector<Subset> subsets;

    /// The mesh as bytes for Decode.
    std::string Encode() const;
    /// The mesh of Encode's bytes; nothing when they are not one whole mesh whose counts,
    /// index ranges and indices agree.
    static std::optional<MeshData> Decode(std::string_view bytes);
};
