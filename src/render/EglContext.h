#pragma once
// An OpenGL 3.3 core context made through EGL directly, for drawing without any display:
// Qt's "eglfs" platform reads no screen on a machine without one, and offers contexts
// only for window surfaces, which a display-less EGL (Mesa's surfaceless platform) does
// not have. The context is made on EGL's default display and handed to Qt, which then
// draws with it on its own pbuffer surfaces like with any other.

#include <memory>

class QOpenGLContext;

class EglContext {
public:
    /// True on the platform whose contexts are made here ("eglfs").
    static bool IsHeadlessPlatform();
    /// The context, or null when EGL offers none (no display, no OpenGL 3.3 core).
    static std::unique_ptr<EglContext> Create();
    /// Destroys the EGL context; the Qt context made from it must be gone by then.
    ~EglContext();
    EglContext(const EglContext&) = delete;
    EglContext& operator=(const EglContext&) = delete;

    /// A Qt context over the EGL one, owned by the caller; null when Qt does not take it.
    std::unique_ptr<QOpenGLContext> Adopt();

private:
    EglContext(void* display, void* context) : display_(display), context_(context) {}

    void* display_;
    void* context_;
};
