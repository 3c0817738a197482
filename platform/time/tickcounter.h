#pragma once

#include <cstdint>

// Milliseconds since the system started, as a 32-bit counter that wraps to 0 after
// 2^32 ms (about 49.7 days). Callers compare readings only by wrapped differences.
class TickCounter {
public:
    virtual ~TickCounter() = default;
    virtual uint32_t GetTickCount() = 0;
};
