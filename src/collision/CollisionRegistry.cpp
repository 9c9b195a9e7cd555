#include "collision/CollisionRegistry.h"

#include <array>
#include <cstdint>
#include <limits>

#include "collision/CollisionDetectBox.h"
#include "collision/CollisionDetectDisk.h"
#include "collision/CollisionDetectRay.h"
#include "collision/CollisionDetectSphere.h"
#include "collision/CollisionDetectTorus.h"

namespace {

const std::array<std::wstring, kShapeKindCount + 1> kKindNames = {L"sphere", L"box",  L"disk", L"torus",
                                                                  L"ray",    L"land", L""};

/// A flat copy of the registry's entries for the known kinds, so that the dispatch finds a
/// detector without building and comparing strings. Written only while detectors are
/// registered (before any step runs); valid while its generation is the registry's.
struct DetectorIndex {
    std::uint64_t generation = std::numeric_limits<std::uint64_t>::max();
    CollisionDetect* detectors[kShapeKindCount][kShapeKindCount] = {};
};

DetectorIndex detectorIndex;

void RebuildIndex(const CollisionRegistry& manager) {
    DetectorIndex index;
    for (const auto& [key, detector] : manager.Entries()) {
        const ShapeKind first = ShapeKindOfName(key.first);
        const ShapeKind second = ShapeKindOfName(key.second);
        if (first != ShapeKind::kOther && second != ShapeKind::kOther) {
            index.detectors[static_cast<int>(first)][static_cast<int>(second)] = detector.get();
        }
    }
    index.generation = CollisionRegistry::Generation();
    detectorIndex = index;
}

} // namespace

ShapeKind ShapeKindOfName(const std::wstring& typeName) {
    for (int kind = 0; kind < kShapeKindCount; ++kind) {
        if (typeName == kKindNames[kind]) {
            return static_cast<ShapeKind>(kind);
        }
    }
    return ShapeKind::kOther;
}

const std::wstring& ShapeKindName(ShapeKind kind) {
    return kKindNames[static_cast<int>(kind)];
}

void Register(CollisionRegistry& manager, const DetectorKey& key, std::unique_ptr<CollisionDetect> detector) {
    manager.Set(key, std::move(detector));
    if (&manager == CollisionRegistry::Current()) {
        RebuildIndex(manager);
    }
}

void RegisterCollisionDetectors() {
    CollisionRegistry& manager = CollisionRegistry::Instance();

    // one detector object per row, so that each order of a mixed pair owns its own; the order
    // that is not the detector's own goes through the reversing adapter
    Register(manager, {L"sphere", L"sphere"}, MakeDetector<CollisionDetectSphereSphere>());
    Register(manager, {L"box", L"box"}, MakeDetector<CollisionDetectBoxBox>());
    Register(manager, {L"sphere", L"land"}, MakeDetector<CollisionDetectSphereLand>());
    Register(manager, {L"land", L"sphere"}, MakeReversedDetector<CollisionDetectSphereLand>());
    Register(manager, {L"box", L"land"}, MakeDetector<CollisionDetectBoxLand>());
    Register(manager, {L"land", L"box"}, MakeReversedDetector<CollisionDetectBoxLand>());
    Register(manager, {L"sphere", L"box"}, MakeDetector<CollisionDetectSphereBox>());
    Register(manager, {L"box", L"sphere"}, MakeReversedDetector<CollisionDetectSphereBox>());
    Register(manager, {L"disk", L"land"}, MakeDetector<CollisionDetectDiskLand>());
    Register(manager, {L"land", L"disk"}, MakeReversedDetector<CollisionDetectDiskLand>());
    Register(manager, {L"disk", L"sphere"}, MakeDetector<CollisionDetectDiskSphere>());
    Register(manager, {L"sphere", L"disk"}, MakeReversedDetector<CollisionDetectDiskSphere>());
    Register(manager, {L"disk", L"disk"}, MakeDetector<CollisionDetectDiskDisk>());
    Register(manager, {L"disk", L"box"}, MakeDetector<CollisionDetectDiskBox>());
    Register(manager, {L"box", L"disk"}, MakeReversedDetector<CollisionDetectDiskBox>());
    Register(manager, {L"torus", L"land"}, MakeDetector<CollisionDetectTorusLand>());
    Register(manager, {L"land", L"torus"}, MakeReversedDetector<CollisionDetectTorusLand>());
    Register(manager, {L"torus", L"torus"}, MakeDetector<CollisionDetectTorusTorus>());
    Register(manager, {L"torus", L"disk"}, MakeDetector<CollisionDetectTorusDisk>());
    Register(manager, {L"disk", L"torus"}, MakeReversedDetector<CollisionDetectTorusDisk>());
    Register(manager, {L"torus", L"sphere"}, MakeDetector<CollisionDetectTorusSphere>());
    Register(manager, {L"sphere", L"torus"}, MakeReversedDetector<CollisionDetectTorusSphere>());
    Register(manager, {L"torus", L"box"}, MakeDetector<CollisionDetectTorusBox>());
    Register(manager, {L"box", L"torus"}, MakeReversedDetector<CollisionDetectTorusBox>());
    Register(manager, {L"ray", L"sphere"}, MakeDetector<CollisionDetectRaySphere>());
    Register(manager, {L"sphere", L"ray"}, MakeReversedDetector<CollisionDetectRaySphere>());
    Register(manager, {L"box", L"ray"}, MakeReversedDetector<CollisionDetectRayBox>());
    Register(manager, {L"ray", L"box"}, MakeDetector<CollisionDetectRayBox>());
    Register(manager, {L"disk", L"ray"}, MakeReversedDetector<CollisionDetectRayDisk>());
    Register(manager, {L"ray", L"disk"}, MakeDetector<CollisionDetectRayDisk>());
    Register(manager, {L"torus", L"ray"}, MakeReversedDetector<CollisionDetectRayTorus>());
    Register(manager, {L"ray", L"torus"}, MakeDetector<CollisionDetectRayTorus>());
}

void DestroyCollisionDetectors() {
    CollisionRegistry::Destroy();
    detectorIndex = DetectorIndex();
}

CollisionDetect* FindDetector(const std::wstring& firstType, const std::wstring& secondType) {
    const CollisionRegistry* manager = CollisionRegistry::Current();
    if (manager == nullptr) {
        return nullptr;
    }
    const std::unique_ptr<CollisionDetect>* detector = manager->Find({firstType, secondType});
    return detector == nullptr ? nullptr : detector->get();
}

CollisionDetect* FindDetector(ShapeKind first, ShapeKind second) {
    if (first == ShapeKind::kOther || second == ShapeKind::kOther) {
        return FindDetector(ShapeKindName(first), ShapeKindName(second));
    }
    // the index is current unless the registry was changed behind Register's back
    if (detectorIndex.generation == CollisionRegistry::Generation()) {
        return detectorIndex.detectors[static_cast<int>(first)][static_cast<int>(second)];
    }
    return FindDetector(ShapeKindName(first), ShapeKindName(second));
}
