#pragma once
// A bold font of a pixel height for one-line texts, on Qt's fonts: the text is painted
// with QPainter into an image (glyphs the face lacks, Japanese ones among them, come from
// the fonts the desktop falls back to) and drawn by the device as a textured quad. The
// image of the last text is kept, so that a text drawn every frame is painted once.

#include <qopengl.h>

#include <QFont>
#include <QImage>
#include <cstdint>
#include <memory>
#include <optional>

#include "framework/D3DObjectManager.h"

class GlDevice;
class GlReleaseQueue;

class GlFont : public D3DFont {
public:
    GlFont() = default;
    ~GlFont() override;

    /// Makes the font; a face the desktop does not have gives way to its sans-serif face.
    /// Throws exec_error when no font can be made.
    void Create(const std::wstring& faceName, int height) override;
    /// The QFont; null between OnLostDevice and OnResetDevice.
    void* Get() override { return font_ ? &*font_ : nullptr; }
    void OnLostDevice() override;
    void OnResetDevice() override;

    /// The image of a text: white glyphs whose alpha is their coverage.
    QImage TextImage(const std::wstring& text) const;
    /// The device texture of the text with its size in pixels; texture 0 for an empty text.
    /// False when there is no font.
    bool TextTexture(GlDevice& device, const std::wstring& text, GLuint& texture, int& width, int& height);

private:
    /// Gives the texture back to its device.
    void ReleaseTexture();

    std::optional<QFont> font_;
    std::wstring cachedText_;
    int cachedWidth_ = 0;
    int cachedHeight_ = 0;
    GLuint texture_ = 0;
    std::uint64_t deviceId_ = 0;
    std::weak_ptr<GlReleaseQueue> releaseQueue_;
};
