#pragma once
// The world's worker threads, each with a mailbox (standard threads and atomic
// wait/notify). A phase has a number of work records (the world has one per thread, each
// owning a fixed share of the members). It posts its message to every worker and then takes
// part itself: each thread claims its own record first (the calling thread record 0, worker i
// record i + 1), so that a share's data stays in one core's cache from phase to phase, then
// any record still unclaimed, and the phase ends when every record is done. So the world
// starts one thread fewer than it has processors (the calling thread is the last one,
// instead of blocking), a worker that the system is slow to wake (a busy machine) never
// holds a phase up, as its record is run by whoever comes first, and which thread runs a
// record does not change its result. Between the phases of a step the workers spin for a
// while (pausing only at first, then yielding their core to any thread that waits for it),
// then sleep.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class WorldWorkers {
public:
    /// A phase has at most this many records (one bit each in the phase's ticket).
    static constexpr int kMaximumRecords = 32;
    /// Phase codes are passed to the handler as they are, from 0 to this.
    static constexpr int kMaximumCode = 255;

    /// Runs work record `index` of the phase with the message code.
    using Handler = std::function<void(int code, int index)>;

    /// Starts `count` workers that run the handler for the records they claim; when the system
    /// cannot start that many threads, as many as it could (Count() tells).
    WorldWorkers(int count, Handler handler);
    /// Posts the quit message to every worker and waits up to 3000 ms for them to end; a
    /// worker that does not end in time is left behind.
    ~WorldWorkers();
    WorldWorkers(const WorldWorkers&) = delete;
    WorldWorkers& operator=(const WorldWorkers&) = delete;

    /// The machine's processor count, at least 1 (the system may not know it).
    static int ProcessorCount();

    int Count() const { return static_cast<int>(workers_.size()); }
    /// Runs records 0 to records - 1 (at most kMaximumRecords) of the phase with the code and
    /// returns when all are done, without time limit. An exception of the handler is rethrown
    /// here once all are done.
    void Run(int code, int records);

private:
    struct Mailbox;
    struct Phase;
    static void WorkerMain(std::shared_ptr<Phase> phase, std::shared_ptr<Mailbox> mailbox, int own);
    /// Claims and runs records of the phase `sequence` while any are left, record `own` first.
    static void Participate(Phase& phase, std::uint32_t sequence, int own);

    std::shared_ptr<Phase> phase_;
    std::vector<std::shared_ptr<Mailbox>> workers_;
    std::uint32_t sequence_ = 0;
};
