#include "monitor/monitorwindow_win32.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_win32.h"
#include "tests/support/observedsource.h"

#include <doctest/doctest.h>

#include <cstdlib>
#include <semaphore>

TEST_SUITE("window")
{
    TEST_CASE("a press and Exit are answered while the source hangs")
    {
        Win32WindowPlatform platform;
        Win32MonitorWindow window;
        platform.Attach(window.Handle());
        const auto source = std::make_shared<ObservedSource>();
        platform.Source = source;
        TarvikBrokerServiceCheck monitor(platform.Monitor(), window);
        // Never shown: under Xvfb without a window manager, Wine waits seconds for a shown window
        // to be hidden again.
        window.Wire(monitor);
        const HWND hwnd = HwndOf(window.Handle());
        const auto button = [hwnd](Control control) { return GetDlgItem(hwnd, ControlId(control)); };
        // The close box went off as the window loaded: its Close item is grey, under an id that
        // a lookup for Close does not find.
        MENUITEMINFOA close{};
        close.cbSize = sizeof close;
        close.fMask = MIIM_STATE;
        CHECK(GetMenuItemInfoA(GetSystemMenu(hwnd, FALSE), CloseItem::DisabledId, FALSE, &close));
        CHECK((close.fState & CloseItem::GreyBits) == CloseItem::GreyBits);
        const auto release = std::make_shared<std::binary_semaphore>(0);
        wchar_t status[16] = {};
        bool processing = true;
        // On the worker, while the window waits for it: the operator cancels, then leaves.
        source->BeforeListing = [&, release](int) {
            SendMessageW(button(Control::CheckBroker_1), BM_CLICK, 0, 0);
            GetWindowTextW(button(Control::StatusTxt), status, 16);
            processing = monitor.IsProcessing();
            PostMessageW(button(Control::ExitProgram), BM_CLICK, 0, 0);
            release->acquire();
        };
        PostMessageW(button(Control::CheckBroker_1), BM_CLICK, 0, 0);
        platform.Loop.Run();
        CHECK(std::wstring(status) == L"N/A");
        CHECK_FALSE(processing);
        release->release();
    }
}

namespace {

// The space each caption of the window needs and has, at the window's scale: a check box's
// caption has the box and a gap before it; a label's may wrap.
void CheckCaptionsFit(HWND window, int dpi)
{
    const auto dc = GetDC(window);
    for (const ControlLayout &layout : WindowLayout::Controls) {
        if (layout.Kind == ControlKind::TextBox || layout.Kind == ControlKind::ReportBox)
            continue;
        const HWND control = GetDlgItem(window, ControlId(layout.Id));
        RECT room{}, needed{};
        GetClientRect(control, &room);
        if (layout.Kind == ControlKind::CheckBox)
            room.right -= GetSystemMetricsForDpi(SM_CXMENUCHECK, dpi) + dpi / 16;
        wchar_t caption[128] = {};
        GetWindowTextW(control, caption, 128);
        SelectObject(dc, reinterpret_cast<HFONT>(SendMessageW(control, WM_GETFONT, 0, 0)));
        needed.right = room.right;
        DrawTextW(dc, caption, -1, &needed, DT_CALCRECT | (layout.Kind == ControlKind::Label ? DT_WORDBREAK : DT_SINGLELINE));
        CHECK_MESSAGE((needed.right <= room.right && needed.bottom <= room.bottom), layout.Text);
    }
    ReleaseDC(window, dc);
}

} // namespace

// Run under tests/windows/with-dpi.sh at the scale it sets for the Wine prefix; then the
// window is moved to a screen at the classic scale.
TEST_CASE("every caption fits and the window is the layout, at the screen's scale and after a move" *
          doctest::test_suite("dpi"))
{
    // As the program's manifest asks; the test runner has none.
    SetProcessDpiAwarenessContext(DPI_AWARENESS_CONTEXT_PER_MONITOR_AWARE_V2);
    Win32MonitorWindow window;
    window.SetText(Control::StatusTxt, "Tarvik Broker Error Notification Mail Not Sent");
    const HWND hwnd = HwndOf(window.Handle()), exit = GetDlgItem(hwnd, ControlId(Control::ExitProgram));
    const int dpi = static_cast<int>(GetDpiForWindow(hwnd));
    REQUIRE(dpi == std::atoi(std::getenv("BROKER_TEST_DPI")));
    for (const int scale : {dpi, 96}) {
        RECT suggested{40, 30, 400, 500}, placed{}, client{}, button{};
        if (scale != dpi)
            SendMessageW(hwnd, WM_DPICHANGED, MAKEWPARAM(scale, scale), reinterpret_cast<LPARAM>(&suggested));
        GetWindowRect(hwnd, &placed);
        GetClientRect(hwnd, &client);
        GetWindowRect(exit, &button);
        MapWindowPoints(nullptr, hwnd, reinterpret_cast<POINT *>(&button), 2);
        CHECK((scale == dpi || (placed.left == 40 && placed.top == 30)));
        CHECK(client.right == WindowLayout::Pixels(WindowLayout::ClientWidth, scale));
        CHECK(client.bottom == WindowLayout::Pixels(WindowLayout::ClientHeight, scale));
        CHECK(button.left == WindowLayout::Pixels(3000, scale));
        CheckCaptionsFit(hwnd, scale);
    }
}
