#pragma once

#include "platform/clocks.h"

// The local clock, with day and month names in the operator's regional settings.
class Win32Clocks final : public Clocks {
public:
    float SecondsSinceMidnight() override;
    LocalDateTime LocalNow() override;
};
