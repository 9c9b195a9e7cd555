#include "render/MeshImport.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <assimp/Importer.hpp>

namespace {

ColorValue ToColorValue(const aiColor4D& color) {
    return {color.r, color.g, color.b, color.a};
}

} // namespace

std::optional<MeshData> MeshImport::Read(const std::string& path) {
    // assimp's .x reader turns the file into right-handed data (z negated, v flipped,
    // winding reversed); converting back to left-handed yields the data as written
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(
        path, aiProcess_ConvertToLeftHanded | aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                  aiProcess_PreTransformVertices | aiProcess_SortByPType);
    if (scene == nullptr || scene->mNumMeshes == 0 || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
        return std::nullopt;
    }

    // the materials in the file's order, ambient equal to diffuse
    MeshData mesh;
    for (unsigned i = 0; i < scene->mNumMaterials; ++i) {
        const aiMaterial* source = scene->mMaterials[i];
        aiColor4D diffuse(0.0f, 0.0f, 0.0f, 0.0f);
        aiColor4D specular(0.0f, 0.0f, 0.0f, 0.0f);
        aiColor4D emissive(0.0f, 0.0f, 0.0f, 0.0f);
        float power = 0.0f;
        source->Get(AI_MATKEY_COLOR_DIFFUSE, diffuse);
        source->Get(AI_MATKEY_COLOR_SPECULAR, specular);
        source->Get(AI_MATKEY_COLOR_EMISSIVE, emissive);
        source->Get(AI_MATKEY_SHININESS, power);
        MaterialRecord material;
        material.diffuse = ToColorValue(diffuse);
        material.ambient = material.diffuse;
        material.specular = ToColorValue(specular);
        material.emissive = ToColorValue(emissive);
        material.power = power;
        mesh.materials.push_back(material);

        aiString texture;
        const bool hasTexture = source->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS;
        mesh.textureNames.push_back(hasTexture ? std::string(texture.C_Str()) : std::string());
    }

    // one index range per material: the meshes assimp split by material, in material order
    mesh.subsets.resize(mesh.materials.size());
    for (unsigned material = 0; material < scene->mNumMaterials; ++material) {
        MeshData::Subset& subset = mesh.subsets[material];
        subset.firstIndex = static_cast<std::uint32_t>(mesh.indices.size());
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            const aiMesh* source = scene->mMeshes[m];
            if (source->mMaterialIndex != material) {
                continue;
            }
            const auto base = static_cast<std::uint32_t>(mesh.vertices.size() / MeshData::kVertexFloats);
            for (unsigned v = 0; v < source->mNumVertices; ++v) {
                // a vertex without a normal gets none, as Direct3D lights it without one
                const aiVector3D normal =
                    source->HasNormals() ? source->mNormals[v] : aiVector3D(0.0f, 0.0f, 0.0f);
                const aiVector3D uv =
                    source->HasTextureCoords(0) ? source->mTextureCoords[0][v] : aiVector3D(0.0f, 0.0f, 0.0f);
                const aiVector3D& position = source->mVertices[v];
                mesh.vertices.insert(mesh.vertices.end(), {position.x, position.y, position.z, normal.x,
                                                           normal.y, normal.z, uv.x, uv.y});
            }
            for (unsigned f = 0; f < source->mNumFaces; ++f) {
                const aiFace& face = source->mFaces[f];
                // points and lines have no surface to draw
                if (face.mNumIndices == 3) {
                    mesh.indices.insert(mesh.indices.end(), {base + face.mIndices[0], base + face.mIndices[1],
                                                             base + face.mIndices[2]});
                }
            }
        }
        subset.indexCount = static_cast<std::uint32_t>(mesh.indices.size()) - subset.firstIndex;
    }
    return mesh;
}
