#include "tester/VideoRecorder.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/socket.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <filesystem>
#include <utility>
#include <vector>

#include "common/WideText.h"
#include "common/myexception.h"
#include "framework/DirectX.h"
#include "framework/RenderDevice.h"

extern char** environ;

namespace {

std::wstring Widen(const std::string& text) {
    return FromUtf8(text);
}

} // namespace

VideoRecorder::VideoRecorder(std::string encoder) : encoder_(std::move(encoder)) {}

VideoRecorder::~VideoRecorder() {
    if (recording_) {
        try {
            Stop();
        } catch (const myexception&) {
            // the encoder's failure has nobody left to be told
        }
    }
}

std::string VideoRecorder::Start(const std::string& basePath, int width, int height) {
    if (recording_) {
        Stop();
    }
    width_ = width;
    height_ = height;
    frameCount_ = 0;
    if (!encoder_.empty() && StartEncoder(basePath + ".mp4")) {
        target_ = basePath + ".mp4";
    } else {
        // without the encoder: numbered pictures in a folder of their own
        std::error_code error;
        std::filesystem::create_directories(basePath, error);
        if (error) {
            throw DirectX::exec_error(Widen(basePath + ": " + error.message()));
        }
        target_ = basePath;
    }
    recording_ = true;
    return target_;
}

bool VideoRecorder::StartEncoder(const std::string& file) {
    int sockets[2];
    // a socket, not a pipe: a send to an encoder that has died fails instead of raising SIGPIPE
    if (socketpair(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0, sockets) != 0) {
        return false;
    }
    const std::string size = std::to_string(width_) + "x" + std::to_string(height_);
    const std::string rate = std::to_string(kFramesPerSecond);
    // H.264 in 4:2:0 wants even sizes: an odd edge gets one black line
    std::vector<std::string> arguments{
        encoder_,      "-loglevel", "error",      "-y",
        "-f",          "rawvideo",  "-pix_fmt",   "rgba",
        "-video_size", size,        "-framerate", rate,
        "-i",          "pipe:0",    "-vf",        "pad=ceil(iw/2)*2:ceil(ih/2)*2",
        "-c:v",        "libx264",   "-preset",    "veryfast",
        "-pix_fmt",    "yuv420p",   "-r",         rate,
        file};
    std::vector<char*> argv;
    for (std::string& argument : arguments) {
        argv.push_back(argument.data());
    }
    argv.push_back(nullptr);

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, sockets[1], STDIN_FILENO);
    posix_spawn_file_actions_addopen(&actions, STDOUT_FILENO, "/dev/null", O_WRONLY, 0);
    pid_t pid = -1;
    const int failure = posix_spawnp(&pid, encoder_.c_str(), &actions, nullptr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    close(sockets[1]);
    if (failure != 0) {
        close(sockets[0]);
        return false;
    }
    encoderInput_ = sockets[0];
    encoderPid_ = pid;
    return true;
}

void VideoRecorder::AddFrame(const FrameImage& frame, RenderDevice& device) {
    if (!recording_) {
        return;
    }
    if (frame.width != width_ || frame.height != height_) {
        // the window size changed: the video cannot take frames of another size
        Stop();
        throw DirectX::exec_error(Widen(target_));
    }
    if (encoderPid_ > 0) {
        // the whole frame, however long the encoder keeps us waiting
        const std::uint8_t* data = frame.rgba.data();
        std::size_t left = frame.rgba.size();
        while (left > 0) {
            const ssize_t sent = send(encoderInput_, data, left, MSG_NOSIGNAL);
            if (sent < 0) {
                if (errno == EINTR) {
                    continue;
                }
                // the encoder is gone: what it wrote is kept, the recording ends
                Stop();
                throw DirectX::exec_error(Widen(target_));
            }
            data += sent;
            left -= static_cast<std::size_t>(sent);
        }
    } else {
        char name[32];
        std::snprintf(name, sizeof name, "frame-%06d.png", frameCount_ + 1);
        if (!device.WritePng(frame, (std::filesystem::path(target_) / name).string())) {
            const std::string file = (std::filesystem::path(target_) / name).string();
            recording_ = false;
            throw DirectX::exec_error(Widen(file));
        }
    }
    ++frameCount_;
}

void VideoRecorder::Stop() {
    if (!recording_) {
        return;
    }
    recording_ = false;
    if (encoderPid_ > 0 && !FinishEncoder()) {
        throw DirectX::exec_error(Widen(target_));
    }
}

bool VideoRecorder::FinishEncoder() {
    // the end of its input tells the encoder to finish the file
    close(encoderInput_);
    encoderInput_ = -1;
    int status = 0;
    pid_t waited = -1;
    do {
        waited = waitpid(encoderPid_, &status, 0);
    } while (waited < 0 && errno == EINTR);
    encoderPid_ = -1;
    return waited > 0 && WIFEXITED(status) && WEXITSTATUS(status) == 0;
}
