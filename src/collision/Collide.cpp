#include "collision/Collide.h"

#include <cassert>
#include <typeinfo>

#include "physics/FieldItemBox.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemLand.h"
#include "physics/FieldItemRay.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"

namespace {

const FieldItemComposite& AsComposite(const FieldItem& item) {
    assert(dynamic_cast<const FieldItemComposite*>(&item) != nullptr);
    return static_cast<const FieldItemComposite&>(item);
}

/// A composite of exactly one member stands for that member, down to the first item that is not;
/// composite tells whether the item reached is a composite.
const FieldItem& Unwrap(const FieldItem& item, bool& composite) {
    const FieldItem* current = &item;
    while ((composite = current->IsComposite())) {
        auto& members = AsComposite(*current).Members();
        if (members.size() != 1 || !members.begin()->second) {
            break;
        }
        current = members.begin()->second.get();
    }
    return *current;
}

bool AcceptsKinds(const FieldItem& first, ShapeKind firstKind, const FieldItem& second, ShapeKind secondKind,
                  double tolerance) {
    // the land and rays meet everything: they have no useful bounds
    if (firstKind == ShapeKind::kLand || firstKind == ShapeKind::kRay || secondKind == ShapeKind::kLand ||
        secondKind == ShapeKind::kRay) {
        return true;
    }
    if (first.IsDeleted() || second.IsDeleted()) {
        return false;
    }

    // the boxes first: they reject most pairs before the radii are read
    const Vector3 offset = first.WorldPosition() - second.WorldPosition();
    return BoundingBoxesOverlap(offset, first.BoundingExtent(), second.BoundingExtent(), tolerance) &&
           BoundingSpheresOverlap(offset, first.BoundingRadius(), second.BoundingRadius(), tolerance);
}

} // namespace

ShapeKind ShapeKindOf(const FieldItem& item) {
    // the built-in classes by the identity of their type information, without building
    // their names: the dispatch asks this for every candidate pair of every step
    const std::type_info* type = &typeid(item);
    if (type == &typeid(FieldItemSphere)) {
        return ShapeKind::kSphere;
    }
    if (type == &typeid(FieldItemBox)) {
        return ShapeKind::kBox;
    }
    if (type == &typeid(FieldItemLand)) {
        return ShapeKind::kLand;
    }
    if (type == &typeid(FieldItemDisk)) {
        return ShapeKind::kDisk;
    }
    if (type == &typeid(FieldItemTorus)) {
        return ShapeKind::kTorus;
    }
    if (type == &typeid(FieldItemRay)) {
        return ShapeKind::kRay;
    }
    // composites and anything else answer by name
    return ShapeKindOfName(item.TypeName());
}

bool PairFilterAccepts(const FieldItem& first, const FieldItem& second, const CollideSettings& settings) {
    return AcceptsKinds(first, ShapeKindOf(first), second, ShapeKindOf(second), settings.contactTolerance);
}

bool PairFilterAccepts(const FieldItem& first, ShapeKind firstKind, const FieldItem& second,
                       ShapeKind secondKind, const CollideSettings& settings) {
    assert(firstKind == ShapeKindOf(first) && secondKind == ShapeKindOf(second));
    return AcceptsKinds(first, firstKind, second, secondKind, settings.contactTolerance);
}

void Collide(const FieldItem& firstItem, const FieldItem& secondItem, const CollideSettings& settings,
             std::vector<Contact>& contacts) {
    // most pairs are two primitives: only composites need unwrapping
    bool firstComposite = firstItem.IsComposite();
    bool secondComposite = secondItem.IsComposite();
    const FieldItem& first = firstComposite ? Unwrap(firstItem, firstComposite) : firstItem;
    const FieldItem& second = secondComposite ? Unwrap(secondItem, secondComposite) : secondItem;
    const ShapeKind firstKind = ShapeKindOf(first);
    const ShapeKind secondKind = ShapeKindOf(second);
    if (!AcceptsKinds(first, firstKind, second, secondKind, settings.contactTolerance)) {
        return;
    }

    // two primitives: their detector, if the pair has one
    if (!firstComposite && !secondComposite) {
        CollisionDetect* detector = firstKind != ShapeKind::kOther && secondKind != ShapeKind::kOther
                                        ? FindDetector(firstKind, secondKind)
                                        : FindDetector(first.TypeName(), second.TypeName());
        if (detector != nullptr) {
            detector->Detect(first, second, settings, contacts);
        }
        return;
    }

    // the first against each member of the second
    if (secondComposite) {
        for (auto& [name, member] : AsComposite(second).Members()) {
            if (member && PairFilterAccepts(first, *member, settings)) {
                Collide(first, *member, settings, contacts);
            }
        }
    }
    // each member of the first against the second and, for two composites, against each
    // member of the second once more: such member pairs are visited three times in all
    if (firstComposite) {
        for (auto& [name, part] : AsComposite(first).Members()) {
            if (!part) {
                continue;
            }
            if (PairFilterAccepts(*part, second, settings)) {
                Collide(*part, second, settings, contacts);
            }
            if (secondComposite) {
                for (auto& [otherName, member] : AsComposite(second).Members()) {
                    if (member && PairFilterAccepts(*part, *member, settings)) {
                        Collide(*part, *member, settings, contacts);
                    }
                }
            }
        }
    }
}
