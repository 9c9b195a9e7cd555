#include "render/GlDevice.h"

#include <QGuiApplication>
#include <QOffscreenSurface>
#include <QOpenGLContext>
#include <QOpenGLExtraFunctions>
#include <QOpenGLShaderProgram>
#include <QWindow>
#include <algorithm>
#include <cmath>
#include <cstring>
#include <mutex>

#ifdef __GLIBC__
#include <malloc.h>
#endif

#include "common/LogWriter.h"
#include "common/Messages.h"
#include "framework/Direct3D.h"
#include "render/EglContext.h"
#include "render/GlFont.h"
#include "render/GlTexture.h"

namespace {

const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\Direct3D";

// Direct3D 8's fixed-function pipeline as the program uses it: row-vector world, view
// and projection transforms, Gouraud lighting by one directional light with the
// material's diffuse, ambient and emissive colours and the global ambient (no specular,
// as Direct3D draws with specular off), then texture stage 0 modulating the colour.
// Vertices without a normal (the land's tile quad, text) keep their own colour.
const char* const kVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
layout(location = 1) in vec3 normal;
layout(location = 2) in vec4 color;
layout(location = 3) in vec2 texCoord;

uniform mat4 worldViewProjection;
uniform mat3 worldNormal;
uniform int lighting;
uniform vec4 materialDiffuse;
uniform vec4 materialAmbient;
uniform vec4 materialEmissive;
uniform vec3 lightDirection;
uniform vec4 lightDiffuse;
uniform vec4 lightAmbient;
uniform vec4 globalAmbient;

out vec4 vertexColor;
out vec2 vertexTexCoord;

void main() {
    // the row-vector matrix uploaded as it is reads as its transpose here
    vec4 clip = worldViewProjection * vec4(position, 1.0);
    // Direct3D's clip depth runs from 0 to w, OpenGL's from -w to w
    clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;

    if (lighting == 1) {
        vec3 worldNormalVector = worldNormal * normal;
        float length = length(worldNormalVector);
        float lambert = length > 0.0 ? max(dot(worldNormalVector / length, -lightDirection), 0.0) : 0.0;
        vec3 lit = materialDiffuse.rgb * lightDiffuse.rgb * lambert
                 + materialAmbient.rgb * (lightAmbient.rgb + globalAmbient.rgb) + materialEmissive.rgb;
        vertexColor = vec4(clamp(lit, 0.0, 1.0), materialDiffuse.a);
    } else {
        vertexColor = color;
    }
    vertexTexCoord = texCoord;
}
)";

// texture stage 0 as Direct3D sets it up: colour modulated by the texel, alpha taken
// from the texel; text takes its colour from the vertex and its coverage from the texel
const char* const kFragmentShader = R"(#version 330 core
uniform sampler2D stageTexture;
uniform int textureMode;

in vec4 vertexColor;
in vec2 vertexTexCoord;
out vec4 fragmentColor;

void main() {
    if (textureMode == 0) {
        fragmentColor = vertexColor;
    } else {
        vec4 texel = texture(stageTexture, vertexTexCoord);
        if (textureMode == 1) {
            fragmentColor = vec4(vertexColor.rgb * texel.rgb, texel.a);
        } else {
            fragmentColor = vec4(vertexColor.rgb, vertexColor.a * texel.a);
        }
    }
}
)";

// the same pipeline for a material whose lighting is one colour everywhere (no diffuse and
// no ambient colour, as the planar shadows' material), untextured: its colour is the
// emissive colour with the diffuse alpha, whatever the normal and the light; it carries no
// colour or texture coordinates from vertex to pixel, which a software rasteriser sets up
// for every triangle
const char* const kFlatVertexShader = R"(#version 330 core
layout(location = 0) in vec3 position;
uniform mat4 worldViewProjection;

void main() {
    vec4 clip = worldViewProjection * vec4(position, 1.0);
    clip.z = 2.0 * clip.z - clip.w;
    gl_Position = clip;
}
)";

const char* const kFlatFragmentShader = R"(#version 330 core
uniform vec4 flatColor;
out vec4 fragmentColor;

void main() {
    fragmentColor = flatColor;
}
)";

enum TextureMode { kUntextured = 0, kModulate = 1, kCoverage = 2 };

std::atomic<std::uint64_t> nextDeviceId{1};

/// 0xAARRGGBB as four floats.
ColorValue ColorFromArgb(std::uint32_t argb) {
    return {static_cast<float>((argb >> 16) & 0xFF) / 255.0f, static_cast<float>((argb >> 8) & 0xFF) / 255.0f,
            static_cast<float>(argb & 0xFF) / 255.0f, static_cast<float>(argb >> 24) / 255.0f};
}

GLenum GlBlendFactor(BlendFactor factor) {
    switch (factor) {
    case BlendFactor::zero:
        return GL_ZERO;
    case BlendFactor::srcAlpha:
        return GL_SRC_ALPHA;
    case BlendFactor::invSrcAlpha:
        return GL_ONE_MINUS_SRC_ALPHA;
    case BlendFactor::one:
        break;
    }
    return GL_ONE;
}

GLenum GlCompareFunc(CompareFunc func) {
    switch (func) {
    case CompareFunc::never:
        return GL_NEVER;
    case CompareFunc::less:
        return GL_LESS;
    case CompareFunc::equal:
        return GL_EQUAL;
    case CompareFunc::lessEqual:
        return GL_LEQUAL;
    case CompareFunc::greater:
        return GL_GREATER;
    case CompareFunc::notEqual:
        return GL_NOTEQUAL;
    case CompareFunc::greaterEqual:
        return GL_GEQUAL;
    case CompareFunc::always:
        break;
    }
    return GL_ALWAYS;
}

GLenum GlStencilOp(StencilOp op) {
    switch (op) {
    case StencilOp::zero:
        return GL_ZERO;
    case StencilOp::replace:
        return GL_REPLACE;
    case StencilOp::keep:
        break;
    }
    return GL_KEEP;
}

/// Makes a context current on the calling thread for a scope, unless it already is, and
/// puts back the context that was current before.
class CurrentContext {
public:
    CurrentContext(QOpenGLContext& context, QSurface* surface) : context_(context) {
        previous_ = QOpenGLContext::currentContext();
        if (previous_ == &context_) {
            current_ = true;
            return;
        }
        previousSurface_ = previous_ != nullptr ? previous_->surface() : nullptr;
        current_ = context_.makeCurrent(surface);
        made_ = current_;
    }
    ~CurrentContext() {
        if (made_) {
            context_.doneCurrent();
            if (previous_ != nullptr && previousSurface_ != nullptr) {
                previous_->makeCurrent(previousSurface_);
            }
        }
    }
    CurrentContext(const CurrentContext&) = delete;
    CurrentContext& operator=(const CurrentContext&) = delete;
    bool IsCurrent() const { return current_; }

private:
    QOpenGLContext& context_;
    QOpenGLContext* previous_ = nullptr;
    QSurface* previousSurface_ = nullptr;
    bool current_ = false;
    bool made_ = false;
};

/// Mesa's software rasteriser allocates and frees large blocks (vertex buffers, triangle
/// bins) for every draw; with glibc's default thresholds the heap is shrunk and grown again
/// hundreds of times a frame and each time its pages are faulted back in, which made a
/// frame of 500 items three times slower. Freed memory is kept for the process instead.
void KeepFreedHeap() {
#ifdef __GLIBC__
    static std::once_flag once;
    std::call_once(once, [] {
        // blocks up to 32 MB (glibc's own ceiling for the threshold) come from the heap,
        // and up to 512 MB of free heap top is kept rather than handed back
        mallopt(M_MMAP_THRESHOLD, 32 * 1024 * 1024);
        mallopt(M_TRIM_THRESHOLD, 512 * 1024 * 1024);
    });
#endif
}

} // namespace

/// Keeps the window's size in device pixels and whether it is exposed, as the
/// user-interface thread learns them, for Present on the drawing thread.
class WindowSizeWatcher : public QObject {
public:
    explicit WindowSizeWatcher(QWindow& window) : window_(window) {
        Update();
        window.installEventFilter(this);
    }
    bool eventFilter(QObject* /*watched*/, QEvent* event) override {
        if (event->type() == QEvent::Resize || event->type() == QEvent::Expose) {
            Update();
        }
        return false;
    }
    int PixelWidth() const { return pixelWidth_; }
    int PixelHeight() const { return pixelHeight_; }
    bool Exposed() const { return exposed_; }

private:
    void Update() {
        const double ratio = window_.devicePixelRatio();
        pixelWidth_ = static_cast<int>(std::lround(window_.width() * ratio));
        pixelHeight_ = static_cast<int>(std::lround(window_.height() * ratio));
        exposed_ = window_.isExposed();
    }

    QWindow& window_;
    std::atomic<int> pixelWidth_{0};
    std::atomic<int> pixelHeight_{0};
    std::atomic<bool> exposed_{false};
};

void GlReleaseQueue::AddBuffer(GLuint name) {
    std::lock_guard lock(mutex_);
    buffers_.push_back(name);
}

void GlReleaseQueue::AddVertexArray(GLuint name) {
    std::lock_guard lock(mutex_);
    vertexArrays_.push_back(name);
}

void GlReleaseQueue::AddTexture(GLuint name) {
    std::lock_guard lock(mutex_);
    textures_.push_back(name);
}

void GlReleaseQueue::DeleteAll(QOpenGLExtraFunctions& gl) {
    std::vector<GLuint> buffers;
    std::vector<GLuint> vertexArrays;
    std::vector<GLuint> textures;
    {
        std::lock_guard lock(mutex_);
        buffers.swap(buffers_);
        vertexArrays.swap(vertexArrays_);
        textures.swap(textures_);
    }
    if (!vertexArrays.empty()) {
        gl.glDeleteVertexArrays(static_cast<GLsizei>(vertexArrays.size()), vertexArrays.data());
    }
    if (!buffers.empty()) {
        gl.glDeleteBuffers(static_cast<GLsizei>(buffers.size()), buffers.data());
    }
    if (!textures.empty()) {
        gl.glDeleteTextures(static_cast<GLsizei>(textures.size()), textures.data());
    }
}

std::unique_ptr<GlDevice> GlDevice::Create(QWindow* window, const Direct3DConfig& config) {
    // the graphics system itself: a GUI application whose platform draws with OpenGL
    if (qGuiApp == nullptr) {
        Log(kSource, __LINE__, L"Direct3D8 の作成に失敗", 1);
        throw DirectX::init_error(CommonMessage(117) + L"[Direct3DCreate8]");
    }
    Log(kSource, __LINE__, L"Direct3D8 を作成成功", 2);

    // the device: one OpenGL 3.3 core context, whatever renderer the display offers
    RenderResult failure = InvalidCallResult();
    std::unique_ptr<GlDevice> device;
    if (config.width > 0 && config.height > 0) {
        device.reset(new GlDevice(window, config.width, config.height));
        if (!device->Initialize(failure)) {
            device.reset();
        }
    }
    if (!device) {
        LogRenderFailure(kSource, __LINE__, L"CreateDevice", failure);
        throw DirectX::init_error(CommonMessage(117) + FailedCallText(L"CreateDevice", failure));
    }
    Log(kSource, __LINE__, device->software_ ? L"CreateDevice HEL" : L"CreateDevice T&L HAL", 2);
    if (device->software_) {
        KeepFreedHeap();
    }
    if (!QOpenGLContext::supportsThreadedOpenGL()) {
        Log(kSource, __LINE__, L"CreateDevice: OpenGL はユーザーインターフェイスのスレッドでのみ描画可能", 2);
    }
    return device;
}

GlDevice::GlDevice(QWindow* window, int width, int height)
    : window_(window), releaseQueue_(std::make_shared<GlReleaseQueue>()), id_(nextDeviceId++), width_(width),
      height_(height) {
    viewport_.width = width;
    viewport_.height = height;
}

GlDevice::~GlDevice() {
    if (context_) {
        // a device whose making failed early has no functions yet
        CurrentContext current(*context_, surface_);
        if (current.IsCurrent() && gl_ != nullptr) {
            releaseQueue_->DeleteAll(*gl_);
            DeleteFramebuffer();
            gl_->glDeleteVertexArrays(1, &stripArray_);
            gl_->glDeleteBuffers(1, &stripBuffer_);
        }
        // the program's names go with the context when it cannot be made current here
        program_.reset();
        flatProgram_.reset();
    }
    context_.reset();
    offscreen_.reset();
}

QSurfaceFormat GlDevice::SurfaceFormat() {
    // the back buffer is a framebuffer object of our own, so the surface needs no depth or
    // stencil of its own; they are asked for all the same, as Direct3D's back buffer has them
    QSurfaceFormat format;
    format.setRenderableType(QSurfaceFormat::OpenGL);
    format.setVersion(3, 3);
    format.setProfile(QSurfaceFormat::CoreProfile);
    format.setDepthBufferSize(24);
    format.setStencilBufferSize(8);
    // the application thread paces the frames itself, as Direct3D's windowed Present does not wait
    format.setSwapInterval(0);
    return format;
}

bool GlDevice::Initialize(RenderResult& failure) {
    failure = NotAvailableResult();
    const QSurfaceFormat format = SurfaceFormat();

    if (window_ != nullptr) {
        if (window_->handle() == nullptr) {
            window_->setSurfaceType(QSurface::OpenGLSurface);
            window_->setFormat(format);
            window_->create();
        }
        if (window_->surfaceType() != QSurface::OpenGLSurface) {
            return false;
        }
        surface_ = window_;
        windowWatcher_ = std::make_unique<WindowSizeWatcher>(*window_);
    } else {
        offscreen_ = std::make_unique<QOffscreenSurface>();
        offscreen_->setFormat(format);
        offscreen_->create();
        if (!offscreen_->isValid()) {
            return false;
        }
        surface_ = offscreen_.get();
    }

    if (window_ == nullptr && EglContext::IsHeadlessPlatform()) {
        // no display: EGL makes the context (asked for as 3.3 core), Qt draws with it
        egl_ = EglContext::Create();
        context_ = egl_ != nullptr ? egl_->Adopt() : nullptr;
        if (context_ == nullptr) {
            return false;
        }
    } else {
        context_ = std::make_unique<QOpenGLContext>();
        context_->setFormat(format);
        if (!context_->create() || context_->format().version() < qMakePair(3, 3) ||
            context_->format().profile() != QSurfaceFormat::CoreProfile) {
            return false;
        }
    }
    // the application thread draws with a context that the user-interface thread made
    QCoreApplication::setAttribute(Qt::AA_DontCheckOpenGLContextThreadAffinity);
    CurrentContext current(*context_, surface_);
    if (!current.IsCurrent()) {
        return false;
    }
    gl_ = context_->extraFunctions();

    // Mesa's software rasterisers name themselves; everything else counts as hardware
    const char* renderer = reinterpret_cast<const char*>(gl_->glGetString(GL_RENDERER));
    const QByteArray rendererName = renderer != nullptr ? QByteArray(renderer).toLower() : QByteArray();
    software_ = rendererName.contains("llvmpipe") || rendererName.contains("softpipe") ||
                rendererName.contains("software rasterizer") || rendererName.contains("swr");

    program_ = std::make_unique<QOpenGLShaderProgram>();
    if (!program_->addShaderFromSourceCode(QOpenGLShader::Vertex, kVertexShader) ||
        !program_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFragmentShader) || !program_->link()) {
        failure = GlResult(GL_INVALID_OPERATION);
        return false;
    }
    const GLuint program = program_->programId();
    uniforms_.worldViewProjection = gl_->glGetUniformLocation(program, "worldViewProjection");
    uniforms_.worldNormal = gl_->glGetUniformLocation(program, "worldNormal");
    uniforms_.lighting = gl_->glGetUniformLocation(program, "lighting");
    uniforms_.materialDiffuse = gl_->glGetUniformLocation(program, "materialDiffuse");
    uniforms_.materialAmbient = gl_->glGetUniformLocation(program, "materialAmbient");
    uniforms_.materialEmissive = gl_->glGetUniformLocation(program, "materialEmissive");
    uniforms_.lightDirection = gl_->glGetUniformLocation(program, "lightDirection");
    uniforms_.lightDiffuse = gl_->glGetUniformLocation(program, "lightDiffuse");
    uniforms_.lightAmbient = gl_->glGetUniformLocation(program, "lightAmbient");
    uniforms_.globalAmbient = gl_->glGetUniformLocation(program, "globalAmbient");
    uniforms_.textureMode = gl_->glGetUniformLocation(program, "textureMode");
    uniforms_.texture = gl_->glGetUniformLocation(program, "stageTexture");
    flatProgram_ = std::make_unique<QOpenGLShaderProgram>();
    if (!flatProgram_->addShaderFromSourceCode(QOpenGLShader::Vertex, kFlatVertexShader) ||
        !flatProgram_->addShaderFromSourceCode(QOpenGLShader::Fragment, kFlatFragmentShader) ||
        !flatProgram_->link()) {
        failure = GlResult(GL_INVALID_OPERATION);
        return false;
    }
    flatUniforms_.worldViewProjection =
        gl_->glGetUniformLocation(flatProgram_->programId(), "worldViewProjection");
    flatUniforms_.color = gl_->glGetUniformLocation(flatProgram_->programId(), "flatColor");

    // the land's and the text's vertices: position, 0xAARRGGBB colour (bytes B, G, R, A), u and v
    gl_->glGenVertexArrays(1, &stripArray_);
    gl_->glGenBuffers(1, &stripBuffer_);
    gl_->glBindVertexArray(stripArray_);
    gl_->glBindBuffer(GL_ARRAY_BUFFER, stripBuffer_);
    gl_->glEnableVertexAttribArray(0);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, sizeof(TileVertex),
                               reinterpret_cast<void*>(offsetof(TileVertex, x)));
    gl_->glEnableVertexAttribArray(2);
    gl_->glVertexAttribPointer(2, GL_BGRA, GL_UNSIGNED_BYTE, GL_TRUE, sizeof(TileVertex),
                               reinterpret_cast<void*>(offsetof(TileVertex, color)));
    gl_->glEnableVertexAttribArray(3);
    gl_->glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, sizeof(TileVertex),
                               reinterpret_cast<void*>(offsetof(TileVertex, u)));
    gl_->glBindVertexArray(0);

    GLint maxRenderbuffer = 0;
    GLint maxViewport[2] = {0, 0};
    gl_->glGetIntegerv(GL_MAX_RENDERBUFFER_SIZE, &maxRenderbuffer);
    gl_->glGetIntegerv(GL_MAX_VIEWPORT_DIMS, maxViewport);
    maxFramebufferSize_ = std::min({maxRenderbuffer, maxViewport[0], maxViewport[1]});
    gl_->glGetIntegerv(GL_MAX_TEXTURE_SIZE, &maxTextureSize_);
    if (width_ > maxFramebufferSize_ || height_ > maxFramebufferSize_) {
        failure = InvalidCallResult();
        return false;
    }
    if (!MakeFramebuffer(width_, height_, failure)) {
        return false;
    }
    const GLenum error = gl_->glGetError();
    if (error != GL_NO_ERROR) {
        failure = GlResult(error);
        return false;
    }
    return true;
}

bool GlDevice::MakeFramebuffer(int width, int height, RenderResult& failure) {
    DeleteFramebuffer();
    gl_->glGenFramebuffers(1, &framebuffer_);
    gl_->glGenRenderbuffers(1, &colorBuffer_);
    gl_->glGenRenderbuffers(1, &depthStencilBuffer_);
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, colorBuffer_);
    gl_->glRenderbufferStorage(GL_RENDERBUFFER, GL_RGBA8, width, height);
    gl_->glBindRenderbuffer(GL_RENDERBUFFER, depthStencilBuffer_);
    gl_->glRenderbufferStorage(GL_RENDERBUFFER, GL_DEPTH24_STENCIL8, width, height);
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_COLOR_ATTACHMENT0, GL_RENDERBUFFER, colorBuffer_);
    gl_->glFramebufferRenderbuffer(GL_FRAMEBUFFER, GL_DEPTH_STENCIL_ATTACHMENT, GL_RENDERBUFFER,
                                   depthStencilBuffer_);
    const GLenum status = gl_->glCheckFramebufferStatus(GL_FRAMEBUFFER);
    if (status != GL_FRAMEBUFFER_COMPLETE) {
        failure = GlResult(status);
        DeleteFramebuffer();
        return false;
    }
    const GLenum error = gl_->glGetError();
    if (error != GL_NO_ERROR) {
        failure = GlResult(error);
        DeleteFramebuffer();
        return false;
    }
    return true;
}

void GlDevice::DeleteFramebuffer() {
    if (framebuffer_ != 0) {
        gl_->glBindFramebuffer(GL_FRAMEBUFFER, context_->defaultFramebufferObject());
        gl_->glDeleteFramebuffers(1, &framebuffer_);
        gl_->glDeleteRenderbuffers(1, &colorBuffer_);
        gl_->glDeleteRenderbuffers(1, &depthStencilBuffer_);
        framebuffer_ = 0;
        colorBuffer_ = 0;
        depthStencilBuffer_ = 0;
    }
}

bool GlDevice::BeginScene() {
    if (!context_ || framebuffer_ == 0) {
        return false;
    }
    if (QOpenGLContext::currentContext() != context_.get()) {
        if (!context_->makeCurrent(surface_)) {
            return false;
        }
        madeCurrent_ = true;
    }
    releaseQueue_->DeleteAll(*gl_);

    // the fixed settings: Direct3D's depth comparison, back faces culled (the meshes
    // turn counter-clockwise seen from outside), the texture on unit 0
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glDepthFunc(GL_LEQUAL);
    gl_->glEnable(GL_CULL_FACE);
    gl_->glCullFace(GL_BACK);
    gl_->glFrontFace(GL_CCW);
    gl_->glBlendEquation(GL_FUNC_ADD);
    gl_->glActiveTexture(GL_TEXTURE0);
    gl_->glUseProgram(program_->programId());
    appliedProgram_ = program_->programId();
    flatMatrixStale_ = true;
    flatColor_ = ColorValue{-1.0f, -1.0f, -1.0f, -1.0f};
    gl_->glUniform1i(uniforms_.texture, 0);
    dirty_ = kDirtyAll;
    appliedLit_ = -1;
    appliedTextureMode_ = -1;
    appliedTexture_ = 0;
    appliedVertexArray_ = 0;
    gl_->glBindTexture(GL_TEXTURE_2D, 0);
    gl_->glBindVertexArray(0);
    inScene_ = true;
    return true;
}

void GlDevice::EndScene() {
    inScene_ = false;
}

void GlDevice::Present() {
    if (!context_ || QOpenGLContext::currentContext() != context_.get()) {
        return;
    }
    if (windowWatcher_ && windowWatcher_->Exposed()) {
        // the back buffer stretched over the whole client area, as Direct3D presents it
        gl_->glBindFramebuffer(GL_READ_FRAMEBUFFER, framebuffer_);
        gl_->glBindFramebuffer(GL_DRAW_FRAMEBUFFER, context_->defaultFramebufferObject());
        gl_->glBlitFramebuffer(0, 0, width_, height_, 0, 0, windowWatcher_->PixelWidth(),
                               windowWatcher_->PixelHeight(), GL_COLOR_BUFFER_BIT, GL_LINEAR);
        context_->swapBuffers(window_);
        gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    } else if (!window_) {
        // offscreen the frame is shown once it is finished
        gl_->glFinish();
    }
    if (madeCurrent_) {
        context_->doneCurrent();
        madeCurrent_ = false;
    }
}

void GlDevice::SetViewport(const Viewport& viewport) {
    viewport_ = viewport;
    dirty_ |= kDirtyViewport;
}

void GlDevice::Clear(std::uint32_t color, float depth, std::uint32_t stencil) {
    if (!inScene_) {
        return;
    }
    // Direct3D clears the viewport's rectangle, whatever the tests; its rows count from the top
    const ColorValue clearColor = ColorFromArgb(color);
    gl_->glEnable(GL_SCISSOR_TEST);
    gl_->glScissor(viewport_.x, height_ - viewport_.y - viewport_.height, viewport_.width, viewport_.height);
    gl_->glClearColor(clearColor.r, clearColor.g, clearColor.b, clearColor.a);
    gl_->glClearDepthf(depth);
    gl_->glClearStencil(static_cast<GLint>(stencil));
    gl_->glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT | GL_STENCIL_BUFFER_BIT);
    gl_->glDisable(GL_SCISSOR_TEST);
}

void GlDevice::SetTransform(TransformState state, const Matrix4& matrix) {
    switch (state) {
    case TransformState::world:
        world_ = matrix;
        dirty_ |= kDirtyWorld;
        break;
    case TransformState::view:
        view_ = matrix;
        dirty_ |= kDirtyTransform;
        viewProjectionStale_ = true;
        break;
    case TransformState::projection:
        projection_ = matrix;
        dirty_ |= kDirtyTransform;
        viewProjectionStale_ = true;
        break;
    }
    worldViewProjectionStale_ = true;
    flatMatrixStale_ = true;
}

void GlDevice::SetRenderState(RenderState state, std::uint32_t value) {
    switch (state) {
    case RenderState::zEnable:
        zEnable_ = value != 0;
        break;
    case RenderState::alphaBlendEnable:
        alphaBlendEnable_ = value != 0;
        break;
    case RenderState::stencilEnable:
        stencilEnable_ = value != 0;
        break;
    case RenderState::blendOp:
        // addition is the only operation the program uses
        break;
    case RenderState::srcBlend:
        srcBlend_ = static_cast<BlendFactor>(value);
        break;
    case RenderState::destBlend:
        destBlend_ = static_cast<BlendFactor>(value);
        break;
    case RenderState::stencilFunc:
        stencilFunc_ = static_cast<CompareFunc>(value);
        break;
    case RenderState::stencilFail:
        stencilFail_ = static_cast<StencilOp>(value);
        break;
    case RenderState::stencilZFail:
        stencilZFail_ = static_cast<StencilOp>(value);
        break;
    case RenderState::stencilPass:
        stencilPass_ = static_cast<StencilOp>(value);
        break;
    case RenderState::stencilRef:
        stencilRef_ = value;
        break;
    case RenderState::ambient:
        ambient_ = value;
        dirty_ |= kDirtyLight;
        return;
    }
    dirty_ |= kDirtyPipeline;
}

void GlDevice::SetLight(int index, const LightRecord& light) {
    // the program lights with light 0 only
    if (index == 0) {
        light_ = light;
        dirty_ |= kDirtyLight;
    }
}

void GlDevice::LightEnable(int index, bool on) {
    if (index == 0) {
        lightEnabled_ = on;
        dirty_ |= kDirtyLight;
    }
}

void GlDevice::SetMaterial(const MaterialRecord& material) {
    // the subsets of most meshes share one material: nothing to send again
    if (std::memcmp(&material, &material_, sizeof material) != 0) {
        material_ = material;
        dirty_ |= kDirtyMaterial;
    }
}

void GlDevice::SetTexture(int stage, D3DTexture* texture) {
    // the program textures stage 0 only
    if (stage == 0) {
        texture_ = texture;
    }
}

GLuint GlDevice::TextureName(D3DTexture* texture) {
    auto* glTexture = dynamic_cast<GlTexture*>(texture);
    return glTexture != nullptr ? glTexture->Name(*this) : 0;
}

const Matrix4& GlDevice::WorldViewProjection() {
    if (viewProjectionStale_) {
        viewProjection_ = MatrixMultiply(view_, projection_);
        viewProjectionStale_ = false;
    }
    if (worldViewProjectionStale_) {
        worldViewProjection_ = MatrixMultiply(world_, viewProjection_);
        worldViewProjectionStale_ = false;
    }
    return worldViewProjection_;
}

void GlDevice::UseProgram(GLuint program) {
    if (appliedProgram_ != program) {
        gl_->glUseProgram(program);
        appliedProgram_ = program;
    }
}

void GlDevice::ApplyPipelineState() {
    if ((dirty_ & kDirtyViewport) != 0) {
        gl_->glViewport(viewport_.x, height_ - viewport_.y - viewport_.height, viewport_.width,
                        viewport_.height);
        gl_->glDepthRangef(viewport_.minZ, viewport_.maxZ);
    }
    if ((dirty_ & kDirtyPipeline) != 0) {
        zEnable_ ? gl_->glEnable(GL_DEPTH_TEST) : gl_->glDisable(GL_DEPTH_TEST);
        alphaBlendEnable_ ? gl_->glEnable(GL_BLEND) : gl_->glDisable(GL_BLEND);
        gl_->glBlendFunc(GlBlendFactor(srcBlend_), GlBlendFactor(destBlend_));
        stencilEnable_ ? gl_->glEnable(GL_STENCIL_TEST) : gl_->glDisable(GL_STENCIL_TEST);
        gl_->glStencilFunc(GlCompareFunc(stencilFunc_), static_cast<GLint>(stencilRef_), 0xFFFFFFFFu);
        gl_->glStencilOp(GlStencilOp(stencilFail_), GlStencilOp(stencilZFail_), GlStencilOp(stencilPass_));
    }
    dirty_ &= ~(kDirtyViewport | kDirtyPipeline);
}

void GlDevice::ApplyState(bool lit, GLuint texture, int textureMode) {
    ApplyPipelineState();
    UseProgram(program_->programId());
    if ((dirty_ & (kDirtyTransform | kDirtyWorld)) != 0) {
        gl_->glUniformMatrix4fv(uniforms_.worldViewProjection, 1, GL_FALSE, WorldViewProjection().Data());
    }
    if ((dirty_ & kDirtyWorld) != 0) {
        // the rows of the world's 3x3 block, read as columns: normals turn as row vectors do
        const GLfloat normalMatrix[9] = {world_._11, world_._12, world_._13, world_._21, world_._22,
                                         world_._23, world_._31, world_._32, world_._33};
        gl_->glUniformMatrix3fv(uniforms_.worldNormal, 1, GL_FALSE, normalMatrix);
    }
    if ((dirty_ & kDirtyMaterial) != 0) {
        gl_->glUniform4fv(uniforms_.materialDiffuse, 1, &material_.diffuse.r);
        gl_->glUniform4fv(uniforms_.materialAmbient, 1, &material_.ambient.r);
        gl_->glUniform4fv(uniforms_.materialEmissive, 1, &material_.emissive.r);
    }
    if ((dirty_ & kDirtyLight) != 0) {
        // Direct3D normalises the direction; a disabled light adds nothing
        Vector3 direction = light_.direction;
        const float length =
            std::sqrt(direction.x * direction.x + direction.y * direction.y + direction.z * direction.z);
        if (length > 0.0f && std::isfinite(length)) {
            direction = Vector3(direction.x / length, direction.y / length, direction.z / length);
        }
        const ColorValue none;
        const ColorValue& diffuse = lightEnabled_ ? light_.diffuse : none;
        const ColorValue& ambient = lightEnabled_ ? light_.ambient : none;
        const ColorValue global = ColorFromArgb(ambient_);
        gl_->glUniform3f(uniforms_.lightDirection, direction.x, direction.y, direction.z);
        gl_->glUniform4fv(uniforms_.lightDiffuse, 1, &diffuse.r);
        gl_->glUniform4fv(uniforms_.lightAmbient, 1, &ambient.r);
        gl_->glUniform4fv(uniforms_.globalAmbient, 1, &global.r);
    }
    dirty_ = 0;

    const int litValue = lit ? 1 : 0;
    if (appliedLit_ != litValue) {
        gl_->glUniform1i(uniforms_.lighting, litValue);
        appliedLit_ = litValue;
    }
    if (appliedTextureMode_ != textureMode) {
        gl_->glUniform1i(uniforms_.textureMode, textureMode);
        appliedTextureMode_ = textureMode;
    }
    if (texture != 0 && appliedTexture_ != texture) {
        gl_->glBindTexture(GL_TEXTURE_2D, texture);
        appliedTexture_ = texture;
    }
}

bool GlDevice::ApplyFlatState(GLuint texture) {
    const ColorValue& diffuse = material_.diffuse;
    const ColorValue& ambient = material_.ambient;
    if (texture != 0 || diffuse.r != 0.0f || diffuse.g != 0.0f || diffuse.b != 0.0f || ambient.r != 0.0f ||
        ambient.g != 0.0f || ambient.b != 0.0f) {
        return false;
    }
    ApplyPipelineState();
    UseProgram(flatProgram_->programId());
    if (flatMatrixStale_) {
        gl_->glUniformMatrix4fv(flatUniforms_.worldViewProjection, 1, GL_FALSE, WorldViewProjection().Data());
        flatMatrixStale_ = false;
    }
    const auto clamp = [](float value) { return std::clamp(value, 0.0f, 1.0f); };
    const ColorValue color{clamp(material_.emissive.r), clamp(material_.emissive.g),
                           clamp(material_.emissive.b), diffuse.a};
    if (std::memcmp(&color, &flatColor_, sizeof color) != 0) {
        gl_->glUniform4fv(flatUniforms_.color, 1, &color.r);
        flatColor_ = color;
    }
    return true;
}

void GlDevice::DrawIndexed(GLuint vertexArray, int firstIndex, int indexCount) {
    if (!inScene_ || indexCount <= 0) {
        return;
    }
    const GLuint texture = TextureName(texture_);
    if (!ApplyFlatState(texture)) {
        ApplyState(true, texture, texture != 0 ? kModulate : kUntextured);
    }
    if (appliedVertexArray_ != vertexArray) {
        gl_->glBindVertexArray(vertexArray);
        appliedVertexArray_ = vertexArray;
    }
    gl_->glDrawElements(GL_TRIANGLES, indexCount, GL_UNSIGNED_INT,
                        reinterpret_cast<void*>(static_cast<std::uintptr_t>(firstIndex) * sizeof(GLuint)));
}

GlDevice::MeshNames GlDevice::MakeMesh(const float* vertices, std::size_t vertexCount,
                                       const std::uint32_t* indices, std::size_t indexCount) {
    constexpr GLsizei kStride = 8 * sizeof(float);
    MeshNames names;
    gl_->glGenVertexArrays(1, &names.vertexArray);
    gl_->glGenBuffers(1, &names.vertexBuffer);
    gl_->glGenBuffers(1, &names.indexBuffer);
    gl_->glBindVertexArray(names.vertexArray);
    appliedVertexArray_ = names.vertexArray;
    gl_->glBindBuffer(GL_ARRAY_BUFFER, names.vertexBuffer);
    gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * kStride), vertices,
                      GL_STATIC_DRAW);
    gl_->glBindBuffer(GL_ELEMENT_ARRAY_BUFFER, names.indexBuffer);
    gl_->glBufferData(GL_ELEMENT_ARRAY_BUFFER, static_cast<GLsizeiptr>(indexCount * sizeof(std::uint32_t)),
                      indices, GL_STATIC_DRAW);
    gl_->glEnableVertexAttribArray(0);
    gl_->glVertexAttribPointer(0, 3, GL_FLOAT, GL_FALSE, kStride, nullptr);
    gl_->glEnableVertexAttribArray(1);
    gl_->glVertexAttribPointer(1, 3, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<void*>(3 * sizeof(float)));
    gl_->glEnableVertexAttribArray(3);
    gl_->glVertexAttribPointer(3, 2, GL_FLOAT, GL_FALSE, kStride, reinterpret_cast<void*>(6 * sizeof(float)));
    return names;
}

GLuint GlDevice::MakeTexture(const QImage& image, bool clampToEdge) {
    GLuint texture = 0;
    gl_->glGenTextures(1, &texture);
    gl_->glBindTexture(GL_TEXTURE_2D, texture);
    appliedTexture_ = texture;
    // Direct3D samples the nearest texel of the top mip level unless told otherwise
    const GLint wrap = clampToEdge ? GL_CLAMP_TO_EDGE : GL_REPEAT;
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MIN_FILTER, GL_NEAREST);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAG_FILTER, GL_NEAREST);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_S, wrap);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_WRAP_T, wrap);
    gl_->glTexParameteri(GL_TEXTURE_2D, GL_TEXTURE_MAX_LEVEL, 0);
    ReplaceTexture(texture, image);
    return texture;
}

void GlDevice::ReplaceTexture(GLuint texture, const QImage& image) {
    QImage rgba = image.convertToFormat(QImage::Format_RGBA8888);
    if (rgba.width() > maxTextureSize_ || rgba.height() > maxTextureSize_) {
        rgba = rgba.scaled(std::min(rgba.width(), maxTextureSize_), std::min(rgba.height(), maxTextureSize_),
                           Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    }
    gl_->glBindTexture(GL_TEXTURE_2D, texture);
    appliedTexture_ = texture;
    // the image's top row is texture row 0, so v = 0 samples the top as in Direct3D
    gl_->glPixelStorei(GL_UNPACK_ALIGNMENT, 4);
    gl_->glTexImage2D(GL_TEXTURE_2D, 0, GL_RGBA8, rgba.width(), rgba.height(), 0, GL_RGBA, GL_UNSIGNED_BYTE,
                      rgba.constBits());
}

void GlDevice::UploadStrip(const TileVertex* vertices, int vertexCount) {
    gl_->glBindBuffer(GL_ARRAY_BUFFER, stripBuffer_);
    gl_->glBufferData(GL_ARRAY_BUFFER, static_cast<GLsizeiptr>(vertexCount * sizeof(TileVertex)), vertices,
                      GL_STREAM_DRAW);
    if (appliedVertexArray_ != stripArray_) {
        gl_->glBindVertexArray(stripArray_);
        appliedVertexArray_ = stripArray_;
    }
}

void GlDevice::DrawTriangleStrip(const TileVertex* vertices, int vertexCount) {
    if (!inScene_ || vertices == nullptr || vertexCount < 3) {
        return;
    }
    // a vertex without a normal is drawn in its own colour: Direct3D would light it with
    // the material's ambient and emissive only, which the land's material leaves black
    const GLuint texture = TextureName(texture_);
    ApplyState(false, texture, texture != 0 ? kModulate : kUntextured);
    UploadStrip(vertices, vertexCount);
    // a strip is a flat sheet (the land's tiles), seen from either side: its winding says nothing
    gl_->glDisable(GL_CULL_FACE);
    gl_->glDrawArrays(GL_TRIANGLE_STRIP, 0, vertexCount);
    gl_->glEnable(GL_CULL_FACE);
}

bool GlDevice::DrawText(D3DFont* font, const std::wstring& text, int x, int y, std::uint32_t color) {
    auto* glFont = dynamic_cast<GlFont*>(font);
    if (!inScene_ || glFont == nullptr || glFont->Get() == nullptr) {
        return false;
    }
    GLuint texture = 0;
    int textWidth = 0;
    int textHeight = 0;
    if (!glFont->TextTexture(*this, text, texture, textWidth, textHeight)) {
        return false;
    }
    if (texture == 0) {
        // nothing to draw: an empty text
        return true;
    }

    const auto left = static_cast<float>(x);
    const auto top = static_cast<float>(y);
    const auto right = static_cast<float>(x + textWidth);
    const auto bottom = static_cast<float>(y + textHeight);
    const TileVertex quad[4] = {{left, top, 0.0f, color, 0.0f, 0.0f},
                                {left, bottom, 0.0f, color, 0.0f, 1.0f},
                                {right, top, 0.0f, color, 1.0f, 0.0f},
                                {right, bottom, 0.0f, color, 1.0f, 1.0f}};
    DrawInPixels(GL_TRIANGLE_STRIP, quad, 4, texture, kCoverage);
    return true;
}

void GlDevice::DrawInPixels(GLenum mode, const TileVertex* vertices, int vertexCount, GLuint texture,
                            int textureMode) {
    // back-buffer pixels over everything, outside the viewport's clipping
    UseProgram(program_->programId());
    gl_->glViewport(0, 0, width_, height_);
    gl_->glDisable(GL_DEPTH_TEST);
    gl_->glDisable(GL_STENCIL_TEST);
    gl_->glDisable(GL_CULL_FACE);
    gl_->glEnable(GL_BLEND);
    gl_->glBlendFunc(GL_SRC_ALPHA, GL_ONE_MINUS_SRC_ALPHA);
    Matrix4 pixels;
    pixels._11 = 2.0f / static_cast<float>(width_);
    pixels._22 = -2.0f / static_cast<float>(height_);
    pixels._33 = 0.0f;
    pixels._41 = -1.0f;
    pixels._42 = 1.0f;
    pixels._43 = 0.5f;
    gl_->glUniformMatrix4fv(uniforms_.worldViewProjection, 1, GL_FALSE, pixels.Data());
    gl_->glUniform1i(uniforms_.lighting, 0);
    gl_->glUniform1i(uniforms_.textureMode, textureMode);
    if (texture != 0) {
        gl_->glBindTexture(GL_TEXTURE_2D, texture);
        appliedTexture_ = texture;
    }
    // bound afresh whatever was recorded, as every other state of this draw
    appliedVertexArray_ = 0;
    UploadStrip(vertices, vertexCount);
    gl_->glDrawArrays(mode, 0, vertexCount);

    gl_->glEnable(GL_CULL_FACE);
    dirty_ = kDirtyAll;
    appliedLit_ = -1;
    appliedTextureMode_ = -1;
}

void GlDevice::DrawScreenStrip(const TileVertex* vertices, int vertexCount) {
    if (!inScene_ || vertices == nullptr || vertexCount < 3) {
        return;
    }
    DrawInPixels(GL_TRIANGLE_STRIP, vertices, vertexCount, 0, kUntextured);
}

void GlDevice::DrawLineList(const TileVertex* vertices, int vertexCount) {
    if (!inScene_ || vertices == nullptr || vertexCount < 2) {
        return;
    }
    ApplyState(false, 0, kUntextured);
    UploadStrip(vertices, vertexCount);
    gl_->glDrawArrays(GL_LINES, 0, vertexCount / 2 * 2);
}

bool GlDevice::TextExtent(D3DFont* font, const std::wstring& text, int& width, int& height) {
    auto* glFont = dynamic_cast<GlFont*>(font);
    if (!inScene_ || glFont == nullptr || glFont->Get() == nullptr) {
        return false;
    }
    // the texture is the one DrawText draws next, so measuring costs nothing more
    GLuint texture = 0;
    return glFont->TextTexture(*this, text, texture, width, height);
}

bool GlDevice::ReadBackBuffer(FrameImage& frame) {
    if (!inScene_ || framebuffer_ == 0) {
        return false;
    }
    const std::size_t rowBytes = static_cast<std::size_t>(width_) * 4;
    frame.width = width_;
    frame.height = height_;
    frame.rgba.resize(rowBytes * static_cast<std::size_t>(height_));
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl_->glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, frame.rgba.data());
    // OpenGL's rows count from the bottom; the back buffer's alpha means nothing
    std::vector<std::uint8_t> row(rowBytes);
    for (int top = 0, bottom = height_ - 1; top < bottom; ++top, --bottom) {
        std::uint8_t* upper = frame.rgba.data() + static_cast<std::size_t>(top) * rowBytes;
        std::uint8_t* lower = frame.rgba.data() + static_cast<std::size_t>(bottom) * rowBytes;
        std::memcpy(row.data(), upper, rowBytes);
        std::memcpy(upper, lower, rowBytes);
        std::memcpy(lower, row.data(), rowBytes);
    }
    for (std::size_t alpha = 3; alpha < frame.rgba.size(); alpha += 4) {
        frame.rgba[alpha] = 255;
    }
    return true;
}

bool GlDevice::WritePng(const FrameImage& frame, const std::string& path) {
    if (frame.width <= 0 || frame.height <= 0 ||
        frame.rgba.size() !=
            static_cast<std::size_t>(frame.width) * static_cast<std::size_t>(frame.height) * 4) {
        return false;
    }
    const QImage image(frame.rgba.data(), frame.width, frame.height, frame.width * 4,
                       QImage::Format_RGBA8888);
    return image.convertToFormat(QImage::Format_RGB888).save(QString::fromStdString(path), "PNG");
}

void GlDevice::Reset(int width, int height) {
    RenderResult failure = InvalidCallResult();
    bool made = false;
    if (width > 0 && height > 0 && width <= maxFramebufferSize_ && height <= maxFramebufferSize_) {
        CurrentContext current(*context_, surface_);
        failure = NotAvailableResult();
        made = current.IsCurrent() && MakeFramebuffer(width, height, failure);
    }
    if (!made) {
        LogRenderFailure(kSource, __LINE__, L"Reset", failure);
        throw DirectX::init_error(ProgramMessage(130) + FailedCallText(L"Reset", failure));
    }
    // a reset device views the whole new back buffer
    width_ = width;
    height_ = height;
    viewport_ = Viewport{0, 0, width, height, 0.0f, 1.0f};
    dirty_ |= kDirtyViewport;
}

QImage GlDevice::ReadFrame() {
    QImage frame(width_, height_, QImage::Format_RGBA8888);
    frame.fill(Qt::black);
    CurrentContext current(*context_, surface_);
    if (!current.IsCurrent() || framebuffer_ == 0) {
        return frame;
    }
    gl_->glBindFramebuffer(GL_FRAMEBUFFER, framebuffer_);
    gl_->glPixelStorei(GL_PACK_ALIGNMENT, 4);
    gl_->glReadPixels(0, 0, width_, height_, GL_RGBA, GL_UNSIGNED_BYTE, frame.bits());
    // OpenGL's rows count from the bottom; the back buffer has no alpha
    return frame.mirrored().convertToFormat(QImage::Format_RGB32);
}
