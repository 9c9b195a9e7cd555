// The Japanese codecs: the first byte picks the source and the target encoding, the rest is
// the text. Any bytes convert or throw a myexception.

#include <cstddef>
#include <cstdint>
#include <string>

#include "common/myexception.h"
#include "text/KanjiConvert.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    static const char* const kEncodings[] = {"SJIS", "JIS", "EUC", "Unicode"};
    const char* from = kEncodings[data[0] & 3];
    const char* to = kEncodings[(data[0] >> 2) & 3];
    const std::string text(reinterpret_cast<const char*>(data + 1), size - 1);
    try {
        KanjiConvert(text, from, to);
    } catch (const myexception&) {
    }
    try {
        // what Shift_JIS decodes to must encode again
        WideToSjis(SjisToWide(text));
    } catch (const myexception&) {
    }
    return 0;
}
