#include "text/KanjiConvert.h"

#include "text/KanjiReader.h"
#include "text/KanjiWriter.h"

std::string KanjiConvert(const std::string& source, const std::string& from, const std::string& to) {
    const std::unique_ptr<KanjiReader> reader = KanjiReaderFactory::Create(from, std::string());
    const std::unique_ptr<KanjiWriter> writer = KanjiWriterFactory::Create(to, std::string());
    return writer->Encode(reader->Decode(source));
}

std::wstring SjisToWide(const std::string& sjis) {
    const std::string internal = KanjiConvert(sjis, "SJIS", "Unicode");
    std::wstring text;
    text.reserve(internal.size() / 2);
    for (std::size_t i = 0; i + 1 < internal.size(); i += 2) {
        text += static_cast<wchar_t>((static_cast<unsigned char>(internal[i]) << 8) |
                                     static_cast<unsigned char>(internal[i + 1]));
    }
    return text;
}

std::string WideToSjis(const std::wstring& text) {
    std::string internal;
    internal.reserve(text.size() * 2);
    for (const wchar_t c : text) {
        // one UTF-16 unit per character: Shift_JIS has nothing beyond the first plane
        if (static_cast<unsigned long>(c) > 0xFFFF) {
            throw KanjiWriter::cant_convert();
        }
        internal += static_cast<char>((c >> 8) & 0xFF);
        internal += static_cast<char>(c & 0xFF);
    }
    return KanjiConvert(internal, "Unicode", "SJIS");
}
