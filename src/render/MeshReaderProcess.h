#pragma once
// Reads a mesh file in a short-lived child process, the mesh reader program, which loads it
// with assimp and writes the mesh to a pipe. assimp's readers can crash or hang on a hostile
// file; in the child such a file costs only the child, and the caller sees a failure.

#include <cstddef>
#include <cstdint>
#include <string>

#include "render/MeshData.h"

class MeshReaderProcess {
public:
    /// The mesh reader program's file name, beside the program or in its private folder.
    static constexpr const char* kProgramName = "kivaro-mesh-reader";
    /// Mesh files above this size are refused unread: the bundled meshes are under 150 kB.
    static constexpr std::uintmax_t kMaxFileBytes = std::uintmax_t{16} << 20;
    /// A reader that sends more than this is stopped: no mesh of kMaxFileBytes needs it.
    static constexpr std::size_t kMaxMeshBytes = std::size_t{256} << 20;
    /// A reader that takes longer than this is stopped (the bundled meshes take milliseconds).
    static constexpr int kTimeLimitMs = 10000;

    enum class Outcome {
        /// The mesh was read.
        Loaded,
        /// The file is missing or no regular file.
        NotFound,
        /// The file is larger than kMaxFileBytes.
        TooLarge,
        /// The reader found no mesh in the file.
        NoMesh,
        /// The reader ended by a signal, gave no whole mesh, or ran out of time or room.
        ReaderFailed,
        /// The reader program could not be started.
        NoReader,
    };

    /// Reads the mesh of the file at the native path given into mesh when it returns Loaded;
    /// detail says why it did not (for the log).
    static Outcome Read(const std::string& path, MeshData& mesh, std::string& detail);
    /// The reader program's path: beside the running program, else in ../lib/kivaro; empty
    /// when neither exists.
    static std::string ProgramPath();
};
