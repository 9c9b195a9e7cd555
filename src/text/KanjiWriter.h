#pragma once
// Writers of Japanese text: each turns the internal form (UTF-16 code units stored as
// byte pairs, high byte first) into bytes of its encoding. Built on iconv's code page
// 932 for the character mapping and on the JIS arithmetic for EUC-JP and ISO-2022-JP.

#include <memory>
#include <ostream>
#include <string>

#include "common/myexception.h"

class KanjiWriter {
public:
    class cant_convert : public myexception {
    public:
        cant_convert() : myexception(L"Failed to convert string.") {}
    };

    /// lineTerminator: the bytes WriteLine writes after each line.
    explicit KanjiWriter(std::string lineTerminator) : lineTerminator_(std::move(lineTerminator)) {}
    virtual ~KanjiWriter() = default;

    /// Writes the bytes and then the writer's terminator.
    virtual void WriteLine(const std::string& bytes, std::ostream& output);
    /// The internal form to bytes of this encoding.
    virtual std::string Encode(const std::string& internal) = 0;
    /// "SJIS", "JIS", "EUC" or "Unicode".
    virtual std::string GetName() const = 0;
    /// The internal form to Shift_JIS bytes; throws cant_convert on an odd length or a
    /// character Shift_JIS does not have.
    virtual std::string InternalToSjis(const std::string& internal);

protected:
    std::string lineTerminator_;
};

class KanjiWriterSJIS : public KanjiWriter {
public:
    using KanjiWriter::KanjiWriter;
    std::string Encode(const std::string& internal) override;
    std::string GetName() const override { return "SJIS"; }
};

/// ISO-2022-JP: runs of JIS X 0208 pairs between ESC $ B and ESC ( B.
class KanjiWriterJIS : public KanjiWriter {
public:
    using KanjiWriter::KanjiWriter;
    std::string Encode(const std::string& internal) override;
    std::string GetName() const override { return "JIS"; }
};

class KanjiWriterEUC : public KanjiWriter {
public:
    using KanjiWriter::KanjiWriter;
    std::string Encode(const std::string& internal) override;
    std::string GetName() const override { return "EUC"; }
};

/// UTF-16, little-endian unless told otherwise, with a byte-order mark before the first line.
class KanjiWriterUnicode : public KanjiWriter {
public:
    using KanjiWriter::KanjiWriter;
    /// Writes the mark once, then the units of the bytes and of the terminator (both in
    /// the internal form) in the writer's byte order.
    void WriteLine(const std::string& bytes, std::ostream& output) override;
    /// The internal form as it is; an odd length throws cant_convert.
    std::string Encode(const std::string& internal) override;
    std::string GetName() const override { return "Unicode"; }
    /// FF FE when little-endian, FE FF when big-endian; written once.
    virtual void WriteByteOrderMark(std::ostream& output);

    void SetBigEndian(bool bigEndian) { bigEndian_ = bigEndian; }

private:
    bool bigEndian_ = false;
    bool markWritten_ = false;
};

class KanjiWriterFactory {
public:
    class cant_convert : public myexception {
    public:
        cant_convert() : myexception(L"Failed to convert string.") {}
    };

    /// The writer for "SJIS", "JIS", "EUC" or "Unicode" (exactly so written).
    static std::unique_ptr<KanjiWriter> Create(const std::string& name, const std::string& lineTerminator);
};
