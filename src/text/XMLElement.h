#pragma once
// One element of a loaded XML document: a self-contained tree node that owns its
// children and no longer refers to the document it came from.

#include <functional>
#include <map>
#include <memory>
#include <string>
#include <string_view>
#include <vector>

class XMLElement {
public:
    using Children = std::vector<std::unique_ptr<XMLElement>>;
    using ChildIterator = Children::const_iterator;
    /// Looked up by any text, without a string made for the name.
    using Attributes = std::map<std::wstring, std::wstring, std::less<>>;

    XMLElement() = default;
    virtual ~XMLElement();
    XMLElement(const XMLElement&) = delete;
    XMLElement& operator=(const XMLElement&) = delete;

    // the texts are handed out by reference, valid while the element lives and is not changed:
    // a definition file is read by asking each element for its texts many times

    /// The tag name as written (with its prefix, if any).
    virtual const std::wstring& GetName() const;
    /// The attribute's value; "" when the element has no such attribute.
    virtual const std::wstring& GetAttribute(std::wstring_view name) const;
    /// The text of the element and all its descendants, without leading or trailing white space.
    virtual const std::wstring& GetText() const;
    virtual void SetName(std::wstring name);
    /// Creates or replaces the attribute.
    virtual void SetAttribute(std::wstring name, std::wstring value);
    virtual void SetText(std::wstring text);
    /// The child elements in document order.
    virtual ChildIterator ChildrenBegin() const;
    virtual ChildIterator ChildrenEnd() const;
    /// Appends the element as the last child; this element owns it from then on.
    virtual void AddChild(std::unique_ptr<XMLElement> element);

    const Children& GetChildren() const { return children_; }
    const Attributes& GetAttributes() const { return attributes_; }

private:
    std::wstring name_;
    Attributes attributes_;
    std::wstring text_;
    Children children_;
};
