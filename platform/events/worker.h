#pragma once

#include <cstdint>
#include <functional>

// Runs a job on a thread of its own, so that a service source that takes seconds, or never
// answers, cannot hold the window; the combined wait waits for the job's end like any other
// handle.
class Worker {
public:
    virtual ~Worker() = default;
    // Starts `job` and returns the handle that is signalled once it has returned, or an
    // invalid one while the last job runs or when no thread could be had. The job owns
    // whatever it uses: one still running when the program ends is left to end with the
    // process.
    virtual int32_t Start(std::function<void()> job) = 0;
};
