// Object manager without a device: every request is recorded and every object is
// created and shared as it will be once a device exists, but nothing is loaded or drawn.

#include "framework/D3DObjectManager.h"

#include <algorithm>
#include <atomic>

#include "framework/Direct3D.h"
#include "framework/RenderDevice.h"

namespace {

/// The process-wide manager; created on first use, destroyed by Destroy().
std::unique_ptr<D3DObjectManager>& ManagerInstance() {
    static std::unique_ptr<D3DObjectManager> instance;
    return instance;
}

/// The epoch the next manager or ReleaseAll takes.
std::uint64_t NextEpoch() {
    static std::atomic<std::uint64_t> counter{1};
    return counter.fetch_add(1);
}

} // namespace

void D3DModel::Load(const std::wstring& file) {
    // remember the file so that a device reset can load it again
    fileName_ = file;
    materials_.clear();
    textureNames_.clear();
}

void D3DModel::DrawSubset(int /*subset*/) {}

void D3DModel::DrawSubsets(int first, int count) {
    for (int i = first; i < first + count; ++i) {
        DrawSubset(i);
    }
}

void D3DTexture::Set(int stage) {
    if (device_ != nullptr && device_->Device() != nullptr) {
        device_->Device()->SetTexture(stage, this);
    }
}

void D3DMaterial::Set() {
    if (device_ != nullptr && device_->Device() != nullptr) {
        device_->Device()->SetMaterial(material_);
    }
}

void D3DFont::Create(const std::wstring& faceName, int height) {
    faceName_ = faceName;
    height_ = height;
}

void D3DObject::Create(const std::wstring& file, const TextureMap& textureMap) {
    fileName_ = file;
    textureMap_ = textureMap;
    model_ = manager_->CreateModel(file);

    // one material and one texture per material of the mesh
    for (int i = 0; i < model_->MaterialCount(); ++i) {
        D3DMaterial* material = manager_->CreateMaterial();
        material->Material() = model_->Material(i);
        materials_.push_back(material);

        std::wstring name = model_->TextureName(i);
        auto mapped = textureMap.find(name);
        if (mapped != textureMap.end()) {
            name = mapped->second;
        }
        textures_.push_back(name.empty() ? nullptr : manager_->CreateTexture(name));
    }
}

void D3DObject::Draw(bool useMaterials) {
    ++drawCount_;
    if (device_ == nullptr || model_ == nullptr) {
        return;
    }
    // without materials nothing changes between the subsets: the mesh may draw them at once
    if (!useMaterials) {
        model_->DrawSubsets(0, model_->MaterialCount());
        return;
    }
    // the model may list more materials than when this object was made (a mesh loaded or
    // reloaded once a device came): such subsets are drawn with the stage as it stands
    for (int i = 0; i < model_->MaterialCount(); ++i) {
        const auto index = static_cast<std::size_t>(i);
        if (useMaterials && index < materials_.size()) {
            materials_[index]->Set();
            if (index < textures_.size() && textures_[index] != nullptr) {
                textures_[index]->Set(0);
            }
        }
        model_->DrawSubset(i);
    }
}

D3DObjectManager::D3DObjectManager() : epoch_(NextEpoch()) {}

D3DObjectManager::~D3DObjectManager() {
    ReleaseAll();
}

D3DObjectManager& D3DObjectManager::Instance() {
    auto& instance = ManagerInstance();
    if (!instance) {
        instance = std::make_unique<D3DObjectManager>();
    }
    return *instance;
}

void D3DObjectManager::Destroy() {
    ManagerInstance().reset();
}

void D3DObjectManager::SetDevice(Direct3D* device) {
    std::lock_guard lock(mutex_);
    device_ = device;
    for (auto& [file, model] : models_) {
        model->SetDevice(device);
    }
    for (auto& [file, texture] : textures_) {
        texture->SetDevice(device);
    }
    for (auto& material : materials_) {
        material->SetDevice(device);
    }
    for (auto& font : fonts_) {
        font->SetDevice(device);
    }
    for (auto& object : objects_) {
        object->SetDevice(device);
    }
}

void D3DObjectManager::SetFactory(std::unique_ptr<D3DObjectFactory> factory) {
    std::lock_guard lock(mutex_);
    factory_ = std::move(factory);
}

D3DObject* D3DObjectManager::CreateObject(const std::wstring& file, const TextureMap& textureMap) {
    std::lock_guard lock(mutex_);
    objectRequests_.push_back({file, textureMap});
    auto object = factory_ ? factory_->NewObject(*this) : std::make_unique<D3DObject>(*this);
    object->SetDevice(device_);
    object->Create(file, textureMap);
    objects_.push_back(std::move(object));
    return objects_.back().get();
}

D3DModel* D3DObjectManager::CreateModel(const std::wstring& file) {
    std::lock_guard lock(mutex_);
    auto found = models_.find(file);
    if (found != models_.end()) {
        return found->second.get();
    }
    // load before storing, so that a failed load leaves nothing half-built behind
    auto model = factory_ ? factory_->NewModel() : std::make_unique<D3DModel>();
    model->SetDevice(device_);
    model->Load(file);
    return models_.emplace(file, std::move(model)).first->second.get();
}

D3DTexture* D3DObjectManager::CreateTexture(const std::wstring& file) {
    std::lock_guard lock(mutex_);
    auto found = textures_.find(file);
    if (found != textures_.end()) {
        return found->second.get();
    }
    auto texture = factory_ ? factory_->NewTexture() : std::make_unique<D3DTexture>();
    texture->SetDevice(device_);
    texture->Load(file);
    return textures_.emplace(file, std::move(texture)).first->second.get();
}

D3DMaterial* D3DObjectManager::CreateMaterial() {
    std::lock_guard lock(mutex_);
    materials_.push_back(factory_ ? factory_->NewMaterial() : std::make_unique<D3DMaterial>());
    materials_.back()->SetDevice(device_);
    return materials_.back().get();
}

D3DFont* D3DObjectManager::CreateFont(const std::wstring& faceName, int height) {
    std::lock_guard lock(mutex_);
    auto font = factory_ ? factory_->NewFont() : std::make_unique<D3DFont>();
    font->SetDevice(device_);
    font->Create(faceName, height);
    fonts_.push_back(std::move(font));
    return fonts_.back().get();
}

void D3DObjectManager::ReleaseAll() {
    std::lock_guard lock(mutex_);
    epoch_ = NextEpoch();
    // objects first: they refer to models, materials and textures
    objects_.clear();
    fonts_.clear();
    materials_.clear();
    textures_.clear();
    models_.clear();
    objectRequests_.clear();
}

void D3DObjectManager::ReleaseObject(D3DObject* object) {
    std::lock_guard lock(mutex_);
    auto found = std::find_if(objects_.begin(), objects_.end(),
                              [object](const auto& held) { return held.get() == object; });
    if (found == objects_.end()) {
        return;
    }
    // its request: the first one asked as this object was
    auto request = std::find_if(objectRequests_.begin(), objectRequests_.end(), [object](const auto& asked) {
        return asked.file == object->FileName() && asked.textureMap == object->Textures();
    });
    if (request != objectRequests_.end()) {
        objectRequests_.erase(request);
    }
    const std::vector<D3DMaterial*>& taken = object->Materials();
    std::erase_if(materials_, [&taken](const auto& material) {
        return std::find(taken.begin(), taken.end(), material.get()) != taken.end();
    });
    objects_.erase(found);
}

void D3DObjectManager::ReleaseFromInstance(D3DObject* object, std::uint64_t epoch) {
    auto& instance = ManagerInstance();
    if (instance) {
        std::lock_guard lock(instance->mutex_);
        if (instance->Epoch() == epoch) {
            instance->ReleaseObject(object);
        }
    }
}

void D3DObjectManager::OnLostDevice() {
    std::lock_guard lock(mutex_);
    for (auto& [file, model] : models_) {
        model->OnLostDevice();
    }
    for (auto& [file, texture] : textures_) {
        texture->OnLostDevice();
    }
    for (auto& font : fonts_) {
        font->OnLostDevice();
    }
}

void D3DObjectManager::OnResetDevice() {
    std::lock_guard lock(mutex_);
    for (auto& [file, model] : models_) {
        model->OnResetDevice();
    }
    for (auto& [file, texture] : textures_) {
        texture->OnResetDevice();
    }
    for (auto& font : fonts_) {
        font->OnResetDevice();
    }
}
