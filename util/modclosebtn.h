#pragma once

#include "platform/ui/closebox.h"

#include <cstdint>

namespace CloseButtonStatus {
constexpr int16_t Done = 0; // also when no item carries the id looked up; then nothing changed
constexpr int16_t NotAWindow = -1;
constexpr int16_t IdChangeFailed = -2;    // the item is as it was
constexpr int16_t StateChangeFailed = -3; // the item keeps its new id with its old state
}

namespace modCloseBtn {

// Switches the window's close box off (Enable 0) or on (any other value). Asking for the
// state the close box is already in finds no item and changes nothing.
int16_t SetCloseButtonEnabled(WindowHandle hWnd, const int16_t &Enable, CloseBoxControl &control);

} // namespace modCloseBtn
