#pragma once
// The world's worker threads, each with a mailbox (standard threads and atomic
// wait/notify). A phase has a number of work records (one per processor for the contact
// work). It posts its message to every worker and then takes part itself: the calling thread and the workers
// claim the records one by one, and the phase ends when every record is done. So the world starts one thread
// fewer than it has processors (the calling thread is the last one, instead of blocking), a worker that the
// system is slow to wake never holds a phase up, and which thread runs a record does not change its result.

#include <atomic>
#include <cstdint>
#include <exception>
#include <functional>
#include <memory>
#include <vector>

class WorldWorkers {
public:
    /// Message codes.
    static constexpr int kCollide = 0x8064;
    static constexpr int kIntegrate = 0x8065;
    /// The refresh of the members' world placements, shared out like the integration.
    static constexpr int kRefresh = 0x8066;

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
    /// Runs records 0 to records - 1 of the phase and returns when all are done, without time
    /// limit. An exception of the handler is rethrown here once all are done.
    void Run(int code, int records);

private:
    struct Mailbox;
    struct Phase;
    static void WorkerMain(std::shared_ptr<Phase> phase, std::shared_ptr<Mailbox> mailbox);
    /// Claims and runs records of the phase `sequence` while any are left.
    static void Participate(Phase& phase, std::uint32_t sequence);

    std::shared_ptr<Phase> phase_;
    std::vector<std::shared_ptr<Mailbox>> workers_;
    std::uint32_t sequence_ = 0;
};
