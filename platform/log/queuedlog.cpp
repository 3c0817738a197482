#include "platform/log/queuedlog.h"

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <system_error>
#include <thread>

namespace {

// A day of the busiest monitoring writes far fewer; beyond this a writer has hung, and the
// oldest entries give way so that memory stays bounded.
constexpr std::size_t MostQueued = 4096;
constexpr std::chrono::seconds LastWritesWait{2};

} // namespace

// Shared by the caller and the writing thread, so that either may end first.
struct QueuedLog::Queue {
    explicit Queue(std::unique_ptr<SystemLog> writer) : Writer(std::move(writer)) {}

    void WriteUntilClosed()
    {
        std::unique_lock lock(Guard);
        for (;;) {
            Changed.wait(lock, [this] { return !Entries.empty() || Closed; });
            if (Entries.empty())
                return;
            const LogEntry entry = std::move(Entries.front());
            Entries.pop_front();
            Writing = true;
            lock.unlock();
            Writer->Write(entry);
            lock.lock();
            Writing = false;
            Changed.notify_all();
        }
    }

    std::unique_ptr<SystemLog> Writer;
    std::mutex Guard;
    std::condition_variable Changed;
    std::deque<LogEntry> Entries; // guarded
    bool Writing = false;         // guarded: an entry taken from the queue is on its way
    bool Closed = false;          // guarded
};

QueuedLog::QueuedLog(std::unique_ptr<SystemLog> writer) : Pending(std::make_shared<Queue>(std::move(writer)))
{
    try {
        std::thread([queue = Pending] { queue->WriteUntilClosed(); }).detach();
    } catch (const std::system_error &) {
        // Without a thread of its own each entry is written by its caller.
        Pending->Closed = true;
    }
}

QueuedLog::~QueuedLog()
{
    std::unique_lock lock(Pending->Guard);
    Pending->Closed = true;
    Pending->Changed.notify_all();
    Pending->Changed.wait_for(lock, LastWritesWait, [this] { return Pending->Entries.empty() && !Pending->Writing; });
}

void QueuedLog::Write(const LogEntry &entry)
{
    std::unique_lock lock(Pending->Guard);
    if (Pending->Closed) {
        lock.unlock();
        Pending->Writer->Write(entry);
        return;
    }
    if (Pending->Entries.size() == MostQueued)
        Pending->Entries.pop_front();
    Pending->Entries.push_back(entry);
    Pending->Changed.notify_all();
}
