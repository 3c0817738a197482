#pragma once

#include "platform/os/windowhandle.h"

#include <cstdint>
#include <optional>

// The command ids and state bits of a window's Close item. Named apart from the platform's
// own names, which windows.h defines as macros.
namespace CloseItem {
constexpr uint32_t EnabledId = 0xF060;       // SC_CLOSE, the platform's Close command
constexpr uint32_t DisabledId = 0xFFFFFFF6u; // -10: a lookup by EnabledId then misses the item
constexpr uint32_t GreyBits = 3;             // MF_GRAYED 1 + MF_DISABLED 2
}

// The Close item of a window's system menu, found by its command id as the menu functions
// find it. An operation on a window or an item that is not there fails and changes nothing.
class CloseBoxControl {
public:
    virtual ~CloseBoxControl() = default;
    virtual bool IsWindow(WindowHandle window) = 0;
    // Nothing when no item carries itemId, or the window has no system menu.
    virtual std::optional<uint32_t> CloseItemState(WindowHandle window, uint32_t itemId) = 0;
    virtual bool SetCloseItemId(WindowHandle window, uint32_t itemId, uint32_t newId) = 0;
    virtual bool SetCloseItemState(WindowHandle window, uint32_t itemId, uint32_t state) = 0;
    // Makes the title bar's close button show the item as it now is.
    virtual void RedrawFrame(WindowHandle window) = 0;
};
