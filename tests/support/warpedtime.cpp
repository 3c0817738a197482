#include "tests/support/warpedtime.h"

#include <algorithm>
#include <cmath>

WarpedTime::WarpedTime(CombinedWait &real, double startSeconds)
    : Real(real), StartSeconds(startSeconds)
{
}

double WarpedTime::Now() const
{
    const std::chrono::duration<double> real = std::chrono::steady_clock::now() - Started;
    return StartSeconds + real.count() + Skipped;
}

float WarpedTime::SecondsSinceMidnight()
{
    return static_cast<float>(std::fmod(Now(), 86400.0));
}

LocalDateTime WarpedTime::LocalNow()
{
    return {2026, 12, 6, 21, 34, 18, "Sun", "Dec"};
}

int32_t WarpedTime::WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                          uint32_t timeoutMs)
{
    const double before = Now();
    const int32_t result = Real.WaitForInputOrHandles(handleCount, handles,
                                                      std::min(timeoutMs, IdleMs));
    if (result == WaitCode::Timeout && timeoutMs > IdleMs)
        Skipped += std::max(0.0, timeoutMs / 1000.0 - (Now() - before));
    return result;
}
