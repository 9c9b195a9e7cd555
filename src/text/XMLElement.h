#pragma once
// One element of a loaded XML document: a self-contained tree node that owns its
// children and no longer refers to the document it came from.

#include <map>
#include <memory>
#include <string>
#include <vector>

class XMLElement {
public:
    using Children = std::vector<std::unique_ptr<XMLElement>>;
    using ChildIterator = Children::const_iterator;

    XMLElement() = default;
    virtual ~XMLElement();
    XMLElement(const XMLElement&) = delete;
    XMLElement& operator=(const XMLElement&) = delete;

    /// The tag name as written (with its prefix, if any).
    virtual std::wstring GetName() const;
    /// The attribute's value; "" when the element has no such attribute.
    virtual std::wstring GetAttribute(const std::wstring& name) const;
    /// The text of the element and all its descendants, without leading or trailing white space.
    virtual std::wstring GetText() const;
    virtual void SetName(const std::wstring& name);
    /// Creates or replaces the attribute.
    virtual void SetAttribute(const std::wstring& name, const std::wstring& value);
    virtual void SetText(const std::wstring& text);
    /// The child elements in document order.
    virtual ChildIterator ChildrenBegin() const;
    virtual ChildIterator ChildrenEnd() const;
    /// Appends the element as the last child; this element owns it from then on.
    virtual void AddChild(std::unique_ptr<XMLElement> element);

    const Children& GetChildren() const { return children_; }
    const std::map<std::wstring, std::wstring>& GetAttributes() const { return attributes_; }

private:
    std::wstring name_;
    std::map<std::wstring, std::wstring> attributes_;
    std::wstring text_;
    Children children_;
};
