// Primitive bodies: clamping, mass, inertia, bounds, box topology, what they ask of the
// object manager, and the device-less manager itself.

#include <gtest/gtest.h>

#include <cmath>
#include <limits>
#include <memory>
#include <numbers>
#include <set>
#include <utility>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "framework/Direct3D.h"
#include "physics/DrawContext.h"
#include "physics/FieldItemBox.h"
#include "physics/FieldItemDisk.h"
#include "physics/FieldItemRay.h"
#include "physics/FieldItemSphere.h"
#include "physics/FieldItemTorus.h"
#include "physics/PrimitiveLimits.h"
#include "support/TestSupport.h"

namespace {

constexpr double kTolerance = 0.03;

class PrimitivesTest : public ::testing::Test {
protected:
    void SetUp() override { D3DObjectManager::Destroy(); }
    void TearDown() override { D3DObjectManager::Destroy(); }
};

/// Every element of the matrix is finite.
bool AllFinite(const Matrix4& m) {
    for (int i = 0; i < 16; ++i) {
        if (!std::isfinite(m.Data()[i])) {
            return false;
        }
    }
    return true;
}

/// Inertia times inverse inertia is the identity.
void ExpectInverse(const Matrix4& inertia, const Matrix4& inverse) {
    const Matrix4 product = MatrixMultiply(inertia, inverse);
    for (int r = 0; r < 3; ++r) {
        for (int c = 0; c < 3; ++c) {
            EXPECT_NEAR(product.At(r, c), r == c ? 1.0f : 0.0f, 1e-4f) << r << "," << c;
        }
    }
}

} // namespace

TEST_F(PrimitivesTest, BoxClampsItsShapeAndWritesTheClampedValuesBack) {
    FieldItemBox box;
    FieldItemBox::Record record;
    record.sizeX = 0.01;
    record.sizeY = 0.5;
    record.sizeZ = 0.2;
    record.density = 100.0;
    box.Initialize(record);

    // 2τ + 1 mm and the minimum density, in the record as well
    EXPECT_DOUBLE_EQ(record.sizeX, 0.061);
    EXPECT_DOUBLE_EQ(box.SizeX(), 0.061);
    EXPECT_DOUBLE_EQ(record.sizeY, 0.5);
    EXPECT_DOUBLE_EQ(record.density, 500.0);
    EXPECT_DOUBLE_EQ(box.Density(), 500.0);

    const double mass = 500.0 * 0.061 * 0.5 * 0.2;
    EXPECT_DOUBLE_EQ(box.Mass(), mass);
    EXPECT_NEAR(box.Inertia()._11, mass * (0.25 + 0.04) / 12.0, 1e-7);
    EXPECT_NEAR(box.Inertia()._22, mass * (0.061 * 0.061 + 0.04) / 12.0, 1e-7);
    EXPECT_NEAR(box.Inertia()._33, mass * (0.061 * 0.061 + 0.25) / 12.0, 1e-7);
    ExpectInverse(box.Inertia(), box.InverseInertia());

    // the core is the size less the tolerance, the bounds are the core's
    EXPECT_NEAR(box.CoreSizeX(), 0.031, 1e-12);
    EXPECT_NEAR(box.CoreSizeY(), 0.47, 1e-12);
    EXPECT_NEAR(box.CoreSizeZ(), 0.17, 1e-12);
    EXPECT_VECTOR_NEAR(box.HalfExtents(), Vector3(0.0155f, 0.235f, 0.085f), 1e-6f);
    EXPECT_NEAR(box.BoundingRadius(), 0.5 * std::sqrt(0.031 * 0.031 + 0.47 * 0.47 + 0.17 * 0.17), 1e-9);
    EXPECT_VECTOR_NEAR(box.BoundingExtent(), box.HalfExtents(), 1e-6f);
}

TEST_F(PrimitivesTest, NonFiniteAndHugeShapesAreClampedToFiniteBodies) {
    const double nan = std::numeric_limits<double>::quiet_NaN();
    const double inf = std::numeric_limits<double>::infinity();

    FieldItemBox box;
    FieldItemBox::Record boxRecord;
    boxRecord.sizeX = nan;
    boxRecord.sizeY = inf;
    boxRecord.sizeZ = -1.0;
    boxRecord.density = inf;
    box.Initialize(boxRecord);
    EXPECT_DOUBLE_EQ(box.SizeX(), 0.061);
    EXPECT_DOUBLE_EQ(box.SizeY(), kMaximumPrimitiveSize);
    EXPECT_DOUBLE_EQ(box.SizeZ(), 0.061);
    EXPECT_DOUBLE_EQ(box.Density(), kMaximumDensity);
    EXPECT_TRUE(std::isfinite(box.Mass()));
    EXPECT_TRUE(AllFinite(box.Inertia()));
    EXPECT_TRUE(AllFinite(box.InverseInertia()));
    EXPECT_GT(box.InverseInertia()._11, 0.0f);

    // the largest box at the largest density keeps a usable inertia
    FieldItemBox huge;
    FieldItemBox::Record hugeRecord;
    hugeRecord.sizeX = hugeRecord.sizeY = hugeRecord.sizeZ = 1e9;
    hugeRecord.density = 1e30;
    huge.Initialize(hugeRecord);
    EXPECT_DOUBLE_EQ(huge.SizeX(), kMaximumPrimitiveSize);
    EXPECT_TRUE(AllFinite(huge.Inertia()));
    EXPECT_TRUE(AllFinite(huge.InverseInertia()));
    EXPECT_GT(huge.InverseInertia()._22, 0.0f);
    EXPECT_TRUE(std::isfinite(huge.BoundingRadius()));

    FieldItemSphere sphere;
    FieldItemSphere::Record sphereRecord;
    sphereRecord.r = nan;
    sphereRecord.density = nan;
    sphere.Initialize(sphereRecord);
    EXPECT_DOUBLE_EQ(sphere.Radius(), 0.031);
    EXPECT_DOUBLE_EQ(sphere.Density(), 500.0);
    EXPECT_NEAR(sphere.BoundingRadius(), 0.016, 1e-12);

    FieldItemDisk disk;
    FieldItemDisk::Record diskRecord;
    diskRecord.r = -inf;
    diskRecord.height = inf;
    disk.Initialize(diskRecord);
    EXPECT_DOUBLE_EQ(disk.Radius(), 0.031);
    EXPECT_DOUBLE_EQ(disk.Height(), kMaximumPrimitiveSize);
    EXPECT_TRUE(AllFinite(disk.InverseInertia()));

    FieldItemTorus torus;
    FieldItemTorus::Record torusRecord;
    torusRecord.r = nan;
    torus.Initialize(torusRecord);
    EXPECT_TRUE(std::isfinite(torus.Radius()));
    EXPECT_TRUE(AllFinite(torus.InverseInertia()));
}

TEST_F(PrimitivesTest, SphereMassInertiaAndBounds) {
    FieldItemSphere sphere;
    FieldItemSphere::Record record;
    record.r = 0.5;
    record.density = 1000.0;
    record.position = Vector3(1.0f, 2.0f, 3.0f);
    sphere.Initialize(record);

    EXPECT_NEAR(sphere.Mass(), 523.5988, 1e-3);
    EXPECT_NEAR(sphere.Inertia()._11, 0.4 * sphere.Mass() * 0.25, 1e-3);
    EXPECT_FLOAT_EQ(sphere.Inertia()._11, sphere.Inertia()._33);
    ExpectInverse(sphere.Inertia(), sphere.InverseInertia());
    EXPECT_DOUBLE_EQ(sphere.BoundingRadius(), 0.485);
    EXPECT_VECTOR_NEAR(sphere.HalfExtents(), Vector3(0.485f, 0.485f, 0.485f), 1e-7f);
    // placed and ready for the detectors without a further refresh
    EXPECT_VECTOR_NEAR(sphere.WorldPosition(), Vector3(1.0f, 2.0f, 3.0f), 0.0f);
}

TEST_F(PrimitivesTest, DiskAndTorusDimensions) {
    FieldItemDisk disk;
    FieldItemDisk::Record diskRecord;
    diskRecord.r = 0.5;
    diskRecord.height = 0.1;
    diskRecord.density = 2000.0;
    disk.Initialize(diskRecord);
    const double diskMass = std::numbers::pi * 0.25 * 0.1 * 2000.0;
    EXPECT_NEAR(disk.Mass(), diskMass, 1e-9);
    EXPECT_NEAR(disk.Inertia()._11, diskMass * 0.01 / 12.0 + diskMass * 0.25 / 4.0, 1e-4);
    EXPECT_NEAR(disk.Inertia()._22, diskMass * 0.25 / 2.0, 1e-4);
    EXPECT_FLOAT_EQ(disk.Inertia()._33, disk.Inertia()._11);
    EXPECT_NEAR(disk.CoreRadius(), 0.485, 1e-12);
    EXPECT_NEAR(disk.CoreHeight(), 0.07, 1e-12);
    EXPECT_NEAR(disk.BoundingRadius(), std::sqrt(0.485 * 0.485 + 0.035 * 0.035), 1e-12);
    // the extent along the axis is the whole core height
    EXPECT_VECTOR_NEAR(disk.HalfExtents(), Vector3(0.485f, 0.07f, 0.485f), 1e-7f);

    FieldItemTorus torus;
    FieldItemTorus::Record torusRecord;
    torusRecord.r = 1.0;
    torusRecord.density = 1000.0;
    torus.Initialize(torusRecord);
    EXPECT_DOUBLE_EQ(torus.Radius(), 1.0);
    EXPECT_NEAR(torus.TubeRadius(), 0.2, 1e-12);
    EXPECT_NEAR(torus.CoreTubeRadius(), 0.185, 1e-12);
    EXPECT_NEAR(torus.BoundingRadius(), 1.185, 1e-12);
    EXPECT_VECTOR_NEAR(torus.HalfExtents(), Vector3(1.185f, 0.185f, 1.185f), 1e-6f);
    const double torusMass = 2.0 * std::numbers::pi * std::numbers::pi * 1.0 * 0.04 * 1000.0;
    EXPECT_NEAR(torus.Mass(), torusMass, 1e-9);
    EXPECT_NEAR(torus.Inertia()._11, torusMass * (4.0 * 0.04 + 5.0) / 8.0, 1e-3);
    EXPECT_NEAR(torus.Inertia()._22, torusMass * (0.75 + 0.04), 1e-3);

    // the smallest ring still has a tube left after the tolerance is taken off
    FieldItemTorus small;
    FieldItemTorus::Record smallRecord;
    smallRecord.r = 0.001;
    small.Initialize(smallRecord);
    EXPECT_GE(small.Radius(), kTolerance + 0.017);
    EXPECT_GE(small.CoreTubeRadius(), 0.001 - 1e-12);
    EXPECT_DOUBLE_EQ(smallRecord.r, small.Radius());
    for (float extent : {small.HalfExtents().x, small.HalfExtents().y, small.HalfExtents().z}) {
        EXPECT_GT(extent, 0.0f);
    }
}

TEST_F(PrimitivesTest, BoxTopologyFacesEdgesAndSharing) {
    FieldItemBox box;
    FieldItemBox::Record record;
    record.sizeX = 1.03;
    record.sizeY = 2.03;
    record.sizeZ = 3.03;
    box.Initialize(record);

    ASSERT_EQ(box.Vertices().size(), 8u);
    ASSERT_EQ(box.Faces().size(), 6u);
    ASSERT_EQ(box.Edges().size(), 12u);
    ASSERT_EQ(box.FaceNormals().size(), 6u);

    // the normals are the outward axes, and every corner of a face lies on its plane
    const Vector3 expectedNormals[6] = {{1, 0, 0}, {-1, 0, 0}, {0, 0, 1}, {0, 0, -1}, {0, 1, 0}, {0, -1, 0}};
    const Vector3 half(0.5f, 1.0f, 1.5f);
    for (int f = 0; f < 6; ++f) {
        const Vector3& normal = box.FaceNormals()[f];
        EXPECT_VECTOR_NEAR(normal, expectedNormals[f], 1e-6f) << "face " << f;
        const float planeDistance =
            std::fabs(normal.x) * half.x + std::fabs(normal.y) * half.y + std::fabs(normal.z) * half.z;
        for (int v : box.Faces()[f]) {
            EXPECT_NEAR(Dot(box.Vertices()[v], normal), planeDistance, 1e-5f)
                << "face " << f << " vertex " << v;
        }
    }

    // the cases of the topology
    int first = -1;
    int second = -1;
    ASSERT_TRUE(box.SharedEdge(0, 4, first, second));
    EXPECT_EQ(std::set<int>({first, second}), std::set<int>({0, 1}));
    int vertex = -1;
    ASSERT_TRUE(box.SharedVertex(0, 2, 4, vertex));
    EXPECT_EQ(vertex, 1);
    EXPECT_FALSE(box.SharedEdge(0, 1, first, second));
    EXPECT_FALSE(box.SharedVertex(0, 1, 4, vertex));
    EXPECT_FALSE(box.SharedEdge(0, 6, first, second));
    EXPECT_FALSE(box.SharedVertex(-1, 2, 4, vertex));

    // every pair of adjacent faces shares one of the twelve edges, and every edge is shared once
    std::set<std::pair<int, int>> sharedEdges;
    for (int a = 0; a < 6; ++a) {
        for (int b = a + 1; b < 6; ++b) {
            const bool opposite = Dot(box.FaceNormals()[a], box.FaceNormals()[b]) < -0.5f;
            const bool shares = box.SharedEdge(a, b, first, second);
            EXPECT_EQ(shares, !opposite) << a << "," << b;
            if (shares) {
                sharedEdges.insert({std::min(first, second), std::max(first, second)});
                // the shared edge lies on both planes
                for (int v : {first, second}) {
                    EXPECT_NEAR(Dot(box.Vertices()[v], box.FaceNormals()[a]),
                                Dot(box.Vertices()[box.Faces()[a][0]], box.FaceNormals()[a]), 1e-5f);
                    EXPECT_NEAR(Dot(box.Vertices()[v], box.FaceNormals()[b]),
                                Dot(box.Vertices()[box.Faces()[b][0]], box.FaceNormals()[b]), 1e-5f);
                }
            }
        }
    }
    std::set<std::pair<int, int>> edges;
    for (const auto& edge : box.Edges()) {
        edges.insert({std::min(edge[0], edge[1]), std::max(edge[0], edge[1])});
    }
    EXPECT_EQ(sharedEdges, edges);

    // each corner is shared by exactly one triple of mutually adjacent faces
    std::set<int> corners;
    for (int a = 0; a < 6; ++a) {
        for (int b = a + 1; b < 6; ++b) {
            for (int c = b + 1; c < 6; ++c) {
                if (box.SharedVertex(a, b, c, vertex)) {
                    EXPECT_TRUE(corners.insert(vertex).second) << vertex;
                }
            }
        }
    }
    EXPECT_EQ(corners.size(), 8u);
}

TEST_F(PrimitivesTest, RotatedBodiesHaveRotatedBounds) {
    FieldItemBox box;
    FieldItemBox::Record record;
    record.sizeX = 2.03;
    record.sizeY = 0.53;
    record.sizeZ = 1.03;
    record.angle = Vector3(0.0f, static_cast<float>(std::numbers::pi / 2.0), 0.0f);
    box.Initialize(record);
    // a quarter turn about y swaps the x and z extents
    EXPECT_VECTOR_NEAR(box.BoundingExtent(), Vector3(0.5f, 0.25f, 1.0f), 1e-5f);
    EXPECT_VECTOR_NEAR(box.HalfExtents(), Vector3(1.0f, 0.25f, 0.5f), 1e-6f);
}

TEST_F(PrimitivesTest, PrimitivesAskTheObjectManagerForTheirMeshesAndTextures) {
    FieldItemBox box;
    FieldItemBox::Record boxRecord;
    boxRecord.textureTop = L"data\\dice1.png";
    boxRecord.textureRear = L"data\\dice6.png";
    box.Initialize(boxRecord);
    FieldItemSphere sphere;
    FieldItemSphere::Record sphereRecord;
    sphereRecord.texture = L"data\\ball.png";
    sphere.Initialize(sphereRecord);
    FieldItemSphere sphere2;
    sphere2.Initialize(sphereRecord);
    FieldItemDisk disk;
    disk.Initialize(Placement());
    FieldItemTorus torus;
    torus.Initialize(Placement());
    FieldItemRay ray;
    ray.Initialize(Placement());

    const D3DObjectManager& manager = D3DObjectManager::Instance();
    const auto& requests = manager.ObjectRequests();
    ASSERT_EQ(requests.size(), 5u); // the ray has no model
    EXPECT_EQ(requests[0].file, L"data\\box.x");
    EXPECT_EQ(requests[0].textureMap.size(), 6u);
    EXPECT_EQ(requests[0].textureMap.at(L"box_top.png"), L"data\\dice1.png");
    EXPECT_EQ(requests[0].textureMap.at(L"box_rear.png"), L"data\\dice6.png");
    EXPECT_EQ(requests[1].file, L"data\\sphere.x");
    EXPECT_EQ(requests[1].textureMap.at(L"sphere.png"), L"data\\ball.png");
    EXPECT_EQ(requests[3].file, L"data\\disk.x");
    EXPECT_EQ(requests[3].textureMap.size(), 3u);
    EXPECT_EQ(requests[3].textureMap.count(L"disk_side.png"), 1u);
    EXPECT_EQ(requests[4].file, L"data\\torus.x");

    // two spheres: two objects sharing one model
    ASSERT_NE(sphere.Object(), nullptr);
    ASSERT_NE(sphere.Object(), sphere2.Object());
    EXPECT_EQ(sphere.Object()->Model(), sphere2.Object()->Model());
    EXPECT_EQ(manager.ModelCount(), 4u);
    EXPECT_EQ(manager.ObjectCount(), 5u);

    // drawing without a device: the body and its shadow, nothing else
    DrawContext context;
    sphere.Draw(&context);
    EXPECT_EQ(sphere.Object()->DrawCount(), 2u);
    EXPECT_EQ(sphere2.Object()->DrawCount(), 0u);
}

TEST_F(PrimitivesTest, RayKeepsItsDirectionAndIsNotABody) {
    FieldItemRay ray;
    FieldItemRay::Record record;
    record.position = Vector3(0.0f, 1.0f, -2.0f);
    record.velocity = Vector3(1.0f, 0.0f, 0.0f);
    record.direction = Vector3(0.0f, -1.0f, 2.0f);
    ray.Initialize(record);
    EXPECT_VECTOR_NEAR(ray.Direction(), Vector3(0.0f, -1.0f, 2.0f), 0.0f);
    EXPECT_EQ(ray.Mass(), 0.0);
    EXPECT_EQ(ray.TypeName(), L"ray");
    EXPECT_VECTOR_NEAR(ray.WorldPosition(), Vector3(0.0f, 1.0f, -2.0f), 0.0f);

    // integrating a massless ray neither moves it nor turns it into NaN
    ray.Force() = Vector3(5.0f, 5.0f, 5.0f);
    ray.Integrate(nullptr);
    EXPECT_VECTOR_NEAR(ray.Transform().Translation(), Vector3(0.0f, 1.0f, -2.0f), 0.0f);
}

TEST_F(PrimitivesTest, ObjectManagerSharesModelsAndTexturesAndReleasesEverything) {
    D3DObjectManager& manager = D3DObjectManager::Instance();
    EXPECT_EQ(&manager, &D3DObjectManager::Instance());
    EXPECT_EQ(manager.Device(), nullptr);

    D3DModel* model = manager.CreateModel(L"data\\box.x");
    EXPECT_EQ(manager.CreateModel(L"data\\box.x"), model);
    EXPECT_NE(manager.CreateModel(L"data\\disk.x"), model);
    EXPECT_EQ(model->FileName(), L"data\\box.x");
    D3DTexture* texture = manager.CreateTexture(L"data\\land.png");
    EXPECT_EQ(manager.CreateTexture(L"data\\land.png"), texture);
    EXPECT_EQ(texture->FileName(), L"data\\land.png");
    EXPECT_NE(manager.CreateMaterial(), manager.CreateMaterial());
    D3DFont* font = manager.CreateFont(L"MS Gothic", 16);
    EXPECT_EQ(font->FaceName(), L"MS Gothic");
    EXPECT_EQ(font->Height(), 16);
    EXPECT_EQ(font->Get(), nullptr);
    EXPECT_EQ(manager.ModelCount(), 2u);
    EXPECT_EQ(manager.TextureCount(), 1u);
    EXPECT_EQ(manager.MaterialCount(), 2u);
    EXPECT_EQ(manager.FontCount(), 1u);

    // lost and reset keep the same objects
    manager.OnLostDevice();
    manager.OnResetDevice();
    EXPECT_EQ(manager.CreateModel(L"data\\box.x"), model);

    manager.ReleaseAll();
    EXPECT_EQ(manager.ModelCount(), 0u);
    EXPECT_EQ(manager.TextureCount(), 0u);
    EXPECT_EQ(manager.MaterialCount(), 0u);
    EXPECT_EQ(manager.FontCount(), 0u);
    EXPECT_EQ(manager.ObjectCount(), 0u);
    EXPECT_TRUE(manager.ObjectRequests().empty());
}

namespace {

/// A mesh whose materials can grow after objects were made from it, as a mesh loaded again
/// on a device reset lists them once more; counts the subsets drawn.
class GrowingModel : public D3DModel {
public:
    void AddMaterial(const std::wstring& textureName) {
        materials_.push_back(MaterialRecord());
        textureNames_.push_back(textureName);
    }
    void DrawSubset(int subset) override { drawn.push_back(subset); }
    std::vector<int> drawn;
};

/// A graphics device that is never created: the objects only need one to draw.
class IdleDevice : public Direct3D {
public:
    void Free() override {}
    MainWindowLink* GetWindow() override { return nullptr; }
    void* GetInstance() override { return nullptr; }
};

/// A manager that hands out the one growing model for every file.
class GrowingModelManager : public D3DObjectManager {
public:
    explicit GrowingModelManager(GrowingModel* model) : model_(model) {}
    D3DModel* CreateModel(const std::wstring& /*file*/) override { return model_; }

private:
    GrowingModel* model_;
};

} // namespace

TEST_F(PrimitivesTest, ObjectDrawsEverySubsetOfAModelThatGainedMaterials) {
    GrowingModel model;
    model.AddMaterial(L"sphere.png");
    GrowingModelManager manager(&model);
    D3DObject* object = manager.CreateObject(L"data\\sphere.x", {{L"sphere.png", L"data\\ball.png"}});
    ASSERT_NE(object, nullptr);
    EXPECT_EQ(manager.MaterialCount(), 1u);
    EXPECT_EQ(manager.TextureCount(), 1u);

    // the mesh comes back from a reset with its materials listed twice over
    model.AddMaterial(L"sphere.png");
    model.AddMaterial(L"");
    IdleDevice device;
    manager.SetDevice(&device);
    object->Draw(true);
    object->Draw(false);
    EXPECT_EQ(model.drawn, (std::vector<int>{0, 1, 2, 0, 1, 2}));
    EXPECT_EQ(object->DrawCount(), 2u);
    manager.SetDevice(nullptr);
}

TEST_F(PrimitivesTest, ItemsGiveBackTheirObjectsAndKeepTheSharedMeshes) {
    D3DObjectManager& manager = D3DObjectManager::Instance();
    auto stale = std::make_unique<FieldItemSphere>();
    stale->Initialize(Placement());
    manager.ReleaseAll();

    FieldItemSphere kept;
    kept.Initialize(Placement());
    {
        FieldItemBox box;
        box.Initialize(Placement());
        box.Initialize(Placement()); // made again: the first object is given back
        FieldItemSphere sphere;
        sphere.Initialize(Placement());
        EXPECT_EQ(manager.ObjectCount(), 3u);
    }
    // an item of contents released before gives back nothing of the present ones
    stale.reset();
    EXPECT_EQ(manager.ObjectCount(), 1u);
    ASSERT_EQ(manager.ObjectRequests().size(), 1u);
    EXPECT_EQ(manager.ObjectRequests()[0].file, L"data\\sphere.x");
    EXPECT_EQ(manager.ModelCount(), 2u);

    // an object made again after its item went draws its shared mesh as before
    FieldItemBox again;
    again.Initialize(Placement());
    EXPECT_EQ(again.Object()->Model(), manager.CreateModel(L"data\\box.x"));
    EXPECT_EQ(manager.ModelCount(), 2u);

    // the materials an object took go with it; the textures stay shared
    GrowingModel model;
    model.AddMaterial(L"sphere.png");
    GrowingModelManager own(&model);
    D3DObject* object = own.CreateObject(L"data\\sphere.x", {});
    EXPECT_EQ(own.MaterialCount(), 1u);
    own.ReleaseObject(object);
    EXPECT_EQ(own.ObjectCount(), 0u);
    EXPECT_EQ(own.MaterialCount(), 0u);
    EXPECT_EQ(own.TextureCount(), 1u);
}
