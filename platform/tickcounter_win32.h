#pragma once

#include "platform/tickcounter.h"

class Win32TickCounter final : public TickCounter {
public:
    uint32_t GetTickCount() override;
};
