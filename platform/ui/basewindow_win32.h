#pragma once

#include "platform/os/handles_win32.h"

// What every window of the program has in common: its class, registered once for the
// process, and one window procedure that hands each message to the object the window belongs
// to, found through the pointer stored as the window is made. `Owner` derives from
// BaseWindow<Owner>, answers messages in HandleMessage, and keeps its window in a WindowPtr
// named Window, declared after everything its messages use.
template <typename Owner>
class BaseWindow {
protected:
    // A window of the class that `look` describes (all but its procedure, instance and name),
    // whose messages go to `owner`.
    static HWND Create(Owner *owner, WNDCLASSEXW look, const wchar_t *className, DWORD style, int width, int height,
                       HWND parent, const wchar_t *title = L"")
    {
        // Registered once for the process; a second registration would only fail.
        static const ATOM windowClass = [&look, className] {
            look.cbSize = sizeof look;
            look.lpfnWndProc = Procedure;
            look.hInstance = GetModuleHandleW(nullptr);
            look.lpszClassName = className;
            return RegisterClassExW(&look);
        }();
        return CreateWindowExW(0, ClassNameOf(windowClass), title, style, CW_USEDEFAULT, CW_USEDEFAULT, width, height,
                               parent, nullptr, GetModuleHandleW(nullptr), owner);
    }

private:
    static LRESULT CALLBACK Procedure(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
    {
        if (message == WM_NCCREATE) {
            const auto *creation = reinterpret_cast<const CREATESTRUCTW *>(lParam);
            SetWindowLongPtrW(window, GWLP_USERDATA, reinterpret_cast<LONG_PTR>(creation->lpCreateParams));
        }
        auto *owner = reinterpret_cast<Owner *>(GetWindowLongPtrW(window, GWLP_USERDATA));
        // The messages before WM_NCCREATE, and those while CreateWindowExW has not yet handed
        // the window to its owner, take the defaults: the owner is still being made.
        if (!owner || !owner->Window)
            return DefWindowProcW(window, message, wParam, lParam);
        return owner->HandleMessage(message, wParam, lParam);
    }
};
