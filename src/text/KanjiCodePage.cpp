#include "text/KanjiCodePage.h"

#include <iconv.h>

#include <cerrno>

#include "common/Messages.h"
#include "common/myexception.h"

namespace {

/// One iconv conversion, opened on first use by each thread and kept for its lifetime
/// (a conversion descriptor may not be shared between threads).
class Converter {
public:
    Converter(const char* to, const char* from) : descriptor_(iconv_open(to, from)) {}
    ~Converter() {
        if (descriptor_ != reinterpret_cast<iconv_t>(-1)) {
            iconv_close(descriptor_);
        }
    }
    Converter(const Converter&) = delete;
    Converter& operator=(const Converter&) = delete;

    /// False when the input holds a sequence the conversion cannot map.
    bool Run(const std::string& input, std::string& output, std::size_t maxOutputPerInputByte) {
        if (descriptor_ == reinterpret_cast<iconv_t>(-1)) {
            throw exec_error(CommonMessage(132));
        }
        iconv(descriptor_, nullptr, nullptr, nullptr, nullptr); // back to the initial state
        output.assign(input.size() * maxOutputPerInputByte + 8, '\0');
        char* in = const_cast<char*>(input.data());
        std::size_t inLeft = input.size();
        char* out = output.data();
        std::size_t outLeft = output.size();
        if (iconv(descriptor_, &in, &inLeft, &out, &outLeft) == static_cast<std::size_t>(-1) ||
            iconv(descriptor_, nullptr, nullptr, &out, &outLeft) == static_cast<std::size_t>(-1)) {
            output.clear();
            return false;
        }
        output.resize(output.size() - outLeft);
        return true;
    }

private:
    iconv_t descriptor_;
};

} // namespace

bool MapShiftJisToUtf16(const std::string& shiftJis, std::string& utf16) {
    thread_local Converter converter("UTF-16BE", "CP932");
    // one or two bytes become one unit of two bytes
    return converter.Run(shiftJis, utf16, 2);
}

bool MapUtf16ToShiftJis(const std::string& utf16, std::string& shiftJis) {
    thread_local Converter converter("CP932", "UTF-16BE");
    // one unit of two bytes becomes one or two bytes
    return converter.Run(utf16, shiftJis, 1);
}

void JisToShiftJis(unsigned char& first, unsigned char& second) {
    const unsigned j1 = first;
    const unsigned j2 = second;
    // two JIS rows share one Shift_JIS lead byte; odd rows take the low trail range
    first = static_cast<unsigned char>(((j1 + 1) >> 1) + (j1 <= 0x5E ? 0x70 : 0xB0));
    if (j1 & 1) {
        second = static_cast<unsigned char>(j2 + (j2 >= 0x60 ? 0x20 : 0x1F));
    } else {
        second = static_cast<unsigned char>(j2 + 0x7E);
    }
}

bool ShiftJisToJis(unsigned char& first, unsigned char& second) {
    const unsigned s1 = first;
    const unsigned s2 = second;
    const unsigned rowBase = (s1 - (s1 >= 0xE0 ? 0xB0 : 0x70)) * 2;
    unsigned j1;
    unsigned j2;
    if (s2 >= 0x9F) {
        j1 = rowBase;
        j2 = s2 - 0x7E;
    } else {
        j1 = rowBase - 1;
        j2 = s2 - (s2 >= 0x80 ? 0x20 : 0x1F);
    }
    if (j1 < 0x21 || j1 > 0x7E || j2 < 0x21 || j2 > 0x7E) {
        return false;
    }
    first = static_cast<unsigned char>(j1);
    second = static_cast<unsigned char>(j2);
    return true;
}
