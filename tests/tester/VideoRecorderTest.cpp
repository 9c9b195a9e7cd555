#include "tester/VideoRecorder.h"

#include <gtest/gtest.h>

#include <filesystem>

#include "common/myexception.h"
#include "framework/RenderDevice.h"
#include "support/TestSupport.h"

namespace {

/// A device that only writes pictures, and counts them (or refuses them).
class PictureDevice : public RenderDevice {
public:
    bool BeginScene() override { return true; }
    void EndScene() override {}
    void Present() override {}
    void SetViewport(const Viewport&) override {}
    void Clear(std::uint32_t, float, std::uint32_t) override {}
    void SetTransform(TransformState, const Matrix4&) override {}
    void SetRenderState(RenderState, std::uint32_t) override {}
    void SetLight(int, const LightRecord&) override {}
    void LightEnable(int, bool) override {}
    void SetMaterial(const MaterialRecord&) override {}
    void SetTexture(int, D3DTexture*) override {}
    void DrawTriangleStrip(const TileVertex*, int) override {}
    bool DrawText(D3DFont*, const std::wstring&, int, int, std::uint32_t) override { return true; }
    void Reset(int, int) override {}
    int Width() const override { return 64; }
    int Height() const override { return 48; }
    bool WritePng(const FrameImage&, const std::string& path) override {
        written.push_back(path);
        return !refuse;
    }
    std::vector<std::string> written;
    bool refuse = false;
};

FrameImage Frame(int width, int height) {
    FrameImage frame;
    frame.width = width;
    frame.height = height;
    frame.rgba.assign(static_cast<std::size_t>(width) * height * 4, 128);
    return frame;
}

} // namespace

TEST(VideoRecorderTest, WithoutTheEncoderFramesArePicturesAndAFailureEndsTheRecording) {
    TemporaryDirectory folder;
    PictureDevice device;
    VideoRecorder recorder("kivaro-no-such-encoder");
    const std::string base = folder.Path() + "/Kivaro-20261208-120000";
    EXPECT_EQ(recorder.Start(base, 64, 48), base);
    EXPECT_FALSE(recorder.UsesEncoder());
    EXPECT_TRUE(std::filesystem::is_directory(base));
    recorder.AddFrame(Frame(64, 48), device);
    recorder.AddFrame(Frame(64, 48), device);
    ASSERT_EQ(device.written.size(), 2u);
    EXPECT_EQ(device.written[1], base + "/frame-000002.png");
    // a frame of another size (the window changed) or one that cannot be written ends it
    EXPECT_THROW(recorder.AddFrame(Frame(32, 48), device), myexception);
    EXPECT_FALSE(recorder.IsRecording());
    recorder.Start(base, 64, 48);
    device.refuse = true;
    EXPECT_THROW(recorder.AddFrame(Frame(64, 48), device), myexception);
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_EQ(recorder.FrameCount(), 0);
}

TEST(VideoRecorderTest, AnEncoderThatDiesEndsTheRecordingWithoutEndingTheProgram) {
    // "false" reads nothing and fails: the frames meet a closed socket, never a SIGPIPE
    TemporaryDirectory folder;
    PictureDevice device;
    VideoRecorder recorder("false");
    recorder.Start(folder.Path() + "/Kivaro-20261208-120000", 640, 480);
    ASSERT_TRUE(recorder.UsesEncoder());
    bool failed = false;
    for (int frame = 0; frame < 100 && !failed; ++frame) {
        try {
            recorder.AddFrame(Frame(640, 480), device);
        } catch (const myexception&) {
            failed = true;
        }
    }
    EXPECT_TRUE(failed);
    EXPECT_FALSE(recorder.IsRecording());
    EXPECT_TRUE(device.written.empty());
}
