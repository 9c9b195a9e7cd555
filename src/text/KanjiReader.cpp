#include "text/KanjiReader.h"

#include "text/KanjiCodePage.h"

namespace {

unsigned char ByteAt(const std::string& bytes, std::size_t index) {
    return static_cast<unsigned char>(bytes[index]);
}

bool InRange(unsigned char byte, unsigned char low, unsigned char high) {
    return byte >= low && byte <= high;
}

constexpr unsigned char kEscape = 0x1B;

} // namespace

// ---------------------------------------------------------------------------------------
// KanjiReader

bool KanjiReader::ReadLine(std::istream& input, std::string& line) {
    line.clear();
    bool readAnything = false;
    for (auto c = input.get(); c != std::istream::traits_type::eof(); c = input.get()) {
        readAnything = true;
        if (c == '\n') {
            line += lineTerminator_;
            return true;
        }
        if (c == '\r') {
            if (input.peek() == '\n') {
                input.get();
            }
            line += lineTerminator_;
            return true;
        }
        line += static_cast<char>(c);
    }
    return readAnything;
}

std::string KanjiReader::SjisToInternal(const std::string& sjis) {
    // every lead byte needs a trail byte
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        if (IsShiftJisLeadByte(ByteAt(sjis, i))) {
            if (i + 1 >= sjis.size() || !IsShiftJisTrailByte(ByteAt(sjis, i + 1))) {
                throw cant_convert();
            }
            ++i;
        }
    }
    std::string internal;
    if (!MapShiftJisToUtf16(sjis, internal)) {
        throw cant_convert();
    }
    return internal;
}

// ---------------------------------------------------------------------------------------
// decoders

std::string KanjiReaderSJIS::Decode(const std::string& source) {
    return SjisToInternal(source);
}

std::string KanjiReaderEUC::Decode(const std::string& source) {
    std::string sjis;
    sjis.reserve(source.size());
    for (std::size_t i = 0; i < source.size();) {
        const unsigned char byte = ByteAt(source, i);
        const bool hasNext = i + 1 < source.size();
        if (InRange(byte, 0xA1, 0xFE) && hasNext && InRange(ByteAt(source, i + 1), 0xA1, 0xFE)) {
            // JIS X 0208 with the high bits set
            unsigned char first = byte - 0x80;
            unsigned char second = ByteAt(source, i + 1) - 0x80;
            JisToShiftJis(first, second);
            sjis += static_cast<char>(first);
            sjis += static_cast<char>(second);
            i += 2;
        } else if (byte == 0x8E && hasNext && InRange(ByteAt(source, i + 1), 0xA1, 0xDF)) {
            // half-width katakana
            sjis += source[i + 1];
            i += 2;
        } else {
            sjis += source[i];
            ++i;
        }
    }
    return SjisToInternal(sjis);
}

std::string KanjiReaderJIS::Decode(const std::string& source) {
    std::string sjis;
    sjis.reserve(source.size());
    bool twoByte = false;
    for (std::size_t i = 0; i < source.size();) {
        // mode switches
        if (ByteAt(source, i) == kEscape && i + 2 < source.size()) {
            const char intermediate = source[i + 1];
            const char final = source[i + 2];
            if (intermediate == '$' && (final == 'B' || final == '@')) {
                twoByte = true;
                i += 3;
                continue;
            }
            if (intermediate == '(' && (final == 'B' || final == 'J')) {
                twoByte = false;
                i += 3;
                continue;
            }
        }
        // JIS X 0208 pairs in two-byte mode; everything else is copied
        const unsigned char byte = ByteAt(source, i);
        if (twoByte && InRange(byte, 0x21, 0x7E)) {
            if (i + 1 >= source.size() || !InRange(ByteAt(source, i + 1), 0x21, 0x7E)) {
                throw cant_convert();
            }
            unsigned char first = byte;
            unsigned char second = ByteAt(source, i + 1);
            JisToShiftJis(first, second);
            sjis += static_cast<char>(first);
            sjis += static_cast<char>(second);
            i += 2;
            continue;
        }
        sjis += source[i];
        ++i;
    }
    return SjisToInternal(sjis);
}

// ---------------------------------------------------------------------------------------
// KanjiReaderUnicode

void KanjiReaderUnicode::ReadByteOrderMark(std::istream& input) {
    markRead_ = true;
    const auto first = input.get();
    if (first == std::istream::traits_type::eof()) {
        return;
    }
    if (first != 0xFF && first != 0xFE) {
        input.unget();
        return;
    }
    const auto second = input.get();
    if (first == 0xFF && second == 0xFE) {
        bigEndian_ = false;
    } else if (first == 0xFE && second == 0xFF) {
        bigEndian_ = true;
    } else {
        throw cant_convert();
    }
}

bool KanjiReaderUnicode::ReadUnit(std::istream& input, std::uint16_t& unit) {
    if (pendingUnit_) {
        unit = *pendingUnit_;
        pendingUnit_.reset();
        return true;
    }
    const auto first = input.get();
    if (first == std::istream::traits_type::eof()) {
        return false;
    }
    const auto second = input.get();
    if (second == std::istream::traits_type::eof()) {
        throw cant_convert(); // half a unit
    }
    unit = bigEndian_ ? static_cast<std::uint16_t>((first << 8) | second)
                      : static_cast<std::uint16_t>((second << 8) | first);
    return true;
}

bool KanjiReaderUnicode::ReadLine(std::istream& input, std::string& line) {
    if (!markRead_) {
        ReadByteOrderMark(input);
    }
    line.clear();
    bool readAnything = false;
    std::uint16_t unit = 0;
    while (ReadUnit(input, unit)) {
        readAnything = true;
        if (unit == u'\n') {
            line += lineTerminator_;
            return true;
        }
        if (unit == u'\r') {
            std::uint16_t next = 0;
            if (ReadUnit(input, next) && next != u'\n') {
                pendingUnit_ = next;
            }
            line += lineTerminator_;
            return true;
        }
        line += static_cast<char>(unit >> 8);
        line += static_cast<char>(unit & 0xFF);
    }
    return readAnything;
}

std::string KanjiReaderUnicode::Decode(const std::string& source) {
    if (source.size() % 2 != 0) {
        throw cant_convert();
    }
    return source;
}

// ---------------------------------------------------------------------------------------
// KanjiReaderFactory

std::unique_ptr<KanjiReader> KanjiReaderFactory::Create(const std::string& name,
                                                        const std::string& lineTerminator) {
    if (name == "SJIS") {
        return std::make_unique<KanjiReaderSJIS>(lineTerminator);
    }
    if (name == "JIS") {
        return std::make_unique<KanjiReaderJIS>(lineTerminator);
    }
    if (name == "EUC") {
        return std::make_unique<KanjiReaderEUC>(lineTerminator);
    }
    if (name == "Unicode") {
        return std::make_unique<KanjiReaderUnicode>(lineTerminator);
    }
    throw cant_convert();
}
