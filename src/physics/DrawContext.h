#pragma once
// What a drawing pass hands down the item tree: the device to draw on, the zoom, the
// planar shadow projection, the shadow's material and the viewer's transform. The tester
// application fills it anew for every pass; items read nothing else to draw.

#include "physics/Matrix4.h"
#include "physics/Quaternion.h"

struct MaterialRecord;
class RenderDevice;

struct DrawContext {
    /// The device the items draw on; not owned. Null draws nothing (the objects still count
    /// their draws, so a pass can be checked without a device).
    RenderDevice* device = nullptr;
    /// Scale of the view's zoom step: the zoom scales every item and its distance from the origin.
    double zoomFactor = 1.0;
    /// Flattens a drawn item onto the ground along the light; not owned.
    const Matrix4* shadowMatrix = nullptr;
    /// Material the shadows are drawn with; not owned.
    const MaterialRecord* shadowMaterial = nullptr;
    /// The viewer's transform with its translation negated (rotation unchanged).
    Matrix4 view;
    /// Inverse of the viewer's orientation.
    Quaternion viewRotation;
};
