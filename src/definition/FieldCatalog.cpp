#include "definition/FieldCatalog.h"

#include <atomic>
#include <functional>
#include <utility>

#include "collision/Collide.h"
#include "physics/FieldItem.h"
#include "physics/FieldItemWorld.h"

namespace {

/// The extension test is exact: "ball.WTF" is not a field definition file.
bool HasExtension(const std::wstring& path, const std::wstring& extension) {
    std::size_t separator = path.find_last_of(L"\\/");
    std::size_t dot = path.rfind(L'.');
    if (dot == std::wstring::npos || (separator != std::wstring::npos && dot < separator)) {
        return false;
    }
    return path.compare(dot + 1, std::wstring::npos, extension) == 0;
}

/// Whether the item's bounds meet those of a live member other than the land, the sky and
/// the player, as the world's lift tests them.
bool OverlapsMembers(FieldItem& item, FieldItemWorld& world, const CollideSettings& settings) {
    item.UpdateWorld(nullptr, nullptr);
    for (const auto& [name, member] : world.Members()) {
        if (!FieldItemWorld::IsBuiltInName(name) && member && PairFilterAccepts(*member, item, settings)) {
            return true;
        }
    }
    return false;
}

/// Raises the field's items together, in the world's lift steps, until none of them meets
/// a member already there. The world lifts each item it adds on its own; a toy of several
/// items (a seat hung on its frame's bar, an axle in its body's rings, balls on a table)
/// would then come apart, so its items are first lifted as one and the world finds them clear.
void LiftTogether(DefinitionParser::ItemMap& items, FieldItemWorld& world) {
    const CollideSettings settings{world.StepSettings().contactTolerance};
    for (int lifts = 0; lifts < FieldItemWorld::kMaximumLiftSteps; ++lifts) {
        bool overlapped = false;
        for (auto& [name, item] : items) {
            if (OverlapsMembers(*item, world, settings)) {
                overlapped = true;
                break;
            }
        }
        if (!overlapped) {
            return;
        }
        for (auto& [name, item] : items) {
            item->Transform()._42 += FieldItemWorld::kLiftStep;
        }
    }
}

} // namespace

FieldCatalog::FieldCatalog(std::shared_ptr<const DefinitionSource> source)
    : source_(source ? std::move(source) : std::make_shared<DefinitionSource>()),
      parser_(std::make_unique<DefinitionParser>(source_)) {}

FieldCatalog::~FieldCatalog() = default;

void FieldCatalog::Update() {
    Scan(true);
}

std::vector<FieldCatalog::Failure> FieldCatalog::UpdateReportingAll() {
    return Scan(false);
}

std::vector<FieldCatalog::Failure> FieldCatalog::Scan(bool stopAtFirstFailure) {
    parser_ = std::make_unique<DefinitionParser>(source_);
    summaries_.clear();
    fieldPaths_.clear();

    const std::vector<std::wstring> files = source_->Files(kItemFolder);

    std::vector<Failure> failures;
    auto attempt = [&](const std::wstring& path, const std::function<void()>& work) {
        if (stopAtFirstFailure) {
            work();
            return true;
        }
        try {
            work();
            return true;
        } catch (const myexception& error) {
            failures.push_back({path, error.what()});
            return false;
        }
    };

    for (const std::wstring& path : files) {
        if (HasExtension(path, L"wti")) {
            attempt(path, [&] { parser_->LoadFieldItem(path); });
        }
    }
    attempt(kItemFolder, [&] { parser_->Resolve(); });
    for (const std::wstring& path : files) {
        if (IsFieldPath(path)) {
            fieldPaths_.push_back(path);
            DefinitionSummary summary;
            DefinitionParser::ItemMap none;
            if (attempt(path, [&] { parser_->LoadField(path, none, summary, true); })) {
                summaries_.push_back(std::move(summary));
            }
        }
    }
    return failures;
}

bool FieldCatalog::IsFieldPath(const std::wstring& path) {
    return HasExtension(path, L"wtf");
}

int FieldCatalog::NextItemNumber() {
    static std::atomic<int> counter{0};
    return counter.fetch_add(1);
}

std::vector<std::wstring> FieldCatalog::Add(const std::wstring& path, FieldItemWorld& world,
                                            std::recursive_mutex* execLock, std::optional<float> lowering) {
    DefinitionParser::ItemMap items;
    DefinitionSummary summary;
    parser_->LoadField(path, items, summary, false);

    std::unique_lock<std::recursive_mutex> lock;
    if (execLock != nullptr) {
        lock = std::unique_lock(*execLock);
    }
    // lowered by the local player's height, so that items stand on the land the player sees
    FieldItem* player = world.Find(L"localplayer");
    for (auto& [name, item] : items) {
        if (lowering) {
            item->Transform()._42 -= *lowering;
        } else if (player != nullptr) {
            item->Transform()._42 -= player->Transform()._42;
        }
    }
    LiftTogether(items, world);

    std::vector<std::wstring> names;
    for (auto& [name, item] : items) {
        // a name and a counter value can spell what another name and value spelled before ("b1"
        // and 0, "b" and 10): such a value is passed over, as the world keeps only one item of a name
        std::wstring uniqueName = name + std::to_wstring(NextItemNumber());
        while (world.Find(uniqueName) != nullptr || world.Pending().count(uniqueName) != 0) {
            uniqueName = name + std::to_wstring(NextItemNumber());
        }
        world.AddItem(uniqueName, std::move(item));
        names.push_back(uniqueName);
    }
    return names;
}
