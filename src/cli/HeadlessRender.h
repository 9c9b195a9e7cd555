#pragma once
// kivaro-sim --render FILE.png [--view 0|1] [--size WxH]: the last state of the run drawn
// as the desktop program draws it (same camera, light, shadows and textures) into a PNG,
// on no display. The drawing device comes from the render library's module, loaded at run
// time, so that the simulator links no graphics library.

#include <memory>
#include <optional>
#include <string>
#include <vector>

class Direct3D;
class FieldItemWorld;
class RenderModule;

class HeadlessRender {
public:
    struct Options {
        std::string path;
        int viewMode = 0;
        int width = 640;
        int height = 480;
    };

    /// The usage lines of the options.
    static const char* Usage();
    /// Takes --render, --view and --size with their values out of the arguments (the others
    /// keep their order). Empty without --render; throws std::invalid_argument for a bad value
    /// or for --view or --size without --render.
    static std::optional<Options> TakeOptions(std::vector<std::string>& arguments);

    /// Loads the module and makes the device, before any item exists (the items' meshes and
    /// textures are made on it). Throws myexception with a message for the user when there is
    /// no module or no device.
    explicit HeadlessRender(const Options& options);
    /// The objects on the device, then the device.
    ~HeadlessRender();
    HeadlessRender(const HeadlessRender&) = delete;
    HeadlessRender& operator=(const HeadlessRender&) = delete;

    /// Draws the world into the PNG; throws myexception when it cannot be written.
    void Draw(FieldItemWorld& world);

private:
    Options options_;
    RenderModule* module_ = nullptr;
    std::unique_ptr<Direct3D> graphics_;
};
