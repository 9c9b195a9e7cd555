// How much faster two threads do work that shares no data than one thread does, on this
// machine now: the most two workers can gain over one in the towers comparison. Each thread
// reads and writes a buffer of its own (the size of half the towers scene's items, by
// default) in a scattered order; first one thread alone, then two at once.
//
//   thread-ceiling [--megabytes M] [--rounds R]
//
// Prints one JSON line: the seconds of the thread alone and of each of the two, and the
// ceiling t1/ta + t1/tb (the two threads' speeds over the lone thread's, which a step
// whose shares follow the threads' speeds can reach), and the time a cache line takes to go
// from one thread to the other and back: the hand-overs and the data at the shares' borders
// of a step pay it (a virtual machine's two processors may share a cache, or not, and change).

#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <algorithm>
#include <atomic>
#include <cstring>
#include <thread>
#include <vector>

namespace {

double Work(std::size_t megabytes, int rounds, int seed) {
    std::vector<std::uint64_t> buffer(megabytes * 1024 * 1024 / sizeof(std::uint64_t));
    const std::size_t count = buffer.size();
    for (std::size_t i = 0; i < count; ++i) {
        buffer[i] = (i * 2654435761u + static_cast<std::uint64_t>(seed)) % count;
    }
    const auto start = std::chrono::steady_clock::now();
    std::uint64_t sum = 0;
    for (int round = 0; round < rounds; ++round) {
        for (std::size_t i = 0; i < count; ++i) {
            sum += buffer[(buffer[i] + static_cast<std::uint64_t>(round)) % count];
            buffer[i] ^= sum & 1u;
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    // keep the sums alive
    if (sum == 1) {
        std::fputs("", stderr);
    }
    return seconds;
}

/// Nanoseconds of one round trip of a cache line between two threads (each waits for the
/// other's write, then writes).
double RoundTrip() {
    constexpr int kTrips = 200000;
    alignas(64) std::atomic<int> flag{0};
    std::thread other([&] {
        for (int i = 0; i < kTrips; ++i) {
            while (flag.load(std::memory_order_acquire) != 2 * i + 1) {
            }
            flag.store(2 * i + 2, std::memory_order_release);
        }
    });
    const auto start = std::chrono::steady_clock::now();
    for (int i = 0; i < kTrips; ++i) {
        flag.store(2 * i + 1, std::memory_order_release);
        while (flag.load(std::memory_order_acquire) != 2 * i + 2) {
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    other.join();
    return 1.0e9 * seconds / kTrips;
}

} // namespace

int main(int argc, char** argv) {
    std::size_t megabytes = 2;
    int rounds = 1200;
    for (int i = 1; i + 1 < argc; i += 2) {
        if (std::strcmp(argv[i], "--megabytes") == 0) {
            megabytes = static_cast<std::size_t>(std::max(1, std::atoi(argv[i + 1])));
        } else if (std::strcmp(argv[i], "--rounds") == 0) {
            rounds = std::max(1, std::atoi(argv[i + 1]));
        } else {
            std::fprintf(stderr, "usage: thread-ceiling [--megabytes M] [--rounds R]\n");
            return 2;
        }
    }
    const double alone = Work(megabytes, rounds, 1);
    double first = 0.0;
    double second = 0.0;
    std::thread other([&] { second = Work(megabytes, rounds, 2); });
    first = Work(megabytes, rounds, 3);
    other.join();
    const double roundTrip = RoundTrip();
    std::printf("{\"megabytes\":%zu,\"alone_seconds\":%.4f,\"together_seconds\":[%.4f,%.4f],\"ceiling\":%.3f,"
                "\"round_trip_ns\":%.0f}\n",
                megabytes, alone, first, second, alone / first + alone / second, roundTrip);
    return 0;
}
