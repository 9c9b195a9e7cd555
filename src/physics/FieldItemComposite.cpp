#include "physics/FieldItemComposite.h"

#include <algorithm>
#include <cassert>
#include <cmath>
#include <utility>

#include "common/LogWriter.h"

FieldItemComposite::FieldItemComposite(std::wstring typeName) : typeName_(std::move(typeName)) {}

// live members are destroyed with the map; so are items still pending, which nothing
// else owns once they have been handed over
FieldItemComposite::~FieldItemComposite() = default;

void FieldItemComposite::Initialize(const Placement& record) {
    FieldItem::Initialize(record);

    // mass and centre of mass of the parts, in the composite's axes
    double totalMass = mass_;
    for (const auto& [name, part] : pending_) {
        totalMass += part->Mass();
    }
    double cx = 0.0, cy = 0.0, cz = 0.0;
    for (const auto& [name, part] : pending_) {
        const Vector3 p = part->Transform().Translation();
        cx += part->Mass() * p.x;
        cy += part->Mass() * p.y;
        cz += part->Mass() * p.z;
    }
    // without mass there is no centre of mass: the composite stays at its own placement
    Vector3 centre;
    if (totalMass > 0.0) {
        centre = Vector3(static_cast<float>(cx / totalMass), static_cast<float>(cy / totalMass),
                         static_cast<float>(cz / totalMass));
    }
    mass_ = totalMass;

    // parts keep their offsets from the centre; the bounds take them in
    for (const auto& [name, part] : pending_) {
        const Vector3 offset = part->Transform().Translation() - centre;
        Matrix4& partTransform = part->Transform();
        partTransform._41 = offset.x;
        partTransform._42 = offset.y;
        partTransform._43 = offset.z;
        boundingRadius_ =
            std::max(boundingRadius_, static_cast<double>(Length(offset)) + part->BoundingRadius());
        const Vector3& partExtent = part->BoundingExtent();
        halfExtents_.x = std::max(halfExtents_.x, std::fabs(offset.x) + partExtent.x);
        halfExtents_.y = std::max(halfExtents_.y, std::fabs(offset.y) + partExtent.y);
        halfExtents_.z = std::max(halfExtents_.z, std::fabs(offset.z) + partExtent.z);
    }

    // inertia about the centre: each part's own tensor turned into the composite's axes
    // plus its parallel-axis terms
    double tensor[3][3];
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            tensor[r][c] = r == c ? 0.0 : inertia_.At(r, c);
        }
    }
    for (const auto& [name, part] : pending_) {
        // v * rotation carries body axes to composite axes, so the tensor (which acts on
        // column vectors) becomes rotation^T * I * rotation
        const Matrix4 rotation = MatrixRotationQuaternion(part->Orientation());
        Matrix4& partInertia = part->Inertia();
        partInertia = MatrixMultiply(MatrixTranspose(rotation), MatrixMultiply(partInertia, rotation));
        const Vector3 r = part->Transform().Translation();
        const double m = part->Mass();
        const double x = r.x, y = r.y, z = r.z;
        tensor[0][0] += partInertia._11 + m * (y * y + z * z);
        tensor[1][1] += partInertia._22 + m * (x * x + z * z);
        tensor[2][2] += partInertia._33 + m * (x * x + y * y);
        tensor[0][1] += partInertia._12 - m * x * y;
        tensor[1][0] += partInertia._21 - m * x * y;
        tensor[0][2] += partInertia._13 - m * x * z;
        tensor[2][0] += partInertia._31 - m * x * z;
        tensor[1][2] += partInertia._23 - m * y * z;
        tensor[2][1] += partInertia._32 - m * y * z;
    }
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            inertia_.At(r, c) = static_cast<float>(tensor[r][c]);
        }
    }
    inverseInertia_ = MatrixInverse(inertia_);

    // move the composite onto its centre of mass
    UpdateWorld(nullptr, nullptr);
    ToWorld(centre);
    transform_._41 += centre.x;
    transform_._42 += centre.y;
    transform_._43 += centre.z;
    UpdateWorld(nullptr, nullptr);
}

void FieldItemComposite::Draw(DrawContext* context) {
    auto land = members_.find(L"land");
    if (land != members_.end()) {
        land->second->Draw(context);
    }
    for (auto& [name, member] : members_) {
        if (name != L"land") {
            member->Draw(context);
        }
    }
}

void FieldItemComposite::UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation) {
    FieldItem::UpdateWorld(parentTransform, parentOrientation);
    for (auto& [name, member] : members_) {
        member->UpdateWorld(&worldTransform_, &worldOrientation_);
    }
}

FieldItem* FieldItemComposite::Find(const std::wstring& name) const {
    auto member = members_.find(name);
    return member == members_.end() ? nullptr : member->second.get();
}

void FieldItemComposite::AddItem(const std::wstring& name, std::unique_ptr<FieldItem> item) {
    assert(item != nullptr);
    if (item == nullptr) {
        return;
    }
    item->SetName(name);
    item->SetParent(this);
    pending_[name] = std::move(item);
    NoteAddedBelow();
}

void FieldItemComposite::CommitPending() {
    // a group where nothing was added, here or below, since its last commit has nothing to commit
    if (!addedBelow_) {
        return;
    }
    addedBelow_ = false;
    // a name that is already live keeps its member; the newcomer goes with the pending set
    bool changed = false;
    for (auto& [name, item] : pending_) {
        changed = members_.try_emplace(name, std::move(item)).second || changed;
    }
    pending_.clear();

    for (auto& [name, member] : members_) {
        if (member->IsComposite()) {
            auto* group = dynamic_cast<FieldItemComposite*>(member.get());
            assert(group != nullptr);
            if (group != nullptr) {
                const std::uint64_t before = group->memberChanges_;
                group->CommitPending();
                changed = changed || group->memberChanges_ != before;
            }
        }
    }
    if (changed) {
        ++memberChanges_;
        // the newcomers may hold items marked deleted before they came (their groups were not
        // ours then): the next purge looks at them
        deletedBelow_ = true;
    }
}

void FieldItemComposite::Remove(const std::wstring& name) {
    auto member = members_.find(name);
    if (member != members_.end()) {
        member->second->MarkDeleted();
    }
}

void FieldItemComposite::PurgeDeleted() {
    // a group where nothing was marked deleted, here or below, since its last purge keeps all
    if (!deletedBelow_) {
        return;
    }
    deletedBelow_ = false;
    bool changed = false;
    for (auto member = members_.begin(); member != members_.end();) {
        if (member->second->IsDeleted()) {
            Log(L".\\FieldItemComposite", 285, L"[" + member->first + L"] deleted", 2);
            member = members_.erase(member);
            changed = true;
            continue;
        }
        if (member->second->IsComposite()) {
            auto* group = dynamic_cast<FieldItemComposite*>(member->second.get());
            assert(group != nullptr);
            if (group != nullptr) {
                const std::uint64_t before = group->memberChanges_;
                group->PurgeDeleted();
                changed = changed || group->memberChanges_ != before;
            }
        }
        ++member;
    }
    if (changed) {
        ++memberChanges_;
    }
}
