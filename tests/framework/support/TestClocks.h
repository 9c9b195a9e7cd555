#pragma once
// Clocks for the framework's tests: time moves only when the test (or the code under
// test) moves it.

#include <atomic>
#include <cstdint>
#include <deque>
#include <mutex>
#include <thread>
#include <vector>

#include "framework/MillisecondClock.h"

/// Time that a test sets by hand; Sleep advances it.
class ManualClock : public MillisecondClock {
public:
    explicit ManualClock(std::uint32_t start = 0) : now_(start) {}
    std::uint32_t Now() override { return now_; }
    void Sleep(std::uint32_t milliseconds) override { now_ += milliseconds; }
    void Set(std::uint32_t now) { now_ = now; }
    void Advance(std::uint32_t milliseconds) { now_ += milliseconds; }

private:
    std::atomic<std::uint32_t> now_;
};

/// Each reading returns the next value of a script (the last one again when it has
/// run out); sleeps are recorded and do not move the time.
class ScriptedClock : public MillisecondClock {
public:
    std::uint32_t Now() override {
        std::lock_guard lock(mutex_);
        if (!script_.empty()) {
            current_ = script_.front();
            script_.pop_front();
        }
        return current_;
    }
    void Sleep(std::uint32_t milliseconds) override {
        std::lock_guard lock(mutex_);
        sleeps_.push_back(milliseconds);
    }
    void Then(std::uint32_t now) {
        std::lock_guard lock(mutex_);
        script_.push_back(now);
    }
    std::vector<std::uint32_t> Sleeps() {
        std::lock_guard lock(mutex_);
        return sleeps_;
    }
    void ClearSleeps() {
        std::lock_guard lock(mutex_);
        sleeps_.clear();
    }

private:
    std::mutex mutex_;
    std::deque<std::uint32_t> script_;
    std::uint32_t current_ = 0;
    std::vector<std::uint32_t> sleeps_;
};

/// Every reading advances time by 1 ms and a sleep by its length, as a fast machine
/// polling a millisecond timer would see it; loops on it run as fast as they can.
class SteppingClock : public MillisecondClock {
public:
    std::uint32_t Now() override { return now_.fetch_add(1); }
    void Sleep(std::uint32_t milliseconds) override {
        now_ += milliseconds;
        std::this_thread::yield();
    }
    /// The time the next reading returns, without moving it.
    std::uint32_t Peek() const { return now_; }

private:
    std::atomic<std::uint32_t> now_{1000};
};
