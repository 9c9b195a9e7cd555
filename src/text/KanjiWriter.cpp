#include "text/KanjiWriter.h"

#include "text/KanjiCodePage.h"

namespace {

unsigned char ByteAt(const std::string& bytes, std::size_t index) {
    return static_cast<unsigned char>(bytes[index]);
}

} // namespace

// ---------------------------------------------------------------------------------------
// KanjiWriter

void KanjiWriter::WriteLine(const std::string& bytes, std::ostream& output) {
    output.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
    output.write(lineTerminator_.data(), static_cast<std::streamsize>(lineTerminator_.size()));
}

std::string KanjiWriter::InternalToSjis(const std::string& internal) {
    std::string sjis;
    if (internal.size() % 2 != 0 || !MapUtf16ToShiftJis(internal, sjis)) {
        throw cant_convert();
    }
    return sjis;
}

// ---------------------------------------------------------------------------------------
// encoders

std::string KanjiWriterSJIS::Encode(const std::string& internal) {
    return InternalToSjis(internal);
}

std::string KanjiWriterEUC::Encode(const std::string& internal) {
    const std::string sjis = InternalToSjis(internal);
    std::string euc;
    euc.reserve(sjis.size() + sjis.size() / 2);
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const unsigned char byte = ByteAt(sjis, i);
        if (IsShiftJisLeadByte(byte) && i + 1 < sjis.size()) {
            // JIS X 0208 with the high bits set; the vendor rows have no place there
            unsigned char first = byte;
            unsigned char second = ByteAt(sjis, i + 1);
            if (!ShiftJisToJis(first, second)) {
                throw cant_convert();
            }
            euc += static_cast<char>(first + 0x80);
            euc += static_cast<char>(second + 0x80);
            ++i;
        } else if (byte >= 0xA1 && byte <= 0xDF) {
            // half-width katakana
            euc += static_cast<char>(0x8E);
            euc += static_cast<char>(byte);
        } else {
            euc += static_cast<char>(byte);
        }
    }
    return euc;
}

std::string KanjiWriterJIS::Encode(const std::string& internal) {
    const std::string sjis = InternalToSjis(internal);
    std::string jis;
    jis.reserve(sjis.size() + 8);
    bool twoByte = false;
    for (std::size_t i = 0; i < sjis.size(); ++i) {
        const unsigned char byte = ByteAt(sjis, i);
        if (IsShiftJisLeadByte(byte) && i + 1 < sjis.size()) {
            unsigned char first = byte;
            unsigned char second = ByteAt(sjis, i + 1);
            if (!ShiftJisToJis(first, second)) {
                throw cant_convert();
            }
            if (!twoByte) {
                jis += "\x1B$B";
                twoByte = true;
            }
            jis += static_cast<char>(first);
            jis += static_cast<char>(second);
            ++i;
        } else {
            if (twoByte) {
                jis += "\x1B(B";
                twoByte = false;
            }
            jis += static_cast<char>(byte);
        }
    }
    if (twoByte) {
        jis += "\x1B(B";
    }
    return jis;
}

// ---------------------------------------------------------------------------------------
// KanjiWriterUnicode

void KanjiWriterUnicode::WriteByteOrderMark(std::ostream& output) {
    markWritten_ = true;
    output.write(bigEndian_ ? "\xFE\xFF" : "\xFF\xFE", 2);
}

void KanjiWriterUnicode::WriteLine(const std::string& bytes, std::ostream& output) {
    if (bytes.size() % 2 != 0 || lineTerminator_.size() % 2 != 0) {
        throw cant_convert();
    }
    if (!markWritten_) {
        WriteByteOrderMark(output);
    }
    std::string ordered = bytes + lineTerminator_;
    if (!bigEndian_) {
        for (std::size_t i = 0; i < ordered.size(); i += 2) {
            std::swap(ordered[i], ordered[i + 1]);
        }
    }
    output.write(ordered.data(), static_cast<std::streamsize>(ordered.size()));
}

std::string KanjiWriterUnicode::Encode(const std::string& internal) {
    if (internal.size() % 2 != 0) {
        throw cant_convert();
    }
    return internal;
}

// ---------------------------------------------------------------------------------------
// KanjiWriterFactory

std::unique_ptr<KanjiWriter> KanjiWriterFactory::Create(const std::string& name,
                                                        const std::string& lineTerminator) {
    if (name == "SJIS") {
        return std::make_unique<KanjiWriterSJIS>(lineTerminator);
    }
    if (name == "JIS") {
        return std::make_unique<KanjiWriterJIS>(lineTerminator);
    }
    if (name == "EUC") {
        return std::make_unique<KanjiWriterEUC>(lineTerminator);
    }
    if (name == "Unicode") {
        return std::make_unique<KanjiWriterUnicode>(lineTerminator);
    }
    throw cant_convert();
}
