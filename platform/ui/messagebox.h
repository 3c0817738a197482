#pragma once

#include <cstddef>
#include <cstdint>
#include <memory>
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

// A box shown without waiting for the operator: it stands until dismissed, or until the
// program ends.
class StandingBox {
public:
    virtual ~StandingBox() = default;
    virtual bool Standing() const = 0;
};

// Message boxes owned by the monitor window. No title shows the application's title; an empty
// title shows an empty caption.
class MessageBoxService {
public:
    virtual ~MessageBoxService() = default;
    // Modal: returns only once the operator has dismissed the box.
    virtual void MessageBox(const std::string &text, int32_t style,
                            const std::optional<std::string> &title) = 0;
    // The same box, returning at once: the caller goes on, and so does the window, which still
    // takes the operator's presses.
    virtual std::shared_ptr<StandingBox> ShowStanding(const std::string &text, int32_t style,
                                                      const std::optional<std::string> &title) = 0;
};
