#include "render/support/RenderTestSupport.h"

#include <QGuiApplication>
#include <cmath>

#include "common/FilePath.h"
#include "framework/D3DObjectManager.h"
#include "render/GlObjectFactory.h"

namespace {

/// The process's GUI application, made by the first test that draws. It is never
/// destroyed: Qt's application must outlive every window system object, to the very end.
void EnsureGuiApplication() {
    static int argc = 1;
    static char name[] = "render_test";
    static char* argv[] = {name, nullptr};
    if (qGuiApp == nullptr) {
        new QGuiApplication(argc, argv);
    }
}

bool HasDisplay() {
    return !qEnvironmentVariableIsEmpty("DISPLAY") || !qEnvironmentVariableIsEmpty("WAYLAND_DISPLAY") ||
           qgetenv("QT_QPA_PLATFORM") == "offscreen";
}

} // namespace

void RenderTest::SetUp() {
    if (!HasDisplay()) {
        GTEST_SKIP() << "no display to draw on";
    }
    EnsureGuiApplication();
    log_ = std::make_unique<ScopedLogCapture>();
    direct3D_.SetDeviceProvider(&provider_);
    direct3D_.Create(Direct3DConfig{false, kWidth, kHeight, 0});
    D3DObjectManager& manager = D3DObjectManager::Instance();
    manager.SetFactory(std::make_unique<GlObjectFactory>());
    manager.SetDevice(&direct3D_);
}

void RenderTest::TearDown() {
    D3DObjectManager::Destroy();
    direct3D_.Release();
    log_.reset();
}

void RenderTest::SetUpScene() {
    RenderDevice& device = Device();
    SetPlanarShadowStates(device, 0x00808080);
    projection_ = PerspectiveFovRH(static_cast<float>(kWidth) / static_cast<float>(kHeight));
    view_ = LookAtRH(Vector3(0.0f, 2.0f, -5.0f), Vector3(0.0f, 0.0f, 0.0f), Vector3(0.0f, 1.0f, 0.0f));
    device.SetTransform(TransformState::projection, projection_);
    device.SetTransform(TransformState::view, view_);
}

void RenderTest::BeginFrame() {
    ASSERT_TRUE(Device().BeginScene());
    Device().SetViewport(Viewport{0, 0, kWidth, kHeight, 0.0f, 1.0f});
    Device().Clear(0xFF323232, 1.0f, 0);
}

QImage RenderTest::EndFrame() {
    Device().EndScene();
    QImage frame = Device().ReadFrame();
    Device().Present();
    return frame;
}

QPoint RenderTest::ProjectToPixel(const Vector3& point) const {
    const Matrix4 viewProjection = Multiply(view_, projection_);
    const float x = point.x * viewProjection._11 + point.y * viewProjection._21 +
                    point.z * viewProjection._31 + viewProjection._41;
    const float y = point.x * viewProjection._12 + point.y * viewProjection._22 +
                    point.z * viewProjection._32 + viewProjection._42;
    const float w = point.x * viewProjection._14 + point.y * viewProjection._24 +
                    point.z * viewProjection._34 + viewProjection._44;
    return {static_cast<int>(std::floor((x / w + 1.0f) * 0.5f * kWidth)),
            static_cast<int>(std::floor((1.0f - y / w) * 0.5f * kHeight))};
}

std::wstring SourcePath(const std::string& relative) {
    return FromNativePath(std::string(KIVARO_SOURCE_DIR) + "/" + relative);
}

Matrix4 Multiply(const Matrix4& a, const Matrix4& b) {
    return MatrixMultiply(a, b);
}

Matrix4 Scaling(float sx, float sy, float sz) {
    return MatrixScaling(sx, sy, sz);
}

Matrix4 Translation(const Vector3& t) {
    return MatrixTranslation(t);
}

Matrix4 PerspectiveFovRH(float aspect) {
    return MatrixPerspectiveFovRH(0.7853982f, aspect, 0.1f, 15.0f);
}

Matrix4 LookAtRH(const Vector3& eye, const Vector3& at, const Vector3& up) {
    return MatrixLookAtRH(eye, at, up);
}

Matrix4 ShadowMatrix(const Vector3& lightDirection) {
    const float plane[4] = {0.0f, 1.0f, 0.0f, -0.005f};
    const float light[4] = {-lightDirection.x, -lightDirection.y, -lightDirection.z, 0.0f};
    return MatrixShadow(light, plane);
}

::testing::AssertionResult PixelNear(const QImage& frame, QPoint at, QColor expected, int tolerance) {
    const QColor actual = frame.pixelColor(at);
    if (std::abs(actual.red() - expected.red()) <= tolerance &&
        std::abs(actual.green() - expected.green()) <= tolerance &&
        std::abs(actual.blue() - expected.blue()) <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "pixel (" << at.x() << ", " << at.y() << ") is (" << actual.red() << ", " << actual.green()
           << ", " << actual.blue() << "), expected (" << expected.red() << ", " << expected.green() << ", "
           << expected.blue() << ") within " << tolerance;
}
