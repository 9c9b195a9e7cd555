// The OpenGL device against the fixed-function model it reproduces: where and in which
// colour things land, depth, the planar shadows' stencil, text, and resetting.

#include <QCoreApplication>
#include <QScreen>
#include <QThread>
#include <QWindow>
#include <cmath>

#include "common/Messages.h"
#include "framework/D3DObjectManager.h"
#include "render/GlFont.h"
#include "render/support/RenderTestSupport.h"

namespace {

MaterialRecord EmissiveMaterial(float r, float g, float b) {
    MaterialRecord material;
    material.diffuse.a = 1.0f;
    material.emissive = ColorValue{r, g, b, 0.0f};
    return material;
}

QColor ToColor(float r, float g, float b) {
    return QColor::fromRgbF(std::min(r, 1.0f), std::min(g, 1.0f), std::min(b, 1.0f));
}

bool HasRecord(RecordingLogWriter& writer, const std::wstring& message, int level) {
    for (const auto& record : writer.Records()) {
        if (record.message == message && record.level == level) {
            return true;
        }
    }
    return false;
}

} // namespace

TEST_F(RenderTest, CreationLogsTheRendererKindOrFails) {
    RecordingLogWriter& writer = log_->Writer();
    EXPECT_TRUE(HasRecord(writer, L"Direct3D8 を作成成功", 2));
    EXPECT_TRUE(HasRecord(writer, Device().IsSoftware() ? L"CreateDevice HEL" : L"CreateDevice T&L HAL", 2));

    log_->ExpectFailures();
    try {
        GlDevice::Create(nullptr, Direct3DConfig{false, 0, 480, 0});
        FAIL() << "a device without a back buffer was made";
    } catch (const DirectX::init_error& error) {
        EXPECT_EQ(error.message(), CommonMessage(117) + L"[CreateDevice(D3DERR_INVALIDCALL)]");
    }
    EXPECT_TRUE(HasRecord(writer, L"CreateDevice に失敗[0x8876086c]", 1));
}

TEST_F(RenderTest, PresentShowsTheBackBufferOnTheWindow) {
    // the view window as the program makes it: an OpenGL surface, created before the device
    QWindow window;
    window.setSurfaceType(QSurface::OpenGLSurface);
    window.setFormat(GlDeviceProvider::SurfaceFormat());
    window.resize(kWidth, kHeight);
    window.create();
    GlDeviceProvider windowProvider(&window);
    std::unique_ptr<RenderDevice> device =
        windowProvider.CreateDevice(Direct3DConfig{false, kWidth, kHeight, 0});
    window.show();
    // waits for the window system to show the window for as long as it takes: a window that
    // never shows fails on the test's time limit, a slow machine does not fail
    while (!window.isExposed()) {
        QCoreApplication::processEvents(QEventLoop::WaitForMoreEvents);
    }

    // the top half red over grey: the rows reach the window the right way up
    ASSERT_TRUE(device->BeginScene());
    device->SetViewport(Viewport{0, 0, kWidth, kHeight, 0.0f, 1.0f});
    device->Clear(0xFF323232, 1.0f, 0);
    device->SetViewport(Viewport{0, 0, kWidth, kHeight / 2, 0.0f, 1.0f});
    device->Clear(0xFFC81E1E, 1.0f, 0);
    device->EndScene();
    device->Present();
    // the swapped buffer reaches the window server after Present returns: wait, as above for as
    // long as it takes, for the frame's grey or red to show at the bottom (either way up, so that
    // a frame upside down fails below rather than on the time limit)
    QImage shown = window.screen()->grabWindow(window.winId()).toImage();
    const auto bottom = [&] { return shown.pixelColor(kWidth / 2, kHeight - 10); };
    while (bottom() != QColor(50, 50, 50) && bottom() != QColor(200, 30, 30)) {
        QCoreApplication::processEvents(QEventLoop::AllEvents);
        QThread::msleep(5);
        shown = window.screen()->grabWindow(window.winId()).toImage();
    }
    ASSERT_EQ(shown.size(), QSize(kWidth, kHeight));
    EXPECT_TRUE(PixelNear(shown, QPoint(kWidth / 2, 10), QColor(200, 30, 30), 0));
    EXPECT_TRUE(PixelNear(shown, QPoint(kWidth / 2, kHeight - 10), QColor(50, 50, 50), 0));
}

TEST_F(RenderTest, LitBoxFaceLandsWhereTheProjectionPutsIt) {
    SetUpScene();
    D3DModel* box = D3DObjectManager::Instance().CreateModel(SourcePath("data/box.x"));
    const Vector3 centre(1.0f, 0.5f, 0.0f);
    const float edge = 0.6f;

    // one light that is not normalised, a material with every term the lighting adds
    LightRecord light;
    light.direction = Vector3(0.5f, -1.0f, 1.0f);
    light.diffuse = ColorValue{1.0f, 1.0f, 1.0f, 1.0f};
    light.ambient = ColorValue{0.1f, 0.1f, 0.1f, 1.0f};
    MaterialRecord material;
    material.diffuse = ColorValue{0.8f, 0.4f, 0.2f, 1.0f};
    material.ambient = ColorValue{0.2f, 0.4f, 0.6f, 1.0f};
    material.emissive = ColorValue{0.0f, 0.0f, 0.1f, 0.0f};
    Device().SetRenderState(RenderState::ambient, 0x00404040);

    BeginFrame();
    Device().SetLight(0, light);
    Device().LightEnable(0, true);
    Device().SetMaterial(material);
    Device().SetTexture(0, nullptr);
    Device().SetTransform(TransformState::world, Multiply(Scaling(edge, edge, edge), Translation(centre)));
    for (int subset = 0; subset < box->MaterialCount(); ++subset) {
        box->DrawSubset(subset);
    }
    const QImage frame = EndFrame();

    // the front face (normal -z) faces the camera: lambert = 1 / 1.5 for this light
    const float lambert = 1.0f / 1.5f;
    const float ambient = 0.1f + 64.0f / 255.0f;
    const QColor lit = ToColor(0.8f * lambert + 0.2f * ambient, 0.4f * lambert + 0.4f * ambient,
                               0.2f * lambert + 0.6f * ambient + 0.1f);
    const QPoint faceCentre = ProjectToPixel(centre - Vector3(0.0f, 0.0f, edge / 2.0f));
    EXPECT_TRUE(PixelNear(frame, faceCentre, lit, 2));
    EXPECT_TRUE(PixelNear(frame, ProjectToPixel(centre + Vector3(0.0f, 0.0f, 0.0f)) + QPoint(0, 40),
                          QColor(50, 50, 50), 0));
    EXPECT_TRUE(PixelNear(frame, ProjectToPixel(centre - Vector3(edge, 0.0f, 0.0f)), QColor(50, 50, 50), 0));
}

TEST_F(RenderTest, NearerSurfaceWinsOnlyWithTheDepthTest) {
    SetUpScene();
    D3DModel* box = D3DObjectManager::Instance().CreateModel(SourcePath("data/box.x"));
    auto drawBox = [&](const Vector3& centre, const MaterialRecord& material) {
        Device().SetMaterial(material);
        Device().SetTransform(TransformState::world,
                              Multiply(Scaling(0.5f, 0.5f, 0.5f), Translation(centre)));
        for (int subset = 0; subset < box->MaterialCount(); ++subset) {
            box->DrawSubset(subset);
        }
    };
    // the nearer red box first, the farther blue one behind it on the same line of sight second
    const Vector3 eye(0.0f, 2.0f, -5.0f);
    const Vector3 nearer(0.0f, 0.3f, -1.0f);
    const Vector3 farther = eye + (nearer - eye) * 1.4f;
    QImage frames[2];
    for (int zEnable = 1; zEnable >= 0; --zEnable) {
        Device().SetRenderState(RenderState::zEnable, static_cast<std::uint32_t>(zEnable));
        BeginFrame();
        drawBox(nearer, EmissiveMaterial(1.0f, 0.0f, 0.0f));
        drawBox(farther, EmissiveMaterial(0.0f, 0.0f, 1.0f));
        if (zEnable == 1) {
            // a box 0.07 from the eye, nearer than the near plane (0.1), is clipped away
            Device().SetTransform(
                TransformState::world,
                Multiply(Scaling(0.01f, 0.01f, 0.01f), Translation(eye + (nearer - eye) * 0.016f)));
            Device().SetMaterial(EmissiveMaterial(0.0f, 1.0f, 0.0f));
            for (int subset = 0; subset < box->MaterialCount(); ++subset) {
                box->DrawSubset(subset);
            }
        }
        frames[zEnable] = EndFrame();
    }
    const QPoint overlap = ProjectToPixel(nearer);
    EXPECT_TRUE(PixelNear(frames[1], overlap, QColor(255, 0, 0), 0));
    EXPECT_TRUE(PixelNear(frames[0], overlap, QColor(0, 0, 255), 0));
}

TEST_F(RenderTest, OverlappingShadowsDarkenEachPixelOnce) {
    SetUpScene();
    D3DModel* box = D3DObjectManager::Instance().CreateModel(SourcePath("data/box.x"));
    const Vector3 lightDirection(3.5f, -3.0f, 5.5f);
    const Matrix4 shadow = ShadowMatrix(lightDirection);
    MaterialRecord shadowMaterial;
    shadowMaterial.diffuse.a = 0.5f;
    auto drawShadow = [&](const Vector3& centre) {
        const Matrix4 world = Multiply(Scaling(0.5f, 0.5f, 0.5f), Translation(centre));
        Device().SetTransform(TransformState::world, Multiply(world, shadow));
        Device().SetMaterial(shadowMaterial);
        Device().SetTexture(0, nullptr);
        Device().SetRenderState(RenderState::stencilEnable, 1);
        Device().SetRenderState(RenderState::alphaBlendEnable, 1);
        for (int subset = 0; subset < box->MaterialCount(); ++subset) {
            box->DrawSubset(subset);
        }
        Device().SetRenderState(RenderState::stencilEnable, 0);
        Device().SetRenderState(RenderState::alphaBlendEnable, 0);
    };
    // where a box's centre falls along the light onto the shadow plane
    auto shadowPoint = [&](const Vector3& centre) {
        return centre + lightDirection * ((0.005f - centre.y) / lightDirection.y);
    };

    const Vector3 first(0.0f, 0.5f, 0.0f);
    const Vector3 second(0.3f, 0.5f, 0.0f);
    BeginFrame();
    drawShadow(first);
    drawShadow(first);
    drawShadow(second);
    const QImage frame = EndFrame();
    // grey 50 halved once where three shadows cover it; twice without the stencil
    EXPECT_TRUE(PixelNear(frame, ProjectToPixel(shadowPoint(first)), QColor(25, 25, 25), 1));
    EXPECT_TRUE(PixelNear(frame, ProjectToPixel(first + Vector3(0.0f, 0.0f, 1.5f)), QColor(50, 50, 50), 0));

    Device().SetRenderState(RenderState::stencilFunc, static_cast<std::uint32_t>(CompareFunc::always));
    BeginFrame();
    drawShadow(first);
    drawShadow(first);
    EXPECT_TRUE(PixelNear(EndFrame(), ProjectToPixel(shadowPoint(first)), QColor(12, 12, 12), 1));
}

TEST_F(RenderTest, MirroredSkySphereIsSeenFromInside) {
    SetUpScene();
    D3DModel* sphere = D3DObjectManager::Instance().CreateModel(SourcePath("data/sphere.x"));
    BeginFrame();
    Device().SetMaterial(EmissiveMaterial(0.0f, 1.0f, 0.0f));
    // the sky's world matrix: scaled by the draw range, mirrored in z, centred on the eye
    Device().SetTransform(TransformState::view, Matrix4());
    Device().SetTransform(TransformState::world, Scaling(7.0f, 7.0f, -7.0f));
    sphere->DrawSubset(0);
    const QImage frame = EndFrame();
    EXPECT_TRUE(PixelNear(frame, QPoint(kWidth / 2, kHeight / 2), QColor(0, 255, 0), 0));
    EXPECT_TRUE(PixelNear(frame, QPoint(1, 1), QColor(0, 255, 0), 0));
}

TEST_F(RenderTest, TextShowsNearItsCornerInLatinAndJapanese) {
    D3DFont* font = D3DObjectManager::Instance().CreateFont(L"Ariel", 12);
    BeginFrame();
    // the frame rate as the tester writes it: black, then white one pixel up and left
    EXPECT_TRUE(Device().DrawText(font, L"60fps", kWidth - 60, 20, 0xFF000000));
    EXPECT_TRUE(Device().DrawText(font, L"60fps", kWidth - 61, 19, 0xFFFFFFFF));
    EXPECT_TRUE(Device().DrawText(font, L"日本語の表示", 10, 100, 0xFFFFFFFF));
    const QImage frame = EndFrame();

    auto count = [&](QRect area, auto predicate) {
        int matches = 0;
        for (int y = area.top(); y <= area.bottom(); ++y) {
            for (int x = area.left(); x <= area.right(); ++x) {
                matches += predicate(frame.pixelColor(x, y)) ? 1 : 0;
            }
        }
        return matches;
    };
    auto white = [](QColor c) { return c.red() > 240 && c.green() > 240 && c.blue() > 240; };
    auto black = [](QColor c) { return c.red() < 10 && c.green() < 10 && c.blue() < 10; };
    const QRect fps(kWidth - 61, 19, 60, 16);
    EXPECT_GT(count(fps, white), 20);
    EXPECT_GT(count(fps, black), 5);
    EXPECT_EQ(count(QRect(0, 0, kWidth - 62, 18), white), 0);
    EXPECT_GT(count(QRect(10, 100, 100, 16), white), 40);

    // Japanese glyphs are drawn, not boxes for missing ones: two orders differ
    auto* glFont = static_cast<GlFont*>(font);
    EXPECT_NE(glFont->TextImage(L"日本"), glFont->TextImage(L"本日"));
}

TEST_F(RenderTest, ResetResizesTheBackBufferAndRefusesAnEmptyOne) {
    Device().Reset(200, 100);
    EXPECT_EQ(Device().Width(), 200);
    BeginFrame();
    EXPECT_EQ(EndFrame().size(), QSize(200, 100));

    log_->ExpectFailures();
    try {
        Device().Reset(0, 100);
        FAIL() << "a back buffer without pixels was made";
    } catch (const DirectX::init_error& error) {
        EXPECT_EQ(error.message(), ProgramMessage(130) + L"[Reset(D3DERR_INVALIDCALL)]");
    }
    EXPECT_TRUE(HasRecord(log_->Writer(), L"Reset に失敗[0x8876086c]", 1));
    EXPECT_EQ(Device().Width(), 200);
}
