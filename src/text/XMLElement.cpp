#include "text/XMLElement.h"

#include <cassert>
#include <utility>

XMLElement::~XMLElement() = default;

std::wstring XMLElement::GetName() const {
    return name_;
}

std::wstring XMLElement::GetAttribute(const std::wstring& name) const {
    const auto attribute = attributes_.find(name);
    return attribute == attributes_.end() ? std::wstring() : attribute->second;
}

std::wstring XMLElement::GetText() const {
    return text_;
}

void XMLElement::SetName(const std::wstring& name) {
    name_ = name;
}

void XMLElement::SetAttribute(const std::wstring& name, const std::wstring& value) {
    attributes_.insert_or_assign(name, value);
}

void XMLElement::SetText(const std::wstring& text) {
    text_ = text;
}

XMLElement::ChildIterator XMLElement::ChildrenBegin() const {
    return children_.begin();
}

XMLElement::ChildIterator XMLElement::ChildrenEnd() const {
    return children_.end();
}

void XMLElement::AddChild(std::unique_ptr<XMLElement> element) {
    assert(element != nullptr);
    children_.push_back(std::move(element));
}
