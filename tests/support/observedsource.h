#pragma once

#include "platform/servicesource.h"

#include <functional>

// The real service source, with a word for the test before each listing, which is where a
// monitoring cycle begins: a chance to change the services between two cycles.
class ObservedSource final : public ServiceSource {
public:
    explicit ObservedSource(ServiceSource &real) : Real(real) {}

    std::optional<SourceFailure> InstancesOf(const std::string &moniker, const std::string &className,
                                             const std::string &namePattern,
                                             std::unique_ptr<ServiceCollection> &instances) override
    {
        BeforeListing(++Listings);
        return Real.InstancesOf(moniker, className, namePattern, instances);
    }

    std::function<void(int listing)> BeforeListing = [](int) {};
    int Listings = 0;

private:
    ServiceSource &Real;
};
