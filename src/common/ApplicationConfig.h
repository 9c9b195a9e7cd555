#pragma once
// The interface through which settings are read and written: named integers, strings
// and booleans in sections.

#include <string>

class ApplicationConfig {
public:
    /// Releases the store; a writable text-file store writes its file here.
    virtual ~ApplicationConfig() = default;
    /// Selects the section the following calls address.
    virtual void SetSection(const std::wstring& name) = 0;
    /// Selects the section with the empty name.
    virtual void EndSection() = 0;
    virtual int GetInt(const std::wstring& key, int defaultValue) const = 0;
    virtual std::wstring GetString(const std::wstring& key, const std::wstring& defaultValue) const = 0;
    virtual bool GetBool(const std::wstring& key, bool defaultValue) const = 0;
    virtual void SetInt(const std::wstring& key, int value) = 0;
    virtual void SetString(const std::wstring& key, const std::wstring& value) = 0;
    virtual void SetBool(const std::wstring& key, bool value) = 0;
    /// "ini" for the text-file store, "mfc" for the profile store.
    virtual std::wstring Kind() const = 0;
};

/// The integer at the start of a setting's text: optional spaces, an optional sign and
/// digits; 0 when there are no digits; clamped to the range of int.
int LeadingInteger(const std::wstring& text);
