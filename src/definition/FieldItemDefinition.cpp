#include "definition/FieldItemDefinition.h"

void FieldItemDefinition::ReferenceNames(std::vector<std::wstring>& names) const {
    for (const auto& [name, reference] : references_) {
        names.push_back(name);
    }
}

FieldItemDefinition* FieldItemDefinition::FindReference(const std::wstring& name) const {
    auto found = references_.find(name);
    return found == references_.end() ? nullptr : found->second.get();
}

void FieldItemDefinition::SetReference(const std::wstring& name,
                                       std::unique_ptr<FieldItemDefinition> definition) {
    references_[name] = std::move(definition);
}

void FieldItemDefinition::AttributeNames(std::vector<std::wstring>& names) const {
    for (const auto& [name, attribute] : attributes_) {
        names.push_back(name);
    }
}

FieldItemAttribute* FieldItemDefinition::FindAttribute(const std::wstring& name) const {
    auto found = attributes_.find(name);
    return found == attributes_.end() ? nullptr : found->second.get();
}

void FieldItemDefinition::SetAttribute(const std::wstring& name,
                                       std::unique_ptr<FieldItemAttribute> attribute) {
    attributes_[name] = std::move(attribute);
}
