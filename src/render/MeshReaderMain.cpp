// The mesh reader program: reads the mesh file named by its argument with assimp and writes
// the mesh to its standard output (MeshData's bytes). Exit status 0 with the mesh, 1 when the
// file holds no mesh assimp reads, 2 on a wrong call or a failed write. The program that asks
// (MeshReaderProcess) treats every other end, a crash included, as a loading failure.

#include <sys/resource.h>
#include <unistd.h>

#include <cerrno>
#include <string>

#include "render/MeshImport.h"

#if defined(__SANITIZE_ADDRESS__) || defined(__SANITIZE_THREAD__)
#define KIVARO_SANITIZED 1
#elif defined(__has_feature)
#if __has_feature(address_sanitizer) || __has_feature(thread_sanitizer)
#define KIVARO_SANITIZED 1
#endif
#endif

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
#ifndef KIVARO_SANITIZED
    // the sanitizers reserve far more address space than they use: no limit under them
    const rlimit limit{kAddressSpaceLimit, kAddressSpaceLimit};
    setrlimit(RLIMIT_AS, &limit);
#endif
    const std::optional<MeshData> mesh = MeshImport::Read(argv[1]);
    // _exit: nothing left to tidy, and the leak checker would take assimp's own keeps
    // for the reader's failure
    if (!mesh) {
        _exit(1);
    }
    _exit(WriteAll(mesh->Encode()) ? 0 : 2);
}
