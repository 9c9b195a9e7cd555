#include "cli/HeadlessRender.h"

#include <dlfcn.h>
#include <unistd.h>

#include <climits>
#include <filesystem>
#include <stdexcept>

#include "common/WideText.h"
#include "common/myexception.h"
#include "framework/D3DObjectManager.h"
#include "framework/Direct3D.h"
#include "framework/RenderModule.h"
#include "physics/FieldItemWorld.h"
#include "physics/PlayerLocal.h"
#include "tester/MirelConfig.h"
#include "tester/WorldPainter.h"

namespace {

/// The graphics part alone, with no window: what the module's device is made for.
class OffscreenGraphics : public Direct3D {
public:
    MainWindowLink* GetWindow() override { return nullptr; }
    void* GetInstance() override { return nullptr; }
};

/// The largest picture edge accepted, pixels: as large as OpenGL framebuffers go on most drivers.
constexpr int kMaximumEdge = 16384;

int ParseInteger(const std::string& text, const std::string& option) {
    std::size_t used = 0;
    int value = 0;
    try {
        value = std::stoi(text, &used);
    } catch (const std::exception&) {
        used = 0;
    }
    if (used == 0 || used != text.size()) {
        throw std::invalid_argument(
            std::string(option).append(" needs a number, not \"").append(text).append("\""));
    }
    return value;
}

/// The module beside the program (the build tree), then in its private library folder.
std::vector<std::filesystem::path> ModuleCandidates() {
    std::vector<std::filesystem::path> candidates;
    std::error_code error;
    const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
    if (!error) {
        candidates.push_back(program.parent_path() / RenderModule::kFileName);
        candidates.push_back(program.parent_path().parent_path() / "lib" / "kivaro" /
                             RenderModule::kFileName);
    }
    return candidates;
}

RenderModule* LoadModule() {
    std::string failures;
    for (const std::filesystem::path& candidate : ModuleCandidates()) {
        if (!std::filesystem::exists(candidate)) {
            continue;
        }
        // kept loaded to the end: the graphics libraries it brings cannot be unloaded safely
        void* handle = dlopen(candidate.c_str(), RTLD_NOW | RTLD_LOCAL);
        if (handle == nullptr) {
            const char* reason = dlerror();
            failures.append("\n").append(reason != nullptr ? reason : candidate.c_str());
            continue;
        }
        using Entry = RenderModule* (*)();
        auto entry = reinterpret_cast<Entry>(dlsym(handle, RenderModule::kEntryName));
        if (entry != nullptr) {
            return entry();
        }
        failures.append("\n").append(candidate.c_str()).append(": no ").append(RenderModule::kEntryName);
    }
    throw exec_error(L"--render: the drawing module " + FromUtf8(RenderModule::kFileName) +
                     L" cannot be loaded beside the program or in its lib/kivaro folder" +
                     FromUtf8(failures));
}

} // namespace

const char* HeadlessRender::Usage() {
    return "  --render FILE.png   after the run, draw the world as the desktop program does into a PNG\n"
           "                      (no display needed: OpenGL through EGL)\n"
           "  --view 0|1          the picture's camera: 0 isometric (default), 1 from above\n"
           "  --size WxH          the picture's size in pixels (default 640x480)\n";
}

std::optional<HeadlessRender::Options> HeadlessRender::TakeOptions(std::vector<std::string>& arguments) {
    Options options;
    bool render = false;
    bool other = false;
    std::vector<std::string> rest;
    for (std::size_t i = 0; i < arguments.size(); ++i) {
        const std::string& argument = arguments[i];
        if (argument != "--render" && argument != "--view" && argument != "--size") {
            rest.push_back(argument);
            continue;
        }
        if (i + 1 >= arguments.size()) {
            throw std::invalid_argument(argument + " needs a value");
        }
        const std::string& value = arguments[++i];
        if (argument == "--render") {
            if (value.empty()) {
                throw std::invalid_argument("--render needs a file name");
            }
            // the run changes into --root: the picture's place is taken from where the user is
            options.path = std::filesystem::absolute(value).string();
            render = true;
        } else if (argument == "--view") {
            options.viewMode = ParseInteger(value, argument);
            if (options.viewMode != 0 && options.viewMode != 1) {
                throw std::invalid_argument("--view is 0 (isometric) or 1 (from above)");
            }
            other = true;
        } else {
            const std::size_t x = value.find('x');
            if (x == std::string::npos) {
                throw std::invalid_argument("--size is WIDTHxHEIGHT, such as 640x480");
            }
            options.width = ParseInteger(value.substr(0, x), argument);
            options.height = ParseInteger(value.substr(x + 1), argument);
            if (options.width < 1 || options.height < 1 || options.width > kMaximumEdge ||
                options.height > kMaximumEdge) {
                throw std::invalid_argument("--size takes 1 to " + std::to_string(kMaximumEdge) +
                                            " pixels each way");
            }
            other = true;
        }
    }
    if (!render) {
        if (other) {
            throw std::invalid_argument("--view and --size go with --render");
        }
        return std::nullopt;
    }
    arguments = std::move(rest);
    return options;
}

HeadlessRender::HeadlessRender(const Options& options) : options_(options) {
    module_ = LoadModule();
    graphics_ = std::make_unique<OffscreenGraphics>();
    graphics_->SetDeviceProvider(&module_->DeviceProvider());
    Direct3DConfig config;
    config.width = options_.width;
    config.height = options_.height;
    try {
        graphics_->Create(config);
    } catch (const myexception& error) {
        throw exec_error(L"--render: no OpenGL 3.3 context can be made without a display (EGL): " +
                         std::wstring(error.what()));
    }
    D3DObjectManager& manager = D3DObjectManager::Instance();
    manager.SetFactory(module_->NewObjectFactory());
    manager.SetDevice(graphics_.get());
}

HeadlessRender::~HeadlessRender() {
    // the objects hold names of the device's context: they go first
    D3DObjectManager::Destroy();
    graphics_.reset();
}

void HeadlessRender::Draw(FieldItemWorld& world) {
    RenderDevice* device = graphics_->Device();
    if (device == nullptr || !device->BeginScene()) {
        throw exec_error(L"--render: the drawing device cannot draw");
    }
    WorldPainter painter;
    painter.SetupDeviceState(device);
    WorldPainter::View view;
    view.width = options_.width;
    view.height = options_.height;
    view.viewMode = options_.viewMode;
    view.zoomFactor = MirelConfig::Instance().ZoomFactor();
    // items still pending (a run of no ticks) are shown as the desktop program's next frame shows them
    world.CommitPending();
    world.UpdateWorld(nullptr, nullptr);
    painter.DrawPass(*device, world, dynamic_cast<PlayerLocal*>(world.Find(L"localplayer")), view, 0);
    device->EndScene();
    module_->SaveFrame(*device, FromUtf8(options_.path));
}
