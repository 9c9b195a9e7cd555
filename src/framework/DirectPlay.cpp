#include "framework/DirectPlay.h"

#include "common/LogWriter.h"
#include "common/Messages.h"

namespace {
const wchar_t* const kSource = L"..\\..\\..\\..\\..\\COMMON\\SRC\\Vc\\DirectPlay";
}

void DirectPlay::Create(const DirectPlayConfig& /*config*/) {
    Log(kSource, __LINE__, L"DirectPlay: CoCreateInstance(CLSID_DirectPlay8Peer) に失敗", 1);
    throw init_error(CommonMessage(142) + L"[CoCreateInstance DirectPlay8Peer(not available)]");
}

void DirectPlay::Free() {}
