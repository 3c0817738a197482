#pragma once

#include <chrono>

#include "platform/services/servicesource.h"

// Reads a server's services from its systemd manager: this machine's over the system bus,
// any other over SSH. Each listing holds its own connection until its collection goes.
class SystemdServiceSource : public ServiceSource {
public:
    // `timeout` bounds connecting and each call, so a hung or vanished manager ends in a
    // failure instead of a frozen window.
    explicit SystemdServiceSource(std::chrono::milliseconds timeout = std::chrono::seconds(10));

    ServiceSystem System() const override { return ServiceSystem::Linux; }
    std::optional<SourceFailure> InstancesOf(const std::string &moniker,
                                             const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override;

private:
    std::chrono::milliseconds Timeout;
};
