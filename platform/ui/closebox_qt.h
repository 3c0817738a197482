#pragma once

#include "platform/ui/closebox.h"

class QWidget;

// A Qt window has no system menu; its close box is the title bar's close button together
// with the window manager's close request (Alt+F4, the window menu). Each top-level window
// that shows a close button has one Close item, kept beside the window.
class QtCloseBox final : public CloseBoxControl {
public:
    static WindowHandle HandleOf(const QWidget *window)
    {
        return reinterpret_cast<WindowHandle>(window);
    }

    bool IsWindow(WindowHandle window) override;
    std::optional<uint32_t> CloseItemState(WindowHandle window, uint32_t itemId) override;
    bool SetCloseItemId(WindowHandle window, uint32_t itemId, uint32_t newId) override;
    bool SetCloseItemState(WindowHandle window, uint32_t itemId, uint32_t state) override;
    void RedrawFrame(WindowHandle window) override;
};
