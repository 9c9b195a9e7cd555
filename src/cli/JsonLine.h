#pragma once
// One JSON object written as one line: keys in the order they are added, texts in
// UTF-8, floats with 9 and doubles with 17 significant digits, non-finite numbers as null.

#include <initializer_list>
#include <string>

#include "physics/Quaternion.h"
#include "physics/Vector3.h"

class JsonLine {
public:
    JsonLine& Add(const char* key, const std::wstring& text);
    JsonLine& Add(const char* key, const char* text);
    JsonLine& Add(const char* key, double number);
    JsonLine& Add(const char* key, float number);
    JsonLine& Add(const char* key, long long number);
    JsonLine& Add(const char* key, int number) { return Add(key, static_cast<long long>(number)); }
    JsonLine& Add(const char* key, const Vector3& vector);
    JsonLine& Add(const char* key, const Quaternion& quaternion);

    /// The object's text without the line break.
    std::string Text() const { return body_ + "}"; }

    static std::string Quote(const std::string& utf8);
    static std::string Number(double number, int digits);

private:
    void Key(const char* key);
    void AppendArray(std::initializer_list<float> components);

    std::string body_ = "{";
};
