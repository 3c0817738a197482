#pragma once

#include "platform/time/clocks.h"

class Win32Clocks final : public Clocks {
public:
    LocalDateTime LocalNow() override;
};
