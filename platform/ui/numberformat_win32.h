#pragma once

#include "platform/ui/numberformat.h"

// Numbers as the operator's regional settings write them, read the way the platform's own
// automation types read text.
class Win32NumberFormat final : public RegionalNumberFormat {
public:
    std::optional<double> NumberFromText(const std::string &text) override;
};
