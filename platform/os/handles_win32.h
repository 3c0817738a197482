#pragma once

#include "platform/os/windows_win32.h"

#include <memory>
#include <type_traits>
#include <utility>

// One owner for every Win32 and Winsock handle, released on every path out of a function.

struct HandleDeleter {
    void operator()(HANDLE handle) const { CloseHandle(handle); }
};
using HandlePtr = std::unique_ptr<void, HandleDeleter>;

struct WindowDeleter {
    void operator()(HWND window) const { DestroyWindow(window); }
};
using WindowPtr = std::unique_ptr<std::remove_pointer_t<HWND>, WindowDeleter>;

struct AddressInfoDeleter {
    void operator()(ADDRINFOW *info) const { FreeAddrInfoW(info); }
};
using AddressInfoPtr = std::unique_ptr<ADDRINFOW, AddressInfoDeleter>;

// A SOCKET is an integer whose empty value is INVALID_SOCKET, not 0, so it cannot sit in
// a unique_ptr.
class SocketOwner {
public:
    SocketOwner() = default;
    explicit SocketOwner(SOCKET socket) : Socket(socket) {}
    SocketOwner(SocketOwner &&other) noexcept : Socket(std::exchange(other.Socket, INVALID_SOCKET)) {}
    SocketOwner &operator=(SocketOwner &&other) noexcept
    {
        SocketOwner old(std::exchange(Socket, std::exchange(other.Socket, INVALID_SOCKET)));
        return *this;
    }
    ~SocketOwner()
    {
        if (Socket != INVALID_SOCKET)
            closesocket(Socket);
    }

    SOCKET Get() const { return Socket; }

private:
    SOCKET Socket = INVALID_SOCKET;
};
