// One frame as the tester draws it, at 640 x 480 offscreen: clear, light and camera, the
// sky, the land's tiles out to the draw range, N items (boxes, disks, spheres and tori in
// turn, textured as the bundled items are, each drawn with its planar shadow as the items
// draw themselves) and the frame-rate text. Timed in real time up to the finished frame,
// since the renderer may rasterise on threads of its own. Needs a display (xvfb-run).

#include <benchmark/benchmark.h>
#include <unistd.h>

#include <QGuiApplication>
#include <cmath>
#include <ctime>
#include <memory>
#include <string>
#include <vector>

#include "framework/D3DObjectManager.h"
#include "framework/Direct3D.h"
#include "framework/RenderDevice.h"
#include "physics/Matrix4.h"
#include "physics/Quaternion.h"
#include "render/GlDevice.h"
#include "render/GlDeviceProvider.h"
#include "render/GlObjectFactory.h"

namespace {

constexpr int kWidth = 640;
constexpr int kHeight = 480;

class BenchDirect3D : public Direct3D {
public:
    MainWindowLink* GetWindow() override { return nullptr; }
    void* GetInstance() override { return nullptr; }
};

double ProcessCpuMilliseconds() {
    timespec now{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &now);
    return static_cast<double>(now.tv_sec) * 1e3 + static_cast<double>(now.tv_nsec) / 1e6;
}

struct Item {
    D3DObject* object;
    Matrix4 world;
    Matrix4 shadow;
};

/// The tester's right-handed perspective and look-at view.
Matrix4 Projection() {
    return MatrixPerspectiveFovRH(0.7853982f, static_cast<float>(kWidth) / static_cast<float>(kHeight), 0.1f,
                                  15.0f);
}

Matrix4 View(const Vector3& eye) {
    return MatrixLookAtRH(eye, Vector3(0.0f, 0.0f, 0.0f), Vector3(0.0f, 1.0f, 0.0f));
}

/// The tester's shadow matrix: along the light onto the plane y = 0.005.
Matrix4 Shadow(const Vector3& light) {
    const float plane[4] = {0.0f, 1.0f, 0.0f, -0.005f};
    const float toLight[4] = {-light.x, -light.y, -light.z, 0.0f};
    return MatrixShadow(toLight, plane);
}

/// Items in a grid in front of the camera, turned about y and tilted, sized like the bundled toys.
std::vector<Item> MakeItems(int count, const Matrix4& shadow) {
    D3DObjectManager& manager = D3DObjectManager::Instance();
    D3DObject* kinds[4] = {
        manager.CreateObject(L"data\\box.x", {{L"box_top.png", L"data\\dice1.png"},
                                              {L"box_bottom.png", L"data\\dice6.png"},
                                              {L"box_left.png", L"data\\dice2.png"},
                                              {L"box_right.png", L"data\\dice5.png"},
                                              {L"box_front.png", L"data\\dice3.png"},
                                              {L"box_rear.png", L"data\\dice4.png"}}),
        manager.CreateObject(L"data\\disk.x", {{L"disk_head.png", L"data\\coin_head.png"},
                                               {L"disk_tail.png", L"data\\coin_tail.png"},
                                               {L"disk_side.png", L"data\\coin_side.png"}}),
        manager.CreateObject(L"data\\sphere.x", {{L"sphere.png", L"data\\ball.png"}}),
        manager.CreateObject(L"data\\torus.x", {{L"torus.png", L"data\\ring.png"}})};
    const Vector3 scales[4] = {
        {0.12f, 0.12f, 0.12f}, {0.1f, 0.02f, 0.1f}, {0.07f, 0.07f, 0.07f}, {0.08f, 0.08f, 0.08f}};

    std::vector<Item> items;
    const int columns = 25;
    for (int i = 0; i < count; ++i) {
        const int kind = i % 4;
        const float x = -2.4f + 0.2f * static_cast<float>(i % columns);
        const float z = -1.5f + 0.2f * static_cast<float>(i / columns);
        const Quaternion turn =
            QuaternionRotationAxis(Vector3(0.3f, 1.0f, 0.2f), 0.37f * static_cast<float>(i));
        Matrix4 world = MatrixMultiply(MatrixScaling(scales[kind].x, scales[kind].y, scales[kind].z),
                                       MatrixRotationQuaternion(turn));
        world = MatrixMultiply(world, MatrixTranslation(x, 0.1f + 0.05f * static_cast<float>(i % 3), z));
        items.push_back({kinds[kind], world, MatrixMultiply(world, shadow)});
    }
    return items;
}

void DrawFrame(benchmark::State& state) {
    BenchDirect3D direct3D;
    GlDeviceProvider provider;
    direct3D.SetDeviceProvider(&provider);
    direct3D.Create(Direct3DConfig{false, kWidth, kHeight, 0});
    RenderDevice& device = *direct3D.Device();
    D3DObjectManager& manager = D3DObjectManager::Instance();
    manager.SetFactory(std::make_unique<GlObjectFactory>());
    manager.SetDevice(&direct3D);

    // the tester's device state
    const Vector3 lightDirection(3.5f, -3.0f, 5.5f);
    const Matrix4 shadow = Shadow(lightDirection);
    SetPlanarShadowStates(device, 0x00808080);
    LightRecord light;
    light.direction = lightDirection;
    light.diffuse = ColorValue{0.3f, 0.3f, 0.3f, 0.0f};
    light.ambient = ColorValue{0.3f, 0.3f, 0.3f, 0.0f};
    MaterialRecord shadowMaterial;
    shadowMaterial.diffuse.a = 0.5f;
    MaterialRecord landMaterial;
    landMaterial.diffuse = ColorValue{1.0f, 1.0f, 1.0f, 1.0f};

    const std::vector<Item> items = MakeItems(static_cast<int>(state.range(0)), shadow);
    D3DObject* sky = manager.CreateObject(L"data\\sphere.x", {{L"sphere.png", L"data\\sky.png"}});
    D3DTexture* land = manager.CreateTexture(L"data\\land.png");
    D3DFont* font = manager.CreateFont(L"Ariel", 12);
    const TileVertex tile[4] = {{-0.5f, 0.0f, 0.5f, 0xFFFFFFFF, 1.0f, 0.0f},
                                {-0.5f, 0.0f, -0.5f, 0xFFFFFFFF, 1.0f, 1.0f},
                                {0.5f, 0.0f, 0.5f, 0xFFFFFFFF, 0.0f, 0.0f},
                                {0.5f, 0.0f, -0.5f, 0xFFFFFFFF, 0.0f, 1.0f}};

    const double cpuStart = ProcessCpuMilliseconds();
    for (auto _ : state) {
        if (!device.BeginScene()) {
            state.SkipWithError("the device cannot draw");
            break;
        }
        device.SetViewport(Viewport{0, 0, kWidth, kHeight, 0.0f, 1.0f});
        device.Clear(0xFF323232, 1.0f, 0);
        device.SetLight(0, light);
        device.LightEnable(0, true);
        device.SetTransform(TransformState::projection, Projection());
        device.SetTransform(TransformState::view, View(Vector3(0.0f, 2.0f, -5.0f)));

        // the sky around the viewer, the land's 4 m tiles out to the 7 m draw range
        device.SetTransform(TransformState::world, MatrixScaling(7.0f, 7.0f, -7.0f));
        sky->Draw(true);
        for (int ix = -3; ix < 3; ++ix) {
            for (int iz = -3; iz < 3; ++iz) {
                land->Set(0);
                device.SetTransform(TransformState::world,
                                    MatrixMultiply(MatrixScaling(4.0f, 1.0f, 4.0f),
                                                   MatrixTranslation(4.0f * static_cast<float>(ix), 0.0f,
                                                                     4.0f * static_cast<float>(iz))));
                device.SetMaterial(landMaterial);
                device.DrawTriangleStrip(tile, 4);
            }
        }

        // the items as DrawPrimitive draws them: body, then shadow
        for (const Item& item : items) {
            device.SetTransform(TransformState::world, item.world);
            item.object->Draw(true);
            device.SetTransform(TransformState::world, item.shadow);
            device.SetMaterial(shadowMaterial);
            device.SetTexture(0, nullptr);
            device.SetRenderState(RenderState::stencilEnable, 1);
            device.SetRenderState(RenderState::alphaBlendEnable, 1);
            item.object->Draw(false);
            device.SetRenderState(RenderState::stencilEnable, 0);
            device.SetRenderState(RenderState::alphaBlendEnable, 0);
        }

        device.DrawText(font, L"60fps", kWidth - 60, 20, 0xFF000000);
        device.DrawText(font, L"60fps", kWidth - 61, 19, 0xFFFFFFFF);
        device.EndScene();
        device.Present();
    }
    // the renderer's own threads work too: their time per frame, summed, does not depend on
    // what else the machine runs
    state.counters["process_cpu_ms"] =
        benchmark::Counter((ProcessCpuMilliseconds() - cpuStart) / static_cast<double>(state.iterations()));
    state.SetLabel(static_cast<GlDevice&>(device).IsSoftware() ? "software" : "hardware");
    D3DObjectManager::Destroy();
    direct3D.Release();
}

} // namespace

BENCHMARK(DrawFrame)->Arg(500)->UseRealTime()->Unit(benchmark::kMillisecond);

int main(int argc, char** argv) {
    // the program runs in the repository's root, where data\ is
    if (chdir(KIVARO_SOURCE_DIR) != 0) {
        return 1;
    }
    QGuiApplication application(argc, argv);
    benchmark::Initialize(&argc, argv);
    benchmark::RunSpecifiedBenchmarks();
    benchmark::Shutdown();
    return 0;
}
