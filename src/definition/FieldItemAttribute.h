#pragma once
// A typed, named value of a definition file: a declared Attribute (no value), a
// Parameter or Const (its element text), or an evaluated value.

#include <string>
#include <utility>

class FieldItemAttribute {
public:
    enum Type { kFloat = 1, kString = 2, kVector = 3 };

    FieldItemAttribute(std::wstring name, int type, std::wstring value = {})
        : name_(std::move(name)), type_(type), value_(std::move(value)) {}
    virtual ~FieldItemAttribute() = default;
    FieldItemAttribute(const FieldItemAttribute&) = default;
    FieldItemAttribute& operator=(const FieldItemAttribute&) = default;
    FieldItemAttribute(FieldItemAttribute&&) noexcept = default;
    FieldItemAttribute& operator=(FieldItemAttribute&&) noexcept = default;

    virtual const std::wstring& Name() const { return name_; }
    virtual int Type() const { return type_; }
    virtual const std::wstring& Value() const { return value_; }
    virtual void SetValue(const std::wstring& value) { value_ = value; }

    /// "float", "string" or "vector" in any letter case; anything else is a file_error.
    static FieldItemAttribute Create(const std::wstring& name, const std::wstring& typeText);

private:
    std::wstring name_;
    int type_;
    std::wstring value_;
};
