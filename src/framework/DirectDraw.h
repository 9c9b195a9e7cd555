#pragma once
// The 2-D surface part. This program draws with the Direct3D part only, so the
// part exists as far as the application refers to it: creating it reports that
// no 2-D surface device is available.

#include "framework/DirectX.h"

struct DirectDrawConfig {
    bool fullScreen = false;
    int width = 640;
    int height = 480;
    int reserved = 0;
};

class DirectDraw : public DirectX {
public:
    /// Always fails with an init_error: there is no 2-D surface device in this program.
    virtual void Create(const DirectDrawConfig& config);
    void Free() override;
    /// Clears the front and back buffers to black; nothing to clear without a device.
    virtual void ClearBuffers();
};
