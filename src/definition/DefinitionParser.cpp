#include "definition/DefinitionParser.h"

#include <charconv>
#include <cmath>
#include <cwctype>
#include <functional>
#include <new>
#include <set>

#include "common/LogWriter.h"
#include "common/Messages.h"
#include "definition/Calculator.h"
#include "definition/CaseInsensitive.h"
#include "definition/DefinitionSource.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"
#include "text/XMLElement.h"

namespace {

const wchar_t* const kSource = L".\\DefinitionParser";
constexpr double kPi = 3.141592653589793;

/// Logs the Japanese record at level 1, then throws the user-facing text.
template <typename Error = file_error>
[[noreturn]] void Fail(int line, const std::wstring& record, const std::wstring& message) {
    Log(kSource, line, record, 1);
    throw Error(message);
}

/// Each backslash-r-backslash-n sequence of a comment stands for a line break.
std::wstring ExpandLineBreaks(const std::wstring& text) {
    std::wstring result;
    result.reserve(text.size());
    for (std::size_t i = 0; i < text.size(); ++i) {
        if (text.compare(i, 4, L"\\r\\n") == 0) {
            result += L"\r\n";
            i += 3;
        } else {
            result += text[i];
        }
    }
    return result;
}

/// Splits at commas; a final empty piece after a trailing comma is dropped.
std::vector<std::wstring> SplitVector(const std::wstring& text) {
    std::vector<std::wstring> pieces;
    std::size_t start = 0;
    while (true) {
        std::size_t comma = text.find(L',', start);
        if (comma == std::wstring::npos) {
            pieces.push_back(text.substr(start));
            break;
        }
        pieces.push_back(text.substr(start, comma - start));
        start = comma + 1;
    }
    if (pieces.size() > 1 && pieces.back().empty()) {
        pieces.pop_back();
    }
    return pieces;
}

std::wstring WithoutQuotes(const std::wstring& text) {
    std::wstring result;
    for (wchar_t c : text) {
        if (c != L'"') {
            result += c;
        }
    }
    return result;
}

/// A calculator result text back to a number, whatever the process locale.
double ToDouble(const std::wstring& text) {
    std::string narrow;
    for (wchar_t c : text) {
        narrow += (c >= 0 && c < 0x80) ? static_cast<char>(c) : '?';
    }
    double value = 0.0;
    std::from_chars(narrow.data(), narrow.data() + narrow.size(), value);
    return value;
}

/// An expression that the calculator rejected.
[[noreturn]] void FormulaError(int line, const std::wstring& name, const std::wstring& value,
                               const myexception& error) {
    Fail(line, L"name[" + name + L"]value[" + value + L"]不正な数式です。（" + error.what() + L"）",
         L"name[" + name + L"]\r\nvalue[" + value + L"]\r\n" + ProgramMessage(150) + L"（" + error.what() +
             L"）");
}

const FieldItemAttribute* FindInContext(const DefinitionParser::Context& context, std::wstring_view name) {
    for (const FieldItemAttribute& entry : context) {
        if (entry.Name() == name) {
            return &entry;
        }
    }
    return nullptr;
}

} // namespace

DefinitionParser::DefinitionParser(std::shared_ptr<const DefinitionSource> source)
    : source_(source ? std::move(source) : std::make_shared<DefinitionSource>()) {}

DefinitionParser::~DefinitionParser() = default;

int DefinitionParser::CheckVersion(const std::wstring& path, const std::wstring& formatText) {
    auto unsupported = [&](int line) {
        Fail<version_error>(line,
                            L"file[" + path + L"]version[" + formatText +
                                L"]対応していない定義ファイルフォーマットです。",
                            L"file[" + path + L"]\r\nversion[" + formatText + L"]\r\n" + ProgramMessage(155));
    };
    if (formatText.empty()) {
        unsupported(__LINE__);
    }
    double value = Calculator<double>::ReadDecimal(formatText);
    // truncated toward zero; a huge or non-finite number is simply unsupported
    if (!(value < kFormatVersion + 1.0)) {
        unsupported(__LINE__);
    }
    if (value <= -2147483648.0) {
        return 0;
    }
    return static_cast<int>(value);
}

void DefinitionParser::LoadFieldItem(const std::wstring& path) {
    try {
        const std::shared_ptr<const XMLElement> root = source_->Read(path);
        if (!EqualsIgnoringCase(root->GetName(), L"FieldItem")) {
            Fail(__LINE__, L"ルート要素がFieldItemではありません。[" + root->GetName() + L"]",
                 ProgramMessage(132));
        }
        CheckVersion(path, root->GetAttribute(L"format"));
        ReadFieldItem(*root);
    } catch (const myexception& error) {
        Log(kSource, __LINE__, L"FieldItem定義ファイル[" + path + L"]のロードに失敗しました。", 1);
        throw file_error(ProgramMessage(133) + L"[" + path + L"]" + ProgramMessage(134) + L"\r\n" +
                         error.what());
    }
}

void DefinitionParser::ReadFieldItem(const XMLElement& root) {
    const std::wstring& name = root.GetAttribute(L"name");
    auto definition = std::make_unique<FieldItemDefinition>(name, false);
    if (definitions_.count(name) != 0) {
        Fail(__LINE__, L"同じ名前のFieldItemがあります。", ProgramMessage(141));
    }
    for (const auto& child : root.GetChildren()) {
        const std::wstring& childName = child->GetName();
        if (EqualsIgnoringCase(childName, L"Information")) {
            DefinitionSummary scratch;
            ReadInformation(*child, scratch);
        } else if (EqualsIgnoringCase(childName, L"Attribute")) {
            ReadAttribute(*child, *definition);
        } else if (EqualsIgnoringCase(childName, L"Ref")) {
            std::wstring refName;
            std::unique_ptr<FieldItemDefinition> reference;
            ReadRef(*child, refName, reference);
            if (definition->FindReference(refName) != nullptr) {
                Fail(__LINE__, L"Ref[" + refName + L"]同じ名前の参照があります。", ProgramMessage(142));
            }
            definition->SetReference(refName, std::move(reference));
        } else {
            Fail(__LINE__, L"Element[" + childName + L"]不明な要素があります。",
                 L"Element[" + childName + L"]\r\n" + ProgramMessage(143));
        }
    }
    definitions_[name] = std::move(definition);
}

void DefinitionParser::ReadAttribute(const XMLElement& element, FieldItemDefinition& definition) {
    const std::wstring& name = element.GetAttribute(L"name");
    if (definition.FindAttribute(name) != nullptr) {
        Fail(__LINE__, L"Attribute[" + name + L"]同じ名前の属性があります。",
             L"Attribute[" + name + L"]\r\n" + ProgramMessage(144));
    }
    definition.SetAttribute(name, std::make_unique<FieldItemAttribute>(
                                      FieldItemAttribute::Create(name, element.GetAttribute(L"type"))));
}

void DefinitionParser::ReadRef(const XMLElement& element, std::wstring& name,
                               std::unique_ptr<FieldItemDefinition>& definition) {
    name = element.GetAttribute(L"name");
    const std::wstring& fixedText = element.GetAttribute(L"fixed");
    bool fixed = false;
    if (EqualsIgnoringCase(fixedText, L"true")) {
        fixed = true;
    } else if (!fixedText.empty() && !EqualsIgnoringCase(fixedText, L"false")) {
        Fail(__LINE__, L"fixed[" + fixedText + L"]trueかfalseでなければなりません。",
             L"fixed[" + fixedText + L"]\r\n" + ProgramMessage(145));
    }
    auto reference = std::make_unique<FieldItemDefinition>(element.GetAttribute(L"type"), fixed);
    for (const auto& child : element.GetChildren()) {
        const std::wstring& childName = child->GetName();
        if (EqualsIgnoringCase(childName, L"Parameter")) {
            ReadParameter(*child, *reference);
        } else {
            Fail(__LINE__, L"Element[" + name + L"]不明な要素があります。",
                 L"Element[" + name + L"]\r\n" + ProgramMessage(143));
        }
    }
    definition = std::move(reference);
}

void DefinitionParser::ReadParameter(const XMLElement& element, FieldItemDefinition& definition) {
    const std::wstring& name = element.GetAttribute(L"name");
    if (definition.FindAttribute(name) != nullptr) {
        Fail(__LINE__, L"Parameter[" + name + L"]同じ名前のパラメータがあります。",
             L"Parameter[" + name + L"]\r\n" + ProgramMessage(146));
    }
    auto parameter =
        std::make_unique<FieldItemAttribute>(FieldItemAttribute::Create(name, element.GetAttribute(L"type")));
    parameter->SetValue(element.GetText());
    definition.SetAttribute(name, std::move(parameter));
}

void DefinitionParser::Resolve() {
    for (const auto& [definitionName, definition] : definitions_) {
        for (const auto& [referenceName, reference] : definition->References()) {
            const std::wstring& type = reference->Name();
            auto target = definitions_.find(type);
            if (target == definitions_.end()) {
                Fail(__LINE__,
                     L"FieldItem[" + definitionName + L"]Ref[" + type +
                         L"]参照先のFieldItemが定義されていません。",
                     L"FieldItem[" + definitionName + L"]\r\nRef[" + type + L"]\r\n" + ProgramMessage(138));
            }
            for (const auto& [parameterName, parameter] : reference->Attributes()) {
                if (target->second->FindAttribute(parameterName) == nullptr) {
                    Fail(__LINE__,
                         L"FieldItem[" + definitionName + L"]Ref[" + type + L"]Parameter[" + parameterName +
                             L"]ParameterがAttributeとして宣言されていません。",
                         L"FieldItem[" + definitionName + L"]\r\nRef[" + type + L"]\r\nParameter[" +
                             parameterName + L"]\r\n" + ProgramMessage(139));
                }
            }
            for (const auto& [attributeName, attribute] : target->second->Attributes()) {
                if (reference->FindAttribute(attributeName) == nullptr) {
                    Fail(__LINE__,
                         L"FieldItem[" + definitionName + L"]Ref[" + type + L"]Attribute[" + attributeName +
                             L"]AttributeにParameterが渡されていません。",
                         L"FieldItem[" + definitionName + L"]\r\nRef[" + type + L"]\r\nAttribute[" +
                             attributeName + L"]\r\n" + ProgramMessage(140));
                }
            }
        }
    }
    CheckCycles();
}

void DefinitionParser::CheckCycles() {
    // depth-first search over the reference graph; a type met again while it is still
    // on the path closes a cycle, which instantiation would follow forever
    // (the names are views of the definitions' own keys, which outlive the search)
    enum class Mark { kNew, kOnPath, kDone };
    std::map<std::wstring_view, Mark> marks;
    std::vector<std::wstring_view> path;
    std::function<void(const std::wstring&)> visit = [&](const std::wstring& type) {
        auto definition = definitions_.find(type);
        if (definition == definitions_.end()) {
            return;
        }
        const std::wstring_view name = definition->first;
        Mark& mark = marks[name];
        if (mark == Mark::kDone) {
            return;
        }
        if (mark == Mark::kOnPath) {
            std::size_t start = 0;
            while (path[start] != name) {
                ++start;
            }
            const std::wstring first(path[start]);
            std::wstring record = L"FieldItem[" + first + L"]";
            std::wstring message = L"FieldItem[" + first + L"]\r\n";
            for (std::size_t i = start + 1; i < path.size(); ++i) {
                const std::wstring step(path[i]);
                record += L"Ref[" + step + L"]";
                message += L"Ref[" + step + L"]\r\n";
            }
            record += L"Ref[" + type + L"]Refの参照が循環しています。";
            message += L"Ref[" + type + L"]\r\n" + ProgramMessage(157);
            Fail(__LINE__, record, message);
        }
        mark = Mark::kOnPath;
        path.push_back(name);
        for (const auto& [referenceName, reference] : definition->second->References()) {
            visit(reference->Name());
        }
        path.pop_back();
        marks[name] = Mark::kDone;
    };
    for (const auto& [name, definition] : definitions_) {
        visit(name);
    }
}

void DefinitionParser::LoadField(const std::wstring& path, ItemMap& items, DefinitionSummary& summary,
                                 bool headerOnly) {
    try {
        const std::shared_ptr<const XMLElement> root = source_->Read(path);
        if (!EqualsIgnoringCase(root->GetName(), L"Field")) {
            Fail(__LINE__, L"ルート要素がFieldではありません。[" + root->GetName() + L"]",
                 ProgramMessage(135));
        }
        fieldFormat_ = CheckVersion(path, root->GetAttribute(L"format"));
        summary.path = path;
        summary.date = root->GetAttribute(L"date");
        if (fieldFormat_ < kFormatVersion) {
            summary.name = root->GetAttribute(L"name");
            summary.author = root->GetAttribute(L"author");
            summary.comment = ExpandLineBreaks(root->GetAttribute(L"comment"));
        }
        ReadField(*root, items, summary, headerOnly);
    } catch (const myexception& error) {
        Log(kSource, __LINE__, L"Field定義ファイル[" + path + L"]のロードに失敗しました。", 1);
        throw file_error(ProgramMessage(136) + L"[" + path + L"]" + ProgramMessage(137) + L"\r\n" +
                         error.what());
    }
}

void DefinitionParser::ReadField(const XMLElement& root, ItemMap& items, DefinitionSummary& summary,
                                 bool headerOnly) {
    Context constants;
    for (const auto& child : root.GetChildren()) {
        const std::wstring& childName = child->GetName();
        if (EqualsIgnoringCase(childName, L"Information")) {
            ReadInformation(*child, summary);
        } else if (EqualsIgnoringCase(childName, L"Item")) {
            ReadItem(*child, items, constants, headerOnly);
        } else if (EqualsIgnoringCase(childName, L"Const")) {
            ReadConst(*child, constants);
        } else {
            Fail(__LINE__, L"Element[" + childName + L"]が不明です。",
                 L"Element[" + childName + L"]\r\n" + ProgramMessage(143));
        }
    }
}

void DefinitionParser::ReadInformation(const XMLElement& element, DefinitionSummary& summary) {
    if (element.GetAttribute(L"xml:lang") != ProgramMessage(156)) {
        return;
    }
    summary.name = element.GetAttribute(L"name");
    summary.author = element.GetAttribute(L"author");
    summary.comment = ExpandLineBreaks(element.GetAttribute(L"comment"));
}

void DefinitionParser::ReadConst(const XMLElement& element, Context& constants) {
    const std::wstring& name = element.GetAttribute(L"name");
    if (FindInContext(constants, name) != nullptr) {
        Fail(__LINE__, L"Const[" + name + L"]同じ名前の定数があります。",
             L"Const[" + name + L"]\r\n" + ProgramMessage(147));
    }
    const std::wstring& type = element.GetAttribute(L"type");
    if (!EqualsIgnoringCase(type, L"float")) {
        Fail(__LINE__, L"Const[" + name + L"]type[" + type + L"]Constはfloatのみがサポートされています。",
             L"Const[" + name + L"]\r\ntype[" + type + L"]\r\n" + ProgramMessage(148));
    }
    constants.emplace_back(name, FieldItemAttribute::kFloat, element.GetText());
}

void DefinitionParser::ReadItem(const XMLElement& element, ItemMap& items, const Context& constants,
                                bool headerOnly) {
    std::wstring itemName;
    std::unique_ptr<FieldItemDefinition> item;
    ReadRef(element, itemName, item);
    if (items.count(itemName) != 0) {
        Fail(__LINE__, L"同じ名前の物体があります。", ProgramMessage(149));
    }
    const std::wstring& type = item->Name();
    auto found = definitions_.find(type);
    if (found == definitions_.end()) {
        Fail(__LINE__, L"Type[" + type + L"]Typeで参照されているFieldItemがありません。",
             L"Type[" + type + L"]\r\n" + ProgramMessage(138));
    }
    const FieldItemDefinition& definition = *found->second;

    // the context: the constants written so far, then the item's own parameters
    Context context;
    context.reserve(constants.size() + item->Attributes().size());
    context.assign(constants.begin(), constants.end());
    for (const auto& [parameterName, parameter] : item->Attributes()) {
        if (definition.FindAttribute(parameterName) == nullptr) {
            Fail(__LINE__,
                 L"FieldItem[" + type + L"]Parameter[" + parameterName +
                     L"]Parameterは，Attributeとして宣言されていません。",
                 L"FieldItem[" + type + L"]\r\nParameter[" + parameterName + L"]\r\n" + ProgramMessage(139));
        }
        context.push_back(*parameter);
    }
    for (const auto& [attributeName, attribute] : definition.Attributes()) {
        if (FindInContext(context, attributeName) == nullptr) {
            Fail(__LINE__,
                 L"FieldItem[" + type + L"]Attribute[" + attributeName +
                     L"]AttributeがParameterで渡されていません。",
                 L"FieldItem[" + type + L"]\r\nAttribute[" + attributeName + L"]\r\n" + ProgramMessage(140));
        }
    }
    if (!headerOnly) {
        std::unique_ptr<FieldItem> created = CreateItem(*item, context);
        RecordOrigin(definition, context, *created);
        items[itemName] = std::move(created);
    }
}

void DefinitionParser::RecordOrigin(const FieldItemDefinition& definition, const Context& context,
                                    FieldItem& item) {
    // every declared parameter with the value the type saw: each evaluated by its own name, as
    // the parts of the type read it (a float as its number, a string with its quotes, a vector
    // as three numbers); the item was built from these, so none of them fails here
    auto origin = std::make_shared<ItemOrigin>();
    origin->type = definition.Name();
    for (const auto& [name, attribute] : definition.Attributes()) {
        std::wstring value = Evaluate(context, attribute->Type(), name, name);
        if (attribute->Type() == FieldItemAttribute::kString && value.find(L'"') == std::wstring::npos) {
            // a float constant read as a string is a literal from now on
            value = L'"' + value + L'"';
        }
        origin->parameters.push_back({name, attribute->Type(), std::move(value)});
    }

    // a composite's centre of mass lies off its placement's position; kept in body axes so that
    // it turns with the item
    const Placement placement = ReadPlacement(context);
    origin->centreOffset = Unrotate(item.Orientation(), item.Transform().Translation() - placement.position);
    item.SetOrigin(std::move(origin));
}

std::wstring DefinitionParser::Evaluate(const Context& context, int type, const std::wstring& name,
                                        const std::wstring& value) {
    // one calculator for every evaluation, its variables those of this context alone. The
    // variables depend on the float entries alone: when they are those of the evaluation
    // before, and nothing since assigned a variable, the calculator holds them already
    if (!calculator_) {
        calculator_ = std::make_unique<Calculator<double>>();
    }
    Calculator<double>& calculator = *calculator_;
    if (!SameFloatEntries(context)) {
        entriesEvaluated_ = false;
        calculator.ClearVariables();
        calculator.DefineVariable(L"PI", kPi, L"3.141592653589793");

        // every float entry becomes a variable, rounded to six digits and held in single precision
        for (const FieldItemAttribute& entry : context) {
            if (entry.Type() != FieldItemAttribute::kFloat) {
                continue;
            }
            std::wstring result;
            try {
                result = calculator.Calculate(entry.Value());
            } catch (const myexception& error) {
                FormulaError(__LINE__, entry.Name(), entry.Value(), error);
            }
            float single = static_cast<float>(ToDouble(result));
            calculator.DefineVariable(entry.Name(), single, result);
        }
        evaluatedEntries_ = FloatEntries(context);
        entriesEvaluated_ = true;
    }
    // "=" assigns a variable: after such a value the entries are evaluated again
    if (value.find(L'=') != std::wstring::npos) {
        entriesEvaluated_ = false;
    }

    switch (type) {
    case FieldItemAttribute::kFloat:
        try {
            return calculator.Calculate(value);
        } catch (const myexception& error) {
            FormulaError(__LINE__, name, value, error);
        }
    case FieldItemAttribute::kString: {
        if (value.find(L'"') != std::wstring::npos) {
            return value;
        }
        if (const FieldItemAttribute* entry = FindInContext(context, value)) {
            return entry->Value();
        }
        Fail(__LINE__,
             L"name[" + name + L"]value[" + value +
                 L"]不正な文字列です。文字列は\"\"で囲んだものか，変数を直接指定して下さい。",
             L"name[" + name + L"]\r\nvalue[" + value + L"]\r\n" + ProgramMessage(151));
    }
    default: {
        std::wstring text = value;
        if (text.find(L',') == std::wstring::npos) {
            if (const FieldItemAttribute* entry = FindInContext(context, text)) {
                text = entry->Value();
            }
        }
        std::vector<std::wstring> pieces = SplitVector(text);
        if (pieces.size() != 3) {
            Fail(__LINE__, L"name[" + name + L"]value[" + value + L"]x,y,zの形式になっていません。",
                 L"name[" + name + L"]\r\nvalue[" + value + L"]\r\n" + ProgramMessage(154));
        }
        std::wstring joined;
        for (std::size_t i = 0; i < pieces.size(); ++i) {
            try {
                joined += (i == 0 ? L"" : L",") + calculator.Calculate(pieces[i]);
            } catch (const myexception& error) {
                Fail(__LINE__,
                     L"name[" + name + L"]value[" + value + L"]不正なVectorです。（" + error.what() + L"）",
                     L"name[" + name + L"]\r\nvalue[" + value + L"]\r\n" + ProgramMessage(152) + L"（" +
                         error.what() + L"）");
            }
        }
        return joined;
    }
    }
}

std::vector<std::pair<std::wstring, std::wstring>> DefinitionParser::FloatEntries(const Context& context) {
    std::vector<std::pair<std::wstring, std::wstring>> entries;
    for (const FieldItemAttribute& entry : context) {
        if (entry.Type() == FieldItemAttribute::kFloat) {
            entries.emplace_back(entry.Name(), entry.Value());
        }
    }
    return entries;
}

bool DefinitionParser::SameFloatEntries(const Context& context) const {
    if (!entriesEvaluated_) {
        return false;
    }
    std::size_t index = 0;
    for (const FieldItemAttribute& entry : context) {
        if (entry.Type() != FieldItemAttribute::kFloat) {
            continue;
        }
        if (index == evaluatedEntries_.size() || evaluatedEntries_[index].first != entry.Name() ||
            evaluatedEntries_[index].second != entry.Value()) {
            return false;
        }
        ++index;
    }
    return index == evaluatedEntries_.size();
}

std::unique_ptr<FieldItem> DefinitionParser::CreateItem(const FieldItemDefinition& reference,
                                                        const Context& context) {
    itemsCreated_ = 0;
    return CreateItemAt(reference, context, 0);
}

void DefinitionParser::CountItem(const std::wstring& type) {
    if (++itemsCreated_ > kMaximumItems) {
        Fail(__LINE__, L"Type[" + type + L"]FieldItemから作られる物体が多すぎます。",
             L"Type[" + type + L"]\r\n" + ProgramMessage(159));
    }
}

std::unique_ptr<FieldItem> DefinitionParser::CreateItemAt(const FieldItemDefinition& reference,
                                                          const Context& context, int depth) {
    const std::wstring_view prefix = fieldFormat_ == kFormatVersion ? kPrimitivePrefix : L"";
    const std::wstring& type = reference.Name();
    CountItem(type);
    std::unique_ptr<FieldItem> item;
    for (const std::wstring_view kind : {L"sphere", L"box", L"disk", L"torus"}) {
        // the prefix followed by the kind, compared in place
        if (std::wstring_view(type).starts_with(prefix) &&
            std::wstring_view(type).substr(prefix.size()) == kind) {
            item = CreatePrimitive(kind, context);
            break;
        }
    }
    if (!item) {
        if (depth >= kMaximumNesting) {
            Fail(__LINE__, L"Type[" + type + L"]FieldItemの入れ子が深すぎます。",
                 L"Type[" + type + L"]\r\n" + ProgramMessage(158));
        }
        auto composite = std::make_unique<FieldItemComposite>(type);
        auto found = definitions_.find(type);
        if (found == definitions_.end()) {
            Fail(__LINE__, L"Type[" + type + L"]Typeで参照されているFieldItemがありません。",
                 L"Type[" + type + L"]\r\n" + ProgramMessage(138));
        }
        for (const auto& [partName, part] : found->second->References()) {
            // the part sees only its own parameters, evaluated in the enclosing context
            Context partContext;
            partContext.reserve(part->Attributes().size());
            for (const auto& [parameterName, parameter] : part->Attributes()) {
                partContext.emplace_back(
                    parameter->Name(), parameter->Type(),
                    Evaluate(context, parameter->Type(), parameterName, parameter->Value()));
            }
            composite->AddItem(partName, CreateItemAt(*part, partContext, depth + 1));
        }
        composite->Initialize(ReadPlacement(context));
        item = std::move(composite);
    }
    item->SetFixed(reference.IsFixed());
    return item;
}

std::unique_ptr<FieldItem> DefinitionParser::CreatePrimitive(std::wstring_view kind, const Context& context) {
    using Sphere = FieldItemSphere::Record;
    using Box = FieldItemBox::Record;
    using Disk = FieldItemDisk::Record;
    using Torus = FieldItemTorus::Record;
    if (kind == L"sphere") {
        return CreateBody<FieldItemSphere>(context, {{L"texture", &Sphere::texture}},
                                           {{L"r", &Sphere::r}, {L"density", &Sphere::density}});
    }
    if (kind == L"box") {
        return CreateBody<FieldItemBox>(context,
                                        {{L"texture_top", &Box::textureTop},
                                         {L"texture_bottom", &Box::textureBottom},
                                         {L"texture_left", &Box::textureLeft},
                                         {L"texture_right", &Box::textureRight},
                                         {L"texture_front", &Box::textureFront},
                                         {L"texture_rear", &Box::textureRear}},
                                        {{L"size_x", &Box::sizeX},
                                         {L"size_y", &Box::sizeY},
                                         {L"size_z", &Box::sizeZ},
                                         {L"density", &Box::density}});
    }
    if (kind == L"disk") {
        return CreateBody<FieldItemDisk>(
            context,
            {{L"texture_side", &Disk::textureSide},
             {L"texture_head", &Disk::textureHead},
             {L"texture_tail", &Disk::textureTail}},
            {{L"height", &Disk::height}, {L"r", &Disk::r}, {L"density", &Disk::density}});
    }
    return CreateBody<FieldItemTorus>(context, {{L"texture", &Torus::texture}},
                                      {{L"r", &Torus::r}, {L"density", &Torus::density}});
}

template <typename Body>
std::unique_ptr<FieldItem> DefinitionParser::CreateBody(const Context& context, TextFields<Body> texts,
                                                        NumberFields<Body> numbers) {
    // each field is its own name evaluated in the context, texts first, in the order listed;
    // strings lose their double quotes, floats become doubles
    typename Body::Record record;
    std::wstring field;
    for (const auto& [name, member] : texts) {
        field = name;
        record.*member = WithoutQuotes(Evaluate(context, FieldItemAttribute::kString, field, field));
    }
    for (const auto& [name, member] : numbers) {
        field = name;
        record.*member = ToDouble(Evaluate(context, FieldItemAttribute::kFloat, field, field));
    }
    static_cast<Placement&>(record) = ReadPlacement(context);
    auto body = std::make_unique<Body>();
    body->Initialize(record);
    return body;
}

Placement DefinitionParser::ReadPlacement(const Context& context) {
    Placement placement;
    struct Field {
        const wchar_t* name;
        Vector3 Placement::*member;
    };
    static const Field kFields[] = {{L"position", &Placement::position},
                                    {L"angle", &Placement::angle},
                                    {L"velocity", &Placement::velocity},
                                    {L"angular_velocity", &Placement::angularVelocity}};
    for (const Field& field : kFields) {
        const FieldItemAttribute* entry = FindInContext(context, field.name);
        if (entry == nullptr) {
            continue;
        }
        const std::wstring value = Evaluate(context, FieldItemAttribute::kVector, field.name, entry->Value());
        std::vector<std::wstring> pieces = SplitVector(value);
        if (pieces.size() != 3) {
            Fail(__LINE__,
                 L"name[" + std::wstring(field.name) + L"]value[" + value + L"]x,y,zの形式になっていません。",
                 L"name[" + std::wstring(field.name) + L"]\r\nvalue[" + value + L"]\r\n" +
                     ProgramMessage(154));
        }
        const Vector3 vector(static_cast<float>(ToDouble(pieces[0])), static_cast<float>(ToDouble(pieces[1])),
                             static_cast<float>(ToDouble(pieces[2])));
        // a finite result may still lie beyond single precision: the item would start at
        // infinity and its state turn to NaN at the first step
        if (!std::isfinite(vector.x) || !std::isfinite(vector.y) || !std::isfinite(vector.z)) {
            const std::wstring overflow = Calculator<double>::over_flow().what();
            Fail(__LINE__,
                 L"name[" + std::wstring(field.name) + L"]value[" + entry->Value() +
                     L"]不正なVectorです。（" + overflow + L"）",
                 L"name[" + std::wstring(field.name) + L"]\r\nvalue[" + entry->Value() + L"]\r\n" +
                     ProgramMessage(152) + L"（" + overflow + L"）");
        }
        placement.*field.member = vector;
    }
    return placement;
}
