#include "physics/WorldWorkers.h"

#include <bit>
#include <cassert>
#include <chrono>
#include <condition_variable>
#include <mutex>
#include <system_error>
#include <thread>

#if defined(__x86_64__) || defined(__i386__)
#include <immintrin.h>
#endif

namespace {

inline void CpuRelax() {
#if defined(__x86_64__) || defined(__i386__)
    _mm_pause();
#else
    std::this_thread::yield();
#endif
}

/// Worker spin after a phase: the next phase usually follows within this time, the serial
/// work between two steps of a large world (the grid's lists) included; a worker that went to
/// sleep instead wakes tens of microseconds late, and its share waits for it.
constexpr std::chrono::microseconds kWorkerSpin{1000};
/// The calling thread only waits for records already being run, seldom longer than this: it
/// spins that long, then sleeps.
constexpr std::chrono::microseconds kCallerSpin{1000};

/// The first part of a spin only pauses: a hand-over between two phases mostly comes within
/// it, and a yield is a system call that the change may have to wait for.
constexpr std::chrono::microseconds kSpinBeforeYield{50};

/// Waits until value differs from `old`: spins for up to `spin` first, then sleeps.
std::uint32_t WaitForChange(const std::atomic<std::uint32_t>& value, std::uint32_t old,
                            std::chrono::microseconds spin) {
    std::uint32_t current = value.load(std::memory_order_acquire);
    if (current != old) {
        return current;
    }
    const auto start = std::chrono::steady_clock::now();
    const auto until = start + spin;
    const auto yieldFrom = start + kSpinBeforeYield;
    for (;;) {
        for (int i = 0; i < 64; ++i) {
            CpuRelax();
            current = value.load(std::memory_order_acquire);
            if (current != old) {
                return current;
            }
        }
        const auto now = std::chrono::steady_clock::now();
        if (now >= until) {
            break;
        }
        if (now < yieldFrom) {
            continue;
        }
        // on a busy machine the thread that will make the change may be waiting for this core:
        // hand it over (on an idle one this returns at once)
        std::this_thread::yield();
    }
    for (;;) {
        value.wait(old, std::memory_order_acquire);
        current = value.load(std::memory_order_acquire);
        if (current != old) {
            return current;
        }
    }
}

// the ticket of a phase packs its sequence number (24 bits), its code (8 bits) and one bit per
// record, set once the record is claimed (records the phase does not have are set from the
// start), so that a worker that wakes late can never claim a record of a later phase
constexpr int kSequenceShift = 40;
constexpr std::uint32_t kSequenceMask = 0xFFFFFFu;

std::uint64_t Ticket(std::uint32_t sequence, int code, std::uint32_t records) {
    const std::uint32_t unavailable = records >= 32 ? 0u : ~((1u << records) - 1u);
    return static_cast<std::uint64_t>(sequence & kSequenceMask) << kSequenceShift |
           static_cast<std::uint64_t>(code) << 32 | unavailable;
}

} // namespace

struct WorldWorkers::Phase {
    WorldWorkers::Handler handler;
    std::atomic<std::uint64_t> ticket{0};
    /// Records of the current phase, and those that are done.
    std::atomic<std::uint32_t> records{0};
    std::atomic<std::uint32_t> finished{0};
    std::mutex failureMutex;
    std::exception_ptr failure;
};

struct WorldWorkers::Mailbox {
    /// Sequence number of the last message posted to this worker; 0 before the first.
    std::atomic<std::uint32_t> posted{0};
    std::atomic<bool> quit{false};
    std::thread thread;
    // end of the thread, for the bounded wait at destruction
    std::mutex endMutex;
    std::condition_variable endSignal;
    bool ended = false;
};

int WorldWorkers::ProcessorCount() {
    // the system answers 0 when it does not know
    const unsigned processors = std::thread::hardware_concurrency();
    return processors == 0 ? 1 : static_cast<int>(processors);
}

WorldWorkers::WorldWorkers(int count, Handler handler) : phase_(std::make_shared<Phase>()) {
    phase_->handler = std::move(handler);
    for (int index = 0; index < count; ++index) {
        auto mailbox = std::make_shared<Mailbox>();
        try {
            mailbox->thread = std::thread(&WorldWorkers::WorkerMain, phase_, mailbox, index + 1);
        } catch (const std::system_error&) {
            // the system has no thread to spare: the calling thread takes part in every phase,
            // so the phases complete with the workers that did start, or with none
            break;
        }
        workers_.push_back(std::move(mailbox));
    }
}

WorldWorkers::~WorldWorkers() {
    ++sequence_;
    for (auto& mailbox : workers_) {
        mailbox->quit.store(true, std::memory_order_release);
        mailbox->posted.store(sequence_, std::memory_order_release);
        mailbox->posted.notify_one();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(3000);
    for (auto& mailbox : workers_) {
        bool ended = false;
        {
            std::unique_lock<std::mutex> lock(mailbox->endMutex);
            ended = mailbox->endSignal.wait_until(lock, deadline, [&] { return mailbox->ended; });
        }
        // a worker that did not end keeps what it uses alive through its own references
        if (ended) {
            mailbox->thread.join();
        } else {
            mailbox->thread.detach();
        }
    }
}

void WorldWorkers::Participate(Phase& phase, std::uint32_t sequence, int own) {
    for (;;) {
        std::uint64_t ticket = phase.ticket.load(std::memory_order_acquire);
        if ((ticket >> kSequenceShift) != (sequence & kSequenceMask)) {
            return;
        }
        const std::uint32_t taken = static_cast<std::uint32_t>(ticket);
        if (taken == ~0u) {
            return;
        }
        // the thread's own record while it is free, else the first free one
        const int record = own < kMaximumRecords && (taken >> own & 1u) == 0 ? own : std::countr_one(taken);
        if (!phase.ticket.compare_exchange_weak(ticket, ticket | std::uint64_t{1} << record,
                                                std::memory_order_acq_rel)) {
            continue;
        }
        const int code = static_cast<int>(ticket >> 32 & 0xFFu);
        try {
            phase.handler(code, record);
        } catch (...) {
            std::lock_guard<std::mutex> lock(phase.failureMutex);
            if (!phase.failure) {
                phase.failure = std::current_exception();
            }
        }
        if (phase.finished.fetch_add(1, std::memory_order_acq_rel) + 1 ==
            phase.records.load(std::memory_order_relaxed)) {
            phase.finished.notify_all();
        }
    }
}

void WorldWorkers::Run(int code, int records) {
    assert(records >= 0 && records <= kMaximumRecords);
    assert(code >= 0 && code <= kMaximumCode);
    if (records <= 0) {
        return;
    }
    Phase& phase = *phase_;
    ++sequence_;
    if ((sequence_ & kSequenceMask) == 0) {
        ++sequence_;
    }
    const std::uint32_t count = static_cast<std::uint32_t>(records);
    phase.finished.store(0, std::memory_order_relaxed);
    phase.records.store(count, std::memory_order_relaxed);
    phase.ticket.store(Ticket(sequence_, code, count), std::memory_order_release);
    for (auto& mailbox : workers_) {
        mailbox->posted.store(sequence_, std::memory_order_release);
        mailbox->posted.notify_one();
    }

    // take part, then wait for the records other threads are running
    Participate(phase, sequence_, 0);
    std::uint32_t finished = phase.finished.load(std::memory_order_acquire);
    while (finished != count) {
        finished = WaitForChange(phase.finished, finished, kCallerSpin);
    }

    std::exception_ptr failure;
    {
        std::lock_guard<std::mutex> lock(phase.failureMutex);
        failure = phase.failure;
        phase.failure = nullptr;
    }
    if (failure) {
        std::rethrow_exception(failure);
    }
}

void WorldWorkers::WorkerMain(std::shared_ptr<Phase> phase, std::shared_ptr<Mailbox> mailbox, int own) {
    std::uint32_t seen = 0;
    for (;;) {
        seen = WaitForChange(mailbox->posted, seen, kWorkerSpin);
        if (mailbox->quit.load(std::memory_order_acquire)) {
            break;
        }
        Participate(*phase, seen, own);
    }
    std::lock_guard<std::mutex> lock(mailbox->endMutex);
    mailbox->ended = true;
    mailbox->endSignal.notify_all();
}
