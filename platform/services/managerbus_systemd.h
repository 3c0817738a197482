#pragma once

#include <chrono>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/services/sdbushandles_systemd.h"
#include "platform/services/servertarget_systemd.h"
#include "platform/services/servicesource.h"
#include "platform/services/sshprocess_linux.h"

// The service manager's names on the bus.
namespace ManagerBus {
constexpr const char *Destination = "org.freedesktop.systemd1";
constexpr const char *ManagerPath = "/org/freedesktop/systemd1";
constexpr const char *ManagerInterface = "org.freedesktop.systemd1.Manager";
constexpr const char *UnitPathPrefix = "/org/freedesktop/systemd1/unit";
constexpr const char *ServiceInterface = "org.freedesktop.systemd1.Service";
constexpr const char *PropertiesInterface = "org.freedesktop.DBus.Properties";
} // namespace ManagerBus

// A failed sd-bus call in the bus's own words, or in the transport's when the bus had none.
SourceFailure FailureOf(const char *call, int result, const BusError &error);

// As `systemctl -H` does, the far side's systemd-stdio-bridge is the bus. BatchMode turns
// every password or host-key question into a refusal, so no prompt can hold the window, and
// ssh is executed directly, so no shell ever sees the operator's text; what the operator
// typed for the host comes after "--", where ssh takes nothing for an option.
std::vector<std::string> SshArguments(const ServerTarget &target, std::chrono::milliseconds timeout);

// A connection to a service manager: the bus, and for another machine the ssh that carries
// it, whose own words say better than the bus's why the connection failed or dropped.
class ManagerConnection {
public:
    ManagerConnection(BusPtr bus, std::unique_ptr<SshProcess> ssh) : Ssh(std::move(ssh)), Bus(std::move(bus)) {}

    sd_bus *Get() const { return Bus.get(); }
    // The failure with ssh's last words as its description, where ssh said anything.
    SourceFailure Explained(SourceFailure failure);

private:
    std::unique_ptr<SshProcess> Ssh;
    // Declared last, so that the connection closes before ssh is ended.
    BusPtr Bus;
};

// Opens a connection to the service manager of `target`: the system bus for this machine,
// otherwise the way `systemctl -H` reaches one, but without ever prompting. Connecting and
// every later method call each end within `timeout`. `connection` is written only on success.
std::optional<SourceFailure> ConnectManager(const ServerTarget &target, std::chrono::milliseconds timeout,
                                            std::unique_ptr<ManagerConnection> &connection);
