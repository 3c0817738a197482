#pragma once

#include "platform/log/systemlog.h"

#include <memory>

// Hands each entry to a writer on a thread of its own, in order, so that a record service that
// is slow or hangs never holds up its caller.
class QueuedLog final : public SystemLog {
public:
    explicit QueuedLog(std::unique_ptr<SystemLog> writer);
    // What is still queued gets a moment to be written; a writer that hangs is left to the end
    // of the process.
    ~QueuedLog() override;
    QueuedLog(const QueuedLog &) = delete;
    QueuedLog &operator=(const QueuedLog &) = delete;

    void Write(const LogEntry &entry) override;

private:
    struct Queue;
    std::shared_ptr<Queue> Pending;
};
