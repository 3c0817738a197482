#pragma once

#include <cstdint>

// Result codes of a combined wait; the values are the ones callers compare with.
namespace WaitCode {
constexpr int32_t Object0 = 0;      // + i: handle i was signalled
constexpr int32_t Abandoned0 = 128; // + i: handle i was abandoned
constexpr int32_t Timeout = 258;
constexpr int32_t Failed = -1;
constexpr uint32_t Infinite = 0xFFFFFFFFu;
}

// Sleeps until one of the handles is signalled, new user-interface input arrives, or the
// time-out passes. Returns Object0 + i for handle i, handleCount for new input, Timeout,
// or Failed (for instance an invalid handle). A time-out of Infinite never expires.
class CombinedWait {
public:
    virtual ~CombinedWait() = default;
    virtual int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                          uint32_t timeoutMs) = 0;
};
