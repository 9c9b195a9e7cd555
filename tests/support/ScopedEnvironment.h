#pragma once
// Sets or clears environment variables for a scope and restores their previous texts;
// tests use it to choose the message language through LC_ALL, LC_MESSAGES and LANG.

#include <cstdlib>
#include <optional>
#include <string>
#include <utility>
#include <vector>

class ScopedEnvironment {
public:
    ScopedEnvironment() = default;
    ~ScopedEnvironment() {
        for (auto it = saved_.rbegin(); it != saved_.rend(); ++it) {
            if (it->second) {
                setenv(it->first.c_str(), it->second->c_str(), 1);
            } else {
                unsetenv(it->first.c_str());
            }
        }
    }
    ScopedEnvironment(const ScopedEnvironment&) = delete;
    ScopedEnvironment& operator=(const ScopedEnvironment&) = delete;

    /// Sets the variable; null clears it.
    ScopedEnvironment& Set(const std::string& name, const char* value) {
        const char* previous = std::getenv(name.c_str());
        saved_.emplace_back(name, previous ? std::optional<std::string>(previous) : std::nullopt);
        if (value) {
            setenv(name.c_str(), value, 1);
        } else {
            unsetenv(name.c_str());
        }
        return *this;
    }

    /// Clears LC_ALL and LC_MESSAGES and sets LANG: the simplest way to pick a language.
    ScopedEnvironment& Language(const char* lang) {
        return Set("LC_ALL", nullptr).Set("LC_MESSAGES", nullptr).Set("LANG", lang);
    }

private:
    std::vector<std::pair<std::string, std::optional<std::string>>> saved_;
};
