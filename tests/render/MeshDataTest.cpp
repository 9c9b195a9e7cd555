// The mesh's bytes between the mesh reader program and the renderer: what Encode writes
// Decode gives back, and bytes that are not one whole, consistent mesh are refused.

#include "render/MeshData.h"

#include <gtest/gtest.h>

namespace {

/// Two materials, the second with a texture: one triangle each over four vertices.
MeshData TwoTriangles() {
    MeshData mesh;
    MaterialRecord plain;
    plain.diffuse = {1.0f, 0.5f, 0.25f, 1.0f};
    plain.power = 8.0f;
    mesh.materials = {plain, MaterialRecord()};
    mesh.textureNames = {"", "data/wood.png"};
    for (int v = 0; v < 4; ++v) {
        mesh.vertices.insert(mesh.vertices.end(), {float(v), 0.0f, 1.0f, 0.0f, 1.0f, 0.0f, 0.5f, 0.25f});
    }
    mesh.indices = {0, 1, 2, 1, 3, 2};
    mesh.subsets = {{0, 3}, {3, 3}};
    return mesh;
}

} // namespace

TEST(MeshDataTest, DecodeTakesBackWhatEncodeWroteAndRefusesAnyOtherBytes) {
    const MeshData mesh = TwoTriangles();
    const std::string bytes = mesh.Encode();
    const std::optional<MeshData> decoded = MeshData::Decode(bytes);
    ASSERT_TRUE(decoded.has_value());
    EXPECT_EQ(decoded->Encode(), bytes);
    EXPECT_EQ(decoded->textureNames, mesh.textureNames);
    EXPECT_EQ(decoded->vertices, mesh.vertices);
    EXPECT_EQ(decoded->indices, mesh.indices);
    EXPECT_EQ(decoded->materials[0].diffuse.g, 0.5f);
    EXPECT_EQ(decoded->subsets[1].firstIndex, 3u);

    // a reader that died midway sent a cut mesh; one that sent more sent something else
    for (std::size_t length = 0; length < bytes.size(); ++length) {
        EXPECT_FALSE(MeshData::Decode(std::string_view(bytes).substr(0, length))) << length;
    }
    EXPECT_FALSE(MeshData::Decode(bytes + '\0'));

    // indices past the vertices, and ranges that leave out or overlap indices
    MeshData outside = mesh;
    outside.indices[4] = 4;
    EXPECT_FALSE(MeshData::Decode(outside.Encode()));
    MeshData gap = mesh;
    gap.subsets[1] = {4, 2};
    EXPECT_FALSE(MeshData::Decode(gap.Encode()));
    MeshData shortRanges = mesh;
    shortRanges.subsets[1] = {3, 2};
    EXPECT_FALSE(MeshData::Decode(shortRanges.Encode()));
}
