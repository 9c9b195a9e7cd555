#pragma once
// A mesh from a DirectX .x file, read when it is loaded (so that a missing or broken file
// fails there, on whatever thread asks) by the mesh reader program, which runs assimp apart
// from the program, and uploaded to the OpenGL device the first time it is drawn: one vertex
// array per mesh, one index range per material.

#include <qopengl.h>

#include <cstdint>
#include <memory>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "render/GlDevice.h"

class GlModel : public D3DModel {
public:
    GlModel() = default;
    ~GlModel() override;

    /// Reads the mesh, its materials (ambient taken equal to diffuse) and texture names;
    /// throws file_error when the file is missing or no mesh, or its reader crashes or hangs.
    void Load(const std::wstring& file) override;
    /// Draws the triangles of material subset; nothing without a device.
    void DrawSubset(int subset) override;
    /// Draws consecutive subsets with one draw: their index ranges follow one another.
    void DrawSubsets(int first, int count) override;
    /// Gives the mesh's OpenGL names back to their device.
    void OnLostDevice() override;
    /// Reads the mesh again from the file it was loaded from.
    void OnResetDevice() override;

    /// Vertices as eight floats each: position, normal, u, v.
    const std::vector<float>& Vertices() const { return vertices_; }

private:
    struct Subset {
        int firstIndex = 0;
        int indexCount = 0;
    };

    /// Reads the file into this model; nothing of the model changes when it throws.
    void Read(const std::wstring& file);
    /// Draws indices [firstIndex, firstIndex + indexCount), uploading the mesh on first use.
    void DrawRange(int firstIndex, int indexCount);

    std::vector<float> vertices_;
    std::vector<std::uint32_t> indices_;
    std::vector<Subset> subsets_;
    GlDevice::MeshNames names_;
    std::uint64_t deviceId_ = 0;
    std::weak_ptr<GlReleaseQueue> releaseQueue_;
    /// The device last drawn on, so that the device is not looked up again for every subset.
    RenderDevice* lastDevice_ = nullptr;
    GlDevice* lastGlDevice_ = nullptr;
};
