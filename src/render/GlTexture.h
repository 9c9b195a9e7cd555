#pragma once
// A texture from an image file, decoded with Qt's image readers when it is loaded (so
// that a missing or unreadable file fails there, on whatever thread asks) and uploaded to
// the OpenGL device the first time it is drawn.

#include <qopengl.h>

#include <QImage>
#include <cstdint>
#include <memory>

#include "framework/D3DObjectManager.h"

class GlDevice;
class GlReleaseQueue;

class GlTexture : public D3DTexture {
public:
    GlTexture() = default;
    ~GlTexture() override;

    /// Reads the image; throws file_error when the file is missing or no image.
    void Load(const std::wstring& file) override;
    /// Gives the texture's OpenGL name back to its device.
    void OnLostDevice() override;
    /// Reads the image again from the file it was loaded from.
    void OnResetDevice() override;

    /// The texture's name on the device, uploaded there on first use; 0 without an image.
    GLuint Name(GlDevice& device);
    const QImage& Image() const { return image_; }

private:
    QImage image_;
    GLuint name_ = 0;
    std::uint64_t deviceId_ = 0;
    std::weak_ptr<GlReleaseQueue> releaseQueue_;
};
