#pragma once
// The drawing device on OpenGL 3.3 core through Qt's QOpenGLContext. Every frame is
// drawn into a framebuffer object of the configured back-buffer size; Present copies it
// stretched onto the window (or, offscreen, only finishes it). The context is current
// on a thread only from BeginScene to Present, so that the application thread draws and
// the user-interface thread may reset the device or destroy it between frames. Device
// state set outside a scene is recorded and reaches OpenGL with the next draw.

#include <qopengl.h>

#include <QImage>
#include <QSurfaceFormat>
#include <atomic>
#include <cstdint>
#include <memory>
#include <mutex>
#include <vector>

#include "framework/RenderDevice.h"
#include "render/RenderResult.h"

class QOffscreenSurface;
class QOpenGLContext;
class QOpenGLExtraFunctions;
class QOpenGLShaderProgram;
class QSurface;
class QWindow;
class EglContext;
class GlFont;
class GlTexture;
class WindowSizeWatcher;

/// GPU names that a device deletes the next time its context is current. Resources made
/// on a device hold its queue weakly: one that outlives its device only forgets its names.
class GlReleaseQueue {
public:
    void AddBuffer(GLuint name);
    void AddVertexArray(GLuint name);
    void AddTexture(GLuint name);
    /// Deletes everything queued; the context must be current.
    void DeleteAll(QOpenGLExtraFunctions& gl);

private:
    // resources are released on the user-interface thread and drawn on the application thread
    std::mutex mutex_;
    std::vector<GLuint> buffers_;
    std::vector<GLuint> vertexArrays_;
    std::vector<GLuint> textures_;
};

class GlDevice : public RenderDevice {
public:
    /// Makes the device on the window, or offscreen when it is null, with a back buffer of
    /// the configured size. Call on the user-interface thread. Writes the device's log
    /// records and throws DirectX::init_error when no device can be made.
    static std::unique_ptr<GlDevice> Create(QWindow* window, const Direct3DConfig& config);
    /// The format of the device's context: OpenGL 3.3 core, depth 24, stencil 8, no vsync.
    static QSurfaceFormat SurfaceFormat();
    ~GlDevice() override;
    GlDevice(const GlDevice&) = delete;
    GlDevice& operator=(const GlDevice&) = delete;

    bool BeginScene() override;
    void EndScene() override;
    void Present() override;
    void SetViewport(const Viewport& viewport) override;
    void Clear(std::uint32_t color, float depth, std::uint32_t stencil) override;
    void SetTransform(TransformState state, const Matrix4& matrix) override;
    void SetRenderState(RenderState state, std::uint32_t value) override;
    void SetLight(int index, const LightRecord& light) override;
    void LightEnable(int index, bool on) override;
    void SetMaterial(const MaterialRecord& material) override;
    void SetTexture(int stage, D3DTexture* texture) override;
    void DrawTriangleStrip(const TileVertex* vertices, int vertexCount) override;
    bool DrawText(D3DFont* font, const std::wstring& text, int x, int y, std::uint32_t color) override;
    void DrawLineList(const TileVertex* vertices, int vertexCount) override;
    void DrawScreenStrip(const TileVertex* vertices, int vertexCount) override;
    bool TextExtent(D3DFont* font, const std::wstring& text, int& width, int& height) override;
    bool ReadBackBuffer(FrameImage& frame) override;
    bool WritePng(const FrameImage& frame, const std::string& path) override;
    void Reset(int width, int height) override;
    int Width() const override { return width_; }
    int Height() const override { return height_; }

    /// The back buffer as drawn so far, top row first; call after drawing and before Present.
    QImage ReadFrame();
    /// True when the renderer is software rasterisation (Mesa's llvmpipe or softpipe).
    bool IsSoftware() const { return software_; }

    // for the device's resources (models, textures, fonts), within a scene

    /// Tells apart the devices of a run: GPU names made on another device are not valid here.
    std::uint64_t Id() const { return id_; }
    std::weak_ptr<GlReleaseQueue> ReleaseQueue() const { return releaseQueue_; }
    QOpenGLExtraFunctions& Gl() { return *gl_; }
    /// Draws indexed triangles of a model's vertex array with the lit mesh pipeline.
    void DrawIndexed(GLuint vertexArray, int firstIndex, int indexCount);

    /// A mesh's names on this device: its vertex array with the two buffers it reads.
    struct MeshNames {
        GLuint vertexArray = 0;
        GLuint vertexBuffer = 0;
        GLuint indexBuffer = 0;
    };
    /// Uploads mesh vertices of eight floats (position, normal, u, v) and triangle indices.
    MeshNames MakeMesh(const float* vertices, std::size_t vertexCount, const std::uint32_t* indices,
                       std::size_t indexCount);
    /// Uploads an image as a texture: sampled as Direct3D samples by default (nearest texel,
    /// wrapped), or clamped for text. Images beyond the device's largest texture are scaled down.
    GLuint MakeTexture(const QImage& image, bool clampToEdge);
    /// Gives an existing texture a new image.
    void ReplaceTexture(GLuint texture, const QImage& image);

private:
    GlDevice(QWindow* window, int width, int height);
    /// Builds context, surface, shaders and buffers; an empty result on success.
    bool Initialize(RenderResult& failure);
    /// Makes the framebuffer object for width x height; false with the failure otherwise.
    bool MakeFramebuffer(int width, int height, RenderResult& failure);
    void DeleteFramebuffer();
    /// Streams vertices into the strip buffer and binds its vertex array.
    void UploadStrip(const TileVertex* vertices, int vertexCount);
    /// Draws vertices of the strip buffer in back-buffer pixels, over everything; the device's
    /// own state is applied again at the next draw.
    void DrawInPixels(GLenum mode, const TileVertex* vertices, int vertexCount, GLuint texture,
                      int textureMode);
    /// Brings OpenGL's state up to the recorded state before a draw with the full pipeline.
    void ApplyState(bool lit, GLuint texture, int textureMode);
    /// The same before a draw whose material lights every vertex in one colour, untextured,
    /// with the flat pipeline; false (and nothing done) when the draw is not one of those.
    bool ApplyFlatState(GLuint texture);
    void ApplyPipelineState();
    void UseProgram(GLuint program);
    const Matrix4& WorldViewProjection();
    GLuint TextureName(D3DTexture* texture);

    QWindow* window_;
    std::unique_ptr<WindowSizeWatcher> windowWatcher_;
    std::unique_ptr<QOffscreenSurface> offscreen_;
    /// The window or the offscreen surface the context is made current on.
    QSurface* surface_ = nullptr;
    /// The EGL context under context_ when there is no display; it outlives context_.
    std::unique_ptr<EglContext> egl_;
    std::unique_ptr<QOpenGLContext> context_;
    QOpenGLExtraFunctions* gl_ = nullptr;
    std::unique_ptr<QOpenGLShaderProgram> program_;
    std::unique_ptr<QOpenGLShaderProgram> flatProgram_;
    std::shared_ptr<GlReleaseQueue> releaseQueue_;
    std::uint64_t id_;
    bool software_ = false;
    /// The largest back-buffer edge the framebuffer object can take.
    int maxFramebufferSize_ = 0;
    int maxTextureSize_ = 0;

    int width_;
    int height_;
    GLuint framebuffer_ = 0;
    GLuint colorBuffer_ = 0;
    GLuint depthStencilBuffer_ = 0;
    GLuint stripArray_ = 0;
    GLuint stripBuffer_ = 0;
    /// The context was made current by BeginScene on this scene's thread.
    bool madeCurrent_ = false;
    bool inScene_ = false;

    // the recorded state
    Matrix4 world_;
    Matrix4 view_;
    Matrix4 projection_;
    Viewport viewport_;
    bool zEnable_ = true;
    bool alphaBlendEnable_ = false;
    bool stencilEnable_ = false;
    BlendFactor srcBlend_ = BlendFactor::one;
    BlendFactor destBlend_ = BlendFactor::zero;
    CompareFunc stencilFunc_ = CompareFunc::always;
    StencilOp stencilFail_ = StencilOp::keep;
    StencilOp stencilZFail_ = StencilOp::keep;
    StencilOp stencilPass_ = StencilOp::keep;
    std::uint32_t stencilRef_ = 0;
    std::uint32_t ambient_ = 0;
    LightRecord light_;
    bool lightEnabled_ = false;
    MaterialRecord material_;
    D3DTexture* texture_ = nullptr;

    // what of it OpenGL does not have yet
    enum Dirty : unsigned {
        kDirtyTransform = 1u << 0,
        kDirtyWorld = 1u << 1,
        kDirtyMaterial = 1u << 2,
        kDirtyLight = 1u << 3,
        kDirtyPipeline = 1u << 4,
        kDirtyViewport = 1u << 5,
        kDirtyAll = (1u << 6) - 1,
    };
    unsigned dirty_ = kDirtyAll;
    Matrix4 viewProjection_;
    Matrix4 worldViewProjection_;
    bool viewProjectionStale_ = true;
    bool worldViewProjectionStale_ = true;
    // the flat pipeline's uniforms as last sent
    bool flatMatrixStale_ = true;
    ColorValue flatColor_{-1.0f, -1.0f, -1.0f, -1.0f};
    // the uniform values last sent, so that a repeated value is not sent again
    int appliedLit_ = -1;
    int appliedTextureMode_ = -1;
    GLuint appliedTexture_ = 0;
    GLuint appliedVertexArray_ = 0;
    GLuint appliedProgram_ = 0;

    struct Uniforms {
        int worldViewProjection = -1;
        int worldNormal = -1;
        int lighting = -1;
        int materialDiffuse = -1;
        int materialAmbient = -1;
        int materialEmissive = -1;
        int lightDirection = -1;
        int lightDiffuse = -1;
        int lightAmbient = -1;
        int globalAmbient = -1;
        int textureMode = -1;
        int texture = -1;
    } uniforms_;
    struct FlatUniforms {
        int worldViewProjection = -1;
        int color = -1;
    } flatUniforms_;
};
