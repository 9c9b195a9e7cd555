#include "render/EglContext.h"

#include <EGL/egl.h>
#include <EGL/eglext.h>

#include <QGuiApplication>
#include <QOpenGLContext>

bool EglContext::IsHeadlessPlatform() {
    return QGuiApplication::platformName() == QLatin1String("eglfs");
}

std::unique_ptr<EglContext> EglContext::Create() {
    EGLDisplay display = eglGetDisplay(EGL_DEFAULT_DISPLAY);
    if (display == EGL_NO_DISPLAY || eglInitialize(display, nullptr, nullptr) != EGL_TRUE) {
        return nullptr;
    }
    if (eglBindAPI(EGL_OPENGL_API) != EGL_TRUE) {
        return nullptr;
    }
    // the configuration of the pbuffers Qt makes for offscreen surfaces, so that Qt reads the
    // context's format from it; without one, a context that fits every surface
    const EGLint configAttributes[] = {EGL_SURFACE_TYPE,
                                       EGL_PBUFFER_BIT,
                                       EGL_RENDERABLE_TYPE,
                                       EGL_OPENGL_BIT,
                                       EGL_RED_SIZE,
                                       8,
                                       EGL_GREEN_SIZE,
                                       8,
                                       EGL_BLUE_SIZE,
                                       8,
                                       EGL_DEPTH_SIZE,
                                       24,
                                       EGL_STENCIL_SIZE,
                                       8,
                                       EGL_NONE};
    EGLConfig config = nullptr;
    EGLint configCount = 0;
    if (eglChooseConfig(display, configAttributes, &config, 1, &configCount) != EGL_TRUE || configCount < 1) {
        config = EGL_NO_CONFIG_KHR;
    }
    const EGLint contextAttributes[] = {EGL_CONTEXT_MAJOR_VERSION,
                                        3,
                                        EGL_CONTEXT_MINOR_VERSION,
                                        3,
                                        EGL_CONTEXT_OPENGL_PROFILE_MASK,
                                        EGL_CONTEXT_OPENGL_CORE_PROFILE_BIT,
                                        EGL_NONE};
    EGLContext context = eglCreateContext(display, config, EGL_NO_CONTEXT, contextAttributes);
    if (context == EGL_NO_CONTEXT) {
        return nullptr;
    }
    return std::unique_ptr<EglContext>(new EglContext(display, context));
}

EglContext::~EglContext() {
    eglMakeCurrent(display_, EGL_NO_SURFACE, EGL_NO_SURFACE, EGL_NO_CONTEXT);
    eglDestroyContext(display_, context_);
}

std::unique_ptr<QOpenGLContext> EglContext::Adopt() {
    return std::unique_ptr<QOpenGLContext>(
        QNativeInterface::QEGLContext::fromNative(static_cast<EGLContext>(context_), display_));
}
