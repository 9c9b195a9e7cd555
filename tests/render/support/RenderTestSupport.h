#pragma once
// What the drawing tests share: the GUI application, an offscreen device with the
// object manager's render factory, the camera and shadow matrices the tester builds,
// and reading pixels back.

#include <gtest/gtest.h>

#include <QColor>
#include <QImage>
#include <memory>
#include <string>

#include "framework/Direct3D.h"
#include "framework/RenderDevice.h"
#include "physics/Matrix4.h"
#include "physics/Vector3.h"
#include "render/GlDevice.h"
#include "render/GlDeviceProvider.h"
#include "support/TestSupport.h"

/// The graphics part of an application without a window.
class TestDirect3D : public Direct3D {
public:
    MainWindowLink* GetWindow() override { return nullptr; }
    void* GetInstance() override { return nullptr; }
};

/// An offscreen device of 320 x 240 through the provider, with the object manager set up
/// to make render objects on it. Skips where there is no display to draw on.
class RenderTest : public ::testing::Test {
protected:
    static constexpr int kWidth = 320;
    static constexpr int kHeight = 240;

    void SetUp() override;
    void TearDown() override;

    GlDevice& Device() { return *static_cast<GlDevice*>(direct3D_.Device()); }
    /// The tester's render states, the isometric camera at eye (0, 2, -5) looking at the origin.
    void SetUpScene();
    /// Clears to opaque grey 50 and begins the scene.
    void BeginFrame();
    /// Ends the scene and reads the frame.
    QImage EndFrame();
    /// Where a world point lands on the back buffer, in pixels from the top left.
    QPoint ProjectToPixel(const Vector3& point) const;

    std::unique_ptr<ScopedLogCapture> log_;
    GlDeviceProvider provider_;
    TestDirect3D direct3D_;
    Matrix4 view_;
    Matrix4 projection_;
};

/// A full path to a file of the repository, in the program's form with "\".
std::wstring SourcePath(const std::string& relative);

Matrix4 Multiply(const Matrix4& a, const Matrix4& b);
Matrix4 Scaling(float sx, float sy, float sz);
Matrix4 Translation(const Vector3& t);
/// Right-handed perspective of the tester's Draw: vertical field of view pi/4, 0.1 to 15.
Matrix4 PerspectiveFovRH(float aspect);
/// Right-handed look-at view of the tester's Draw.
Matrix4 LookAtRH(const Vector3& eye, const Vector3& at, const Vector3& up);
/// The tester's shadow matrix: along the light onto the plane y = 0.005.
Matrix4 ShadowMatrix(const Vector3& lightDirection);

/// True when every channel of the pixel is within tolerance of the colour.
::testing::AssertionResult PixelNear(const QImage& frame, QPoint at, QColor expected, int tolerance);
