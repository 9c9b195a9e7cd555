#include "framework/D3DObjectHandle.h"

D3DObjectHandle::~D3DObjectHandle() {
    Reset();
}

D3DObject* D3DObjectHandle::Create(const std::wstring& file, const TextureMap& textureMap) {
    Reset();
    D3DObjectManager& manager = D3DObjectManager::Instance();
    epoch_ = manager.Epoch();
    object_ = manager.CreateObject(file, textureMap);
    return object_;
}

void D3DObjectHandle::Reset() {
    if (object_ != nullptr) {
        D3DObjectManager::ReleaseFromInstance(object_, epoch_);
        object_ = nullptr;
    }
}
