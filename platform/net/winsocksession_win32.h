#pragma once

#include <memory>

// WSAStartup and its WSACleanup, made once for everybody who uses Winsock at the same time:
// the sockets, and lookups that may outlive the socket that started them.
class WinsockSession {
public:
    // Empty when Winsock cannot start; every socket call then fails on its own.
    static std::shared_ptr<WinsockSession> Acquire();

    WinsockSession(const WinsockSession &) = delete;
    WinsockSession &operator=(const WinsockSession &) = delete;
    ~WinsockSession();

private:
    WinsockSession() = default;
};
