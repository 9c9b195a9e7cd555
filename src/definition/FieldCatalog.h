#pragma once
// The item folder as the program offers it: the item types of every ".wti" file and
// the header of every ".wtf" file under "items", and the adding of a field's items to
// the world. The desktop program's main page and the headless simulator share it.

#include <memory>
#include <mutex>
#include <optional>
#include <string>
#include <vector>

#include "definition/DefinitionParser.h"
#include "definition/DefinitionSource.h"

class FieldItemWorld;

class FieldCatalog {
public:
    /// A definition file that failed to load, with the full exception text.
    struct Failure {
        std::wstring path;
        std::wstring message;
    };

    /// The folder scanned, relative to the current directory.
    static constexpr const wchar_t* kItemFolder = L"items";

    /// Reads the item folder from the source given, from the disk without one.
    explicit FieldCatalog(std::shared_ptr<const DefinitionSource> source = nullptr);
    ~FieldCatalog();

    /// Replaces the parser, loads every ".wti" under the item folder (depth first, in
    /// listing order), resolves them, then reads the header of every ".wtf". The first
    /// failure is thrown, as the main page does.
    void Update();
    /// The same, but goes on after a failing file and reports every failure instead.
    std::vector<Failure> UpdateReportingAll();

    /// Field definition headers in listing order.
    const std::vector<DefinitionSummary>& Summaries() const { return summaries_; }
    DefinitionParser& Parser() { return *parser_; }
    /// Every field definition file of the last scan, in listing order, read or not.
    const std::vector<std::wstring>& FieldPaths() const { return fieldPaths_; }
    /// True for a path with the field definition extension "wtf" (exactly, case and all).
    static bool IsFieldPath(const std::wstring& path);

    /// Instantiates a field definition file and adds its items to the world: each lowered
    /// by the local player's height (by `lowering` instead when given), named with its own
    /// name and the process-wide counter (passing over values that would repeat a name in the
    /// world), added under the exec lock when one is given. Returns the names given.
    std::vector<std::wstring> Add(const std::wstring& path, FieldItemWorld& world,
                                  std::recursive_mutex* execLock = nullptr,
                                  std::optional<float> lowering = std::nullopt);

    /// The next value of the process-wide counter that names added items (starts at 0).
    static int NextItemNumber();

private:
    std::vector<Failure> Scan(bool stopAtFirstFailure);

    std::shared_ptr<const DefinitionSource> source_;
    std::unique_ptr<DefinitionParser> parser_;
    std::vector<DefinitionSummary> summaries_;
    std::vector<std::wstring> fieldPaths_;
};
