#pragma once

#include "platform/events/combinedwait.h"
#include "platform/events/eventpump.h"
#include "platform/time/tickcounter.h"

#include <cstdint>
#include <span>

namespace modMsgWaitObj {

// The services the wait sleeps, pumps and reads the time through.
struct MessageWaitPlatform {
    TickCounter &Ticks;
    CombinedWait &Wait;
    EventPump &Pump;
};

// Waits Interval milliseconds (-1: no deadline), or until one of the Handles is signalled,
// and keeps the window responsive meanwhile: every wake of the sleep is followed by a pump.
// Returns WaitCode::Timeout, Object0 + i, Abandoned0 + i or Failed; never the number of
// handles, since new input only starts another pass.
int32_t WaitPumpingMessages(int32_t Interval, std::span<const int32_t> Handles, const MessageWaitPlatform &platform);

} // namespace modMsgWaitObj
