#pragma once

#include <cstdint>
#include <optional>
#include <string>

// The two styles the monitor uses; the numbers are the ones its callers pass.
namespace MessageBoxStyle {
constexpr int32_t OkOnly = 0;
constexpr int32_t OkInformation = 64;
}

// A modal message box: returns only once the operator has dismissed it.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // No title shows the application's title; an empty title shows an empty caption.
    virtual void MessageBox(const std::string &text, int32_t style,
                            const std::optional<std::string> &title) = 0;
};
