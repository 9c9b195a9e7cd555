#pragma once
// What a drawing pass hands down the item tree: the planar shadow projection, the
// shadow's material and the viewer's transform. The tester application fills it
// anew for every pass.

#include "physics/Matrix4.h"
#include "physics/Quaternion.h"

struct MaterialRecord;

struct DrawContext {
    /// Flattens a drawn item onto the ground along the light; not owned.
    const Matrix4* shadowMatrix = nullptr;
    /// Material the shadows are drawn with; not owned.
    const MaterialRecord* shadowMaterial = nullptr;
    /// The viewer's transform with its translation negated (rotation unchanged).
    Matrix4 view;
    /// Inverse of the viewer's orientation.
    Quaternion viewRotation;
};
