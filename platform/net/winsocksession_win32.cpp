#include "platform/net/winsocksession_win32.h"

#include "platform/os/windows_win32.h"

#include <mutex>

std::shared_ptr<WinsockSession> WinsockSession::Acquire()
{
    static std::mutex guard;
    static std::weak_ptr<WinsockSession> current;
    const std::lock_guard lock(guard);
    if (auto session = current.lock())
        return session;
    WSADATA data{};
    if (WSAStartup(MAKEWORD(2, 2), &data) != 0)
        return nullptr;
    std::shared_ptr<WinsockSession> session(new WinsockSession);
    current = session;
    return session;
}

WinsockSession::~WinsockSession()
{
    WSACleanup();
}
