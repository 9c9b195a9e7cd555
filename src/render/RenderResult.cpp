#include "render/RenderResult.h"

#include <qopengl.h>

#include "common/LogWriter.h"

namespace {

// Direct3D's result codes are 0x8876 0000 | code (its facility 0x876 with the failure bit)
constexpr std::uint32_t kD3dFailure = 0x88760000u;

} // namespace

RenderResult NotFoundResult() {
    return {kD3dFailure | 2150u, L"D3DERR_NOTFOUND"};
}

RenderResult InvalidDataResult() {
    return {kD3dFailure | 2905u, L"D3DXERR_INVALIDDATA"};
}

RenderResult InvalidCallResult() {
    return {kD3dFailure | 2156u, L"D3DERR_INVALIDCALL"};
}

RenderResult NotAvailableResult() {
    return {kD3dFailure | 2154u, L"D3DERR_NOTAVAILABLE"};
}

RenderResult GlResult(std::uint32_t glCode) {
    switch (glCode) {
    case GL_NO_ERROR:
        return {glCode, L"GL_NO_ERROR"};
    case GL_INVALID_ENUM:
        return {glCode, L"GL_INVALID_ENUM"};
    case GL_INVALID_VALUE:
        return {glCode, L"GL_INVALID_VALUE"};
    case GL_INVALID_OPERATION:
        return {glCode, L"GL_INVALID_OPERATION"};
    case GL_OUT_OF_MEMORY:
        return {glCode, L"GL_OUT_OF_MEMORY"};
    case GL_INVALID_FRAMEBUFFER_OPERATION:
        return {glCode, L"GL_INVALID_FRAMEBUFFER_OPERATION"};
    case GL_FRAMEBUFFER_UNDEFINED:
        return {glCode, L"GL_FRAMEBUFFER_UNDEFINED"};
    case GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT:
        return {glCode, L"GL_FRAMEBUFFER_INCOMPLETE_ATTACHMENT"};
    case GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT:
        return {glCode, L"GL_FRAMEBUFFER_INCOMPLETE_MISSING_ATTACHMENT"};
    case GL_FRAMEBUFFER_UNSUPPORTED:
        return {glCode, L"GL_FRAMEBUFFER_UNSUPPORTED"};
    case GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE:
        return {glCode, L"GL_FRAMEBUFFER_INCOMPLETE_MULTISAMPLE"};
    default:
        return {glCode, L"GL_UNKNOWN_ERROR"};
    }
}

void LogRenderFailure(const wchar_t* source, int line, const std::wstring& call, const RenderResult& result) {
    LogFailure(source, line, call, result.code);
}

std::wstring FailedCallText(const std::wstring& call, const RenderResult& result) {
    return L"[" + call + L"(" + result.name + L")]";
}
