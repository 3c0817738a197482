#include "platform/managerbus.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <cstring>
#include <string>
#include <vector>

namespace {

using std::chrono::microseconds;

SourceFailure TransportFailure(const char *call, int result)
{
    return SourceFailure{call, std::strerror(-result)};
}

// D-Bus addresses carry every byte outside [-0-9A-Za-z_/.] of a value as %XX.
std::string AddressEscaped(const std::string &value)
{
    static constexpr char Hex[] = "0123456789abcdef";
    std::string escaped;
    for (const unsigned char c : value) {
        if (std::isalnum(c) || c == '-' || c == '_' || c == '/' || c == '.')
            escaped += static_cast<char>(c);
        else
            escaped += {'%', Hex[c >> 4], Hex[c & 15]};
    }
    return escaped;
}

// As `systemctl -H` does, the far side's systemd-stdio-bridge is the bus. BatchMode turns
// every password or host-key question into a refusal, so no prompt can hold the window, and
// ssh is executed directly, so no shell ever sees the operator's text.
std::string RemoteAddress(const ServerTarget &target, std::chrono::milliseconds timeout)
{
    const auto seconds = std::max<long long>(std::chrono::ceil<std::chrono::seconds>(timeout).count(), 1);
    std::vector<std::string> arguments{"-xT", "-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=yes",
                                       "-o", "ConnectTimeout=" + std::to_string(seconds)};
    if (!target.Port.empty())
        arguments.insert(arguments.end(), {"-p", target.Port});
    if (!target.User.empty())
        arguments.insert(arguments.end(), {"-l", target.User});
    arguments.insert(arguments.end(), {"--", target.Host, "systemd-stdio-bridge"});
    std::string address = "unixexec:path=ssh";
    for (std::size_t i = 0; i < arguments.size(); ++i)
        address += ",argv" + std::to_string(i + 1) + "=" + AddressEscaped(arguments[i]);
    return address;
}

int OpenLocal(BusPtr &bus)
{
    sd_bus *raw = nullptr;
    const int r = sd_bus_open_system(&raw);
    if (r >= 0)
        bus.reset(raw);
    return r;
}

int StartRemote(const std::string &address, BusPtr &bus)
{
    sd_bus *raw = nullptr;
    int r = sd_bus_new(&raw);
    BusPtr started(raw);
    if (r >= 0)
        r = sd_bus_set_address(raw, address.c_str());
    if (r >= 0)
        r = sd_bus_set_bus_client(raw, 1);
    if (r >= 0)
        r = sd_bus_start(raw);
    if (r >= 0)
        bus = std::move(started);
    return r;
}

// sd-bus would wait for the handshake up to its own built-in limit, far longer than an
// operator waits in front of a frozen window, so the handshake runs against our deadline.
int AwaitReady(sd_bus *bus, std::chrono::milliseconds timeout)
{
    const auto deadline = std::chrono::steady_clock::now() + timeout;
    while (sd_bus_is_ready(bus) <= 0) {
        int r = sd_bus_process(bus, nullptr);
        if (r > 0)
            continue;
        const auto left = std::chrono::duration_cast<microseconds>(deadline - std::chrono::steady_clock::now());
        if (r == 0)
            r = left.count() > 0 ? sd_bus_wait(bus, left.count()) : -ETIMEDOUT;
        if (r < 0)
            return r;
    }
    return 0;
}

} // namespace

SourceFailure FailureOf(const char *call, int result, const BusError &error)
{
    if (error.IsSet())
        return SourceFailure{error.Name(), error.Message()};
    return TransportFailure(call, result);
}

std::optional<SourceFailure> ConnectManager(const ServerTarget &target, std::chrono::milliseconds timeout, BusPtr &bus)
{
    BusPtr opened;
    const char *call = target.Local ? "sd_bus_open_system" : "sd_bus_start";
    int r = target.Local ? OpenLocal(opened) : StartRemote(RemoteAddress(target, timeout), opened);
    if (r >= 0)
        r = sd_bus_set_method_call_timeout(opened.get(), std::chrono::duration_cast<microseconds>(timeout).count());
    if (r >= 0)
        r = AwaitReady(opened.get(), timeout);
    if (r < 0)
        return TransportFailure(call, r);
    bus = std::move(opened);
    return std::nullopt;
}
