#include "platform/closebox_win32.h"
#include "platform/handles_win32.h"
#include "util/modclosebtn.h"

#include <doctest/doctest.h>

TEST_SUITE("closebox")
{
    TEST_CASE("the close box of a real window goes off and on; a repeat finds no item")
    {
        // Any window class has a system menu: it comes with the frame's style.
        WindowPtr window(CreateWindowExW(0, L"STATIC", L"Test", WS_OVERLAPPEDWINDOW | WS_VISIBLE, 0, 0,
                                         300, 200, nullptr, nullptr, nullptr, nullptr));
        REQUIRE(window);
        const HMENU menu = GetSystemMenu(window.get(), FALSE);
        Win32CloseBox control;
        const struct { int16_t Enable; uint32_t Id, GoneId, Grey; } steps[] = {
            {0, CloseItem::DisabledId, CloseItem::EnabledId, CloseItem::GreyBits},
            {0, CloseItem::DisabledId, CloseItem::EnabledId, CloseItem::GreyBits},
            {1, CloseItem::EnabledId, CloseItem::DisabledId, 0},
            {1, CloseItem::EnabledId, CloseItem::DisabledId, 0},
        };
        for (const auto &step : steps) {
            CHECK(modCloseBtn::SetCloseButtonEnabled(WindowHandleOf(window.get()), step.Enable,
                                                     control) == CloseButtonStatus::Done);
            MENUITEMINFOA item{};
            item.cbSize = sizeof item;
            item.fMask = MIIM_ID | MIIM_STATE;
            REQUIRE(GetMenuItemInfoA(menu, step.Id, FALSE, &item));
            CHECK(item.wID == step.Id);
            CHECK((item.fState & CloseItem::GreyBits) == step.Grey);
            CHECK_FALSE(GetMenuItemInfoA(menu, step.GoneId, FALSE, &item));
        }
        const HWND gone = window.get();
        window.reset();
        CHECK(modCloseBtn::SetCloseButtonEnabled(WindowHandleOf(gone), 0, control) ==
              CloseButtonStatus::NotAWindow);
    }
}
