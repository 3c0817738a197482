#pragma once

#include "platform/time/tickcounter.h"

// Milliseconds since boot, suspend included; setting the wall clock never moves it.
class LinuxTickCounter final : public TickCounter {
public:
    uint32_t GetTickCount() override;
};
