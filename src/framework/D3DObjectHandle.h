#pragma once
// An item's hold on a drawable object of the process-wide object manager: the object is given
// back when the item goes or takes another, so that items removed from the world leave nothing
// behind in the manager. Meshes and textures stay shared in the manager by file name. A hold
// on an object that the manager already released (ReleaseAll, Destroy) gives back nothing.

#include <cstdint>
#include <string>

#include "framework/D3DObjectManager.h"

class D3DObjectHandle {
public:
    D3DObjectHandle() = default;
    ~D3DObjectHandle();
    D3DObjectHandle(const D3DObjectHandle&) = delete;
    D3DObjectHandle& operator=(const D3DObjectHandle&) = delete;

    /// Gives back the object held, then takes a new one from the manager (CreateObject).
    D3DObject* Create(const std::wstring& file, const TextureMap& textureMap);
    /// Gives back the object held, if any.
    void Reset();
    D3DObject* Get() const { return object_; }

private:
    D3DObject* object_ = nullptr;
    /// The manager's contents the object belongs to (D3DObjectManager::Epoch).
    std::uint64_t epoch_ = 0;
};
