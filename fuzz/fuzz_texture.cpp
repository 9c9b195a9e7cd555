// The textures a definition can name, read as the renderer reads them when an item is made:
// the first byte of the input chooses the name the rest is written under (a toy may name any
// file), and the file is loaded through the render library's texture. No OpenGL context is
// made: loading decodes only, uploading waits for the first draw. Hostile bytes must end in
// the loading failure's file_error, never in a crash.

#include <unistd.h>

#include <QCoreApplication>
#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <iterator>
#include <string>

#include "common/FileBytes.h"
#include "common/myexception.h"
#include "render/GlTexture.h"

namespace {

// image names a toy may give: the formats Qt's readers know, by extension or by content
const wchar_t* const kImageNames[] = {L"image.png", L"image.jpg", L"image.bmp", L"image.gif",
                                      L"image.ppm", L"image.xpm", L"image.ico", L"image"};

/// Lives as long as the process: destroyed at exit it would outlive the arguments it was given.
QCoreApplication* gApplication = nullptr;

} // namespace

extern "C" int LLVMFuzzerInitialize(int* argc, char*** argv) {
    // the image readers of Qt's plugins are found through the application; no display is needed
    gApplication = new QCoreApplication(*argc, *argv);
    const char* shared = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(shared) + "/kivaro_fuzz_texture_XXXXXX";
    if (mkdtemp(folder.data()) == nullptr || chdir(folder.c_str()) != 0) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    if (size == 0) {
        return 0;
    }
    const std::size_t choice = data[0];
    if (choice >= std::size(kImageNames)) {
        return 0;
    }
    const std::wstring name = kImageNames[choice];
    if (!WriteFileBytes(name, std::string(reinterpret_cast<const char*>(data) + 1, size - 1))) {
        std::abort();
    }
    try {
        GlTexture texture;
        texture.Load(name);
    } catch (const file_error&) {
        // the loading failure, as the item being made reports it
    }
    return 0;
}
