#include "tests/support/warpedtime.h"

#include <algorithm>

float WarpedTime::SecondsSinceMidnight()
{
    const std::chrono::duration<double> real = std::chrono::steady_clock::now() - Started;
    return static_cast<float>(real.count() + Skipped);
}

int32_t WarpedTime::WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                          uint32_t timeoutMs)
{
    const float before = SecondsSinceMidnight();
    const int32_t result = Real.WaitForInputOrHandles(handleCount, handles,
                                                      std::min(timeoutMs, IdleMs));
    if (result == WaitCode::Timeout && timeoutMs > IdleMs)
        Skipped += std::max(0.0, timeoutMs / 1000.0 - (SecondsSinceMidnight() - before));
    return result;
}
