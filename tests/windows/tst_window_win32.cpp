#include "monitor/monitorwindow_win32.h"
#include "monitor/tarvikbrokerservicecheck.h"
#include "monitor/windowplatform_win32.h"
#include "tests/support/observedsource.h"

#include <doctest/doctest.h>

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
        const auto release = std::make_shared<std::binary_semaphore>(0);
        wchar_t status[16] = {};
        bool processing = true;
        DWORD exitAt = 0;
        // On the worker, while the window waits for it: the operator cancels, then leaves.
        source->BeforeListing = [&, release](int) {
            SendMessageW(button(Control::CheckBroker_1), BM_CLICK, 0, 0);
            GetWindowTextW(button(Control::StatusTxt), status, 16);
            processing = monitor.IsProcessing();
            exitAt = GetTickCount();
            PostMessageW(button(Control::ExitProgram), BM_CLICK, 0, 0);
            release->acquire();
        };
        PostMessageW(button(Control::CheckBroker_1), BM_CLICK, 0, 0);
        platform.Loop.Run();
        CHECK(GetTickCount() - exitAt < 1000);
        CHECK(std::wstring(status) == L"N/A");
        CHECK_FALSE(processing);
        release->release();
    }
}
