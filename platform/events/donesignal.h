#pragma once

#include <atomic>
#include <cstdint>
#include <memory>

// The end of one job, raised on the job's thread and waited for on the window's: an eventfd
// on Linux, an event on Windows. Once raised it stays raised, so that whoever waits later
// still sees the job ended.
class DoneSignal {
public:
    // Null when the system has none to give.
    static std::shared_ptr<DoneSignal> Make();

    virtual ~DoneSignal() = default;
    DoneSignal(const DoneSignal &) = delete;
    DoneSignal &operator=(const DoneSignal &) = delete;

    void Raise()
    {
        Flag = true;
        WakeWaiters();
    }
    bool Raised() const { return Flag; }
    // What the combined wait takes for it.
    virtual int32_t WaitHandle() const = 0;

protected:
    DoneSignal() = default;

private:
    virtual void WakeWaiters() = 0;

    std::atomic<bool> Flag = false;
};
