#pragma once
// Shared helpers of the test suites: tolerant comparisons of the math types and a
// log writer that keeps its records for inspection.

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

#include "common/LogWriter.h"
#include "physics/Quaternion.h"
#include "physics/Vector3.h"

::testing::AssertionResult VectorNear(const Vector3& actual, const Vector3& expected, float tolerance);
/// Compares rotations: q and -q are the same rotation.
::testing::AssertionResult QuaternionNear(const Quaternion& actual, const Quaternion& expected,
                                          float tolerance);

#define EXPECT_VECTOR_NEAR(actual, expected, tolerance)                                                      \
    EXPECT_TRUE(VectorNear((actual), (expected), (tolerance)))
#define EXPECT_QUATERNION_NEAR(actual, expected, tolerance)                                                  \
    EXPECT_TRUE(QuaternionNear((actual), (expected), (tolerance)))

/// Keeps every record written to it; install it as the process-wide writer with ScopedLogCapture.
class RecordingLogWriter : public LogWriter {
public:
    struct Record {
        std::wstring sourceFile;
        int line;
        std::wstring message;
        int level;
    };

    void Write(const std::wstring& sourceFile, int line, const std::wstring& message, int level) override;
    std::vector<Record> Records() const;
    /// Records at level 1 (failures).
    std::vector<Record> Errors() const;
    void Clear();

private:
    mutable std::mutex mutex_;
    std::vector<Record> records_;
};

/// Installs a RecordingLogWriter as the process-wide writer for its lifetime. Unless told
/// that failures are expected, it fails the test on any level-1 record. A test that expects
/// level-1 records declares them with one of these (failuresExpected or ExpectFailures()):
/// outside such a scope the program's check fails the test on any level-1 record.
class ScopedLogCapture {
public:
    explicit ScopedLogCapture(int threshold = 4, bool failuresExpected = false);
    ~ScopedLogCapture();
    RecordingLogWriter& Writer() { return writer_; }
    void ExpectFailures() { failuresExpected_ = true; }

private:
    RecordingLogWriter writer_;
    LogWriter* previous_;
    bool failuresExpected_;
};

/// Fails every test that leaves a level-1 log record outside a ScopedLogCapture that expects
/// failures: while each test runs, a recording writer is the process-wide writer. The shared
/// main of the test programs installs it; a program with its own main calls this after
/// InitGoogleTest.
void InstallLevelOneLogCheck();

/// A fresh empty directory under the system's temporary folder, removed with the object.
class TemporaryDirectory {
public:
    TemporaryDirectory();
    ~TemporaryDirectory();
    const std::string& Path() const { return path_; }

private:
    std::string path_;
};
