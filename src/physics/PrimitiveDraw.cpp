#include "physics/PrimitiveDraw.h"

#include "framework/D3DObjectManager.h"
#include "framework/RenderDevice.h"
#include "physics/DrawContext.h"
#include "physics/FieldItem.h"

void DrawPrimitive(FieldItem& item, D3DObject* object, DrawContext* context, double sx, double sy,
                   double sz) {
    if (object == nullptr) {
        return;
    }
    Matrix4 world;
    Matrix4 shadow;
    item.DrawMatrices(world, shadow, context, static_cast<float>(sx), static_cast<float>(sy),
                      static_cast<float>(sz));
    RenderDevice* device = context != nullptr ? context->device : nullptr;

    // the body with its own materials and textures
    if (device != nullptr) {
        device->SetTransform(TransformState::world, world);
    }
    object->Draw(true);

    // the shadow: flattened along the light, in the shadow material, without texture, blended
    // where the stencil has not been written yet, so that overlapping shadows darken only once
    if (device != nullptr) {
        device->SetTransform(TransformState::world, shadow);
        if (context->shadowMaterial != nullptr) {
            device->SetMaterial(*context->shadowMaterial);
        }
        device->SetTexture(0, nullptr);
        device->SetRenderState(RenderState::stencilEnable, 1);
        device->SetRenderState(RenderState::alphaBlendEnable, 1);
    }
    object->Draw(false);
    if (device != nullptr) {
        device->SetRenderState(RenderState::stencilEnable, 0);
        device->SetRenderState(RenderState::alphaBlendEnable, 0);
    }
}
