#pragma once
// The registry of pair detectors, keyed by the two items' type names, and its
// registration table. The registry is filled once before the first step and only
// read while steps run, so lookups need no lock.

#include <memory>
#include <new>
#include <string>
#include <utility>

#include "collision/ClassManager.h"
#include "collision/CollisionDetect.h"

/// (type name of the first item, type name of the second item).
using DetectorKey = std::pair<std::wstring, std::wstring>;
using CollisionRegistry = ClassManager<DetectorKey, std::unique_ptr<CollisionDetect>>;

/// The shape kinds that detectors are registered for, with a fast index each;
/// everything else is kOther and is looked up by its type name.
enum class ShapeKind : unsigned char { kSphere, kBox, kDisk, kTorus, kRay, kLand, kOther };
inline constexpr int kShapeKindCount = 6;

/// The kind whose type name this is ("sphere", "box", "disk", "torus", "ray", "land"), else kOther.
ShapeKind ShapeKindOfName(const std::wstring& typeName);
/// The type name of a kind; empty for kOther.
const std::wstring& ShapeKindName(ShapeKind kind);

/// Stores the detector under the key (a null detector behaves like an unregistered pair).
/// An earlier detector under the same key is destroyed.
void Register(CollisionRegistry& manager, const DetectorKey& key, std::unique_ptr<CollisionDetect> detector);

/// Fills the registry with one new detector per row of the pair table, in table order: a
/// mixed pair's detector under its own order, a reversing adapter around another one under
/// the swapped order.
void RegisterCollisionDetectors();
/// Deletes every detector and the registry itself; a later registration starts afresh.
/// No Collide may be under way.
void DestroyCollisionDetectors();

/// The detector registered for the two type names, or null; never changes the registry.
CollisionDetect* FindDetector(const std::wstring& firstType, const std::wstring& secondType);
/// The same for two known kinds, through a flat index kept beside the map; neither may be kOther.
CollisionDetect* FindDetector(ShapeKind first, ShapeKind second);

/// A new detector, or null when it cannot be allocated.
template <class Detector> std::unique_ptr<CollisionDetect> MakeDetector() {
    return std::unique_ptr<CollisionDetect>(new (std::nothrow) Detector());
}

/// A new detector for the swapped order of the detector's pair, or null when it cannot be allocated.
template <class Detector> std::unique_ptr<CollisionDetect> MakeReversedDetector() {
    std::unique_ptr<CollisionDetect> detector = MakeDetector<Detector>();
    if (detector == nullptr) {
        return nullptr;
    }
    return std::unique_ptr<CollisionDetect>(new (std::nothrow) ReversedDetect(std::move(detector)));
}
