// The mesh reader program: reads the mesh file named by its argument with assimp and writes
// the mesh to its standard output (MeshData's bytes). Exit status 0 with the mesh, 1 when the
// file holds no mesh assimp reads, 2 on a wrong call or a failed write. The program that asks
// (MeshReaderProcess) treats every other end, a crash included, as a loading failure.

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "render/MeshImport.h"

// the sanitizers' runtimes, when this program runs under one (the fuzz build instruments the
// libraries only, so the program's own compile options do not tell)
extern "C" void __asan_init() __attribute__((weak));
extern "C" void __tsan_init() __attribute__((weak));

namespace {

// far above what assimp needs for the largest mesh file the program accepts (16 MiB): a count
// in a hostile file that asks for more ends in a failed allocation, not in the machine's swap
constexpr rlim_t kAddressSpaceLimit = rlim_t{2} << 30;

bool WriteAll(const std::string& bytes) {
    std::size_t written = 0;
    while (written < bytes.size()) {
        const ssize_t count = write(STDOUT_FILENO, bytes.data() + written, bytes.size() - written);
        if (count < 0) {
            if (errno == EINTR) {
                continue;
            }
            return false;
        }
        written += static_cast<std::size_t>(count);
    }
    return true;
}

} // namespace

int main(int argc, char** argv) {
    if (argc != 2) {
        return 2;
    }
    // the sanitizers reserve far more address space than they use: no limit under them
    if (__asan_init == nullptr && __tsan_init == nullptr) {
        const rlimit limit{kAddressSpaceLimit, kAddressSpaceLimit};
        setrlimit(RLIMIT_AS, &limit);
    }
    const std::optional<MeshData> mesh = MeshImport::Read(argv[1]);
    // _exit: nothing left to tidy, and the leak checker would take assimp's own keeps
    // for the reader's failure
    if (!mesh) {
        _exit(1);
    }
    _exit(WriteAll(mesh->Encode()) ? 0 : 2);
}
