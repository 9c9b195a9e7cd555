#pragma once
// One line of Japanese text held in the internal form (UTF-16 code units as byte pairs,
// high byte first), moved between byte strings or streams through a reader or a writer.

#include <istream>
#include <ostream>
#include <string>

#include "text/KanjiReader.h"
#include "text/KanjiWriter.h"

class KanjiLine {
public:
    KanjiLine() = default;
    virtual ~KanjiLine() = default;

    /// Takes the bytes through the reader; on failure the line keeps its old content.
    virtual void Set(const std::string& bytes, KanjiReader& reader);
    /// Reads the next line of the stream through the reader; false at the end of the stream.
    virtual bool Read(std::istream& input, KanjiReader& reader);
    /// The line as bytes of the writer's encoding.
    virtual std::string Get(KanjiWriter& writer) const;
    /// Writes the line, with the writer's terminator, to the stream.
    virtual void Write(std::ostream& output, KanjiWriter& writer) const;

    const std::string& GetInternal() const { return internal_; }

private:
    std::string internal_;
};
