#pragma once
// The object manager's factory of the render library: meshes, textures and fonts that
// load for real and draw on the OpenGL device. Install it before any object is made:
// D3DObjectManager::Instance().SetFactory(std::make_unique<GlObjectFactory>()).

#include "framework/D3DObjectManager.h"

class GlObjectFactory : public D3DObjectFactory {
public:
    std::unique_ptr<D3DModel> NewModel() override;
    std::unique_ptr<D3DTexture> NewTexture() override;
    /// Materials need nothing of their own: the base one forwards to the device.
    std::unique_ptr<D3DMaterial> NewMaterial() override;
    std::unique_ptr<D3DFont> NewFont() override;
    /// Drawable objects are the base ones: they draw through their model and textures.
    std::unique_ptr<D3DObject> NewObject(D3DObjectManager& manager) override;
};
