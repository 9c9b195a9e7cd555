#include "text/XMLElement.h"

#include <cassert>
#include <utility>

XMLElement::~XMLElement() = default;

const std::wstring& XMLElement::GetName() const {
    return name_;
}

const std::wstring& XMLElement::GetAttribute(std::wstring_view name) const {
    static const std::wstring kAbsent;
    const auto attribute = attributes_.find(name);
    return attribute == attributes_.end() ? kAbsent : attribute->second;
}

const std::wstring& XMLElement::GetText() const {
    return text_;
}

void XMLElement::SetName(std::wstring name) {
    name_ = std::move(name);
}

void XMLElement::SetAttribute(std::wstring name, std::wstring value) {
    attributes_.insert_or_assign(std::move(name), std::move(value));
}

void XMLElement::SetText(std::wstring text) {
    text_ = std::move(text);
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
