// The meshes of the data folder, read as the renderer reads them when an item is made: the
// input is written to a scratch ".x" file and loaded through the render library's model,
// which has the mesh reader program read it. No OpenGL context is made: loading decodes only,
// uploading waits for the first draw. Hostile bytes must end in the loading failure's
// file_error, never in a crash: a crash or a hang of assimp ends the reader, not this program.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <filesystem>
#include <string>

#include "common/FileBytes.h"
#include "common/FilePath.h"
#include "common/myexception.h"
#include "render/GlModel.h"

namespace {

/// The scratch folder (the working folder stays where libFuzzer leaves its findings).
std::string gFolder;
std::wstring gMeshName;

void RemoveFolder() {
    std::error_code error;
    std::filesystem::remove_all(gFolder, error);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* shared = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    gFolder = std::string(shared) + "/kivaro_fuzz_mesh_XXXXXX";
    if (mkdtemp(gFolder.data()) == nullptr) {
        std::abort();
    }
    gMeshName = FromNativePath(gFolder + "/mesh.x");
    std::atexit(RemoveFolder);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring& name = gMeshName;
    if (!WriteFileBytes(name, std::string(reinterpret_cast<const char*>(data), size))) {
        std::abort();
    }
    try {
        GlModel model;
        model.Load(name);
    } catch (const file_error&) {
        // the loading failure, as the item being made reports it
    }
    return 0;
}
