#pragma once
// Readers of Japanese text: each turns bytes of its encoding into the internal form,
// UTF-16 code units stored as byte pairs, high byte first. Built on iconv's code page
// 932 for the character mapping and on the JIS arithmetic for EUC-JP and ISO-2022-JP.

#include <cstdint>
#include <istream>
#include <memory>
#include <optional>
#include <string>

#include "common/myexception.h"

class KanjiReader {
public:
    class cant_convert : public myexception {
    public:
        cant_convert() : myexception(L"Failed to convert string.") {}
    };

    /// lineTerminator: the bytes ReadLine appends in place of each line break it reads.
    explicit KanjiReader(std::string lineTerminator) : lineTerminator_(std::move(lineTerminator)) {}
    virtual ~KanjiReader() = default;

    /// Reads bytes up to a line feed, a carriage return or a carriage return and line
    /// feed; the break is replaced by the reader's terminator. False only when the
    /// stream had nothing left (an empty line in the middle of the text is a line).
    virtual bool ReadLine(std::istream& input, std::string& line);
    /// Bytes of this encoding to the internal form.
    virtual std::string Decode(const std::string& source) = 0;
    /// "SJIS", "JIS", "EUC" or "Unicode".
    virtual std::string GetName() const = 0;
    /// Shift_JIS bytes to the internal form; throws cant_convert on a broken or
    /// unmappable character.
    virtual std::string SjisToInternal(const std::string& sjis);

protected:
    std::string lineTerminator_;
};

class KanjiReaderSJIS : public KanjiReader {
public:
    using KanjiReader::KanjiReader;
    std::string Decode(const std::string& source) override;
    std::string GetName() const override { return "SJIS"; }
};

/// ISO-2022-JP: ESC $ B (and the older ESC $ @) switch to JIS X 0208 pairs, ESC ( B and
/// ESC ( J back to single bytes.
class KanjiReaderJIS : public KanjiReader {
public:
    using KanjiReader::KanjiReader;
    std::string Decode(const std::string& source) override;
    std::string GetName() const override { return "JIS"; }
};

class KanjiReaderEUC : public KanjiReader {
public:
    using KanjiReader::KanjiReader;
    std::string Decode(const std::string& source) override;
    std::string GetName() const override { return "EUC"; }
};

/// UTF-16 in either byte order, told by a byte-order mark (none: big-endian).
class KanjiReaderUnicode : public KanjiReader {
public:
    using KanjiReader::KanjiReader;
    /// Reads units in the stream's byte order and returns them high byte first; the
    /// terminator is appended as given (it should be in the internal form).
    bool ReadLine(std::istream& input, std::string& line) override;
    /// The source already is the internal form; an odd length throws cant_convert.
    std::string Decode(const std::string& source) override;
    std::string GetName() const override { return "Unicode"; }
    /// Reads the byte-order mark once, at the first line: FF FE little-endian, FE FF
    /// big-endian, anything else is put back; FF or FE without its partner throws.
    virtual void ReadByteOrderMark(std::istream& input);

    bool IsBigEndian() const { return bigEndian_; }

private:
    /// The next unit of the stream; false at its end. A lone last byte throws.
    bool ReadUnit(std::istream& input, std::uint16_t& unit);

    bool bigEndian_ = true;
    bool markRead_ = false;
    // a unit read after a carriage return that was not a line feed
    std::optional<std::uint16_t> pendingUnit_;
};

class KanjiReaderFactory {
public:
    class cant_convert : public myexception {
    public:
        cant_convert() : myexception(L"Failed to convert string.") {}
    };

    /// The reader for "SJIS", "JIS", "EUC" or "Unicode" (exactly so written).
    static std::unique_ptr<KanjiReader> Create(const std::string& name, const std::string& lineTerminator);
};
