#pragma once

#include "platform/clocks.h"
#include "platform/combinedwait.h"
#include "platform/eventpump.h"
#include "platform/tickcounter.h"

#include <functional>
#include <map>

// Virtual time for logic tests: waits jump to the next scheduled event or to their
// time-out, and the pump runs whatever is due. Nothing ever sleeps.
class SimulatedTime final : public Clocks, public CombinedWait, public EventPump, public TickCounter {
public:
    explicit SimulatedTime(double startSeconds) : Now(startSeconds) {}

    // Runs `action` in the first pump at or after `seconds` (absolute virtual time).
    void At(double seconds, std::function<void()> action);

    float SecondsSinceMidnight() override;
    LocalDateTime LocalNow() override { return {}; }
    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                  uint32_t timeoutMs) override;
    void PumpMessages() override;
    uint32_t GetTickCount() override;

    double Now;
    int Pumps = 0;
    // Past this many pumps every wait fails, as it does once the event loop has gone, so a
    // loop that never ends fails its test instead of hanging it.
    int PumpLimit = 1000000;

private:
    std::multimap<double, std::function<void()>> Scheduled;
};
