#include "cli/JsonLine.h"

#include <cmath>
#include <cstdio>

#include "common/WideText.h"

std::string JsonLine::Quote(const std::string& utf8) {
    std::string quoted = "\"";
    for (unsigned char c : utf8) {
        switch (c) {
        case '"':
            quoted += "\\\"";
            break;
        case '\\':
            quoted += "\\\\";
            break;
        case '\n':
            quoted += "\\n";
            break;
        case '\r':
            quoted += "\\r";
            break;
        case '\t':
            quoted += "\\t";
            break;
        default:
            if (c < 0x20) {
                char escape[8];
                std::snprintf(escape, sizeof escape, "\\u%04x", c);
                quoted += escape;
            } else {
                quoted += static_cast<char>(c);
            }
        }
    }
    return quoted + "\"";
}

std::string JsonLine::Number(double number, int digits) {
    if (!std::isfinite(number)) {
        return "null";
    }
    char text[40];
    std::snprintf(text, sizeof text, "%.*g", digits, number);
    return text;
}

void JsonLine::Key(const char* key) {
    if (body_.size() > 1) {
        body_ += ',';
    }
    body_ += Quote(key);
    body_ += ':';
}

JsonLine& JsonLine::Add(const char* key, const std::wstring& text) {
    Key(key);
    body_ += Quote(ToUtf8(text));
    return *this;
}

JsonLine& JsonLine::Add(const char* key, const char* text) {
    Key(key);
    body_ += Quote(text);
    return *this;
}

JsonLine& JsonLine::Add(const char* key, double number) {
    Key(key);
    body_ += Number(number, 17);
    return *this;
}

JsonLine& JsonLine::Add(const char* key, float number) {
    Key(key);
    body_ += Number(number, 9);
    return *this;
}

JsonLine& JsonLine::Add(const char* key, long long number) {
    Key(key);
    body_ += std::to_string(number);
    return *this;
}

void JsonLine::AppendArray(std::initializer_list<float> components) {
    body_ += '[';
    bool first = true;
    for (float component : components) {
        if (!first) {
            body_ += ',';
        }
        first = false;
        body_.append(Number(component, 9));
    }
    body_ += ']';
}

JsonLine& JsonLine::Add(const char* key, const Vector3& vector) {
    Key(key);
    AppendArray({vector.x, vector.y, vector.z});
    return *this;
}

JsonLine& JsonLine::Add(const char* key, const Quaternion& quaternion) {
    Key(key);
    AppendArray({quaternion.x, quaternion.y, quaternion.z, quaternion.w});
    return *this;
}
