#pragma once

#include "platform/time/tickcounter.h"

class Win32TickCounter final : public TickCounter {
public:
    uint32_t GetTickCount() override;
};
