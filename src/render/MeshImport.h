#pragma once
// Reads a mesh file with assimp, in the process that calls it. assimp's readers are not made
// for hostile files (a broken .x file can end the process), so the program itself never calls
// this: the mesh reader program does, and MeshReaderProcess runs that program.

#include <optional>
#include <string>

#include "render/MeshData.h"

class MeshImport {
public:
    /// The mesh of the file at the native path given, or nothing when assimp reads no mesh.
    static std::optional<MeshData> Read(const std::string& path);
};
