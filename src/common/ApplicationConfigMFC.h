#pragma once
// The profile store: settings kept in the application's private profile file, whose
// name the program sets at start-up (".\Kivaro.ini"). Built on IniFile: every read
// loads the file, every write rewrites it through a temporary file.

#include <string>

#include "common/ApplicationConfig.h"

class ApplicationConfigMFC : public ApplicationConfig {
public:
    /// Names the private profile file of the process (".\Kivaro.ini" until changed).
    static void SetProfileFile(const std::wstring& path);
    static std::wstring ProfileFile();

    void SetSection(const std::wstring& name) override { section_ = name; }
    void EndSection() override { section_.clear(); }
    /// The stored integer (leading digits), or the default when the key is absent.
    int GetInt(const std::wstring& key, int defaultValue) const override;
    std::wstring GetString(const std::wstring& key, const std::wstring& defaultValue) const override;
    /// True when the stored integer is greater than 0.
    bool GetBool(const std::wstring& key, bool defaultValue) const override;
    /// Writers throw exec_error ("Failed to write configuration.[WriteProfileInt(<errno>)]").
    void SetInt(const std::wstring& key, int value) override;
    void SetString(const std::wstring& key, const std::wstring& value) override;
    void SetBool(const std::wstring& key, bool value) override;
    std::wstring Kind() const override { return L"mfc"; }

private:
    void Write(const std::wstring& key, const std::wstring& value, const wchar_t* callName);

    std::wstring section_;
};
