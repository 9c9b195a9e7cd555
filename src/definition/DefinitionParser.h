#pragma once
// Reads item definition files (".wti", root FieldItem) and field definition files
// (".wtf", root Field), checks that the item types refer to each other consistently,
// and turns a field definition into named items. Every fault is an exception naming
// the offending element and value, after a level-1 log record.

#include <initializer_list>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <utility>
#include <vector>

#include "common/myexception.h"
#include "definition/FieldItemAttribute.h"
#include "definition/FieldItemDefinition.h"

template <typename T> class Calculator;
class DefinitionSource;
class FieldItem;
class XMLElement;
struct Placement;

/// Descriptive header of a field definition file.
struct DefinitionSummary {
    std::wstring path;
    std::wstring name;
    std::wstring author;
    std::wstring date;
    std::wstring comment;
};

class DefinitionParser {
public:
    /// An unsupported "format" version.
    class version_error : public myexception {
    public:
        using myexception::myexception;
    };

    using Context = std::vector<FieldItemAttribute>;
    using ItemMap = std::map<std::wstring, std::unique_ptr<FieldItem>>;

    /// The format version this program writes and reads in full.
    static constexpr int kFormatVersion = 110;
    /// Prefix of the primitive type names in the current format.
    static constexpr const wchar_t* kPrimitivePrefix = L"HalvaneSystem.";
    /// Nesting of item types deeper than this is refused when creating items.
    static constexpr int kMaximumNesting = 64;
    /// One item of a field definition may not build more items than this, parts included: types
    /// that hold their parts several times multiply them level by level, and a few small files
    /// could otherwise ask for more items than memory holds.
    static constexpr int kMaximumItems = 10000;

    /// Reads its files from the source given, from the disk without one.
    explicit DefinitionParser(std::shared_ptr<const DefinitionSource> source = nullptr);
    virtual ~DefinitionParser();
    DefinitionParser(const DefinitionParser&) = delete;
    DefinitionParser& operator=(const DefinitionParser&) = delete;

    /// Loads one item definition file and registers its item type.
    virtual void LoadFieldItem(const std::wstring& path);
    /// Reads one field definition file: always fills the summary; creates the items into
    /// `items` (the caller owns them) unless headerOnly.
    virtual void LoadField(const std::wstring& path, ItemMap& items, DefinitionSummary& summary,
                           bool headerOnly);
    /// Checks every reference between the loaded item types, and that they form no cycle.
    virtual void Resolve();

    /// The "format" text as a version: empty or above 110 is a version_error.
    int CheckVersion(const std::wstring& path, const std::wstring& formatText);
    /// Evaluates a value text of the given type against the context.
    std::wstring Evaluate(const Context& context, int type, const std::wstring& name,
                          const std::wstring& value);
    /// Builds the item a reference describes, composite or primitive, owned by the caller.
    std::unique_ptr<FieldItem> CreateItem(const FieldItemDefinition& reference, const Context& context);

    const std::map<std::wstring, std::unique_ptr<FieldItemDefinition>>& Definitions() const {
        return definitions_;
    }
    int FieldFormat() const { return fieldFormat_; }

protected:
    virtual void ReadFieldItem(const XMLElement& root);
    virtual void ReadAttribute(const XMLElement& element, FieldItemDefinition& definition);
    virtual void ReadRef(const XMLElement& element, std::wstring& name,
                         std::unique_ptr<FieldItemDefinition>& definition);
    virtual void ReadParameter(const XMLElement& element, FieldItemDefinition& definition);
    virtual void ReadField(const XMLElement& root, ItemMap& items, DefinitionSummary& summary,
                           bool headerOnly);
    virtual void ReadItem(const XMLElement& element, ItemMap& items, const Context& constants,
                          bool headerOnly);
    virtual void ReadInformation(const XMLElement& element, DefinitionSummary& summary);
    virtual void ReadConst(const XMLElement& element, Context& constants);

private:
    std::unique_ptr<FieldItem> CreateItemAt(const FieldItemDefinition& reference, const Context& context,
                                            int depth);
    std::unique_ptr<FieldItem> CreatePrimitive(std::wstring_view kind, const Context& context);
    /// The string and the float fields of a primitive's record, each with the name it is read by.
    template <typename Body>
    using TextFields = std::initializer_list<std::pair<const wchar_t*, std::wstring Body::Record::*>>;
    template <typename Body>
    using NumberFields = std::initializer_list<std::pair<const wchar_t*, double Body::Record::*>>;
    /// Fills a primitive's record from the context, then its placement, and initializes a new body.
    template <typename Body>
    std::unique_ptr<FieldItem> CreateBody(const Context& context, TextFields<Body> texts,
                                          NumberFields<Body> numbers);
    Placement ReadPlacement(const Context& context);
    /// Tells a new item of a field definition which type and parameter values made it.
    void RecordOrigin(const FieldItemDefinition& definition, const Context& context, FieldItem& item);
    void CheckCycles();
    /// Counts one more item of the current CreateItem; past kMaximumItems it is a file_error.
    void CountItem(const std::wstring& type);

    std::shared_ptr<const DefinitionSource> source_;
    std::map<std::wstring, std::unique_ptr<FieldItemDefinition>> definitions_;
    int fieldFormat_ = kFormatVersion;
    /// Items built so far by the current CreateItem.
    int itemsCreated_ = 0;
    /// The float entries of a context, names and values in order.
    static std::vector<std::pair<std::wstring, std::wstring>> FloatEntries(const Context& context);
    /// True when the calculator holds the variables of exactly these float entries.
    bool SameFloatEntries(const Context& context) const;

    /// The calculator of Evaluate, made on first use: its function table is the same every time.
    std::unique_ptr<Calculator<double>> calculator_;
    /// The float entries whose variables the calculator holds, when entriesEvaluated_.
    std::vector<std::pair<std::wstring, std::wstring>> evaluatedEntries_;
    bool entriesEvaluated_ = false;
};
