#pragma once
// A group of named items. A loaded item is a composite whose parts form one rigid
// body; the world is a composite whose members are the independent items. Members
// enter through a pending set and leave by marking and a later purge, so the live
// set never changes while a step or a drawing pass walks it.

#include <cstdint>
#include <map>
#include <memory>
#include <string>

#include "physics/FieldItem.h"

class FieldItemComposite : public FieldItem {
public:
    /// Live members and pending members are both kept by name, in name order.
    using MemberMap = std::map<std::wstring, std::unique_ptr<FieldItem>>;

    explicit FieldItemComposite(std::wstring typeName);
    ~FieldItemComposite() override;

    /// The type name given at construction.
    std::wstring TypeName() const override { return typeName_; }
    bool IsComposite() const override { return true; }

    /// Places the composite, then sums mass, centre of mass and inertia of the pending parts
    /// and moves the composite to their centre of mass.
    void Initialize(const Placement& record) override;
    /// Draws the member named "land" first, then every other live member in name order.
    void Draw(DrawContext* context) override;
    /// Updates the composite itself, then every live member in its frame.
    void UpdateWorld(const Matrix4* parentTransform, const Quaternion* parentOrientation) override;

    /// The live members.
    virtual MemberMap& Members() { return members_; }
    const MemberMap& Members() const { return members_; }
    /// The live member of that name, or null.
    virtual FieldItem* Find(const std::wstring& name) const;
    /// Names the item, makes this its parent and enters it among the pending members,
    /// replacing (and destroying) a pending item of the same name.
    virtual void AddItem(const std::wstring& name, std::unique_ptr<FieldItem> item);
    /// Moves every pending item into the live members, then commits the composite members.
    /// A pending item whose name is already live is destroyed; the live member stays.
    virtual void CommitPending();
    /// Marks the live member of that name deleted; an unknown name does nothing.
    virtual void Remove(const std::wstring& name);
    /// Destroys every deleted live member (one level-2 log line each) and purges the
    /// composite members that remain.
    virtual void PurgeDeleted();

    /// Members added since the last commit.
    const MemberMap& Pending() const { return pending_; }
    /// Grows whenever a commit or a purge changes the live members of this composite or of a
    /// composite below it, so that a table built from them knows when to rebuild.
    std::uint64_t MemberChanges() const { return memberChanges_; }

protected:
    std::wstring typeName_;
    MemberMap members_;
    MemberMap pending_;
    std::uint64_t memberChanges_ = 0;
};
