#include "tests/support/simulatedtime.h"

#include <cmath>

void SimulatedTime::At(double seconds, std::function<void()> action)
{
    Scheduled.emplace(seconds, std::move(action));
}

float SimulatedTime::SecondsSinceMidnight()
{
    return static_cast<float>(std::fmod(Now, 86400.0));
}

int32_t SimulatedTime::WaitForInputOrHandles(int32_t handleCount, const int32_t *,
                                             uint32_t timeoutMs)
{
    if (Pumps >= PumpLimit)
        return WaitCode::Failed;
    const double deadline = timeoutMs == WaitCode::Infinite ? INFINITY : Now + timeoutMs / 1000.0;
    if (!Scheduled.empty() && Scheduled.begin()->first <= deadline) {
        Now = std::max(Now, Scheduled.begin()->first);
        return handleCount;
    }
    Now = deadline;
    return WaitCode::Timeout;
}

uint32_t SimulatedTime::GetTickCount()
{
    return static_cast<uint32_t>(std::llround(Now * 1000.0));
}

void SimulatedTime::PumpMessages()
{
    ++Pumps;
    // Only what was pending when the pump began: what comes in while a handler runs
    // waits for the next pump, as it does on a real event loop.
    const double pumpStart = Now;
    while (!Scheduled.empty() && Scheduled.begin()->first <= pumpStart) {
        auto action = std::move(Scheduled.begin()->second);
        Scheduled.erase(Scheduled.begin());
        action();
    }
}
