#pragma once

#include "platform/events/combinedwait.h"
#include "platform/events/eventpump.h"
#include "platform/events/worker.h"
#include "platform/time/clocks.h"
#include "platform/time/tickcounter.h"
#include "platform/ui/messagebox.h"
#include "platform/ui/numberformat.h"

// The windowing platform's services that the monitor's logic calls directly. The
// window builds it from the real implementations; tests from doubles.
struct WindowServices {
    MessageBoxService &Boxes;
    EventPump &Pump;
    CombinedWait &Wait;
    Clocks &Clock;
    TickCounter &Ticks;
    RegionalNumberFormat &Numbers;
    Worker &Background;
};
