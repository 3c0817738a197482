#include "platform/services/managerbus_systemd.h"

#include <algorithm>
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

int OpenLocal(BusPtr &bus)
{
    sd_bus *raw = nullptr;
    const int r = sd_bus_open_system(&raw);
    if (r >= 0)
        bus.reset(raw);
    return r;
}

int StartRemote(const std::vector<std::string> &sshArguments, BusPtr &bus, std::unique_ptr<SshProcess> &ssh)
{
    sd_bus *raw = nullptr;
    int r = sd_bus_new(&raw);
    bus.reset(raw);
    UniqueFd socket;
    if (r >= 0)
        r = SshProcess::Start(sshArguments, ssh, socket);
    if (r >= 0 && (r = sd_bus_set_fd(raw, socket.Get(), socket.Get())) >= 0)
        socket.Release(); // the bus closes it from here on
    if (r >= 0)
        r = sd_bus_set_bus_client(raw, 1);
    if (r >= 0)
        r = sd_bus_start(raw);
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

std::vector<std::string> SshArguments(const ServerTarget &target, std::chrono::milliseconds timeout)
{
    const auto seconds = std::max<long long>(std::chrono::ceil<std::chrono::seconds>(timeout).count(), 1);
    std::vector<std::string> arguments{"-xT", "-o", "BatchMode=yes", "-o", "StrictHostKeyChecking=yes",
                                       "-o", "ConnectTimeout=" + std::to_string(seconds)};
    if (!target.Port.empty())
        arguments.insert(arguments.end(), {"-p", target.Port});
    if (!target.User.empty())
        arguments.insert(arguments.end(), {"-l", target.User});
    arguments.insert(arguments.end(), {"--", target.Host, "systemd-stdio-bridge"});
    return arguments;
}

SourceFailure FailureOf(const char *call, int result, const BusError &error)
{
    if (error.IsSet())
        return SourceFailure{error.Name(), error.Message()};
    return TransportFailure(call, result);
}

SourceFailure ManagerConnection::Explained(SourceFailure failure)
{
    if (Ssh)
        if (std::string words = Ssh->LastWords(); !words.empty())
            failure.Description = std::move(words);
    return failure;
}

std::optional<SourceFailure> ConnectManager(const ServerTarget &target, std::chrono::milliseconds timeout,
                                            std::unique_ptr<ManagerConnection> &connection)
{
    BusPtr bus;
    std::unique_ptr<SshProcess> ssh;
    const char *call = target.Local ? "sd_bus_open_system" : "sd_bus_start";
    int r = target.Local ? OpenLocal(bus) : StartRemote(SshArguments(target, timeout), bus, ssh);
    if (r >= 0)
        r = sd_bus_set_method_call_timeout(bus.get(), std::chrono::duration_cast<microseconds>(timeout).count());
    if (r >= 0)
        r = AwaitReady(bus.get(), timeout);
    auto opened = std::make_unique<ManagerConnection>(std::move(bus), std::move(ssh));
    if (r < 0)
        return opened->Explained(TransportFailure(call, r));
    connection = std::move(opened);
    return std::nullopt;
}
