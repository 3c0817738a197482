#pragma once

#include "platform/events/worker.h"

#include <atomic>
#include <memory>
#include <thread>

// The end of one job, raised on the job's thread and waited for on the window's: an eventfd
// on Linux, an event on Windows.
class DoneSignal {
public:
    static std::shared_ptr<DoneSignal> Make(); // null when the system has none to give
    ~DoneSignal();
    DoneSignal(const DoneSignal &) = delete;
    DoneSignal &operator=(const DoneSignal &) = delete;

    void Raise();
    bool Raised() const { return Flag; }
    int32_t WaitHandle() const;

private:
    explicit DoneSignal(intptr_t native) : Native(native) {}

    intptr_t Native;
    std::atomic<bool> Flag = false;
};

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
