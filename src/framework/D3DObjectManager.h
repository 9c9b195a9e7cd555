#pragma once
// Factory and cache of everything that lives on the graphics device: meshes, textures,
// materials, fonts and drawable objects. Meshes and textures are shared by file name;
// the manager owns every object it hands out. Without a factory it makes device-less
// objects that record what they were asked for and draw nothing; the desktop program
// installs the render library's factory, whose objects load and draw for real.

#include <atomic>
#include <cstdint>
#include <map>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

class Direct3D;
class D3DObjectManager;

struct ColorValue {
    float r = 0.0f;
    float g = 0.0f;
    float b = 0.0f;
    float a = 0.0f;
};

/// One surface material: diffuse, ambient, specular and emissive colours and the specular power.
struct MaterialRecord {
    ColorValue diffuse;
    ColorValue ambient;
    ColorValue specular;
    ColorValue emissive;
    float power = 0.0f;
};

/// Mesh texture names mapped to the file names that replace them.
using TextureMap = std::map<std::wstring, std::wstring>;

/// A mesh loaded from a file, with its materials and texture names.
class D3DModel {
public:
    D3DModel() = default;
    virtual ~D3DModel() = default;
    D3DModel(const D3DModel&) = delete;
    D3DModel& operator=(const D3DModel&) = delete;

    virtual void SetDevice(Direct3D* device) { device_ = device; }
    /// Remembers the file; the mesh itself is loaded once a device exists.
    virtual void Load(const std::wstring& file);
    virtual void DrawSubset(int subset);
    /// Draws count subsets from first on, as DrawSubset one after the other would; a device
    /// mesh may draw them in one go.
    virtual void DrawSubsets(int first, int count);
    virtual int MaterialCount() const { return static_cast<int>(materials_.size()); }
    virtual const MaterialRecord& Material(int index) const { return materials_.at(index); }
    virtual std::wstring TextureName(int index) const { return textureNames_.at(index); }
    virtual void OnLostDevice() {}
    virtual void OnResetDevice() {}

    const std::wstring& FileName() const { return fileName_; }

protected:
    Direct3D* device_ = nullptr;
    std::vector<MaterialRecord> materials_;
    std::vector<std::wstring> textureNames_;
    std::wstring fileName_;
};

/// A texture loaded from an image file.
class D3DTexture {
public:
    D3DTexture() = default;
    virtual ~D3DTexture() = default;
    D3DTexture(const D3DTexture&) = delete;
    D3DTexture& operator=(const D3DTexture&) = delete;

    virtual void SetDevice(Direct3D* device) { device_ = device; }
    /// Remembers the file; the image itself is loaded once a device exists.
    virtual void Load(const std::wstring& file) { fileName_ = file; }
    /// Sets the texture on a texture stage of the device; nothing without a device.
    virtual void Set(int stage);
    virtual void OnLostDevice() {}
    virtual void OnResetDevice() {}

    const std::wstring& FileName() const { return fileName_; }

protected:
    Direct3D* device_ = nullptr;
    std::wstring fileName_;
};

class D3DMaterial {
public:
    D3DMaterial() = default;
    virtual ~D3DMaterial() = default;
    D3DMaterial(const D3DMaterial&) = delete;
    D3DMaterial& operator=(const D3DMaterial&) = delete;

    virtual void SetDevice(Direct3D* device) { device_ = device; }
    virtual MaterialRecord& Material() { return material_; }
    /// Makes this the device's material; nothing without a device.
    virtual void Set();
    virtual void OnLostDevice() {}
    virtual void OnResetDevice() {}

protected:
    Direct3D* device_ = nullptr;
    MaterialRecord material_;
};

class D3DFont {
public:
    D3DFont() = default;
    virtual ~D3DFont() = default;
    D3DFont(const D3DFont&) = delete;
    D3DFont& operator=(const D3DFont&) = delete;

    virtual void SetDevice(Direct3D* device) { device_ = device; }
    /// The device font; null while there is no device.
    virtual void* Get() { return nullptr; }
    virtual void OnLostDevice() {}
    virtual void OnResetDevice() {}

    /// Remembers the face name and the height the font is made with; a device font also
    /// makes its font here and throws exec_error when it cannot.
    virtual void Create(const std::wstring& faceName, int height);
    const std::wstring& FaceName() const { return faceName_; }
    int Height() const { return height_; }

protected:
    Direct3D* device_ = nullptr;
    std::wstring faceName_;
    int height_ = 0;
};

/// A drawable object: a shared mesh with its own materials and textures.
class D3DObject {
public:
    explicit D3DObject(D3DObjectManager& manager) : manager_(&manager) {}
    virtual ~D3DObject() = default;
    D3DObject(const D3DObject&) = delete;
    D3DObject& operator=(const D3DObject&) = delete;

    virtual void SetDevice(Direct3D* device) { device_ = device; }
    /// Takes the mesh of the file from the manager and one material and one texture per
    /// mesh material, replacing the mesh's texture names by the map's.
    virtual void Create(const std::wstring& file, const TextureMap& textureMap);
    /// Draws every subset of the mesh, with its materials and textures when asked to;
    /// draws nothing while there is no device.
    virtual void Draw(bool useMaterials);

    D3DModel* Model() const { return model_; }
    /// The materials this object took from the manager, one per mesh material.
    const std::vector<D3DMaterial*>& Materials() const { return materials_; }
    const std::wstring& FileName() const { return fileName_; }
    const TextureMap& Textures() const { return textureMap_; }
    /// How often Draw was called; a drawing pass can be checked without a device.
    std::uint64_t DrawCount() const { return drawCount_; }

protected:
    D3DObjectManager* manager_;
    Direct3D* device_ = nullptr;
    D3DModel* model_ = nullptr;
    std::vector<D3DMaterial*> materials_;
    std::vector<D3DTexture*> textures_;
    std::wstring fileName_;
    TextureMap textureMap_;
    std::uint64_t drawCount_ = 0;
};

/// Makes the manager's objects; the render library's factory makes device-bound ones.
class D3DObjectFactory {
public:
    virtual ~D3DObjectFactory() = default;
    virtual std::unique_ptr<D3DModel> NewModel() = 0;
    virtual std::unique_ptr<D3DTexture> NewTexture() = 0;
    virtual std::unique_ptr<D3DMaterial> NewMaterial() = 0;
    virtual std::unique_ptr<D3DFont> NewFont() = 0;
    virtual std::unique_ptr<D3DObject> NewObject(D3DObjectManager& manager) = 0;
};

class D3DObjectManager {
public:
    /// One request of CreateObject, as it was asked.
    struct ObjectRequest {
        std::wstring file;
        TextureMap textureMap;
    };

    D3DObjectManager();
    virtual ~D3DObjectManager();
    D3DObjectManager(const D3DObjectManager&) = delete;
    D3DObjectManager& operator=(const D3DObjectManager&) = delete;

    /// The process-wide manager, created on first use.
    static D3DObjectManager& Instance();
    /// Destroys the manager with everything it owns; a later Instance() creates a fresh one.
    static void Destroy();

    virtual void SetDevice(Direct3D* device);
    /// Installs the maker of every object created from now on; null goes back to device-less objects.
    void SetFactory(std::unique_ptr<D3DObjectFactory> factory);
    virtual D3DObject* CreateObject(const std::wstring& file, const TextureMap& textureMap);
    /// Shared by file name.
    virtual D3DModel* CreateModel(const std::wstring& file);
    /// Shared by file name.
    virtual D3DTexture* CreateTexture(const std::wstring& file);
    virtual D3DMaterial* CreateMaterial();
    virtual D3DFont* CreateFont(const std::wstring& faceName, int height);
    /// Destroys every object and empties every map and list.
    virtual void ReleaseAll();
    /// Destroys one object made by CreateObject, with the materials it took and its request;
    /// the shared mesh and textures stay. An object the manager does not hold is passed over.
    virtual void ReleaseObject(D3DObject* object);
    /// Identifies the manager's contents: new for every manager and after every ReleaseAll, so
    /// that an object of earlier contents is never taken for one of the present.
    std::uint64_t Epoch() const { return epoch_.load(); }
    /// ReleaseObject on the process-wide manager, when it exists and its contents are still
    /// those of the epoch given.
    static void ReleaseFromInstance(D3DObject* object, std::uint64_t epoch);
    virtual void OnLostDevice();
    virtual void OnResetDevice();

    Direct3D* Device() const { return device_; }
    /// The requests of the objects the manager holds, and of those that failed to load.
    const std::vector<ObjectRequest>& ObjectRequests() const { return objectRequests_; }
    std::size_t ModelCount() const { return models_.size(); }
    std::size_t TextureCount() const { return textures_.size(); }
    std::size_t MaterialCount() const { return materials_.size(); }
    std::size_t FontCount() const { return fonts_.size(); }
    std::size_t ObjectCount() const { return objects_.size(); }

private:
    /// The manager is shared by the user-interface thread (items made and removed) and the
    /// application thread (drawing, device loss): its maps and lists change under this lock.
    mutable std::recursive_mutex mutex_;
    std::atomic<std::uint64_t> epoch_{0};
    Direct3D* device_ = nullptr;
    std::unique_ptr<D3DObjectFactory> factory_;
    std::map<std::wstring, std::unique_ptr<D3DModel>> models_;
    std::map<std::wstring, std::unique_ptr<D3DTexture>> textures_;
    std::vector<std::unique_ptr<D3DMaterial>> materials_;
    std::vector<std::unique_ptr<D3DFont>> fonts_;
    std::vector<std::unique_ptr<D3DObject>> objects_;
    std::vector<ObjectRequest> objectRequests_;
};
