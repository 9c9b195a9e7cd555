#include "render/GlModel.h"

#include <algorithm>

#include "common/FilePath.h"
#include "common/LogWriter.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "framework/Direct3D.h"
#include "render/MeshReaderProcess.h"
#include "render/RenderResult.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\D3DObjectManager";
const wchar_t* const kCall = L"D3DXLoadMeshFromX";

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
    // read in the mesh reader program: a file that crashes or hangs assimp fails here
    const std::string path = ToNativePath(file);
    MeshData mesh;
    std::string detail;
    const MeshReaderProcess::Outcome outcome = MeshReaderProcess::Read(path, mesh, detail);
    if (outcome != MeshReaderProcess::Outcome::Loaded) {
        if (!detail.empty()) {
            Log(kSource, __LINE__, file + L": " + FromUtf8(detail), 2);
        }
        const RenderResult result = outcome == MeshReaderProcess::Outcome::NotFound   ? NotFoundResult()
                                    : outcome == MeshReaderProcess::Outcome::NoReader ? NotAvailableResult()
                                                                                      : InvalidDataResult();
        LogRenderFailure(kSource, __LINE__, kCall, result);
        throw file_error(CommonMessage(116) + L"[" + file + L"] " + FailedCallText(kCall, result));
    }

    // the meshes of this system are written in UTF-8, as its file names are
    std::vector<std::wstring> textureNames;
    for (const std::string& name : mesh.textureNames) {
        textureNames.push_back(FromUtf8(name));
    }
    std::vector<Subset> subsets;
    for (const MeshData::Subset& subset : mesh.subsets) {
        subsets.push_back({static_cast<int>(subset.firstIndex), static_cast<int>(subset.indexCount)});
    }

    materials_ = std::move(mesh.materials);
    textureNames_ = std::move(textureNames);
    vertices_ = std::move(mesh.vertices);
    indices_ = std::move(mesh.indices);
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
