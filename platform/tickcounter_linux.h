#pragma once

#include "platform/tickcounter.h"

// The monotonic clock, so that setting the wall clock never moves a running wait.
class LinuxTickCounter final : public TickCounter {
public:
    uint32_t GetTickCount() override;
};
