// The toy box that ships in items/ with its meshes and textures in data/: every
// definition loads and resolves, every field creates the items it should, in one piece,
// resting on or above the ground once the program has lowered it by the viewer's
// height, clear of each other, and drawn with files that exist.

#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <functional>
#include <iterator>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "collision/Collide.h"
#include "collision/CollisionRegistry.h"
#include "collision/Contact.h"
#include "common/FilePath.h"
#include "common/WideText.h"
#include "common/myexception.h"
#include "definition/DefinitionParser.h"
#include "definition/FieldCatalog.h"
#include "framework/D3DObjectManager.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemComposite.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"
#include "physics/FieldItemWorld.h"
#include "physics/SimulationParameters.h"
#include "physics/WorldTick.h"
#include "support/ScopedEnvironment.h"
#include "support/TestSupport.h"

namespace {

namespace fs = std::filesystem;

/// The default item files of the ten slots, with the number of items each creates.
const std::vector<std::pair<std::wstring, std::size_t>> kToys = {
    {L"items\\ball\\ball.wtf", 1},         {L"items\\dice\\dice.wtf", 2},
    {L"items\\coin\\coin.wtf", 2},         {L"items\\ring\\ring.wtf", 1},
    {L"items\\rolypoly\\rolypoly.wtf", 1}, {L"items\\15puzzle\\15puzzle.wtf", 16},
    {L"items\\domino\\dominos.wtf", 10},   {L"items\\billiard\\billiard.wtf", 11},
    {L"items\\swing\\swing.wtf", 2},       {L"items\\car\\car.wtf", 3},
};

std::string Narrow(const std::wstring& text) {
    return ToNativePath(text);
}

/// Changes into the source folder for the test's lifetime, as the program runs in the
/// folder that holds "items" and "data".
class ScopedWorkingDirectory {
public:
    explicit ScopedWorkingDirectory(const std::string& path) : previous_(fs::current_path()) {
        fs::current_path(path);
    }
    ~ScopedWorkingDirectory() { fs::current_path(previous_); }
    ScopedWorkingDirectory(const ScopedWorkingDirectory&) = delete;
    ScopedWorkingDirectory& operator=(const ScopedWorkingDirectory&) = delete;

private:
    fs::path previous_;
};

/// Every file under items/ with the extension, in the program's own path form.
std::vector<std::wstring> DefinitionFiles(const std::string& extension) {
    std::vector<std::wstring> paths;
    for (const auto& entry : fs::recursive_directory_iterator("items")) {
        if (entry.is_regular_file() && entry.path().extension() == extension) {
            paths.push_back(FromNativePath(entry.path().generic_string()));
        }
    }
    std::sort(paths.begin(), paths.end());
    return paths;
}

/// Calls visit on every primitive under the item.
void ForEachLeaf(FieldItem& item, const std::function<void(FieldItem&)>& visit) {
    if (auto* composite = dynamic_cast<FieldItemComposite*>(&item)) {
        for (auto& [name, member] : composite->Members()) {
            ForEachLeaf(*member, visit);
        }
        return;
    }
    visit(item);
}

Vector3 WorldAxis(FieldItem& item, Vector3 axis) {
    item.ToWorld(axis);
    return axis;
}

/// Height of the lowest point of a primitive's real surface (not its collision core).
double LowestPoint(FieldItem& leaf) {
    const double y = leaf.WorldPosition().y;
    if (auto* sphere = dynamic_cast<FieldItemSphere*>(&leaf)) {
        return y - sphere->Radius();
    }
    if (auto* box = dynamic_cast<FieldItemBox*>(&leaf)) {
        double lowest = y;
        for (int corner = 0; corner < 8; ++corner) {
            Vector3 offset(static_cast<float>((corner & 1 ? 0.5 : -0.5) * box->SizeX()),
                           static_cast<float>((corner & 2 ? 0.5 : -0.5) * box->SizeY()),
                           static_cast<float>((corner & 4 ? 0.5 : -0.5) * box->SizeZ()));
            lowest = std::min(lowest, y + WorldAxis(leaf, offset).y);
        }
        return lowest;
    }
    const double up = std::fabs(WorldAxis(leaf, Vector3(0.0f, 1.0f, 0.0f)).y);
    const double across = std::sqrt(std::max(0.0, 1.0 - up * up));
    if (auto* disk = dynamic_cast<FieldItemDisk*>(&leaf)) {
        return y - (up * disk->Height() / 2.0 + across * disk->Radius());
    }
    auto* torus = dynamic_cast<FieldItemTorus*>(&leaf);
    EXPECT_NE(torus, nullptr) << "unknown primitive " << Narrow(leaf.TypeName());
    return torus ? y - (across * torus->Radius() + torus->TubeRadius()) : y;
}

/// The PNG's width and height, or zeros when the file is no PNG.
std::pair<unsigned, unsigned> PngSize(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    unsigned char header[24] = {};
    file.read(reinterpret_cast<char*>(header), sizeof header);
    const unsigned char signature[8] = {0x89, 'P', 'N', 'G', '\r', '\n', 0x1a, '\n'};
    if (!file || !std::equal(std::begin(signature), std::end(signature), header) ||
        std::string(reinterpret_cast<char*>(header + 12), 4) != "IHDR") {
        return {0, 0};
    }
    auto word = [&](int at) {
        return (unsigned(header[at]) << 24) | (unsigned(header[at + 1]) << 16) |
               (unsigned(header[at + 2]) << 8) | unsigned(header[at + 3]);
    };
    return {word(16), word(20)};
}

/// A field added to a fresh world, item by item, as the item page adds it.
struct ToyWorld {
    std::unique_ptr<FieldItemWorld> world;
    /// The name in the field definition file -> the name in the world.
    std::map<std::wstring, std::wstring> names;
    /// Where each item started, by its name in the file.
    std::map<std::wstring, Vector3> start;

    /// The item of that name in the field definition file.
    FieldItem& Item(const std::wstring& name) {
        FieldItem* item = world->Find(names[name]);
        if (item == nullptr) {
            ADD_FAILURE() << "no item " << Narrow(name);
            std::abort();
        }
        return *item;
    }
};

/// How far the item's own y axis points up: 1 upright, 0 on its side.
double Upright(FieldItem& item) {
    return WorldAxis(item, Vector3(0.0f, 1.0f, 0.0f)).y;
}

double Speed(FieldItem& item) {
    return Length(item.Velocity());
}

double HorizontalDistance(const Vector3& a, const Vector3& b) {
    return std::hypot(a.x - b.x, a.z - b.z);
}

std::string FileText(const std::string& path) {
    std::ifstream file(path, std::ios::binary);
    std::ostringstream text;
    text << file.rdbuf();
    return text.str();
}

class BundledItemsTest : public ::testing::Test {
protected:
    BundledItemsTest() : directory_(KIVARO_SOURCE_DIR) {
        environment_.Language("C");
        RegisterCollisionDetectors();
    }
    ~BundledItemsTest() override {
        DestroyCollisionDetectors();
        D3DObjectManager::Destroy();
    }

    /// Loads every item definition of the folder and resolves them, as the item page does.
    void LoadDefinitions(DefinitionParser& parser) {
        for (const std::wstring& path : DefinitionFiles(".wti")) {
            parser.LoadFieldItem(path);
        }
        parser.Resolve();
    }

    /// Creates the field's items, commits their parts and lowers them by the viewer's
    /// start height, as adding them to the world does.
    DefinitionParser::ItemMap CreateField(DefinitionParser& parser, const std::wstring& path) {
        DefinitionParser::ItemMap items;
        DefinitionSummary summary;
        parser.LoadField(path, items, summary, false);
        const float viewerHeight = SimulationParameters::Instance().playerStartPosition.y;
        for (auto& [name, item] : items) {
            if (auto* composite = dynamic_cast<FieldItemComposite*>(item.get())) {
                composite->CommitPending();
            }
            item->Transform()._42 -= viewerHeight;
            item->UpdateWorld(nullptr, nullptr);
        }
        return items;
    }

    /// A world holding the field's items, added by the item folder catalog as the item
    /// page adds them (lowered by the viewer's height, named with the process-wide
    /// counter), then made live.
    ToyWorld AddToWorld(FieldCatalog& catalog, const std::wstring& path) {
        ToyWorld toy;
        toy.world = std::make_unique<FieldItemWorld>(nullptr, 1);
        toy.world->Initialize(Placement());
        toy.world->CommitPending();
        toy.world->UpdateWorld(nullptr, nullptr);

        // the added names are the items' own names followed by consecutive numbers
        int number = FieldCatalog::NextItemNumber() + 1;
        for (const std::wstring& added : catalog.Add(path, *toy.world)) {
            const std::wstring suffix = std::to_wstring(number++);
            EXPECT_TRUE(added.size() > suffix.size() &&
                        added.compare(added.size() - suffix.size(), suffix.size(), suffix) == 0)
                << Narrow(added);
            toy.names[added.substr(0, added.size() - suffix.size())] = added;
        }
        toy.world->CommitPending();
        toy.world->UpdateWorld(nullptr, nullptr);
        for (const auto& [name, added] : toy.names) {
            toy.start[name] = toy.Item(name).WorldPosition();
        }
        return toy;
    }

    /// Runs the world through the simulated time in ticks of 1/60 s, calling watch between
    /// the steps of each tick.
    static void Run(ToyWorld& toy, double seconds, const std::function<void()>& watch = {}) {
        const int ticks = static_cast<int>(std::lround(seconds * 60.0));
        for (int tick = 0; tick < ticks; ++tick) {
            RunTick(*toy.world, nullptr, [&](int step) {
                if (step > 0 && watch) {
                    watch();
                }
            });
        }
    }

    ScopedEnvironment environment_;
    ScopedWorkingDirectory directory_;
    ScopedLogCapture log_;
};

TEST_F(BundledItemsTest, EveryDefinitionLoadsResolvesAndDescribesItselfInBothLanguages) {
    DefinitionParser parser;
    ASSERT_NO_THROW(LoadDefinitions(parser));

    // the primitives declare exactly what the program reads, plus their placement
    const std::map<std::wstring, std::set<std::wstring>> primitives = {
        {L"HalvaneSystem.sphere", {L"texture", L"r", L"density"}},
        {L"HalvaneSystem.box",
         {L"texture_top", L"texture_bottom", L"texture_left", L"texture_right", L"texture_front",
          L"texture_rear", L"size_x", L"size_y", L"size_z", L"density"}},
        {L"HalvaneSystem.disk",
         {L"texture_side", L"texture_head", L"texture_tail", L"height", L"r", L"density"}},
        {L"HalvaneSystem.torus", {L"texture", L"r", L"density"}},
    };
    for (const auto& [type, fields] : primitives) {
        auto found = parser.Definitions().find(type);
        ASSERT_NE(found, parser.Definitions().end()) << Narrow(type);
        std::set<std::wstring> declared;
        for (const auto& [name, attribute] : found->second->Attributes()) {
            declared.insert(name);
        }
        std::set<std::wstring> expected = fields;
        expected.insert({L"position", L"angle"});
        EXPECT_EQ(declared, expected) << Narrow(type);
    }

    // the field files are exactly the ten of the default slots
    std::vector<std::wstring> expectedFields;
    for (const auto& [path, count] : kToys) {
        expectedFields.push_back(path);
    }
    std::sort(expectedFields.begin(), expectedFields.end());
    std::vector<std::wstring> fields = DefinitionFiles(".wtf");
    for (std::wstring& path : fields) {
        std::replace(path.begin(), path.end(), L'/', L'\\');
    }
    EXPECT_EQ(fields, expectedFields);

    // every header names the toy, the author, a comment and a date, in both languages
    std::map<std::wstring, std::wstring> englishNames;
    for (const char* language : {"C", "ja_JP.UTF-8"}) {
        ScopedEnvironment chosen;
        chosen.Language(language);
        std::set<std::wstring> names;
        for (const auto& [path, count] : kToys) {
            DefinitionParser::ItemMap items;
            DefinitionSummary summary;
            ASSERT_NO_THROW(parser.LoadField(path, items, summary, true)) << Narrow(path);
            EXPECT_TRUE(items.empty());
            EXPECT_EQ(summary.path, path);
            EXPECT_EQ(summary.author, L"Kivaro") << Narrow(path);
            EXPECT_FALSE(summary.name.empty()) << Narrow(path);
            EXPECT_FALSE(summary.comment.empty()) << Narrow(path);
            EXPECT_EQ(summary.date, L"2026-12-07") << Narrow(path);
            EXPECT_EQ(summary.comment.find(L"\\r\\n"), std::wstring::npos) << Narrow(path);
            names.insert(summary.name);
            if (std::string(language) == "C") {
                englishNames[path] = summary.name;
            } else {
                EXPECT_NE(summary.name, englishNames[path]) << "no Japanese name in " << Narrow(path);
            }
        }
        EXPECT_EQ(names.size(), kToys.size()) << "two toys share a name";
    }
}

TEST_F(BundledItemsTest, EveryToyCreatesItsItemsInOnePieceOnTheGround) {
    DefinitionParser parser;
    ASSERT_NO_THROW(LoadDefinitions(parser));
    const double tolerance = SimulationParameters::Instance().contactTolerance;

    std::size_t primitiveCount = 0;
    for (const auto& [path, expectedCount] : kToys) {
        SCOPED_TRACE(Narrow(path));
        DefinitionParser::ItemMap items;
        ASSERT_NO_THROW(items = CreateField(parser, path));
        EXPECT_EQ(items.size(), expectedCount);

        for (auto& [name, item] : items) {
            SCOPED_TRACE(Narrow(name));
            EXPECT_TRUE(std::isfinite(item->Mass()) && item->Mass() > 0.0) << item->Mass();
            const Vector3 position = item->WorldPosition();
            EXPECT_TRUE(std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z));

            // resting on the ground or dropping from a little above it, never sunk into it
            double lowest = 1e9;
            ForEachLeaf(*item, [&](FieldItem& leaf) {
                ++primitiveCount;
                EXPECT_TRUE(std::isfinite(leaf.Mass()) && leaf.Mass() > 0.0) << Narrow(leaf.TypeName());
                lowest = std::min(lowest, LowestPoint(leaf));
            });
            // a loose body started inside the contact band is thrown up by the contact
            // springs, so it starts clear of the band's lower half
            EXPECT_GE(lowest, item->IsFixed() ? 0.0 : tolerance / 2.0 + 0.001);
            EXPECT_LE(lowest, 0.6);
        }

        // items of one field start apart: no two of them within the contact band
        for (auto first = items.begin(); first != items.end(); ++first) {
            for (auto second = std::next(first); second != items.end(); ++second) {
                std::vector<Contact> contacts;
                Collide(*first->second, *second->second, contacts);
                for (const Contact& contact : contacts) {
                    ADD_FAILURE() << Narrow(first->first) << " touches " << Narrow(second->first)
                                  << " at distance " << contact.distance << " (band " << tolerance << ")";
                }
            }
        }
    }
    EXPECT_GT(primitiveCount, 50u);
}

TEST_F(BundledItemsTest, ToysHaveTheirIntendedMassesShapesAndFixings) {
    DefinitionParser parser;
    ASSERT_NO_THROW(LoadDefinitions(parser));
    constexpr double kPi = 3.141592653589793;

    // masses from the sizes and densities written in the files
    auto ball = CreateField(parser, L"items\\ball\\ball.wtf");
    EXPECT_NEAR(ball.at(L"ball")->Mass(), 4.0 / 3.0 * kPi * 0.1 * 0.1 * 0.1 * 500.0, 1e-3);
    auto dice = CreateField(parser, L"items\\dice\\dice.wtf");
    EXPECT_NEAR(dice.at(L"die1")->Mass(), 0.15 * 0.15 * 0.15 * 1200.0, 1e-3);
    auto coin = CreateField(parser, L"items\\coin\\coin.wtf");
    EXPECT_NEAR(coin.at(L"resting")->Mass(), kPi * 0.15 * 0.15 * 0.045 * 8500.0, 1e-2);
    // the spun coin leans a little off its edge and turns about the diameter nearest the vertical
    FieldItem& spinning = *coin.at(L"spinning");
    Vector3 spin = spinning.AngularVelocity();
    spinning.ToWorld(spin);
    EXPECT_GT(spin.y, 0.95 * Length(spin));
    EXPECT_NEAR(std::fabs(WorldAxis(spinning, Vector3(0.0f, 1.0f, 0.0f)).y), 0.2, 0.05);

    // the roly-poly's ballast holds its centre of mass well below the centre of its
    // round bottom, so it rights itself
    auto rolypoly = CreateField(parser, L"items\\rolypoly\\rolypoly.wtf");
    auto& toy = dynamic_cast<FieldItemComposite&>(*rolypoly.at(L"rolypoly"));
    FieldItem* body = toy.Find(L"body");
    ASSERT_NE(body, nullptr);
    EXPECT_GT(body->Transform()._42, 0.015f) << "centre of mass too high to right itself";

    // every primitive is built as written: none was enlarged to its minimum size, so
    // each keeps a margin over the contact band
    const double tolerance = SimulationParameters::Instance().contactTolerance;
    for (const auto& [path, count] : kToys) {
        auto items = CreateField(parser, path);
        for (auto& [name, item] : items) {
            ForEachLeaf(*item, [&](FieldItem& leaf) {
                SCOPED_TRACE(Narrow(path) + " " + Narrow(name));
                if (auto* box = dynamic_cast<FieldItemBox*>(&leaf)) {
                    EXPECT_GE(std::min({box->SizeX(), box->SizeY(), box->SizeZ()}), 2 * tolerance + 0.005);
                } else if (auto* disk = dynamic_cast<FieldItemDisk*>(&leaf)) {
                    // the thinnest are the rods of the car's axles
                    EXPECT_GE(disk->Radius(), tolerance + 0.004);
                    EXPECT_GE(disk->Height(), tolerance + 0.01);
                } else if (auto* sphere = dynamic_cast<FieldItemSphere*>(&leaf)) {
                    EXPECT_GE(sphere->Radius(), tolerance + 0.015);
                } else if (auto* torus = dynamic_cast<FieldItemTorus*>(&leaf)) {
                    // the hinges' rings are thin: their cores keep a few millimetres
                    EXPECT_GE(torus->TubeRadius(), tolerance / 2 + 0.004);
                }
            });
        }
        // the trays, tables and frames are fixed in place, the toys on them are not
        for (auto& [name, item] : items) {
            const bool shouldBeFixed = name == L"tray" || name == L"table" || name == L"frame";
            EXPECT_EQ(item->IsFixed(), shouldBeFixed) << Narrow(path) << " " << Narrow(name);
        }
    }
}

TEST_F(BundledItemsTest, EveryPrimitiveIsDrawnWithMeshesAndTexturesThatExist) {
    DefinitionParser parser;
    ASSERT_NO_THROW(LoadDefinitions(parser));

    std::set<std::wstring> textures;
    for (const auto& [path, count] : kToys) {
        auto items = CreateField(parser, path);
        for (auto& [name, item] : items) {
            ForEachLeaf(*item, [&](FieldItem& leaf) {
                D3DObject* object = nullptr;
                if (auto* box = dynamic_cast<FieldItemBox*>(&leaf)) {
                    object = box->Object();
                } else if (auto* disk = dynamic_cast<FieldItemDisk*>(&leaf)) {
                    object = disk->Object();
                } else if (auto* sphere = dynamic_cast<FieldItemSphere*>(&leaf)) {
                    object = sphere->Object();
                } else if (auto* torus = dynamic_cast<FieldItemTorus*>(&leaf)) {
                    object = torus->Object();
                }
                ASSERT_NE(object, nullptr) << Narrow(path) << " " << Narrow(name);
                // the mesh names each texture that the item replaces
                const std::string mesh = FileText(ToNativePath(object->FileName()));
                ASSERT_FALSE(mesh.empty()) << Narrow(object->FileName());
                for (const auto& [meshTexture, file] : object->Textures()) {
                    EXPECT_NE(mesh.find("\"" + Narrow(meshTexture) + "\""), std::string::npos)
                        << Narrow(object->FileName()) << " lacks " << Narrow(meshTexture);
                    EXPECT_EQ(file.rfind(L"data\\", 0), 0u) << Narrow(file);
                    textures.insert(file);
                }
            });
        }
    }

    // the land and the sky's textures come with the program as well
    textures.insert({L"data\\land.png", L"data\\sky.png"});
    for (const std::wstring& texture : textures) {
        auto [width, height] = PngSize(ToNativePath(texture));
        EXPECT_TRUE(width >= 16 && width <= 256 && height >= 16 && height <= 256)
            << Narrow(texture) << " " << width << "x" << height;
    }
    EXPECT_GT(textures.size(), 40u);

    // the meshes: unit shapes with normals, texture coordinates and one material per texture name
    const std::map<std::string, std::vector<std::string>> meshes = {
        {"data/box.x",
         {"box_top.png", "box_bottom.png", "box_left.png", "box_right.png", "box_front.png", "box_rear.png"}},
        {"data/disk.x", {"disk_head.png", "disk_tail.png", "disk_side.png"}},
        {"data/sphere.x", {"sphere.png"}},
        {"data/torus.x", {"torus.png"}},
    };
    for (const auto& [file, names] : meshes) {
        const std::string text = FileText(file);
        EXPECT_EQ(text.rfind("xof 0303txt 0032", 0), 0u) << file;
        EXPECT_NE(text.find("MeshNormals"), std::string::npos) << file;
        EXPECT_NE(text.find("MeshTextureCoords"), std::string::npos) << file;
        std::size_t materials = 0;
        for (std::size_t at = text.find("Material {"); at != std::string::npos;
             at = text.find("Material {", at + 1)) {
            ++materials;
        }
        EXPECT_EQ(materials, names.size()) << file;
        for (const std::string& name : names) {
            EXPECT_NE(text.find("\"" + name + "\""), std::string::npos) << file << " " << name;
        }
    }
}

TEST_F(BundledItemsTest, ToysSettleInTheWorldWithoutBeingThrown) {
    FieldCatalog catalog;
    ASSERT_NO_THROW(catalog.Update());
    EXPECT_EQ(catalog.Summaries().size(), kToys.size());
    // dropped or thrown on purpose; every other toy starts at rest where it stands
    const std::set<std::wstring> moving = {L"items\\ball\\ball.wtf", L"items\\dice\\dice.wtf",
                                           L"items\\ring\\ring.wtf"};

    for (const auto& [path, count] : kToys) {
        SCOPED_TRACE(Narrow(path));
        ToyWorld toy = AddToWorld(catalog, path);
        ASSERT_EQ(toy.start.size(), count);
        std::map<std::wstring, double> highest;
        std::map<std::wstring, double> lowest;
        Run(toy, 3.0, [&] {
            for (const auto& [name, start] : toy.start) {
                FieldItem& item = toy.Item(name);
                highest[name] =
                    std::max(highest.count(name) ? highest[name] : -1e9, double(item.WorldPosition().y));
                double bottom = 1e9;
                ForEachLeaf(item, [&](FieldItem& leaf) { bottom = std::min(bottom, LowestPoint(leaf)); });
                lowest[name] = std::min(lowest.count(name) ? lowest[name] : 1e9, bottom);
            }
        });

        for (const auto& [name, start] : toy.start) {
            SCOPED_TRACE(Narrow(name));
            FieldItem& item = toy.Item(name);
            const Vector3 position = item.WorldPosition();
            ASSERT_TRUE(std::isfinite(position.x) && std::isfinite(position.y) && std::isfinite(position.z));
            // landing presses a body into the contact band, never through it
            EXPECT_GE(lowest[name], -SimulationParameters::Instance().contactTolerance);
            if (path == L"items\\ring\\ring.wtf") {
                // the ring is still rolling along x
                EXPECT_GT(position.x - start.x, 1.0);
                EXPECT_GT(Speed(item), 0.5);
                continue;
            }
            EXPECT_LT(Speed(item), 0.05);
            if (moving.count(path) != 0) {
                // dropped toys come to rest on the ground
                double bottom = 1e9;
                ForEachLeaf(item, [&](FieldItem& leaf) { bottom = std::min(bottom, LowestPoint(leaf)); });
                EXPECT_LT(bottom, 0.03);
                continue;
            }
            // standing toys are not thrown up, stay where they stood and end upright; the
            // roly-poly starts tilted and rights itself; the spun coin is still wobbling down
            EXPECT_LT(highest[name] - start.y, 0.02);
            if (name != L"rolypoly" && name != L"spinning") {
                EXPECT_LT(HorizontalDistance(position, start), 0.03);
            }
            if (name != L"spinning") {
                EXPECT_GT(Upright(item), 0.99);
            }
        }
    }
}

} // namespace
