#include "platform/events/threadworker.h"

#include <system_error>

int32_t ThreadWorker::Start(std::function<void()> job)
{
    // Two readings at once would only compete for the same server.
    if (Done && !Done->Raised())
        return -1;
    Release();
    Done = DoneSignal::Make();
    if (!Done)
        return -1;
    try {
        Thread = std::thread([job = std::move(job), done = Done] {
            job();
            done->Raise();
        });
    } catch (const std::system_error &) {
        return -1;
    }
    return Done->WaitHandle();
}

// A job that has not returned by the end waits on a server that does not answer; nobody
// waits for it in turn, and what it owns goes with it.
void ThreadWorker::Release()
{
    if (!Thread.joinable())
        return;
    if (Done->Raised())
        Thread.join();
    else
        Thread.detach();
}
