#include "support/TestSupport.h"

#include <cmath>
#include <cstdlib>
#include <filesystem>
#include <stdexcept>
#include <string>

#include "common/WideText.h"

::testing::AssertionResult VectorNear(const Vector3& actual, const Vector3& expected, float tolerance) {
    float dx = std::fabs(actual.x - expected.x);
    float dy = std::fabs(actual.y - expected.y);
    float dz = std::fabs(actual.z - expected.z);
    if (dx <= tolerance && dy <= tolerance && dz <= tolerance) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ", " << actual.z << ") differs from (" << expected.x
           << ", " << expected.y << ", " << expected.z << ") by more than " << tolerance;
}

::testing::AssertionResult QuaternionNear(const Quaternion& actual, const Quaternion& expected,
                                          float tolerance) {
    auto near = [&](float sign) {
        return std::fabs(actual.x - sign * expected.x) <= tolerance &&
               std::fabs(actual.y - sign * expected.y) <= tolerance &&
               std::fabs(actual.z - sign * expected.z) <= tolerance &&
               std::fabs(actual.w - sign * expected.w) <= tolerance;
    };
    if (near(1.0f) || near(-1.0f)) {
        return ::testing::AssertionSuccess();
    }
    return ::testing::AssertionFailure()
           << "(" << actual.x << ", " << actual.y << ", " << actual.z << ", " << actual.w
           << ") differs from (" << expected.x << ", " << expected.y << ", " << expected.z << ", "
           << expected.w << ") by more than " << tolerance;
}

void RecordingLogWriter::Write(const std::wstring& sourceFile, int line, const std::wstring& message,
                               int level) {
    if (this->level < level) {
        return;
    }
    std::lock_guard lock(mutex_);
    records_.push_back({sourceFile, line, message, level});
}

std::vector<RecordingLogWriter::Record> RecordingLogWriter::Records() const {
    std::lock_guard lock(mutex_);
    return records_;
}

std::vector<RecordingLogWriter::Record> RecordingLogWriter::Errors() const {
    std::lock_guard lock(mutex_);
    std::vector<Record> errors;
    for (const Record& record : records_) {
        if (record.level <= 1) {
            errors.push_back(record);
        }
    }
    return errors;
}

void RecordingLogWriter::Clear() {
    std::lock_guard lock(mutex_);
    records_.clear();
}

ScopedLogCapture::ScopedLogCapture(int threshold, bool failuresExpected)
    : previous_(GetLogWriter()), failuresExpected_(failuresExpected) {
    writer_.level = threshold;
    SetLogWriter(&writer_);
}

ScopedLogCapture::~ScopedLogCapture() {
    SetLogWriter(previous_);
    if (!failuresExpected_) {
        for (const auto& record : writer_.Errors()) {
            ADD_FAILURE() << "unexpected level-1 log record: " << ToUtf8(record.message);
        }
    }
}

namespace {

class LevelOneLogCheck : public ::testing::EmptyTestEventListener {
public:
    void OnTestStart(const ::testing::TestInfo& /*test*/) override {
        writer_.Clear();
        writer_.level = 1;
        previous_ = GetLogWriter();
        SetLogWriter(&writer_);
    }
    void OnTestEnd(const ::testing::TestInfo& /*test*/) override {
        if (GetLogWriter() == &writer_) {
            SetLogWriter(previous_);
        }
        for (const auto& record : writer_.Errors()) {
            ADD_FAILURE_AT(ToUtf8(record.sourceFile).c_str(), record.line)
                << "unexpected level-1 log record: " << ToUtf8(record.message);
        }
    }

private:
    RecordingLogWriter writer_;
    LogWriter* previous_ = nullptr;
};

} // namespace

void InstallLevelOneLogCheck() {
    // the listeners own what is appended to them, for the life of the program
    ::testing::UnitTest::GetInstance()->listeners().Append(new LevelOneLogCheck);
}

TemporaryDirectory::TemporaryDirectory() {
    std::string pattern = (std::filesystem::temp_directory_path() / "kivaro-test-XXXXXX").string();
    char* made = mkdtemp(pattern.data());
    if (made == nullptr) {
        throw std::runtime_error("mkdtemp failed");
    }
    path_ = made;
}

TemporaryDirectory::~TemporaryDirectory() {
    std::error_code ignored;
    std::filesystem::remove_all(path_, ignored);
}
