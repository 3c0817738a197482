#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>

// The two styles the monitor uses; the numbers are the ones its callers pass.
namespace MessageBoxStyle {
constexpr int32_t OkOnly = 0;
constexpr int32_t OkInformation = 64;
}

// A relay's reply can be a megabyte long: a box that size takes seconds to lay out and puts
// its OK button off the screen, so a box shows this many characters of a text at most.
constexpr std::size_t ShownCharacters = 2000;

// What a box shows of `text`: all of it, or its first ShownCharacters characters, never a
// character cut in two, and "..." after them.
std::string ShownPart(const std::string &text);

// A modal message box: returns only once the operator has dismissed it.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // No title shows the application's title; an empty title shows an empty caption.
    virtual void MessageBox(const std::string &text, int32_t style,
                            const std::optional<std::string> &title) = 0;
};
