#include "render/MeshReaderProcess.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <vector>

extern char** environ;

namespace {

/// Closes a descriptor when it goes out of scope.
class Descriptor {
public:
    explicit Descriptor(int fd) : fd_(fd) {}
    ~Descriptor() {
        if (fd_ >= 0) {
            close(fd_);
        }
    }
    Descriptor(const Descriptor&) = delete;
    Descriptor& operator=(const Descriptor&) = delete;
    int Get() const { return fd_; }

private:
    int fd_;
};

/// The child's status, waiting for it to end.
int WaitFor(pid_t pid, bool& waited) {
    int status = 0;
    pid_t result = -1;
    do {
        result = waitpid(pid, &status, 0);
    } while (result < 0 && errno == EINTR);
    waited = result == pid;
    return status;
}

enum class ReadEnd { Whole, TimedOut, TooMuch, Failed };

/// Reads the pipe to its end, within the time limit and the size bound.
ReadEnd ReadAll(int fd, std::string& bytes) {
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::milliseconds(MeshReaderProcess::kTimeLimitMs);
    char buffer[65536];
    for (;;) {
        const auto left =
            std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now())
                .count();
        if (left <= 0) {
            return ReadEnd::TimedOut;
        }
        pollfd entry{fd, POLLIN, 0};
        const int ready = poll(&entry, 1, static_cast<int>(left));
        if (ready < 0) {
            if (errno == EINTR) {
                continue;
            }
            return ReadEnd::Failed;
        }
        if (ready == 0) {
            continue;
        }
        const ssize_t count = read(fd, buffer, sizeof buffer);
        if (count < 0) {
            if (errno == EINTR || errno == EAGAIN) {
                continue;
            }
            return ReadEnd::Failed;
        }
        if (count == 0) {
            return ReadEnd::Whole;
        }
        if (bytes.size() + static_cast<std::size_t>(count) > MeshReaderProcess::kMaxMeshBytes) {
            return ReadEnd::TooMuch;
        }
        bytes.append(buffer, static_cast<std::size_t>(count));
    }
}

} // namespace

std::string MeshReaderProcess::ProgramPath() {
    // found once: the program does not move while it runs
    static const std::string found = [] {
        std::error_code error;
        const std::filesystem::path program = std::filesystem::read_symlink("/proc/self/exe", error);
        if (error) {
            return std::string();
        }
        for (const std::filesystem::path& candidate :
             {program.parent_path() / kProgramName,
              program.parent_path().parent_path() / "lib" / "kivaro" / kProgramName}) {
            if (access(candidate.c_str(), X_OK) == 0) {
                return candidate.string();
            }
        }
        return std::string();
    }();
    return found;
}

MeshReaderProcess::Outcome MeshReaderProcess::Read(const std::string& path, MeshData& mesh,
                                                   std::string& detail) {
    std::error_code error;
    if (!std::filesystem::is_regular_file(path, error)) {
        return Outcome::NotFound;
    }
    const std::uintmax_t size = std::filesystem::file_size(path, error);
    if (error || size > kMaxFileBytes) {
        detail = "a file of " + std::to_string(size) + " bytes";
        return Outcome::TooLarge;
    }
    const std::string program = ProgramPath();
    if (program.empty()) {
        detail = std::string("no ") + kProgramName + " beside the program";
        return Outcome::NoReader;
    }

    // the pipe's ends are closed in every other child the program starts meanwhile, so that
    // the read end sees the end of the file when this child ends
    int ends[2];
    if (pipe2(ends, O_CLOEXEC) != 0) {
        detail = "no pipe";
        return Outcome::NoReader;
    }
    Descriptor readEnd(ends[0]);
    pid_t pid = -1;
    {
        Descriptor writeEnd(ends[1]);
        posix_spawn_file_actions_t actions;
        posix_spawn_file_actions_init(&actions);
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
        posix_spawn_file_actions_adddup2(&actions, writeEnd.Get(), STDOUT_FILENO);
        std::vector<char*> argv{const_cast<char*>(program.c_str()), const_cast<char*>(path.c_str()), nullptr};
        const int failure = posix_spawn(&pid, program.c_str(), &actions, nullptr, argv.data(), environ);
        posix_spawn_file_actions_destroy(&actions);
        if (failure != 0) {
            detail = "cannot start " + program;
            return Outcome::NoReader;
        }
    }

    std::string bytes;
    const ReadEnd end = ReadAll(readEnd.Get(), bytes);
    if (end != ReadEnd::Whole) {
        // the reader hangs or floods the pipe: it is stopped
        kill(pid, SIGKILL);
    }
    bool waited = false;
    const int status = WaitFor(pid, waited);
    switch (end) {
    case ReadEnd::TimedOut:
        detail = "the reader took longer than " + std::to_string(kTimeLimitMs) + " ms";
        return Outcome::ReaderFailed;
    case ReadEnd::TooMuch:
        detail = "the reader sent more than " + std::to_string(kMaxMeshBytes) + " bytes";
        return Outcome::ReaderFailed;
    case ReadEnd::Failed:
        detail = "the reader's pipe failed";
        return Outcome::ReaderFailed;
    case ReadEnd::Whole:
        break;
    }
    // a program that leaves its children to the system cannot wait for them: the whole mesh
    // that Decode demands is then the only sign of success
    if (waited && WIFSIGNALED(status)) {
        detail = "the reader ended by signal " + std::to_string(WTERMSIG(status));
        return Outcome::ReaderFailed;
    }
    if (waited && WIFEXITED(status) && WEXITSTATUS(status) != 0) {
        detail = "the reader ended with status " + std::to_string(WEXITSTATUS(status));
        return WEXITSTATUS(status) == 1 ? Outcome::NoMesh : Outcome::ReaderFailed;
    }
    std::optional<MeshData> decoded = MeshData::Decode(bytes);
    if (!decoded) {
        detail = "the reader's " + std::to_string(bytes.size()) + " bytes are no whole mesh";
        return Outcome::ReaderFailed;
    }
    mesh = std::move(*decoded);
    return Outcome::Loaded;
}
