#pragma once

#include "platform/events/combinedwait.h"
#include "platform/events/eventpump.h"

// The event pump and the combined wait over Qt's event dispatcher. Handles are file
// descriptors; a readable one counts as signalled.
class QtEventLoop final : public EventPump, public CombinedWait {
public:
    void PumpMessages() override;
    int32_t WaitForInputOrHandles(int32_t handleCount, const int32_t *handles,
                                  uint32_t timeoutMs) override;

    // From now on every wait fails at once, so that waits still on the stack return and
    // the stack unwinds while the program ends.
    void Abandon() { Abandoned = true; }

private:
    bool Abandoned = false;
};
