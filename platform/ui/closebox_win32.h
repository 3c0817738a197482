#pragma once

#include "platform/ui/closebox.h"

// The Close item of a window's system menu, read and changed through the ANSI menu
// functions by command id.
class Win32CloseBox final : public CloseBoxControl {
public:
    bool IsWindow(WindowHandle window) override;
    std::optional<uint32_t> CloseItemState(WindowHandle window, uint32_t itemId) override;
    bool SetCloseItemId(WindowHandle window, uint32_t itemId, uint32_t newId) override;
    bool SetCloseItemState(WindowHandle window, uint32_t itemId, uint32_t state) override;
    void RedrawFrame(WindowHandle window) override;
};
