#pragma once
// The document: holds no data of its own (the world lives in the tester application),
// only one integer property. A plain class: the Qt shell has no document framework.

#include <cstdint>

class CMirelDoc {
public:
    std::int32_t Value() const { return value_; }
    void SetValue(std::int32_t value) { value_ = value; }

private:
    std::int32_t value_ = 0;
};
