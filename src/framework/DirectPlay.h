#pragma once
// The network session part. This program never joins a session, so the part
// exists as far as the application refers to it: creating it reports that no
// network session service is available.

#include <array>
#include <cstdint>

#include "framework/DirectX.h"

struct DirectPlayConfig {
    /// The application identifier (a 16-byte GUID).
    std::array<std::uint8_t, 16> applicationGuid{};
    std::int32_t reserved = 0;
};

class DirectPlay : public DirectX {
public:
    /// Always fails with an init_error: there is no network session service in this program.
    virtual void Create(const DirectPlayConfig& config);
    void Free() override;
    /// The application identifier a derived program supplies; all zero here.
    virtual std::array<std::uint8_t, 16> ApplicationGuid() const { return {}; }
};
