#pragma once

#include <optional>
#include <string>

// Reads a number under the operator's regional number format (decimal separator, sign).
class RegionalNumberFormat {
public:
    virtual ~RegionalNumberFormat() = default;
    // Empty when the text is no number.
    virtual std::optional<double> NumberFromText(const std::string &text) = 0;
};
