#include "framework/DirectDraw.h"

#include "common/LogWriter.h"
#include "common/Messages.h"

namespace {
const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\DirectDraw";
}

void DirectDraw::Create(const DirectDrawConfig& /*config*/) {
    Log(kSource, __LINE__, L"DirectDraw: DirectDrawCreate に失敗", 1);
    throw init_error(CommonMessage(134) + L"[DirectDrawCreate(not available)]");
}

void DirectDraw::Free() {}

void DirectDraw::ClearBuffers() {}
