#include "render/GlModel.h"

#include <assimp/postprocess.h>
#include <assimp/scene.h>

#include <algorithm>
#include <assimp/Importer.hpp>
#include <filesystem>

#include "common/FilePath.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "framework/Direct3D.h"
#include "render/RenderResult.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\D3DObjectManager";
const wchar_t* const kCall = L"D3DXLoadMeshFromX";

ColorValue ToColorValue(const aiColor4D& color) {
    return {color.r, color.g, color.b, color.a};
}

} // namespace

GlModel::~GlModel() {
    OnLostDevice();
}

void GlModel::Load(const std::wstring& file) {
    D3DModel::Load(file);
    OnLostDevice();
    Read(file);
}

void GlModel::OnLostDevice() {
    if (names_.vertexArray != 0) {
        if (auto queue = releaseQueue_.lock()) {
            queue->AddVertexArray(names_.vertexArray);
            queue->AddBuffer(names_.vertexBuffer);
            queue->AddBuffer(names_.indexBuffer);
        }
        names_ = GlDevice::MeshNames();
        deviceId_ = 0;
    }
}

void GlModel::OnResetDevice() {
    OnLostDevice();
    Read(fileName_);
}

void GlModel::Read(const std::wstring& file) {
    // assimp's .x reader turns the file into right-handed data (z negated, v flipped,
    // winding reversed); converting back to left-handed yields the data as written
    const std::string path = ToNativePath(file);
    Assimp::Importer importer;
    const aiScene* scene = importer.ReadFile(
        path, aiProcess_ConvertToLeftHanded | aiProcess_Triangulate | aiProcess_JoinIdenticalVertices |
                  aiProcess_PreTransformVertices | aiProcess_SortByPType);
    if (scene == nullptr || scene->mNumMeshes == 0 || (scene->mFlags & AI_SCENE_FLAGS_INCOMPLETE) != 0) {
        std::error_code error;
        const RenderResult result =
            std::filesystem::is_regular_file(path, error) ? InvalidDataResult() : NotFoundResult();
        LogRenderFailure(kSource, __LINE__, kCall, result);
        throw file_error(CommonMessage(116) + L"[" + file + L"] " + FailedCallText(kCall, result));
    }

    // the materials in the file's order, ambient equal to diffuse
    std::vector<MaterialRecord> materials;
    std::vector<std::wstring> textureNames;
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
        materials.push_back(material);

        // the meshes of this system are written in UTF-8, as its file names are
        aiString texture;
        const bool hasTexture = source->GetTexture(aiTextureType_DIFFUSE, 0, &texture) == AI_SUCCESS;
        textureNames.push_back(hasTexture ? FromUtf8(texture.C_Str()) : std::wstring());
    }

    // one index range per material: the meshes assimp split by material, in material order
    std::vector<float> vertices;
    std::vector<std::uint32_t> indices;
    std::vector<Subset> subsets(materials.size());
    for (unsigned material = 0; material < scene->mNumMaterials; ++material) {
        subsets[material].firstIndex = static_cast<int>(indices.size());
        for (unsigned m = 0; m < scene->mNumMeshes; ++m) {
            const aiMesh* mesh = scene->mMeshes[m];
            if (mesh->mMaterialIndex != material) {
                continue;
            }
            const auto base = static_cast<std::uint32_t>(vertices.size() / 8);
            for (unsigned v = 0; v < mesh->mNumVertices; ++v) {
                // a vertex without a normal gets none, as Direct3D lights it without one
                const aiVector3D normal =
                    mesh->HasNormals() ? mesh->mNormals[v] : aiVector3D(0.0f, 0.0f, 0.0f);
                const aiVector3D uv =
                    mesh->HasTextureCoords(0) ? mesh->mTextureCoords[0][v] : aiVector3D(0.0f, 0.0f, 0.0f);
                const aiVector3D& position = mesh->mVertices[v];
                vertices.insert(vertices.end(), {position.x, position.y, position.z, normal.x, normal.y,
                                                 normal.z, uv.x, uv.y});
            }
            for (unsigned f = 0; f < mesh->mNumFaces; ++f) {
                const aiFace& face = mesh->mFaces[f];
                // points and lines have no surface to draw
                if (face.mNumIndices == 3) {
                    indices.insert(indices.end(), {base + face.mIndices[0], base + face.mIndices[1],
                                                   base + face.mIndices[2]});
                }
            }
        }
        subsets[material].indexCount = static_cast<int>(indices.size()) - subsets[material].firstIndex;
    }

    materials_ = std::move(materials);
    textureNames_ = std::move(textureNames);
    vertices_ = std::move(vertices);
    indices_ = std::move(indices);
    subsets_ = std::move(subsets);
}

void GlModel::DrawSubset(int subset) {
    if (subset >= 0 && static_cast<std::size_t>(subset) < subsets_.size()) {
        const Subset& range = subsets_[static_cast<std::size_t>(subset)];
        DrawRange(range.firstIndex, range.indexCount);
    }
}

void GlModel::DrawSubsets(int first, int count) {
    // the subsets that exist of those asked for; their ranges are laid out in subset order
    const int begin = std::max(first, 0);
    const int end = std::min(first + std::max(count, 0), static_cast<int>(subsets_.size()));
    if (begin < end) {
        const int firstIndex = subsets_[static_cast<std::size_t>(begin)].firstIndex;
        const Subset& last = subsets_[static_cast<std::size_t>(end - 1)];
        DrawRange(firstIndex, last.firstIndex + last.indexCount - firstIndex);
    }
}

void GlModel::DrawRange(int firstIndex, int indexCount) {
    if (device_ == nullptr || indexCount <= 0) {
        return;
    }
    RenderDevice* renderDevice = device_->Device();
    if (renderDevice != lastDevice_) {
        lastDevice_ = renderDevice;
        lastGlDevice_ = dynamic_cast<GlDevice*>(renderDevice);
    }
    GlDevice* device = lastGlDevice_;
    if (device == nullptr) {
        return;
    }
    // upload on first use; names of another device died with it
    if (names_.vertexArray == 0 || deviceId_ != device->Id()) {
        names_ = device->MakeMesh(vertices_.data(), vertices_.size() / 8, indices_.data(), indices_.size());
        deviceId_ = device->Id();
        releaseQueue_ = device->ReleaseQueue();
    }
    device->DrawIndexed(names_.vertexArray, firstIndex, indexCount);
}
