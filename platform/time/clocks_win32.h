#pragma once

#include "platform/time/clocks.h"

class Win32Clocks final : public Clocks {
public:
    float SecondsSinceMidnight() override;
    LocalDateTime LocalNow() override;
};
