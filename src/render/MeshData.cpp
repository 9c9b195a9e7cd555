#include "render/MeshData.h"

#include <cstring>

namespace {

// "KVM1": the bytes are a mesh of this program, in this layout
constexpr std::uint32_t kMagic = 0x314d564bu;

void PutWord(std::string& out, std::uint32_t value) {
    char bytes[sizeof value];
    std::memcpy(bytes, &value, sizeof value);
    out.append(bytes, sizeof value);
}

void PutFloats(std::string& out, const float* values, std::size_t count) {
    out.append(reinterpret_cast<const char*>(values), count * sizeof(float));
}

/// Reads the bytes front to back; every read fails once one has run past the end.
class ByteCursor {
public:
    explicit ByteCursor(std::string_view bytes) : bytes_(bytes) {}

    bool Word(std::uint32_t& value) { return Copy(&value, sizeof value); }
    bool Copy(void* target, std::size_t size) {
        if (size > bytes_.size() - position_) {
            return false;
        }
        std::memcpy(target, bytes_.data() + position_, size);
        position_ += size;
        return true;
    }
    /// Whether count items of the size given can still follow (so that no count makes a
    /// vector larger than the bytes that back it).
    bool Holds(std::uint32_t count, std::size_t size) const {
        return count <= (bytes_.size() - position_) / size;
    }
    bool AtEnd() const { return position_ == bytes_.size(); }

private:
    std::string_view bytes_;
    std::size_t position_ = 0;
};

constexpr std::size_t kMaterialFloats = sizeof(MaterialRecord) / sizeof(float);
static_assert(sizeof(MaterialRecord) == kMaterialFloats * sizeof(float), "a material is floats only");

} // namespace

std::string MeshData::Encode() const {
    std::string out;
    PutWord(out, kMagic);
    PutWord(out, static_cast<std::uint32_t>(materials.size()));
    for (std::size_t i = 0; i < materials.size(); ++i) {
        PutFloats(out, reinterpret_cast<const float*>(&materials[i]), kMaterialFloats);
        const std::string& name = i < textureNames.size() ? textureNames[i] : std::string();
        PutWord(out, static_cast<std::uint32_t>(name.size()));
        out.append(name);
        const Subset subset = i < subsets.size() ? subsets[i] : Subset();
        PutWord(out, subset.firstIndex);
        PutWord(out, subset.indexCount);
    }
    PutWord(out, static_cast<std::uint32_t>(vertices.size()));
    PutFloats(out, vertices.data(), vertices.size());
    PutWord(out, static_cast<std::uint32_t>(indices.size()));
    out.append(reinterpret_cast<const char*>(indices.data()), indices.size() * sizeof(std::uint32_t));
    return out;
}

std::optional<MeshData> MeshData::Decode(std::string_view bytes) {
    ByteCursor cursor(bytes);
    MeshData mesh;
    std::uint32_t magic = 0;
    std::uint32_t materialCount = 0;
    if (!cursor.Word(magic) || magic != kMagic || !cursor.Word(materialCount) ||
        !cursor.Holds(materialCount, sizeof(MaterialRecord) + 3 * sizeof(std::uint32_t))) {
        return std::nullopt;
    }
    for (std::uint32_t i = 0; i < materialCount; ++i) {
        MaterialRecord material;
        std::uint32_t nameLength = 0;
        Subset subset;
        if (!cursor.Copy(&material, sizeof material) || !cursor.Word(nameLength) ||
            !cursor.Holds(nameLength, 1)) {
            return std::nullopt;
        }
        std::string name(nameLength, '\0');
        if (!cursor.Copy(name.data(), nameLength) || !cursor.Word(subset.firstIndex) ||
            !cursor.Word(subset.indexCount)) {
            return std::nullopt;
        }
        mesh.materials.push_back(material);
        mesh.textureNames.push_back(std::move(name));
        mesh.subsets.push_back(subset);
    }
    std::uint32_t floatCount = 0;
    if (!cursor.Word(floatCount) || floatCount % kVertexFloats != 0 ||
        !cursor.Holds(floatCount, sizeof(float))) {
        return std::nullopt;
    }
    mesh.vertices.resize(floatCount);
    std::uint32_t indexCount = 0;
    if (!cursor.Copy(mesh.vertices.data(), floatCount * sizeof(float)) || !cursor.Word(indexCount) ||
        !cursor.Holds(indexCount, sizeof(std::uint32_t))) {
        return std::nullopt;
    }
    mesh.indices.resize(indexCount);
    if (!cursor.Copy(mesh.indices.data(), indexCount * sizeof(std::uint32_t)) || !cursor.AtEnd()) {
        return std::nullopt;
    }

    // the ranges follow one another over the whole index list; every index names a vertex
    std::uint64_t next = 0;
    for (const Subset& subset : mesh.subsets) {
        if (subset.firstIndex != next) {
            return std::nullopt;
        }
        next += subset.indexCount;
    }
    if (next != mesh.indices.size()) {
        return std::nullopt;
    }
    const std::size_t vertexCount = mesh.vertices.size() / kVertexFloats;
    for (const std::uint32_t index : mesh.indices) {
        if (index >= vertexCount) {
            return std::nullopt;
        }
    }
    return mesh;
}
