#include "platform/net/hostlookup_win32.h"

#include "platform/os/handles_win32.h"
#include "platform/os/widetext_win32.h"

#include <cstring>
#include <thread>

namespace {

Resolution Resolve(const std::wstring &host, const std::wstring &port)
{
    ADDRINFOW hints{};
    hints.ai_family = AF_UNSPEC;
    hints.ai_socktype = SOCK_STREAM;
    hints.ai_protocol = IPPROTO_TCP;
    ADDRINFOW *first = nullptr;
    Resolution resolution;
    if ((resolution.Error = GetAddrInfoW(host.c_str(), port.c_str(), &hints, &first)) != 0)
        return resolution;
    const AddressInfoPtr owner(first);
    for (const ADDRINFOW *info = first; info; info = info->ai_next) {
        if (info->ai_addrlen > sizeof(sockaddr_storage))
            continue;
        Endpoint endpoint;
        std::memcpy(&endpoint.Address, info->ai_addr, info->ai_addrlen);
        endpoint.Length = static_cast<int>(info->ai_addrlen);
        resolution.Endpoints.push_back(endpoint);
    }
    return resolution;
}

} // namespace

std::shared_ptr<HostLookup> HostLookup::Start(const std::string &host, int32_t port, HWND window,
                                              UINT message)
{
    std::shared_ptr<HostLookup> lookup(new HostLookup(window, message));
    std::thread([lookup, winsock = WinsockSession::Acquire(), host = WideFromUtf8(host),
                 port = std::to_wstring(port)] { lookup->Finish(Resolve(host, port)); })
        .detach();
    return lookup;
}

void HostLookup::Cancel()
{
    const std::lock_guard lock(Guard);
    Window = nullptr;
}

Resolution HostLookup::Result()
{
    const std::lock_guard lock(Guard);
    return Found;
}

void HostLookup::Finish(Resolution resolution)
{
    const std::lock_guard lock(Guard);
    Found = std::move(resolution);
    if (Window)
        PostMessageW(Window, Message, 0, 0);
}
