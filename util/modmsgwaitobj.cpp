#include "util/modmsgwaitobj.h"

namespace modMsgWaitObj {
namespace {

// Tick values are compared only through differences wrapped modulo 2^32, so neither the
// counter's wrap to 0 (49.7 days) nor its turn negative as a signed value (24.9 days)
// disturbs a wait. When the plain signed sum or difference overflows, it is worked out
// again with the left operand moved by K towards zero first; K + K wraps to 0, so the
// result is the wrapped value, and every intermediate step stays within range.
constexpr int32_t K = INT32_MIN;

int32_t WrappedEndTick(int32_t start, int32_t interval)
{
    int32_t end;
    if (!__builtin_add_overflow(start, interval, &end))
        return end;
    return start > 0 ? (start + K) + interval + K : (start - K) + interval - K;
}

int32_t WrappedRemaining(int32_t end, int32_t now)
{
    int32_t remaining;
    if (!__builtin_sub_overflow(end, now, &remaining))
        return remaining;
    if (end > 0)
        return (end + K) - (now - K);
    // Only end 0 against now K overflows in the first step, end - K; now itself is then
    // the wrapped difference 2^31 read as signed, so it stands as the result.
    if (end == 0)
        return now;
    return (end - K) - (now + K);
}

// With a non-negative interval this is over exactly when more than interval ms have
// elapsed: elapsed beyond interval + 2^31 wraps the remaining time back to a positive
// value, which only the comparison with interval catches.
bool IsOver(int32_t remaining, int32_t interval)
{
    if ((remaining ^ interval) > 0)
        return remaining > interval;
    return remaining < 0;
}

int32_t ReadTicks(TickCounter &ticks)
{
    return static_cast<int32_t>(ticks.GetTickCount());
}

} // namespace

int32_t WaitPumpingMessages(int32_t Interval, std::span<const int32_t> Handles, const MessageWaitPlatform &platform)
{
    const auto HandleCount = static_cast<int32_t>(Handles.size());
    int32_t endTick = 0;
    int32_t remaining = -1; // taken as unsigned by the wait, -1 is Infinite
    if (Interval != -1)
        endTick = WrappedEndTick(ReadTicks(platform.Ticks), Interval);

    for (;;) {
        if (Interval != -1) {
            // Recomputed from the clock on every pass, so time spent in handlers during
            // the pump counts against the interval and input never stretches the wait.
            remaining = WrappedRemaining(endTick, ReadTicks(platform.Ticks));
            if (IsOver(remaining, Interval))
                return WaitCode::Timeout;
        }
        const int32_t result =
            platform.Wait.WaitForInputOrHandles(HandleCount, Handles.data(), static_cast<uint32_t>(remaining));
        // Whatever ended the sleep, the events that queued up meanwhile are handled
        // before the caller runs on.
        platform.Pump.PumpMessages();
        if (result != HandleCount)
            return result;
    }
}

} // namespace modMsgWaitObj
