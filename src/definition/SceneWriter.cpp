#include "definition/SceneWriter.h"

#include <pwd.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <map>
#include <system_error>

#include "common/DateTime.h"
#include "common/FilePath.h"
#include "common/LogWriter.h"
#include "common/Messages.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "definition/DefinitionParser.h"
#include "definition/FieldItemAttribute.h"
#include "physics/FieldItemWorld.h"

namespace {

constexpr const wchar_t* kLogSource = L".\\SceneWriter";

/// The text of an XML attribute value or element text: the five markup characters as
/// references, and characters XML 1.0 cannot carry (controls other than tab, line feed and
/// carriage return, lone surrogates, U+FFFE and U+FFFF) left out.
std::string Escaped(const std::wstring& text) {
    std::wstring escaped;
    for (wchar_t c : text) {
        switch (c) {
        case L'&':
            escaped += L"&amp;";
            break;
        case L'<':
            escaped += L"&lt;";
            break;
        case L'>':
            escaped += L"&gt;";
            break;
        case L'"':
            escaped += L"&quot;";
            break;
        case L'\'':
            escaped += L"&apos;";
            break;
        case L'\t':
            escaped += L"&#9;";
            break;
        case L'\n':
            escaped += L"&#10;";
            break;
        case L'\r':
            escaped += L"&#13;";
            break;
        default: {
            const auto code = static_cast<std::uint32_t>(c);
            const bool allowed = (code >= 0x20 && code < 0xD800) || (code >= 0xE000 && code < 0xFFFE) ||
                                 (code >= 0x10000 && code <= 0x10FFFF);
            if (allowed) {
                escaped += c;
            }
        }
        }
    }
    return ToUtf8(escaped);
}

/// Nine significant digits: a float written so comes back as the same float.
std::string Number(float value) {
    char text[32];
    std::snprintf(text, sizeof text, "%.9g", static_cast<double>(value) == 0.0 ? 0.0 : value);
    return text;
}

std::string VectorText(const Vector3& v) {
    return Number(v.x) + "," + Number(v.y) + "," + Number(v.z);
}

/// The rotation vector (axis times angle, the angle in [0, π]) of a unit quaternion.
Vector3 RotationVector(const Quaternion& orientation) {
    Quaternion q = QuaternionNormalize(orientation);
    if (q.w < 0.0f) {
        q = {-q.x, -q.y, -q.z, -q.w};
    }
    const double sine = std::sqrt(static_cast<double>(q.x) * q.x + static_cast<double>(q.y) * q.y +
                                  static_cast<double>(q.z) * q.z);
    if (sine == 0.0) {
        return {};
    }
    const double scale = 2.0 * std::atan2(sine, static_cast<double>(q.w)) / sine;
    return {static_cast<float>(q.x * scale), static_cast<float>(q.y * scale),
            static_cast<float>(q.z * scale)};
}

std::string Parameter(const std::wstring& name, int type, const std::string& value) {
    static const std::map<int, const char*> kTypes = {{FieldItemAttribute::kFloat, "float"},
                                                      {FieldItemAttribute::kString, "string"},
                                                      {FieldItemAttribute::kVector, "vector"}};
    auto found = kTypes.find(type);
    return "\t\t<Parameter name=\"" + Escaped(name) + "\" type=\"" +
           (found != kTypes.end() ? found->second : "string") + "\">" + value + "</Parameter>\n";
}

} // namespace

std::string SceneWriter::Text(FieldItemWorld& world, const Information& information, float lowering,
                              int* skipped) {
    std::string text = "<?xml version=\"1.0\" encoding=\"UTF-8\"?>\n";
    text += "<Field format=\"" + std::to_string(DefinitionParser::kFormatVersion) + "\" date=\"" +
            Escaped(information.date) + "\">\n";
    // the same header whatever the language the file is read in
    for (const char* language : {"en", "ja"}) {
        text += std::string("\t<Information xml:lang=\"") + language + "\" name=\"" +
                Escaped(information.name) + "\" author=\"" + Escaped(information.author) +
                "\" comment=\"\"/>\n";
    }

    // live and pending members, by name: an item added during this tick is in the scene too
    std::map<std::wstring, FieldItem*> items;
    for (const auto& [name, item] : world.Members()) {
        items[name] = item.get();
    }
    for (const auto& [name, item] : world.Pending()) {
        items.emplace(name, item.get());
    }

    int left = 0;
    for (const auto& [name, item] : items) {
        if (FieldItemWorld::IsBuiltInName(name) || item->IsDeleted()) {
            continue;
        }
        const ItemOrigin* origin = item->Origin();
        if (origin == nullptr) {
            ++left;
            continue;
        }

        // an item whose state is no longer finite (blown up) would make the file unreadable
        const Vector3 velocity = item->Velocity();
        const Vector3 spin = item->AngularVelocity();
        const Quaternion turn = item->Orientation();
        const Vector3 place = item->Transform().Translation();
        const float values[] = {place.x,    place.y,    place.z,    turn.x, turn.y, turn.z, turn.w,
                                velocity.x, velocity.y, velocity.z, spin.x, spin.y, spin.z};
        if (!std::all_of(std::begin(values), std::end(values), [](float v) { return std::isfinite(v); })) {
            ++left;
            continue;
        }

        // the placement that makes the item where it is: its centre of mass less the offset of
        // the type's parts, raised by what adding it will take off
        const Quaternion& orientation = item->Orientation();
        Vector3 position = item->Transform().Translation() - Rotate(orientation, origin->centreOffset);
        position.y += lowering;
        const std::map<std::wstring, std::string> standard = {
            {L"position", VectorText(position)},
            {L"angle", VectorText(RotationVector(orientation))},
            {L"velocity", VectorText(item->Velocity())},
            {L"angular_velocity", VectorText(item->AngularVelocity())}};

        text += "\t<Item name=\"" + Escaped(name) + "\" type=\"" + Escaped(origin->type) + "\"" +
                (item->IsFixed() ? " fixed=\"true\"" : "") + ">\n";
        for (const ItemOrigin::Parameter& parameter : origin->parameters) {
            auto state = standard.find(parameter.name);
            text += Parameter(parameter.name, parameter.type,
                              state != standard.end() ? state->second : Escaped(parameter.value));
        }
        text += "\t</Item>\n";
    }
    text += "</Field>\n";
    if (skipped != nullptr) {
        *skipped = left;
    }
    return text;
}

std::wstring SceneWriter::PathFor(const std::wstring& name) {
    std::wstring fileName;
    for (wchar_t c : name) {
        const bool unsafe =
            c < 0x20 || c == 0x7F || std::wstring_view(L"\\/:*?\"<>|").find(c) != std::wstring::npos;
        fileName += unsafe ? L'_' : c;
    }
    // no hidden files, no "." or ".." and no white space at the ends
    while (!fileName.empty() && (fileName.front() == L'.' || fileName.front() == L' ')) {
        fileName.erase(0, 1);
    }
    while (!fileName.empty() && (fileName.back() == L'.' || fileName.back() == L' ')) {
        fileName.pop_back();
    }
    if (fileName.size() > kMaximumFileNameLength) {
        fileName.resize(kMaximumFileNameLength);
    }
    if (fileName.empty()) {
        fileName = L"scene";
    }
    return std::wstring(kSceneFolder) + L"\\" + fileName + L".wtf";
}

bool SceneWriter::Exists(const std::wstring& path) {
    std::error_code error;
    return std::filesystem::exists(std::filesystem::path(ToNativePath(path)), error);
}

bool SceneWriter::Write(const std::wstring& path, const std::string& text, bool overwrite) {
    const std::filesystem::path target(ToNativePath(path));
    auto fail = [&](int line, const std::string& reason) {
        Log(kLogSource, line, L"file[" + path + L"]" + FromUtf8(reason), 1);
        throw file_error(ProgramMessage(160) + L"[" + path + L"]\r\n" + FromUtf8(reason));
    };
    if (!overwrite && Exists(path)) {
        return false;
    }
    std::error_code error;
    if (target.has_parent_path()) {
        std::filesystem::create_directories(target.parent_path(), error);
        if (error) {
            fail(__LINE__, error.message());
        }
    }

    // into a temporary file beside the target, then renamed over it in one step
    const std::filesystem::path temporary = target.string() + ".tmp" + std::to_string(getpid());
    {
        std::ofstream file(temporary, std::ios::binary | std::ios::trunc);
        file.write(text.data(), static_cast<std::streamsize>(text.size()));
        file.close();
        if (!file) {
            std::filesystem::remove(temporary, error);
            fail(__LINE__, "write failed");
        }
    }
    // the existence check and the rename are not one step: a file that appeared meanwhile is
    // not replaced unless asked for
    if (!overwrite && Exists(path)) {
        std::filesystem::remove(temporary, error);
        return false;
    }
    std::filesystem::rename(temporary, target, error);
    if (error) {
        std::filesystem::remove(temporary, error);
        fail(__LINE__, error.message());
    }
    return true;
}

std::wstring SceneWriter::Today() {
    DateTime now;
    now.SetNow();
    char text[16];
    std::snprintf(text, sizeof text, "%04d-%02d-%02d", now.year, now.month, now.day);
    return FromUtf8(text);
}

std::wstring SceneWriter::UserName() {
    // the password database first: the environment may lack or misname the user
    long size = sysconf(_SC_GETPW_R_SIZE_MAX);
    std::string buffer(size > 0 ? static_cast<std::size_t>(size) : 16384, '\0');
    passwd entry{};
    passwd* found = nullptr;
    if (getpwuid_r(getuid(), &entry, buffer.data(), buffer.size(), &found) == 0 && found != nullptr &&
        found->pw_name != nullptr) {
        return FromUtf8(found->pw_name);
    }
    const char* user = std::getenv("USER");
    return user != nullptr ? FromUtf8(user) : std::wstring();
}
