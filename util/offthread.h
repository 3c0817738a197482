#pragma once

#include "platform/events/worker.h"
#include "util/modmsgwaitobj.h"

#include <atomic>
#include <memory>
#include <optional>
#include <span>

// Runs `job` on the worker while the caller's messages are pumped, for at most `limitMs` (-1:
// no limit), so that a server, a store or a peer that takes its time, or never answers, holds
// no window. Its result; `noThread` when the worker had none to give; nothing when the wait ended
// first, because the limit passed or the program is ending: the job then goes on unobserved, and
// owns all it uses.
template <typename Result, typename Job>
std::optional<Result> RunOffThread(Worker &worker, int32_t limitMs, const modMsgWaitObj::MessageWaitPlatform &wait,
                                   Job job, Result noThread)
{
    // The worker hands the result over through Finished: the signal the wait sees orders
    // nothing between the threads.
    struct Shared {
        Result Value;
        std::atomic<bool> Finished = false;
    };
    const auto shared = std::make_shared<Shared>();
    const int32_t done = worker.Start([job = std::move(job), shared] {
        shared->Value = job();
        shared->Finished.store(true, std::memory_order_release);
    });
    if (done < 0)
        return noThread;
    if (modMsgWaitObj::WaitPumpingMessages(limitMs, std::span(&done, 1), wait) != WaitCode::Object0 ||
        !shared->Finished.load(std::memory_order_acquire))
        return std::nullopt;
    return shared->Value;
}
