#include "text/XMLParserLibXml2.h"

#include <libxml/SAX2.h>
#include <libxml/encoding.h>
#include <libxml/entities.h>
#include <libxml/globals.h>
#include <libxml/parser.h>
#include <libxml/parserInternals.h>
#include <libxml/tree.h>
#include <libxml/xmlerror.h>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cstdio>
#include <cstring>
#include <mutex>
#include <new>
#include <string>
#include <string_view>
#include <utility>

#include "common/FilePath.h"
#include "common/LogWriter.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"

namespace {

constexpr wchar_t kLogSource[] = L".\\XMLParserLibXml2";

// nesting of elements and entity references the tree walk follows (libxml2 itself
// stops documents with more than 256 nested elements)
constexpr int kMaxWalkDepth = 1024;
// nodes the tree walk visits: entity references share their content, so a small
// document can stand for a huge tree
constexpr std::size_t kMaxWalkNodes = 4u << 20;
// bytes of the offending line quoted on either side of the error position
constexpr std::size_t kSourceLineWindow = 200;

// ---------------------------------------------------------------------------------------
// one-time set-up

/// Names under which documents declare Shift_JIS; Windows programs write code page 932
/// under them (NEC and IBM extensions, U+FF5E for the wave dash), so they are read as that.
constexpr const char* kShiftJisNames[] = {"SHIFT_JIS", "SHIFT-JIS",  "SJIS",       "X-SJIS",
                                          "MS_KANJI",  "CSSHIFTJIS", "WINDOWS-31J"};

void InitialiseLibXml2() {
    static std::once_flag once;
    std::call_once(once, [] {
        xmlInitParser();
        for (const char* name : kShiftJisNames) {
            xmlAddEncodingAlias("CP932", name);
        }
    });
}

// ---------------------------------------------------------------------------------------
// the parse-error report

/// The first failure met while a document is read.
struct ParseReport {
    bool failed = false;
    std::string reason; // UTF-8, without a trailing line break
    int line = 0;
    int column = 0;
    unsigned code = 0;
    std::string sourceLine; // UTF-8
};

/// What one load in progress on this thread collects.
struct ParseState {
    xmlParserCtxtPtr context = nullptr;
    ParseReport report;
    /// Nodes libxml2 has made for the document so far (elements, attributes, text and the rest).
    std::size_t nodes = 0;
    /// Bytes of text and attribute values parsed so far.
    std::size_t textBytes = 0;
};

thread_local ParseState* tCurrentParse = nullptr;

/// The line of the input being parsed around its current position (the offending line).
std::string CurrentSourceLine(xmlParserCtxtPtr context) {
    if (context == nullptr || context->input == nullptr || context->input->base == nullptr ||
        context->input->cur == nullptr) {
        return std::string();
    }
    const xmlChar* base = context->input->base;
    const xmlChar* end = context->input->end != nullptr ? context->input->end : context->input->cur;
    const xmlChar* cur = context->input->cur < end ? context->input->cur : end;
    // an error found at a line break belongs to the line it ends
    while (cur > base && (cur == end || *cur == '\n' || *cur == '\r') &&
           (cur[-1] == '\n' || cur[-1] == '\r')) {
        --cur;
    }
    if (cur > base && (cur == end || *cur == '\n' || *cur == '\r')) {
        --cur;
    }
    const xmlChar* start = cur;
    while (start > base && start[-1] != '\n' && start[-1] != '\r' &&
           static_cast<std::size_t>(cur - start) < kSourceLineWindow) {
        --start;
    }
    const xmlChar* stop = cur;
    while (stop < end && *stop != '\n' && *stop != '\r' &&
           static_cast<std::size_t>(stop - cur) < kSourceLineWindow) {
        ++stop;
    }
    return std::string(reinterpret_cast<const char*>(start), static_cast<std::size_t>(stop - start));
}

void Record(ParseState& state, const char* message, int line, int column, unsigned code) {
    ParseReport& report = state.report;
    if (!report.failed) {
        report.failed = true;
        report.reason = message != nullptr ? message : "";
        while (!report.reason.empty() && (report.reason.back() == '\n' || report.reason.back() == '\r')) {
            report.reason.pop_back();
        }
        report.code = code;
    }
    // an encoding failure comes without a position; the parser's own report after it has one
    if (report.line == 0 && line > 0) {
        report.line = line;
        report.column = column;
        report.sourceLine = CurrentSourceLine(state.context);
    }
}

void OnStructuredError(void* data, xmlErrorPtr error) {
    auto* state = static_cast<ParseState*>(data);
    if (state == nullptr || error == nullptr || error->level < XML_ERR_ERROR) {
        return; // warnings do not stop a load
    }
    Record(*state, error->message, error->line, error->int2, static_cast<unsigned>(error->code));
}

/// Entity lookup that refuses references to external entities instead of leaving them
/// as empty references: such a document fails to load.
xmlEntityPtr GetEntityRefusingExternal(void* userData, const xmlChar* name) {
    xmlEntityPtr entity = xmlSAX2GetEntity(userData, name);
    if (entity != nullptr && (entity->etype == XML_EXTERNAL_GENERAL_PARSED_ENTITY ||
                              entity->etype == XML_EXTERNAL_GENERAL_UNPARSED_ENTITY)) {
        auto context = static_cast<xmlParserCtxtPtr>(userData);
        if (tCurrentParse != nullptr) {
            const std::string reason = std::string("Reference to the external entity '") +
                                       reinterpret_cast<const char*>(name) + "' is not allowed";
            const int line = context->input != nullptr ? context->input->line : 0;
            const int column = context->input != nullptr ? context->input->col : 0;
            Record(*tCurrentParse, reason.c_str(), line, column, XML_ERR_ENTITY_IS_EXTERNAL);
        }
        xmlStopParser(context);
        return nullptr;
    }
    return entity;
}

/// Stops the parse in progress with the reason as its failure.
void StopParse(ParseState& state, const std::string& reason) {
    xmlParserCtxtPtr context = state.context;
    const int line = context->input != nullptr ? context->input->line : 0;
    const int column = context->input != nullptr ? context->input->col : 0;
    Record(state, reason.c_str(), line, column, XML_ERR_USER_STOP);
    xmlStopParser(context);
}

/// Counts every node the parser makes and stops the parse at the first one past the
/// bound, so that a file of millions of small elements costs no more than the bound.
void CountNode(xmlNodePtr) {
    ParseState* state = tCurrentParse;
    if (state != nullptr && state->context != nullptr && ++state->nodes == XMLParserLibXml2::kMaxNodes + 1) {
        StopParse(*state,
                  "The document holds more than " + std::to_string(XMLParserLibXml2::kMaxNodes) + " nodes");
    }
}

/// Counts text and attribute bytes as they are parsed; false (and the parse stopped) past
/// the bound, so that a few huge texts are refused before the tree holds them.
bool CountText(std::size_t length) {
    ParseState* state = tCurrentParse;
    if (state == nullptr || state->context == nullptr) {
        return true;
    }
    state->textBytes += length;
    if (state->textBytes <= XMLParserLibXml2::kMaxTreeText) {
        return true;
    }
    if (!state->report.failed) {
        StopParse(*state, "The document holds more than " + std::to_string(XMLParserLibXml2::kMaxTreeText) +
                              " bytes of text");
    }
    return false;
}

void CountedCharacters(void* context, const xmlChar* characters, int length) {
    if (CountText(static_cast<std::size_t>(length))) {
        xmlSAX2Characters(context, characters, length);
    }
}

void CountedCdata(void* context, const xmlChar* characters, int length) {
    if (CountText(static_cast<std::size_t>(length))) {
        xmlSAX2CDataBlock(context, characters, length);
    }
}

void CountedStartElement(void* context, const xmlChar* localName, const xmlChar* prefix, const xmlChar* uri,
                         int namespaceCount, const xmlChar** namespaces, int attributeCount,
                         int defaultedCount, const xmlChar** attributes) {
    // five pointers an attribute: name, prefix, URI, value and the end of the value
    std::size_t length = 0;
    for (int index = 0; index < attributeCount; ++index) {
        length += static_cast<std::size_t>(attributes[index * 5 + 4] - attributes[index * 5 + 3]);
    }
    if (CountText(length)) {
        xmlSAX2StartElementNs(context, localName, prefix, uri, namespaceCount, namespaces, attributeCount,
                              defaultedCount, attributes);
    }
}

/// Nothing outside the document is ever read: no DTD, no external entity.
xmlParserInputPtr RefuseExternalResource(void*, const xmlChar*, const xmlChar*) {
    return nullptr;
}

/// Routes libxml2's reports on this thread to a load in progress, and back afterwards.
class ErrorCapture {
public:
    explicit ErrorCapture(ParseState& state)
        : previous_(xmlStructuredError), previousContext_(xmlStructuredErrorContext) {
        xmlSetStructuredErrorFunc(&state, OnStructuredError);
        tCurrentParse = &state;
        // libxml2 keeps the node callback per thread, as it keeps the error handler
        previousRegister_ = xmlRegisterNodeDefault(CountNode);
    }
    ~ErrorCapture() {
        xmlRegisterNodeDefault(previousRegister_);
        tCurrentParse = nullptr;
        xmlSetStructuredErrorFunc(previousContext_, previous_);
    }
    ErrorCapture(const ErrorCapture&) = delete;
    ErrorCapture& operator=(const ErrorCapture&) = delete;

private:
    xmlStructuredErrorFunc previous_;
    void* previousContext_;
    xmlRegisterNodeFunc previousRegister_ = nullptr;
};

std::wstring ToHex(unsigned value) {
    char buffer[16];
    const auto result = std::to_chars(buffer, buffer + sizeof(buffer), value, 16);
    return std::wstring(buffer, result.ptr);
}

/// reason, "Line:", line, " Column:", column, " Error code:", hexadecimal code, a line
/// break, "> " and the offending line with its tabs expanded
std::wstring ParseErrorText(const ParseReport& report) {
    std::wstring reason = report.reason.empty() ? CommonMessage(111) : FromUtf8(report.reason) + L"\r\n";
    std::wstring source;
    for (const wchar_t c : FromUtf8(report.sourceLine)) {
        if (c == L'\t') {
            source += L"    ";
        } else {
            source += c;
        }
    }
    return reason + CommonMessage(112) + std::to_wstring(report.line) + CommonMessage(113) +
           std::to_wstring(report.column) + CommonMessage(114) + ToHex(report.code) + L"\r\n> " + source;
}

// ---------------------------------------------------------------------------------------
// reading the file

struct FileCloser {
    void operator()(std::FILE* file) const { std::fclose(file); }
};

using FileHandle = std::unique_ptr<std::FILE, FileCloser>;

/// Opens a regular file of at most kMaxFileSize bytes; on failure fills report with the
/// system's reason and returns null.
FileHandle OpenRegularFile(const std::string& nativePath, ParseReport& report) {
    auto fail = [&report](const std::string& reason) {
        report.failed = true;
        report.reason = reason;
        report.code = XML_IO_LOAD_ERROR;
        return FileHandle();
    };
    // opened without waiting: a named pipe or a device would otherwise block the open
    // until someone writes to it; anything but a regular file is refused below
    const int descriptor = open(nativePath.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
    if (descriptor < 0) {
        return fail(std::strerror(errno));
    }
    FileHandle file(fdopen(descriptor, "rb"));
    if (file == nullptr) {
        const int error = errno;
        close(descriptor);
        return fail(std::strerror(error));
    }
    struct stat status {};
    if (fstat(descriptor, &status) != 0) {
        return fail(std::strerror(errno));
    }
    if (!S_ISREG(status.st_mode)) {
        return fail(std::strerror(S_ISDIR(status.st_mode) ? EISDIR : EINVAL));
    }
    if (static_cast<unsigned long long>(status.st_size) > XMLParserLibXml2::kMaxFileSize) {
        return fail("The file is larger than " + std::to_string(XMLParserLibXml2::kMaxFileSize) + " bytes");
    }
    return file;
}

/// libxml2's read callback: the next bytes of the file, 0 at its end, -1 on a read error.
/// A file that grows while it is read is cut at kMaxFileSize.
struct FileSource {
    std::FILE* file;
    std::size_t delivered = 0;
};

int ReadFileSource(void* source, char* buffer, int length) {
    auto& from = *static_cast<FileSource*>(source);
    const std::size_t room = XMLParserLibXml2::kMaxFileSize - from.delivered;
    const std::size_t wanted = std::min(static_cast<std::size_t>(length), room);
    const std::size_t read = std::fread(buffer, 1, wanted, from.file);
    if (read == 0 && std::ferror(from.file)) {
        return -1;
    }
    from.delivered += read;
    return static_cast<int>(read);
}

// ---------------------------------------------------------------------------------------
// the tree

struct DocumentFree {
    void operator()(xmlDocPtr document) const { xmlFreeDoc(document); }
};
struct ContextFree {
    void operator()(xmlParserCtxtPtr context) const { xmlFreeParserCtxt(context); }
};

/// The walk went beyond its depth, node or text bounds.
struct WalkLimit {};

/// Bounds of one conversion.
class TreeWalk {
public:
    void Visit(int depth) {
        if (depth > kMaxWalkDepth || ++nodes_ > kMaxWalkNodes) {
            throw WalkLimit();
        }
    }
    void Append(std::string& text, const char* content, std::size_t length) {
        characters_ += length;
        if (characters_ > XMLParserLibXml2::kMaxTreeText) {
            throw WalkLimit();
        }
        text.append(content, length);
    }
    void Append(std::string& text, const xmlChar* content) {
        if (content != nullptr) {
            const char* bytes = reinterpret_cast<const char*>(content);
            Append(text, bytes, std::strlen(bytes));
        }
    }

private:
    std::size_t nodes_ = 0;
    std::size_t characters_ = 0;
};

bool IsXmlBlank(char c) {
    return c == ' ' || c == '\t' || c == '\n' || c == '\r';
}

bool IsBlankText(const xmlChar* content) {
    if (content != nullptr) {
        for (const xmlChar* c = content; *c != 0; ++c) {
            if (!IsXmlBlank(static_cast<char>(*c))) {
                return false;
            }
        }
    }
    return true;
}

std::wstring QualifiedName(xmlNsPtr ns, const xmlChar* name) {
    const char* local = name != nullptr ? reinterpret_cast<const char*>(name) : "";
    if (ns == nullptr || ns->prefix == nullptr) {
        return FromUtf8(local);
    }
    std::string qualified = reinterpret_cast<const char*>(ns->prefix);
    qualified += ':';
    qualified += local;
    return FromUtf8(qualified);
}

/// Appends the text a node stands for: text and CDATA, the text inside elements and the
/// replacement text of entity references. Comments and processing instructions add
/// nothing; white-space-only text is dropped when dropBlank is set.
void AppendNodeText(xmlNodePtr node, std::string& text, TreeWalk& walk, int depth, bool dropBlank) {
    walk.Visit(depth);
    switch (node->type) {
    case XML_TEXT_NODE:
        if (!(dropBlank && IsBlankText(node->content))) {
            walk.Append(text, node->content);
        }
        break;
    case XML_CDATA_SECTION_NODE:
        walk.Append(text, node->content);
        break;
    case XML_ELEMENT_NODE:
        for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
            AppendNodeText(child, text, walk, depth + 1, dropBlank);
        }
        break;
    case XML_ENTITY_REF_NODE: {
        xmlEntityPtr entity = xmlGetDocEntity(node->doc, node->name);
        if (entity == nullptr) {
            break;
        }
        if (entity->etype == XML_INTERNAL_PREDEFINED_ENTITY) {
            walk.Append(text, entity->content);
            break;
        }
        for (xmlNodePtr child = entity->children; child != nullptr; child = child->next) {
            AppendNodeText(child, text, walk, depth + 1, dropBlank);
        }
        break;
    }
    default:
        break;
    }
}

std::wstring Trimmed(const std::string& text) {
    std::size_t begin = 0;
    std::size_t end = text.size();
    while (begin < end && IsXmlBlank(text[begin])) {
        ++begin;
    }
    while (end > begin && IsXmlBlank(text[end - 1])) {
        --end;
    }
    return FromUtf8(std::string_view(text).substr(begin, end - begin));
}

/// Converts one element and its element descendants; text receives the element's whole
/// untrimmed descendant text for the parent's use.
std::unique_ptr<XMLElement> ConvertElement(xmlNodePtr node, std::string& text, TreeWalk& walk, int depth) {
    walk.Visit(depth);
    auto element = std::make_unique<XMLElement>();
    element->SetName(QualifiedName(node->ns, node->name));

    // attributes, the namespace declarations among them, with entity references expanded
    for (xmlNsPtr ns = node->nsDef; ns != nullptr; ns = ns->next) {
        std::string value;
        walk.Append(value, ns->href);
        element->SetAttribute(ns->prefix != nullptr
                                  ? L"xmlns:" + FromUtf8(reinterpret_cast<const char*>(ns->prefix))
                                  : std::wstring(L"xmlns"),
                              FromUtf8(value));
    }
    for (xmlAttrPtr attribute = node->properties; attribute != nullptr; attribute = attribute->next) {
        std::string value;
        for (xmlNodePtr child = attribute->children; child != nullptr; child = child->next) {
            AppendNodeText(child, value, walk, depth + 1, false);
        }
        element->SetAttribute(QualifiedName(attribute->ns, attribute->name), FromUtf8(value));
    }

    // element children; every other node only adds to the text
    for (xmlNodePtr child = node->children; child != nullptr; child = child->next) {
        if (child->type == XML_ELEMENT_NODE) {
            std::string childText;
            element->AddChild(ConvertElement(child, childText, walk, depth + 1));
            walk.Append(text, childText.data(), childText.size());
        } else {
            AppendNodeText(child, text, walk, depth + 1, true);
        }
    }
    element->SetText(Trimmed(text));
    return element;
}

} // namespace

namespace {

/// libxml2's read callback over bytes held in memory.
struct MemorySource {
    std::string_view bytes;
    std::size_t delivered = 0;
};

int ReadMemorySource(void* source, char* buffer, int length) {
    auto& from = *static_cast<MemorySource*>(source);
    const std::size_t count = std::min(static_cast<std::size_t>(length), from.bytes.size() - from.delivered);
    std::memcpy(buffer, from.bytes.data() + from.delivered, count);
    from.delivered += count;
    return static_cast<int>(count);
}

/// The document the read callback delivers, reported as the file at path; a file that could
/// not be opened comes with the report of that failure instead.
std::unique_ptr<XMLElement> ParseDocument(const std::wstring& path, xmlInputReadCallback read, void* source,
                                          const ParseReport* openFailure) {
    // the failure's first line, made only when a load fails
    auto failure = [&path] { return CommonMessage(110) + L"[" + path + L"]\r\n"; };
    auto failParse = [&](const ParseReport& report) {
        const std::wstring text = ParseErrorText(report);
        Log(kLogSource, __LINE__, L"XML:get_documentElement失敗(" + path + L")[" + text, 1);
        return file_error(failure() + text);
    };

    try {
        InitialiseLibXml2();

        if (openFailure != nullptr) {
            throw failParse(*openFailure);
        }
        const std::string nativePath = ToNativePath(path);

        // the parser: no network, no DTD loading, no entity substitution, default limits
        std::unique_ptr<xmlParserCtxt, ContextFree> context(xmlNewParserCtxt());
        if (context == nullptr || context->sax == nullptr) {
            Log(kLogSource, __LINE__, L"XML:xmlNewParserCtxt失敗", 1);
            throw file_error(failure());
        }
        context->sax->getEntity = GetEntityRefusingExternal;
        context->sax->resolveEntity = RefuseExternalResource;
        context->sax->characters = CountedCharacters;
        context->sax->ignorableWhitespace = CountedCharacters;
        context->sax->cdataBlock = CountedCdata;
        context->sax->startElementNs = CountedStartElement;

        ParseState state;
        state.context = context.get();
        std::unique_ptr<xmlDoc, DocumentFree> document;
        {
            ErrorCapture capture(state);
            document.reset(xmlCtxtReadIO(context.get(), read, nullptr, source, nativePath.c_str(), nullptr,
                                         XML_PARSE_NONET));
        }
        if (state.report.failed || document == nullptr || !context->wellFormed) {
            throw failParse(state.report);
        }

        // the plain tree
        xmlNodePtr root = xmlDocGetRootElement(document.get());
        if (root == nullptr) {
            Log(kLogSource, __LINE__, L"XML:get_documentElement失敗(" + path + L")[]", 1);
            throw file_error(failure());
        }
        try {
            TreeWalk walk;
            std::string rootText;
            return ConvertElement(root, rootText, walk, 0);
        } catch (const WalkLimit&) {
            Log(kLogSource, __LINE__,
                L"XML:get_text失敗(" + path + L")[the document expands beyond the limits]", 1);
            throw file_error(failure() + CommonMessage(111));
        }
    } catch (const std::bad_alloc&) {
        Log(kLogSource, __LINE__, L"XML:メモリ確保失敗", 1);
        throw memory_error(L"Memory Error.");
    }
}

} // namespace

std::unique_ptr<XMLElement> XMLParserLibXml2::load(const std::wstring& path) {
    // the file, opened here so that libxml2 never opens anything itself, and read in
    // blocks as the parse goes, so that a document stopped early is never read whole
    const std::string nativePath = ToNativePath(path);
    ParseReport report;
    FileHandle file = OpenRegularFile(nativePath, report);
    if (file == nullptr) {
        return ParseDocument(path, nullptr, nullptr, &report);
    }
    FileSource source{file.get()};
    return ParseDocument(path, ReadFileSource, &source, nullptr);
}

std::unique_ptr<XMLElement> XMLParserLibXml2::loadBytes(const std::wstring& path, std::string_view bytes) {
    if (bytes.size() > kMaxFileSize) {
        ParseReport report;
        report.failed = true;
        report.reason = "The file is larger than " + std::to_string(kMaxFileSize) + " bytes";
        report.code = XML_IO_LOAD_ERROR;
        return ParseDocument(path, nullptr, nullptr, &report);
    }
    MemorySource source{bytes};
    return ParseDocument(path, ReadMemorySource, &source, nullptr);
}
