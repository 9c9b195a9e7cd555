#pragma once
// An item type read from an item definition file, or a reference to one (a Ref of a
// type, or an Item of a field definition file): one layout serves both roles.

#include <map>
#include <memory>
#include <string>
#include <vector>

#include "definition/FieldItemAttribute.h"

class FieldItemDefinition {
public:
    FieldItemDefinition(std::wstring name, bool fixed) : name_(std::move(name)), fixed_(fixed) {}
    virtual ~FieldItemDefinition() = default;
    FieldItemDefinition(const FieldItemDefinition&) = delete;
    FieldItemDefinition& operator=(const FieldItemDefinition&) = delete;

    const std::wstring& Name() const { return name_; }
    bool IsFixed() const { return fixed_; }

    /// Appends the reference names, in name order.
    virtual void ReferenceNames(std::vector<std::wstring>& names) const;
    virtual FieldItemDefinition* FindReference(const std::wstring& name) const;
    /// Replaces (destroying) any reference of that name.
    virtual void SetReference(const std::wstring& name, std::unique_ptr<FieldItemDefinition> definition);
    virtual void AttributeNames(std::vector<std::wstring>& names) const;
    virtual FieldItemAttribute* FindAttribute(const std::wstring& name) const;
    virtual void SetAttribute(const std::wstring& name, std::unique_ptr<FieldItemAttribute> attribute);

    const std::map<std::wstring, std::unique_ptr<FieldItemAttribute>>& Attributes() const {
        return attributes_;
    }
    const std::map<std::wstring, std::unique_ptr<FieldItemDefinition>>& References() const {
        return references_;
    }

private:
    std::wstring name_;
    bool fixed_;
    std::map<std::wstring, std::unique_ptr<FieldItemAttribute>> attributes_;
    std::map<std::wstring, std::unique_ptr<FieldItemDefinition>> references_;
};
