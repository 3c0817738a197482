#pragma once

// Every Win32 file reaches the platform's headers through here, so that they come in one
// order (winsock2.h before windows.h, which would otherwise pull in the old winsock.h) and
// with one set of macros.
#ifndef WIN32_LEAN_AND_MEAN
#define WIN32_LEAN_AND_MEAN
#endif
#ifndef NOMINMAX
#define NOMINMAX
#endif
#include <winsock2.h>
#include <windows.h>
#include <ws2tcpip.h>

// windows.h maps MessageBox to MessageBoxA or MessageBoxW; the message-box service's
// method keeps its own name in every file that sees both.
#undef MessageBox

#include "platform/os/windowhandle.h"

// Window handles are 64-bit pointers whose value the rest of the program only passes on.
inline HWND HwndOf(WindowHandle window)
{
    return reinterpret_cast<HWND>(window);
}

inline WindowHandle WindowHandleOf(HWND window)
{
    return reinterpret_cast<WindowHandle>(window);
}

// MAKEINTATOM for the wide-character functions: windows.h has it only as a TCHAR macro.
inline const wchar_t *ClassNameOf(ATOM windowClass)
{
    return reinterpret_cast<const wchar_t *>(static_cast<ULONG_PTR>(windowClass));
}
