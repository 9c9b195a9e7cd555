// The meshes of the data folder, read as the renderer reads them when an item is made: the
// input is written to a scratch ".x" file and loaded through the render library's model. No
// OpenGL context is made: loading decodes only, uploading waits for the first draw. Hostile
// bytes must end in the loading failure's file_error, never in a crash.

#include <unistd.h>

#include <cstddef>
#include <cstdint>
#include <cstdlib>
#include <new>
#include <string>

#include "common/FileBytes.h"
#include "common/myexception.h"
#include "render/GlModel.h"

// Allocation failures as the program meets them: the mesh reader reserves what a file's counts
// announce and gives up with a failure when the system refuses (std::bad_alloc, which it
// catches). AddressSanitizer would end the process on such a request instead, so this target
// allocates through malloc and throws as the system's allocator does; a request of more than
// kHugeAllocation stands for one the system refuses.
namespace {
constexpr std::size_t kHugeAllocation = std::size_t{1} << 30;

void* Allocate(std::size_t size) {
    void* memory = size <= kHugeAllocation ? std::malloc(size == 0 ? 1 : size) : nullptr;
    if (memory == nullptr) {
        throw std::bad_alloc();
    }
    return memory;
}
} // namespace

void* operator new(std::size_t size) {
    return Allocate(size);
}
void* operator new[](std::size_t size) {
    return Allocate(size);
}
void* operator new(std::size_t size, const std::nothrow_t&) noexcept {
    return size <= kHugeAllocation ? std::malloc(size == 0 ? 1 : size) : nullptr;
}
void* operator new[](std::size_t size, const std::nothrow_t&) noexcept {
    return size <= kHugeAllocation ? std::malloc(size == 0 ? 1 : size) : nullptr;
}
void operator delete(void* memory) noexcept {
    std::free(memory);
}
void operator delete[](void* memory) noexcept {
    std::free(memory);
}
void operator delete(void* memory, std::size_t) noexcept {
    std::free(memory);
}
void operator delete[](void* memory, std::size_t) noexcept {
    std::free(memory);
}

namespace {

const wchar_t* const kMeshName = L"mesh.x";

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***) {
    const char* shared = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string folder = std::string(shared) + "/kivaro_fuzz_mesh_XXXXXX";
    if (mkdtemp(folder.data()) == nullptr || chdir(folder.c_str()) != 0) {
        std::abort();
    }
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
    const std::wstring name = kMeshName;
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
