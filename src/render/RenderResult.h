#pragma once
// Result codes of the render library's failures and the names that its log records and
// exception texts give them: the names Direct3D gave the same failures where there is
// one (a missing file, data that is no mesh or image, a call with bad arguments, no
// device), OpenGL's own names for errors that OpenGL reports.

#include <cstdint>
#include <string>

struct RenderResult {
    std::uint32_t code;
    std::wstring name;
};

/// A file that does not exist or cannot be opened.
RenderResult NotFoundResult();
/// A file that is no mesh or no image the loaders read.
RenderResult InvalidDataResult();
/// A request the device cannot carry out with the arguments given (a size, a height).
RenderResult InvalidCallResult();
/// No OpenGL 3.3 core context can be made on this display.
RenderResult NotAvailableResult();
/// An OpenGL error or framebuffer status code with its OpenGL name.
RenderResult GlResult(std::uint32_t glCode);

/// Writes the level-1 record "<call> に失敗[0x<code>]" with the source and line given.
void LogRenderFailure(const wchar_t* source, int line, const std::wstring& call, const RenderResult& result);
/// "[<call>(<name>)]", the tail of every exception text of a failed call.
std::wstring FailedCallText(const std::wstring& call, const RenderResult& result);
