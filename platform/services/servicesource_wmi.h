#pragma once

#include "platform/services/servicesource.h"

// Reads a server's services through WMI: one query for the four properties the report
// wants, fetched in batches, so that a listing costs a round trip a batch rather than one a
// property. The thread that asks joins COM for the length of the listing, so the source
// serves whichever thread lists, one listing at a time, and the thread that makes it needs
// no COM at all.
class WmiServiceSource final : public ServiceSource {
public:
    ServiceSystem System() const override { return ServiceSystem::Windows; }
    // The name pattern is not used: Wine's WQL cannot match a name by a leading wildcard, so
    // the listing holds every service of the server.
    std::optional<SourceFailure> InstancesOf(const std::string &moniker,
                                             const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override;
};
