#pragma once

#include "platform/clocks.h"
#include "platform/combinedwait.h"
#include "platform/eventpump.h"
#include "platform/messagebox.h"
#include "platform/numberformat.h"
#include "platform/tickcounter.h"
#include "platform/worker.h"

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
