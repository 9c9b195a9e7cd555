#pragma once
// Records frames of the view: into an MP4 file (H.264) through an encoder process (ffmpeg)
// that reads raw RGBA frames on its standard input, or, where the encoder cannot be
// started, as numbered PNG files in a folder. A frame is handed over whole before the
// call returns: a slow encoder slows the caller down, it never loses a frame.

#include <sys/types.h>

#include <string>

struct FrameImage;
class RenderDevice;

class VideoRecorder {
public:
    /// Frames per second of the video: one frame per 1/60 s of simulated time.
    static constexpr int kFramesPerSecond = 60;

    /// encoder: the program started to make the MP4 file, looked up on the PATH.
    explicit VideoRecorder(std::string encoder = "ffmpeg");
    /// Ends a running recording.
    ~VideoRecorder();
    VideoRecorder(const VideoRecorder&) = delete;
    VideoRecorder& operator=(const VideoRecorder&) = delete;

    /// Starts recording frames of width x height: basePath + ".mp4" through the encoder, or the
    /// folder basePath with the frames as PNG files. Returns the file or folder written to;
    /// throws exec_error with a text for the user when neither can be made.
    std::string Start(const std::string& basePath, int width, int height);
    /// Writes one frame (of the started size); the device writes the PNG files. Throws
    /// exec_error when the frame cannot be written, and the recording is then ended.
    void AddFrame(const FrameImage& frame, RenderDevice& device);
    /// Ends the recording and waits for the encoder to finish the file. Throws exec_error when
    /// the encoder failed.
    void Stop();

    bool IsRecording() const { return recording_; }
    /// True while the frames go to the encoder, false while they go to PNG files.
    bool UsesEncoder() const { return encoderPid_ > 0; }
    int FrameCount() const { return frameCount_; }
    const std::string& Target() const { return target_; }

private:
    /// Starts the encoder writing to the file; false when the program cannot be started.
    bool StartEncoder(const std::string& file);
    /// Closes the encoder's input and waits for it; true when it ended successfully.
    bool FinishEncoder();

    std::string encoder_;
    bool recording_ = false;
    int width_ = 0;
    int height_ = 0;
    int frameCount_ = 0;
    std::string target_;
    /// The socket the frames are sent on, and the encoder's process; -1 without.
    int encoderInput_ = -1;
    pid_t encoderPid_ = -1;
};
