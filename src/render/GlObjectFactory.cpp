#include "render/GlObjectFactory.h"

#include "render/GlFont.h"
#include "render/GlModel.h"
#include "render/GlTexture.h"

std::unique_ptr<D3DModel> GlObjectFactory::NewModel() {
    return std::make_unique<GlModel>();
}

std::unique_ptr<D3DTexture> GlObjectFactory::NewTexture() {
    return std::make_unique<GlTexture>();
}

std::unique_ptr<D3DMaterial> GlObjectFactory::NewMaterial() {
    return std::make_unique<D3DMaterial>();
}

std::unique_ptr<D3DFont> GlObjectFactory::NewFont() {
    return std::make_unique<GlFont>();
}

std::unique_ptr<D3DObject> GlObjectFactory::NewObject(D3DObjectManager& manager) {
    return std::make_unique<D3DObject>(manager);
}
