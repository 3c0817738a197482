#include "platform/ui/closebox_win32.h"

#include "platform/os/windows_win32.h"

namespace {

constexpr UINT TypeDataLength = 80;

// One menu item record as SetCloseButtonEnabled has always filled it. cbSize is the size of
// this build's record: a 64-bit record announced with the 32-bit size (44) makes every menu
// call fail with ERROR_INVALID_PARAMETER, and the close box silently never changes.
struct MenuItemRecord {
    explicit MenuItemRecord(UINT mask)
    {
        Info.cbSize = sizeof Info;
        Info.fMask = mask;
        Info.dwTypeData = TypeData;
        Info.cch = TypeDataLength;
    }
    MenuItemRecord(const MenuItemRecord &) = delete;
    MenuItemRecord &operator=(const MenuItemRecord &) = delete;

    char TypeData[TypeDataLength] = {};
    MENUITEMINFOA Info{};
};

// The window's own copy of the system menu, which it may change. A window without one
// gives no menu, and the menu call that follows fails as a missing item would.
HMENU SystemMenuOf(WindowHandle window)
{
    return GetSystemMenu(HwndOf(window), FALSE);
}

bool SetItem(WindowHandle window, uint32_t itemId, MenuItemRecord &record)
{
    return SetMenuItemInfoA(SystemMenuOf(window), itemId, FALSE, &record.Info) != FALSE;
}

} // namespace

bool Win32CloseBox::IsWindow(WindowHandle window)
{
    return ::IsWindow(HwndOf(window)) != FALSE;
}

std::optional<uint32_t> Win32CloseBox::CloseItemState(WindowHandle window, uint32_t itemId)
{
    MenuItemRecord record(MIIM_STATE);
    if (!GetMenuItemInfoA(SystemMenuOf(window), itemId, FALSE, &record.Info))
        return std::nullopt;
    return record.Info.fState;
}

bool Win32CloseBox::SetCloseItemId(WindowHandle window, uint32_t itemId, uint32_t newId)
{
    MenuItemRecord record(MIIM_ID);
    record.Info.wID = newId;
    return SetItem(window, itemId, record);
}

bool Win32CloseBox::SetCloseItemState(WindowHandle window, uint32_t itemId, uint32_t state)
{
    MenuItemRecord record(MIIM_STATE);
    record.Info.fState = state;
    return SetItem(window, itemId, record);
}

void Win32CloseBox::RedrawFrame(WindowHandle window)
{
    // TRUE as -1, the value SetCloseButtonEnabled has always sent: the frame is drawn active, as
    // it is while the operator works in the window.
    SendMessageA(HwndOf(window), WM_NCACTIVATE, static_cast<WPARAM>(-1), 0);
}
