#pragma once

#include "platform/clocks.h"
#include "platform/combinedwait.h"

#include <chrono>

// Real time that skips idle stretches: a wait that sees no event for IdleMs is taken to
// have run its whole time-out, so a 15-second silence costs a test a fraction of a second.
// Every event still comes from the real event loop; the day begins when it is made.
class WarpedTime final : public Clocks, public CombinedWait {
public:
    explicit WarpedTime(CombinedWait &real) : Real(real) {}

    float SecondsSinceMidnight() override;
    LocalDateTime LocalNow() override { return {2026, 12, 6, 21, 34, 18, "Sun", "Dec"}; }
    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                  uint32_t timeoutMs) override;

    static constexpr uint32_t IdleMs = 250;

private:
    CombinedWait &Real;
    std::chrono::steady_clock::time_point Started = std::chrono::steady_clock::now();
    double Skipped = 0.0;
};
