#pragma once

#include "platform/net/winsocksession_win32.h"
#include "platform/os/windows_win32.h"

#include <memory>
#include <mutex>
#include <string>
#include <vector>

// One address a host name stands for, as connect() takes it.
struct Endpoint {
    sockaddr_storage Address{};
    int Length = 0;
};

// What a host name stands for: its addresses, or, when it stands for none, the Winsock
// error that says why.
struct Resolution {
    std::vector<Endpoint> Endpoints;
    int Error = 0;
};

// Resolves a host name on a thread of its own, so that the window never waits for DNS,
// and posts `message` to `window` once the addresses are known.
//
// The thread owns a share of the lookup and of Winsock, so a lookup that its socket gave
// up (closed, reopened or destroyed) still ends safely on its own; Cancel() makes sure it
// then posts nothing, to a window that may be gone.
class HostLookup {
public:
    static std::shared_ptr<HostLookup> Start(const std::string &host, int32_t port, HWND window,
                                             UINT message);

    // Nothing is posted once this returns; a message posted before is still in the queue.
    void Cancel();
    // Only after the message arrived.
    Resolution Result();

private:
    HostLookup(HWND window, UINT message) : Window(window), Message(message) {}
    void Finish(Resolution resolution);

    std::mutex Guard;
    HWND Window;
    UINT Message;
    Resolution Found;
};
