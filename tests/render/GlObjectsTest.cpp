// The object manager's render objects: textures on stage 0 as the drawable objects set
// them, load failures with their texts, and device loss and reset.

#include <QImage>
#include <fstream>
#include <thread>

#include "common/FilePath.h"
#include "common/Messages.h"
#include "framework/D3DObjectManager.h"
#include "render/support/RenderTestSupport.h"

namespace {

/// A one-colour PNG in the directory, named in the program's form.
std::wstring WriteImage(const TemporaryDirectory& directory, const std::string& name, QColor color) {
    QImage image(8, 8, QImage::Format_RGB32);
    image.fill(color);
    const std::string path = directory.Path() + "/" + name;
    EXPECT_TRUE(image.save(QString::fromStdString(path)));
    return FromNativePath(path);
}

class RenderObjectsTest : public RenderTest {
protected:
    /// The box's front image replaced by one of ours, the other faces without texture.
    TextureMap FrontOnly() {
        return {{L"box_top.png", L""},
                {L"box_bottom.png", L""},
                {L"box_left.png", L""},
                {L"box_right.png", L""},
                {L"box_front.png", WriteImage(directory_, "front.png", QColor(200, 100, 50))},
                {L"box_rear.png", L""}};
    }
    /// The box lit by the global ambient alone, and a frame-rate text.
    QImage DrawBoxAndText(D3DObject* box, D3DFont* font) {
        BeginFrame();
        Device().LightEnable(0, false);
        Device().SetTexture(0, nullptr);
        Device().SetTransform(TransformState::world, Scaling(1.5f, 1.5f, 1.5f));
        box->Draw(true);
        Device().DrawText(font, L"60fps", kWidth - 61, 19, 0xFFFFFFFF);
        return EndFrame();
    }

    TemporaryDirectory directory_;
};

} // namespace

TEST_F(RenderObjectsTest, MappedTextureModulatesTheLitColour) {
    SetUpScene();
    D3DObject* box = D3DObjectManager::Instance().CreateObject(SourcePath("data/box.x"), FrontOnly());
    ASSERT_EQ(D3DObjectManager::Instance().TextureCount(), 1u);
    D3DFont* font = D3DObjectManager::Instance().CreateFont(L"Ariel", 12);
    const QImage frame = DrawBoxAndText(box, font);

    // the mesh's white material lit by grey 128 alone, times the texel on the front (-z)
    // face; the untextured top in the lit colour only
    EXPECT_TRUE(PixelNear(frame, ProjectToPixel(Vector3(0.0f, 0.0f, -0.75f)), QColor(100, 50, 25), 1));
    EXPECT_TRUE(PixelNear(frame, ProjectToPixel(Vector3(0.0f, 0.75f, 0.2f)), QColor(128, 128, 128), 1));
}

TEST_F(RenderObjectsTest, MissingAndBrokenFilesThrowNamingTheFile) {
    log_->ExpectFailures();
    D3DObjectManager& manager = D3DObjectManager::Instance();
    const std::wstring missingMesh = SourcePath("data/missing.x");
    const std::wstring imageAsMesh = SourcePath("data/land.png");
    const std::wstring meshAsImage = SourcePath("data/box.x");
    const std::wstring missingImage = SourcePath("data/missing.png");
    // a material list that names material 0 for its face but holds no material: assimp's
    // .x reader reads past its list and crashes
    const std::string crashingPath = directory_.Path() + "/crash.x";
    std::ofstream(crashingPath) << "xof 0303txt 0032\nMesh {\n 3;\n 0.0;0.0;0.0;,\n 1.0;0.0;0.0;,\n"
                                   " 0.0;1.0;0.0;;\n 1;\n 3;0,1,2;;\n MeshMaterialList {\n  1;\n  1;\n"
                                   "  0;;\n }\n}\n";
    const std::wstring crashingMesh = FromNativePath(crashingPath);
    auto messageOf = [](auto&& create) {
        try {
            create();
        } catch (const myexception& error) {
            return error.message();
        }
        return std::wstring(L"nothing thrown");
    };

    EXPECT_EQ(messageOf([&] { manager.CreateModel(missingMesh); }),
              CommonMessage(116) + L"[" + missingMesh + L"] [D3DXLoadMeshFromX(D3DERR_NOTFOUND)]");
    EXPECT_EQ(messageOf([&] { manager.CreateModel(imageAsMesh); }),
              CommonMessage(116) + L"[" + imageAsMesh + L"] [D3DXLoadMeshFromX(D3DXERR_INVALIDDATA)]");
    EXPECT_EQ(messageOf([&] { manager.CreateModel(crashingMesh); }),
              CommonMessage(116) + L"[" + crashingMesh + L"] [D3DXLoadMeshFromX(D3DXERR_INVALIDDATA)]");
    EXPECT_EQ(messageOf([&] { manager.CreateTexture(missingImage); }),
              CommonMessage(116) + L"[" + missingImage + L"] [D3DXCreateTextureFromFile(D3DERR_NOTFOUND)]");
    EXPECT_EQ(messageOf([&] { manager.CreateTexture(meshAsImage); }),
              CommonMessage(116) + L"[" + meshAsImage +
                  L"] [D3DXCreateTextureFromFile(D3DXERR_INVALIDDATA)]");
    EXPECT_EQ(messageOf([&] { manager.CreateFont(L"Ariel", 100000); }),
              CommonMessage(115) + L"[D3DXCreateFont(D3DERR_INVALIDCALL)]");
    // nothing half-made stays behind
    EXPECT_EQ(manager.ModelCount(), 0u);
    EXPECT_EQ(manager.TextureCount(), 0u);

    std::vector<std::wstring> errors;
    for (const auto& record : log_->Writer().Errors()) {
        errors.push_back(record.message);
    }
    EXPECT_EQ(errors,
              (std::vector<std::wstring>{
                  L"D3DXLoadMeshFromX に失敗[0x88760866]", L"D3DXLoadMeshFromX に失敗[0x88760b59]",
                  L"D3DXLoadMeshFromX に失敗[0x88760b59]", L"D3DXCreateTextureFromFile に失敗[0x88760866]",
                  L"D3DXCreateTextureFromFile に失敗[0x88760b59]", L"D3DXCreateFont に失敗[0x8876086c]"}));
}

TEST_F(RenderObjectsTest, LostAndResetObjectsDrawTheSamePictureFromAnotherThread) {
    SetUpScene();
    D3DObjectManager& manager = D3DObjectManager::Instance();
    D3DObject* box = manager.CreateObject(SourcePath("data/box.x"), FrontOnly());
    D3DModel* model = box->Model();
    D3DFont* font = manager.CreateFont(L"Ariel", 12);
    const QImage before = DrawBoxAndText(box, font);

    manager.OnLostDevice();
    EXPECT_EQ(font->Get(), nullptr);
    manager.OnResetDevice();
    // the application thread draws what the user-interface thread made and reset
    QImage after;
    std::thread drawing([&] { after = DrawBoxAndText(box, font); });
    drawing.join();

    EXPECT_EQ(box->Model(), model);
    EXPECT_EQ(manager.ModelCount(), 1u);
    EXPECT_NE(font->Get(), nullptr);
    EXPECT_TRUE(after == before);
    EXPECT_TRUE(PixelNear(after, ProjectToPixel(Vector3(0.0f, 0.0f, -0.75f)), QColor(100, 50, 25), 1));
}
