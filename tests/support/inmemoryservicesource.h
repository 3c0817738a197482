#pragma once

#include "platform/servicesource.h"

#include <functional>
#include <vector>

// A server whose services the test sets; it can fail the listing or one service's read.
class InMemoryServiceSource final : public ServiceSource {
public:
    std::optional<SourceFailure> InstancesOf(const std::string &moniker, const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override;

    std::vector<BrokerService> Services;
    std::optional<SourceFailure> ListingFailure;
    std::optional<std::size_t> FailingRead; // index of the service whose read fails
    std::string LastMoniker;
    std::string LastClass;
    std::vector<double> ListedAt; // the test's clock at each listing
    std::function<double()> Now = [] { return 0.0; };
};
