#include "text/KanjiLine.h"

void KanjiLine::Set(const std::string& bytes, KanjiReader& reader) {
    internal_ = reader.Decode(bytes);
}

bool KanjiLine::Read(std::istream& input, KanjiReader& reader) {
    std::string bytes;
    if (!reader.ReadLine(input, bytes)) {
        return false;
    }
    internal_ = reader.Decode(bytes);
    return true;
}

std::string KanjiLine::Get(KanjiWriter& writer) const {
    return writer.Encode(internal_);
}

void KanjiLine::Write(std::ostream& output, KanjiWriter& writer) const {
    writer.WriteLine(writer.Encode(internal_), output);
}
