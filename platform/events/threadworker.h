#pragma once

#include "platform/events/donesignal.h"
#include "platform/events/worker.h"

#include <memory>
#include <thread>

// One job at a time, each on a thread of its own, so that a job the program gave up on
// holds nothing the next one needs.
class ThreadWorker final : public Worker {
public:
    ThreadWorker() = default;
    ThreadWorker(const ThreadWorker &) = delete;
    ThreadWorker &operator=(const ThreadWorker &) = delete;
    ~ThreadWorker() override { Release(); }

    int32_t Start(std::function<void()> job) override;

private:
    void Release();

    std::thread Thread;
    std::shared_ptr<DoneSignal> Done;
};
