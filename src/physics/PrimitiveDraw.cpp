#include "physics/PrimitiveDraw.h"

#include "framework/D3DObjectManager.h"
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

    // the body with its own materials and textures
    object->Draw(true);
    // the shadow: flattened along the light, in the shadow material, without texture
    object->Draw(false);
}
